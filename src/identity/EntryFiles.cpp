#include "identity/EntryFiles.h"

#include <map>

#include "identity/Identifier.h"
#include "platform/Text.h"

namespace vantorell::identity {

FileJob EntryJob(const store::EntryTable& table, std::size_t index) {
    FileJob job;
    if (index >= table.entries.size()) return job;
    const store::StartupEntry& e = table.entries[index];
    job.command = e.command;
    // A shared host's service: what runs is its library, not the host.
    if (e.service && !e.service->serviceDll.empty()) {
        job.command = '"' + e.service->serviceDll + '"';
        return job;
    }
    if (!e.IsActive()) {
        if (index < table.storedRecords.size()) job.arguments = table.storedRecords[index].arguments;
        job.shortcut = e.place ? e.place->isFolder : !job.arguments.empty();
    } else if (e.place && e.place->isFolder) {
        job.shortcut = true;
        job.link = e.location + '\\' + e.name;
    }
    return job;
}

std::vector<FileJob> EntryJobs(store::AutostartStore& store) {
    const store::EntryTable& table = store.Table();
    std::vector<FileJob> jobs;
    jobs.reserve(table.entries.size());
    std::map<std::string, std::string, std::less<>> folders;  // by place code
    for (std::size_t i = 0; i < table.entries.size(); ++i) {
        FileJob job = EntryJob(table, i);
        if (!job.link.empty()) {
            const store::StartupEntry& e = table.entries[i];
            auto folder = folders.find(e.location);
            if (folder == folders.end())
                folder = folders.emplace(e.location, store.StartupFolderPath(e.location)).first;
            job.linkFile = text::JoinPath(folder->second, e.name);
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::vector<Identity> IdentifyEntries(const IdentityFacets& platform, store::AutostartStore& store, bool onDemand) {
    IdentityCache cache(platform, IdentityCache::UserCachePath(platform));
    cache.Load();
    Identifier identifier(platform, cache);
    const std::vector<FileJob> jobs = EntryJobs(store);
    std::vector<Identity> ids;
    ids.reserve(jobs.size());
    std::map<std::string, std::size_t> done;  // entries that start the same thing are looked at once
    MissingFolders folders;
    for (const FileJob& job : jobs) {
        const auto [it, fresh] = done.try_emplace(job.Key(), ids.size());
        if (fresh)
            ids.push_back(identifier.Identify(job, onDemand, nullptr, &folders));
        else
            ids.push_back(ids[it->second]);
    }
    cache.Save();
    return ids;
}

Identity IdentifyEntry(const IdentityFacets& platform, store::AutostartStore& store, std::size_t index) {
    IdentityCache cache(platform, IdentityCache::UserCachePath(platform));
    cache.Load();
    Identifier identifier(platform, cache);
    const Identity id = identifier.Identify(EntryJob(store.Table(), index), false, nullptr, nullptr);
    cache.Save();
    return id;
}

bool HiddenAsWindowsOwn(const store::StartupEntry& entry, const Identity& identity, std::string_view windows) {
    return entry.IsActive() && !entry.windowsOff && WindowsOwn(identity, windows);
}

}  // namespace vantorell::identity
