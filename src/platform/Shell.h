// The shell facet of the platform: what the user sees and starts, message
// boxes, commands and documents started, other programs' windows raised, the
// shell's own views of a file or key opened, and the clipboard.
#pragma once

#include <string_view>

namespace vantorell::platform {

namespace MsgBox {
// Buttons and icons; values as Windows numbers them.
inline constexpr unsigned Ok = 0x0;
inline constexpr unsigned YesNo = 0x4;
inline constexpr unsigned IconError = 0x10;
inline constexpr unsigned IconWarning = 0x30;
inline constexpr unsigned IconInformation = 0x40;
inline constexpr unsigned DefButton1 = 0x0;
inline constexpr unsigned DefButton2 = 0x100;
inline constexpr unsigned OwnedByDesktop = 0x10000000;  // not a Windows flag: owner is the desktop
// Answers.
inline constexpr int IdOk = 1;
inline constexpr int IdCancel = 2;
inline constexpr int IdYes = 6;
inline constexpr int IdNo = 7;
}  // namespace MsgBox

// Where the Registry Editor keeps the key it showed last, and opens at next.
inline constexpr std::string_view kRegistryEditorKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Regedit";
inline constexpr std::string_view kRegistryEditorLastKey = "LastKey";

class Shell {
public:
    // A modal box: timers keep firing and the watches are served while it is
    // open (see Clock).
    virtual int ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;
    // Starts a command line, show-normal, without waiting. False when it cannot start.
    virtual bool StartCommand(std::string_view commandLine) = 0;
    // Opens a document with its associated program ("open" or the default verb when empty).
    virtual bool ShellOpen(std::string_view path, std::string_view verb) = 0;
    // Starts a file through the shell with its default verb, as a double-click
    // would (a .lnk brings its own working folder and show state), without ever
    // showing an error dialog. False when it cannot start.
    virtual bool ShellStart(std::string_view path) = 0;
    // Finds a top-level window by its title and brings it (or its last active
    // pop-up) to the front. False when there is none.
    virtual bool RaiseWindowByTitle(std::string_view title) = 0;

    // ---- a row's own actions
    // Opens the folder of `path` in Explorer with that file or folder selected.
    // False when it cannot.
    virtual bool ShowInFolder(std::string_view path) = 0;
    // Shows the Windows property sheet of a file. False when it cannot.
    virtual bool ShowProperties(std::string_view path) = 0;
    // Starts the Registry Editor at `lastKey`, its own form of a key's path
    // ("Computer\HKEY_CURRENT_USER\Software\..."): the editor opens at the key
    // it keeps as the last one seen. False when it cannot start.
    virtual bool OpenRegistryEditor(std::string_view lastKey) = 0;
    // Puts text on the clipboard. False when the clipboard cannot be had.
    virtual bool CopyText(std::string_view text) = 0;

protected:
    ~Shell() = default;
};

}  // namespace vantorell::platform
