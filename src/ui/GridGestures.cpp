#include "ui/GridGestures.h"

#include "control/SelfProtection.h"
#include "platform/Errors.h"
#include "platform/Text.h"

namespace vantorell::ui {

using control::EntryChange;
using control::EntryVerb;
namespace {

constexpr int kHiddenWidth = 0;
constexpr std::string_view kCellOn = "1";
constexpr std::string_view kCellOff = "0";

}  // namespace

bool GridGestures::IsOwnEntry(int row) const {
    const auto& grid = grid_;
    if (row < 1 || row >= grid.RowCount()) return false;
    return control::IsOwnCommand(grid.Cell(kColCommand, row), control_.Processes().ExecutablePath());
}

std::optional<GridGestures::RowEntry> GridGestures::EntryOfRow(int row) const {
    // A grid not refilled since the last scan (its refill waits while the
    // user is at it) may have the entry at another index now: the row's entry
    // is found by what the row showed, and nothing is done when it is gone.
    const auto index = grid_.EntryNow(row, control_.Store().Table());
    if (!index) return std::nullopt;
    return RowEntry{*index, *grid_.KeyOfRow(row)};
}

std::optional<std::size_t> GridGestures::IndexAfterQuestion(const RowEntry& entry) const {
    return control::FindEntry(control_.Store().Table(), entry.key, entry.index);
}

void GridGestures::ShowSelfProtection() {
    shell_.ShowMessageBox(control::SelfProtectionMessage(control_.Processes().ExecutablePath()), kAppTitle,
                          platform::MsgBox::Ok);
}

void GridGestures::NoteChange(EntryVerb verb, std::size_t index, int seconds) {
    // The row's entry as it is before the change: the same entry, holding the
    // same, is what a second attempt (with administrator rights) must find.
    if (auto seen = control::SeenOfEntry(control_.Store().Table(), index))
        lastChange_ = EntryChange{verb, *seen, seconds, false, windowsOwnConfirmed_};
}

void GridGestures::SLDblClick(int column, int row) {
    lastChange_.reset();
    windowsOwnConfirmed_ = false;
    auto& grid = grid_;
    if (row < 1 || row >= grid.RowCount()) return;
    if (IsOwnEntry(row)) {
        ShowSelfProtection();
        return;
    }
    const auto entry = EntryOfRow(row);
    if (!entry) return;
    switch (column) {
        case kColEnabled: {
            const auto e = control_.Store().Table().entries[entry->index];
            if (e.IsActive() && !e.windowsOff && !MayTakeOut(*entry)) return;
            if (const auto index = IndexAfterQuestion(*entry)) SwitchEnabled(row, *index);
            break;
        }
        case kColConfirm: SwitchConfirm(row, entry->index); break;
        case kColDelay: AskAndSetDelay(row, *entry); break;
        default: break;
    }
}

void GridGestures::SwitchEnabled(int row, std::size_t index) {
    auto& grid = grid_;
    const store::StartupEntry& e = control_.Store().Table().entries[index];
    // The cell shows the new state at once; the refresh at the end of each
    // operation shows what the scan found. What is done follows the entry,
    // not the cell's text.
    if (e.IsActive() && e.windowsOff) {
        NoteChange(EntryVerb::Enable, index);
        control_.SwitchOnForWindows(index);
    } else if (e.IsActive()) {
        grid.SetCell(kColEnabled, row, kCellOff);
        NoteChange(EntryVerb::Disable, index);
        control_.DisableEntry(index, false);
    } else if (e.state == store::EntryState::Disabled) {
        grid.SetCell(kColEnabled, row, kCellOn);
        NoteChange(EntryVerb::Enable, index);
        control_.EnableEntry(index);
    } else if (e.state == store::EntryState::Deferred) {
        // Handed back: the entry stays disabled, with neither confirm nor delay.
        grid.SetCell(kColEnabled, row, kCellOff);
        NoteChange(EntryVerb::Disable, index);
        control_.ClearConfirmStartup(index);
        control_.SetStartupDelay(index, 0);
    }
}

bool GridGestures::MayTakeOut(const RowEntry& entry) {
    if (!windowsOwn_ || !windowsOwn_(entry.index)) return true;
    const std::string text = "'" + entry.key.name + "' is one of Windows' own services, signed by Microsoft. " +
                             std::string(kWindowsServiceQuestion);
    windowsOwnConfirmed_ =
        shell_.ShowMessageBox(text, kAppTitle,
                              platform::MsgBox::YesNo | platform::MsgBox::IconWarning | platform::MsgBox::DefButton2) ==
        platform::MsgBox::IdYes;
    return windowsOwnConfirmed_;
}

void GridGestures::SwitchConfirm(int /*row*/, std::size_t index) {
    // A confirm field that is neither "0" nor "1" is left as it is.
    const store::ConfirmFlag confirm = control_.Store().Table().entries[index].confirm;
    if (confirm == store::ConfirmFlag(false)) {
        NoteChange(EntryVerb::Confirm, index);
        control_.SetConfirmStartup(index);
    } else if (confirm == store::ConfirmFlag(true)) {
        NoteChange(EntryVerb::Unconfirm, index);
        control_.ClearConfirmStartup(index);
    }
}

void GridGestures::AskAndSetDelay(int row, const RowEntry& entry) {
    const int preset = store::DelayFromText(grid_.Cell(kColDelay, row));
    const auto chosen = prompt_.AskDelay(preset);
    if (!chosen) return;
    // The monitor may have rescanned while the dialog was open: the delay goes
    // to the entry whose row was clicked, wherever it stands now.
    const auto index = IndexAfterQuestion(entry);
    if (!index) return;
    const int seconds = store::ClampDelay(*chosen);
    auto& grid = grid_;
    if (const auto shownAt = grid.RowOfIndex(*index)) grid.SetCell(kColDelay, *shownAt, text::ToDecimal(seconds));
    NoteChange(EntryVerb::Delay, *index, seconds);
    control_.SetStartupDelay(*index, seconds);
}

void GridGestures::SLMouseUp() {
    grid_.SetColWidth(kColIndex, kHiddenWidth);
}

void GridGestures::Button1Click(int selectedRow) {
    lastChange_.reset();
    auto& grid = grid_;
    // With no entry selected there is nothing to delete and nothing to ask.
    if (selectedRow < 1 || selectedRow >= grid.RowCount()) return;
    const bool own = IsOwnEntry(selectedRow);
    const auto entry = EntryOfRow(selectedRow);

    if (shell_.ShowMessageBox(kDeleteQuestion, kDeleteBoxCaption, platform::MsgBox::YesNo) != platform::MsgBox::IdYes)
        return;
    if (own) {
        ShowSelfProtection();
        return;
    }
    if (!entry) return;
    const auto index = IndexAfterQuestion(*entry);
    if (!index) return;
    NoteChange(EntryVerb::Delete, *index);
    control_.DeleteEntry(*index);
}

}  // namespace vantorell::ui
