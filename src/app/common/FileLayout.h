// Where the program keeps its files: beside the executable for a portable
// copy; for an installed copy, the user's own files and list in the user's
// local application data, and the list of the machine's places in the folder
// shared by every user. Which of the two a copy is depends only on the marker
// file the setup writes beside the executable, never on whether the folder is
// writable or the process elevated at this moment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace vantorell::app {

// Written by the setup beside the executable of an installed copy.
inline constexpr std::string_view kInstalledMarker = "Vantorell.installed";
// The program's folder under %LOCALAPPDATA% and under %ProgramData%.
inline constexpr std::string_view kDataFolderName = "Vantorell";
inline constexpr std::string_view kListFileName = "StartupList.txt";

// Whose places a list file holds records of.
enum class ListOwner {
    User,     // "SUF", "crun", "crunonce": the current user's places
    Machine,  // every other place: the machine's, shared by every user
};

struct ListFile {
    ListOwner owner;
    std::string path;
};

class FileLayout {
public:
    // A portable copy: everything beside the executable in `exeFolder`.
    static FileLayout Portable(std::string exeFolder);
    // An installed copy: the user's folder under `localAppData`, the machine's
    // list under `programData` (each + "\Vantorell").
    static FileLayout Installed(std::string exeFolder, std::string_view localAppData, std::string_view programData);
    // The layout of the running executable: installed when the marker stands
    // beside it and both known folders are there, portable otherwise.
    static FileLayout Detect(platform::Platform& platform);

    bool IsInstalled() const { return installed_; }
    const std::string& ExecutableFolder() const { return exeFolder_; }
    // The folder of the user's own files ("data.txt", "ResF.txt",
    // "AwardMessage.txt"): beside the executable, or the user's folder.
    const std::string& UserFolder() const { return userFolder_; }
    std::string UserFile(std::string_view fileName) const;
    // Every list file in scan order: the user's, then the machine's (one list
    // beside the executable for a portable copy).
    const std::vector<ListFile>& Lists() const { return lists_; }
    // The list of the machine's places; empty for a portable copy, whose one
    // list holds every record.
    std::string MachineList() const;
    // "StartupList.txt" beside the executable: the one list of a portable copy;
    // for an installed copy a list no one writes, whose records the uninstall
    // gives back all the same.
    std::string ListBesideExecutable() const;

    // Creates the user's folder of an installed copy (nothing for a portable
    // one). False when it is not there afterwards.
    bool CreateUserFolder(platform::Platform& platform) const;

private:
    bool installed_ = false;
    std::string exeFolder_;
    std::string userFolder_;
    std::vector<ListFile> lists_;
};

}  // namespace vantorell::app
