// The shortcut accessor: a set of properties that keep their values between
// uses. Read fills them from LinkFile; Write saves them to LinkFile.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Locale.h"

namespace vantorell::platform {

enum class WindowState { Normal, Minimized, Maximized };

class ShellLink {
public:
    explicit ShellLink(Files& files) : files_(files) {}

    std::string LinkFile;
    std::string ProgramFile;
    std::string Arguments;
    std::string Description;
    std::string WorkingDirectory;
    std::string IconFile;
    int IconIndex = 0;
    std::uint16_t HotKey = 0;
    WindowState State = WindowState::Normal;

    // Loads LinkFile, every text whole. State changes only for the
    // show commands normal, minimised and maximised. False when it cannot be read
    // (the properties are then left as they were).
    bool Read();
    // Saves the properties to LinkFile, creating or replacing it. An empty
    // WorkingDirectory becomes the folder of ProgramFile and is stored back.
    bool Write();
    // Neutral icon, hot key and show state, for a shortcut made from a record.
    void ResetAppearance();

private:
    Files& files_;
};

// The first `maxChars` characters (code points) of a UTF-8 text.
std::string TruncateChars(std::string_view text, std::size_t maxChars);

}  // namespace vantorell::platform

namespace vantorell::platform {
// Shortcut files of a folder ("*.lnk", plain files only), sorted ascending
// without regard to case.
std::vector<std::string> ListShortcuts(Files& files, Locale& locale, std::string_view folder);
}  // namespace vantorell::platform
