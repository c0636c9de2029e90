// The file an entry starts, found the way the launcher starts it: the quoted
// program or the longest leading part of an unquoted command that names a
// file, "%NAME%" references expanded, a bare name searched as CreateProcess
// and the "App Paths" key find it. Well-known hosts (rundll32, the script
// hosts, mshta, regsvr32, PowerShell with -File, cmd /c) name the file they
// run, unless they run code from their command line; a shortcut names its
// target.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "identity/Identity.h"
#include "identity/IdentityFacets.h"

namespace vantorell::identity {

struct ResolvedFile {
    std::string path;  // the file that runs; empty when none can be named
    std::string host;  // the host program's path when a host runs it
    // The program is a host that runs code given on its command line or
    // fetched from a URL (mshta vbscript:, powershell -EncodedCommand, cmd /c
    // with more than one program, ...): `path` is the host, and no signature
    // vouches for what it runs.
    bool inlineCode = false;
    // What the resolution found at `path` when it looked there (it did not
    // for a share), so that nobody needs to look again.
    std::optional<platform::FileFacts> facts;
    // `path` is a shell item's parsing path (a shortcut to a packaged app, a
    // control panel item), no file: nothing to look at.
    bool item = false;
};

using VariableLookup = std::function<std::optional<std::string>(std::string_view name)>;

// Replaces every "%NAME%" of a set variable by its value, as Windows expands
// an expandable string; a reference to a variable that is not set stays.
std::string ExpandReferences(std::string_view text, const VariableLookup& lookup);

// The folders found missing during one pass over the entries: a file in a
// folder that is not there is not there either, so the many entries of an
// uninstalled program's folder cost one look at the folder. Kept for one pass
// only (a folder may be made the next moment).
class MissingFolders {
public:
    // The file's facts: answered from what is known of its folder, or looked at.
    platform::FileFacts Stat(platform::FileIdentity& files, std::string_view path);

private:
    std::map<std::string, bool, std::less<>> folders_;  // by ASCII-lowered path: whether it is there
};

// The file `job` starts. Looks at files and the registry through `platform`
// but never opens a file on a network share. `folders`, where given, spares
// looks into folders already found missing in the same pass.
ResolvedFile ResolveFile(const IdentityFacets& platform, const FileJob& job, MissingFolders* folders = nullptr);

// Whether the path names a network share by its form ("\\server\share",
// "\\?\UNC\...", "\??\UNC\...", "\\?\GLOBALROOT\Device\Mup\..."), or a device that
// is not a drive: never looked at.
bool IsUncPath(std::string_view path);

}  // namespace vantorell::identity
