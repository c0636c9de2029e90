// The grid's gestures, its presenter: double-click on a cell, mouse-button
// release, and the button "Delete selected entry". They turn a row into its
// entry (through the hidden index column) and call the entry operations.
//
// An error of an operation (AppError) ends the gesture and propagates to the
// caller, whose top-level handler shows it; the grid keeps what it showed.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "control/EntryCommands.h"
#include "control/EntryControl.h"
#include "platform/Shell.h"
#include "ui/DelayPrompt.h"
#include "ui/GridModel.h"

namespace vantorell::ui {

inline constexpr std::string_view kDeleteBoxCaption = "Delete entry";
// After "'NAME' is one of Windows' own services, signed by Microsoft. "
inline constexpr std::string_view kWindowsServiceQuestion =
    "Windows, or a part of it, may not work without it. Switch it off all the same? (Takes effect at the next start "
    "of Windows; it can be switched on again here.)";
inline constexpr std::string_view kDeleteQuestion =
    "Are you sure you wish to remove this entry? Once you delete it, you will not be able to get it back. If the "
    "program is currently enabled, it will be disabled and the entry will be removed. If you simply wish to disable "
    "the program, double-click the check-box in the enabled column";

class GridGestures {
public:
    // Its questions and refusals are shown through `shell`. `control`,
    // `shell`, `grid` and `prompt` must outlive the gestures.
    GridGestures(control::EntryControl& control, platform::Shell& shell, GridModel& grid, DelayPrompt& prompt)
        : control_(control), shell_(shell), grid_(grid), prompt_(prompt) {}

    // Double-click: the selected cell's column chooses the action, its row the entry.
    void SLDblClick(int column, int row);
    // Any mouse-button release over the grid: the index column is hidden again.
    void SLMouseUp();
    // "Delete selected entry" on the selected row.
    void Button1Click(int selectedRow);

    // Tells which entries are Windows' own services: switching one of them off
    // asks a second, explicit question first.
    void SetWindowsOwnService(std::function<bool(std::size_t index)> windowsOwn) {
        windowsOwn_ = std::move(windowsOwn);
    }

    // Whether a data row shows the program's own entry.
    bool IsOwnEntry(int row) const;

    // The change the last gesture set out to make, for making it once more
    // elsewhere (with administrator rights); nullopt when it made none.
    const std::optional<control::EntryChange>& LastChange() const { return lastChange_; }

private:
    // The entry a data row shows, as its index and key; nullopt for the title
    // row, a row outside the grid, and a row that no longer matches the table.
    struct RowEntry {
        std::size_t index;
        control::EntryKey key;
    };
    std::optional<RowEntry> EntryOfRow(int row) const;
    // The entry's index after a modal question, during which the monitor may
    // have rescanned; nullopt when it is gone.
    std::optional<std::size_t> IndexAfterQuestion(const RowEntry& entry) const;
    void SwitchEnabled(int row, std::size_t index);
    void SwitchConfirm(int row, std::size_t index);
    void AskAndSetDelay(int row, const RowEntry& entry);
    void ShowSelfProtection();
    void NoteChange(control::EntryVerb verb, std::size_t index, int seconds = 0);

    // Whether an active entry is Windows' own service, and the user says to switch it off.
    bool MayTakeOut(const RowEntry& entry);

    control::EntryControl& control_;
    std::function<bool(std::size_t)> windowsOwn_;
    bool windowsOwnConfirmed_ = false;  // this gesture's question about Windows' own service was answered yes
    platform::Shell& shell_;
    GridModel& grid_;
    DelayPrompt& prompt_;
    std::optional<control::EntryChange> lastChange_;
};

}  // namespace vantorell::ui
