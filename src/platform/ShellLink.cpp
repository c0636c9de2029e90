#include "platform/ShellLink.h"

#include "platform/Text.h"

namespace vantorell::platform {

std::string TruncateChars(std::string_view text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) return std::string(text.substr(0, i));
            ++chars;
        }
    }
    return std::string(text);
}

bool ShellLink::Read() {
    ShortcutData d;
    if (!files_.ReadShortcut(LinkFile, d)) return false;
    // Whole texts: a target or arguments cut here would be written back cut.
    Arguments = d.arguments;
    Description = d.description;
    HotKey = d.hotKey;
    IconFile = d.iconFile;
    IconIndex = d.iconIndex;
    ProgramFile = d.target;
    switch (d.showCmd) {
        case ShowCmd::Normal: State = WindowState::Normal; break;
        case ShowCmd::Maximized: State = WindowState::Maximized; break;
        case ShowCmd::Minimized: State = WindowState::Minimized; break;
        default: break;
    }
    WorkingDirectory = d.workingDirectory;
    return true;
}

bool ShellLink::Write() {
    if (WorkingDirectory.empty()) WorkingDirectory = text::FolderOf(ProgramFile);
    ShortcutData d;
    d.target = ProgramFile;
    d.arguments = Arguments;
    d.description = Description;
    d.workingDirectory = WorkingDirectory;
    if (!IconFile.empty()) {
        d.iconFile = IconFile;
        d.iconIndex = IconIndex;
    }
    d.hotKey = HotKey;
    switch (State) {
        case WindowState::Normal: d.showCmd = ShowCmd::Normal; break;
        case WindowState::Minimized: d.showCmd = ShowCmd::Minimized; break;
        case WindowState::Maximized: d.showCmd = ShowCmd::Maximized; break;
    }
    return files_.WriteShortcut(LinkFile, d);
}

void ShellLink::ResetAppearance() {
    IconFile.clear();
    IconIndex = 0;
    HotKey = 0;
    State = WindowState::Normal;
}

}  // namespace vantorell::platform

namespace vantorell::platform {
std::vector<std::string> ListShortcuts(Files& files, Locale& locale, std::string_view folder) {
    auto names = files.ListShortcutFiles(folder);
    text::SortNoCase(locale, names);
    return names;
}
}  // namespace vantorell::platform
