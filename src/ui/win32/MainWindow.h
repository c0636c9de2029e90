// The main window: a top-level window with the intro line, the
// "Program options" group with its three check boxes, the "&Help" and
// "Delete selected entry" buttons, the entry grid and the four legend lines.
// It is a view: it shows the GridModel, forwards gestures and life-cycle
// events to MainViewEvents, and decides nothing itself. The user may make it
// larger than its designed size: the grid takes the room, and what is under
// the grid moves down with the window's bottom edge.
#pragma once

#include <windows.h>

#include <array>
#include <optional>

#include "platform/win32/ChangeWatcher.h"
#include "ui/GridModel.h"
#include "ui/MainView.h"
#include "ui/MainViewEvents.h"
#include "ui/win32/GdiHandles.h"
#include "ui/win32/GridView.h"

namespace vantorell::ui::win32 {

// The status line's control id (the end-to-end tests read its text).
inline constexpr int kStatusLineId = 190;

class MainWindow final : public MainView {
public:
    // The model and the events must outlive the window.
    MainWindow(const GridModel& model, MainViewEvents& events);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, hidden, with the icon resource `iconId` of `instance`
    // (0: the system's application icon). Throws AppError when it cannot.
    void Create(HINSTANCE instance, int iconId);
    HWND Handle() const { return window_; }
    // Runs the message loop until the window is destroyed; returns the exit code.
    int RunMessageLoop();

    // MainView
    void RefreshGrid() override;
    void RepaintGrid() override;
    GridCell SelectedCell() const override;
    void SelectCell(GridCell cell) override;
    void SetInTray(bool inTray) override;
    bool GridInUse() const override { return grid_.InUse(); }
    bool OptionChecked(MainOption option) const override;
    void SetOptionChecked(MainOption option, bool checked) override;
    void SetStatusText(std::string_view text) override;
    void Show() override;
    void Hide() override;
    bool IsVisible() const override;
    void Minimize() override;
    void MoveTo(int left, int top) override;
    void Centre() override;
    std::optional<WindowPlace> Placement() const override;
    bool PlaceAt(const WindowPlace& place) override;
    void Close() override;
    void Terminate() override;

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateControls();
    void Layout(UINT dpi);
    // Gives the window the outer size of the client area at its DPI.
    void FitToDpi();
    void ApplyFont(UINT dpi);
    void ApplyHelpGlyph(UINT dpi);
    void OnCommand(int id, int code);
    LRESULT OnCloseRequest();
    LRESULT OnControlColour(HDC dc, HWND control);
    HWND OptionBox(MainOption option) const;
    // The UAC shield on "Delete selected entry" while the selected entry is
    // machine-wide and the window runs without administrator rights.
    void UpdateDeleteShield();
    // The filter box above the grid, with its cue text; Esc in it empties it.
    bool CreateFilterBox();
    static LRESULT CALLBACK FilterBoxProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void OnFilterEdited();
    // The window's keys: Ctrl+F goes to the filter box.
    void CreateAccelerators();
    // The window's own keys, whichever control has the focus (F5); true when
    // `msg` was one.
    bool WindowKey(const MSG& msg);
    // The row menu's hint in the status line while an item is highlighted
    // (null: the menu closed, the line's own text again).
    void ShowMenuHint(const std::string* hint);
    // The smallest outer size: the designed client area at the window's DPI.
    SIZE MinimumSize() const;

    MainViewEvents& events_;
    GridView grid_;
    HWND window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    UINT dpi_ = 96;
    UniqueFont font_;
    UniqueIcon helpGlyph_;
    UniqueAccelerators accelerators_;
    bool deleteShield_ = false;
    HWND lastFocus_ = nullptr;
    bool minimized_ = false;
    std::optional<std::wstring> statusBeforeHint_;  // the status line's text while a hint shows
    // While the window is moved or its system menu is open, the system's own
    // loop runs: the monitor's watches are served meanwhile.
    std::optional<vantorell::win32::ModalLoop> systemLoop_;
};

}  // namespace vantorell::ui::win32
