// The shell of the in-memory platform: boxes are answered by the script,
// and nothing is started or opened: what would be is recorded
// (StartedCommands, OpenedDocuments, ShellStarted, RaisedWindows, ShellViews,
// Clipboard).
#include "platform/memory/MemoryPlatform.h"

namespace vantorell::platform {

int MemoryPlatform::ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) {
    boxes_.push_back(ShownBox{std::string(text), std::string(caption), style, now_});
    const ShownBox shown = boxes_.back();
    int answer = (style & 0xF) == MsgBox::YesNo ? MsgBox::IdNo : MsgBox::IdOk;
    if (!boxScript_) return answer;
    // The box's own loop: the watches are served by a short timer meanwhile.
    const std::optional<TimerId> poll =
        modalDepth_++ == 0 ? std::optional(StartTimer(kModalPollMs, [this] { TakeUpPendingChange(); })) : std::nullopt;
    const BoxScript script = boxScript_;  // the script may set another one
    answer = script(shown);
    if (poll) StopTimer(*poll);
    if (--modalDepth_ == 0) TakeUpPendingChange();  // the window's own loop again
    return answer;
}

bool MemoryPlatform::StartCommand(std::string_view commandLine) {
    if (Faulty(Op::StartCommand, Hive::CurrentUser, commandLine)) return false;
    started_.emplace_back(commandLine);
    return true;
}

bool MemoryPlatform::ShellOpen(std::string_view path, std::string_view) {
    opened_.emplace_back(path);
    return FileExists(path);
}

bool MemoryPlatform::ShellStart(std::string_view path) {
    if (Faulty(Op::StartCommand, Hive::CurrentUser, path)) return false;
    shellStarted_.emplace_back(path);
    return FileExists(path);
}

bool MemoryPlatform::RaiseWindowByTitle(std::string_view title) {
    if (!windows_.count(std::string(title))) return false;
    raised_.emplace_back(title);
    return true;
}

bool MemoryPlatform::ShowInFolder(std::string_view path) {
    shellViews_.push_back("folder " + std::string(path));
    return FileExists(path) || FolderExists(path);
}

bool MemoryPlatform::ShowProperties(std::string_view path) {
    shellViews_.push_back("properties " + std::string(path));
    return FileExists(path);
}

// The editor reads its last key from the user's hive, as an English Windows' does.
bool MemoryPlatform::OpenRegistryEditor(std::string_view keyPath) {
    if (Faulty(Op::StartCommand, Hive::CurrentUser, "regedit.exe")) return false;
    const std::string lastKey = "Computer\\" + std::string(keyPath);
    PutString(Hive::CurrentUser, kRegistryEditorKey, kRegistryEditorLastKey, lastKey);
    shellViews_.push_back("regedit " + lastKey);
    return true;
}

bool MemoryPlatform::CopyText(std::string_view text) {
    clipboard_ = text;
    return true;
}

}  // namespace vantorell::platform
