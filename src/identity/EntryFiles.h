// What each entry of the table starts, as jobs for identification.
#pragma once

#include <vector>

#include "identity/Identity.h"
#include "identity/IdentityFacets.h"
#include "store/AutostartStore.h"

namespace vantorell::identity {

// One job per entry, in table order: an active registry entry's command, an
// active shortcut's .lnk (its target, arguments and item target are read
// again off the window's thread), a record's stored command and arguments.
std::vector<FileJob> EntryJobs(store::AutostartStore& store);
// The job of entry `index` without the .lnk's path (which needs the registry):
// enough for its key.
FileJob EntryJob(const store::EntryTable& table, std::size_t index);

// What each entry of the scanned table starts, by table index, on the calling
// thread: the user's cache first, then the files it lacks or that changed
// (`onDemand`: large files too), the cache saved again.
std::vector<Identity> IdentifyEntries(const IdentityFacets& platform, store::AutostartStore& store, bool onDemand);
// What entry `index` starts, as IdentifyEntries finds it, for that entry alone.
Identity IdentifyEntry(const IdentityFacets& platform, store::AutostartStore& store, std::size_t index);

// Whether an entry is left out of the lists while Windows' own are hidden:
// its file, `identity`, is Windows' own (WindowsOwn under the Windows folder
// `windows`), whatever its place, and it stands as Windows has it, on. One
// that somebody switched off is shown, so that it can be switched on again.
bool HiddenAsWindowsOwn(const store::StartupEntry& entry, const Identity& identity, std::string_view windows);

}  // namespace vantorell::identity
