// The delay dialog WF: a small modal dialog in which the user chooses an
// entry's startup delay, 0 to 240 seconds, in the spin field Sec. OK (or Enter)
// takes the value; the close box cancels. Built from an in-memory template, so
// it needs no resources; laid out in pixels at 96 DPI and scaled to the
// monitor's DPI.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "store/StartupRecord.h"
#include "ui/DelayPrompt.h"

namespace vantorell::ui::win32 {

// Control ids of the dialog.
inline constexpr int kDelayLabelId = 100;   // Label1
inline constexpr int kDelayEditId = 101;    // Sec: the edit field
inline constexpr int kDelayUpDownId = 102;  // Sec: its up and down buttons
// The OK button BitBtn1 is IDOK.

// Layout at 96 DPI, in client pixels.
inline constexpr int kDelayClientWidth = 186;
inline constexpr int kDelayClientHeight = 82;
inline constexpr int kDelayScreenLeft = 413;
inline constexpr int kDelayScreenTop = 364;

class DelayDialog final : public DelayPrompt {
public:
    // `owner` may be null; it is disabled while the dialog is open.
    explicit DelayDialog(HWND owner = nullptr) : owner_(owner) {}
    DelayDialog(const DelayDialog&) = delete;
    DelayDialog& operator=(const DelayDialog&) = delete;

    void SetOwner(HWND owner) { owner_ = owner; }
    // Sec's value: set before showing, read after OK. Brought into 0..240.
    int Value() const { return value_; }
    void SetValue(int seconds);
    // Shows the dialog modally: IDOK when it was confirmed, IDCANCEL when it was
    // closed, -1 when it could not be shown (or is already showing).
    INT_PTR ShowModal();

    // DelayPrompt: SetValue(preset), ShowModal, and the value on OK.
    std::optional<int> AskDelay(int preset) override;

    // The open dialog, null while it is closed.
    HWND Window() const { return window_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();
    void CreateSpinButtons();
    // Places the edit field and its spin buttons in Sec's rectangle.
    void PlaceSec(UINT dpi);
    // Reads the edit field, brings it into range and shows the result.
    int NormaliseField();
    void ShowValue(int seconds);

    HWND owner_ = nullptr;
    HWND window_ = nullptr;
    int value_ = store::kMinDelay;
};

}  // namespace vantorell::ui::win32
