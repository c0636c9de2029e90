#include "app/common/FileLayout.h"

#include "platform/Text.h"

namespace vantorell::app {

FileLayout FileLayout::Portable(std::string exeFolder) {
    FileLayout layout;
    layout.exeFolder_ = std::move(exeFolder);
    layout.userFolder_ = layout.exeFolder_;
    layout.lists_.push_back({ListOwner::User, text::JoinPath(layout.exeFolder_, kListFileName)});
    return layout;
}

FileLayout FileLayout::Installed(std::string exeFolder, std::string_view localAppData, std::string_view programData) {
    FileLayout layout;
    layout.installed_ = true;
    layout.exeFolder_ = std::move(exeFolder);
    layout.userFolder_ = text::JoinPath(localAppData, kDataFolderName);
    layout.lists_.push_back({ListOwner::User, text::JoinPath(layout.userFolder_, kListFileName)});
    layout.lists_.push_back(
        {ListOwner::Machine, text::JoinPath(text::JoinPath(programData, kDataFolderName), kListFileName)});
    return layout;
}

FileLayout FileLayout::Detect(platform::Platform& platform) {
    std::string exeFolder = text::FolderOf(platform.processes.ExecutablePath());
    if (platform.files.FileExists(text::JoinPath(exeFolder, kInstalledMarker))) {
        const auto local = platform.files.KnownFolderPath(platform::KnownFolder::LocalAppData);
        const auto shared = platform.files.KnownFolderPath(platform::KnownFolder::ProgramData);
        if (local && shared) return Installed(std::move(exeFolder), *local, *shared);
    }
    return Portable(std::move(exeFolder));
}

std::string FileLayout::UserFile(std::string_view fileName) const {
    return text::JoinPath(userFolder_, fileName);
}

std::string FileLayout::MachineList() const {
    return lists_.size() > 1 ? lists_[1].path : std::string();
}

std::string FileLayout::ListBesideExecutable() const {
    return text::JoinPath(exeFolder_, kListFileName);
}

bool FileLayout::CreateUserFolder(platform::Platform& platform) const {
    if (!installed_) return true;
    return platform.files.CreateFolder(userFolder_);
}

}  // namespace vantorell::app
