#include "identity/EntryFiles.h"

#include <map>

#include "platform/Text.h"

namespace vantorell::identity {

FileJob EntryJob(const store::EntryTable& table, std::size_t index) {
    FileJob job;
    if (index >= table.entries.size()) return job;
    const store::StartupEntry& e = table.entries[index];
    job.command = e.command;
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

}  // namespace vantorell::identity
