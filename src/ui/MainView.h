// The main window as the main form sees it: a view that shows the grid model
// and the option check boxes, and that the form places, shows and hides.
// The Win32 window (ui/win32/MainWindow) implements it; a test double may too.
#pragma once

#include <optional>
#include <string_view>

namespace vantorell::ui {

// The three option check boxes of the "Program options" group.
enum class MainOption {
    WAdd,      // "Warn me when a new program adds itself to the list"
    AutoKill,  // "Prevent deactivated programs from activating themselves again"
    Minim,     // "Minimize Vantorell instead of closing it (...)"
    HideWindowsOwn,  // "Hide Windows' own entries"
};
inline constexpr int kMainOptionCount = 4;

// A cell of the grid: row 0 is the title row, rows 1..n the entries.
struct GridCell {
    int column = 0;
    int row = 1;
    friend bool operator==(const GridCell&, const GridCell&) = default;
};

// The window's outer rectangle, in screen pixels, as it is when neither
// minimised nor maximised.
struct WindowPlace {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const WindowPlace&, const WindowPlace&) = default;
};

class MainView {
public:
    virtual ~MainView() = default;

    // ---- grid
    // Shows the model again after FillGrid or a width change: row count,
    // titles, column widths and cells. The selected cell is kept, moved back
    // into the grid when the grid has shrunk.
    virtual void RefreshGrid() = 0;
    // Repaints every cell from the model (HLClick, a cell set by a gesture).
    virtual void RepaintGrid() = 0;
    // The selected (focused) cell; row 1, column 0 at start. With no data rows
    // the row is 1 all the same, which holds no entry.
    virtual GridCell SelectedCell() const = 0;
    virtual void SelectCell(GridCell cell) = 0;
    // While the tray icon is active the grid's own drawing is skipped.
    virtual void SetInTray(bool inTray) = 0;
    // Whether the user is at the grid: a mouse button held on it, or the
    // pointer moved, a button or a key pressed on it a moment ago. Refills
    // that the user did not ask for wait meanwhile, so that no row moves
    // under a click.
    virtual bool GridInUse() const { return false; }

    // The status line under the grid, beside the delete button.
    virtual void SetStatusText(std::string_view /*text*/) {}

    // ---- options
    virtual bool OptionChecked(MainOption option) const = 0;
    virtual void SetOptionChecked(MainOption option, bool checked) = 0;

    // ---- window life cycle
    // Shows the window (restored if it was minimised) and brings it to the front.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool IsVisible() const = 0;
    // Runs the same path as the minimise button: MainViewEvents::OnMinimize.
    virtual void Minimize() = 0;
    // Moves the window's outer top-left corner to a screen position.
    virtual void MoveTo(int left, int top) = 0;
    // Centres the outer window on the primary screen: half the screen's size
    // less half the window's, each halved toward zero.
    virtual void Centre() = 0;
    // Where the window is, to be remembered; nullopt when that is not known.
    virtual std::optional<WindowPlace> Placement() const { return std::nullopt; }
    // Puts the window at a remembered place, its size kept at least the
    // smallest the window allows. False when that place is off every screen:
    // the window then takes the size and stays where it is.
    virtual bool PlaceAt(const WindowPlace& /*place*/) { return false; }
    // Asks the window to close: runs the close query, and on yes OnClose.
    virtual void Close() = 0;
    // Destroys the window at once, without the close query or OnClose, and
    // ends the message loop.
    virtual void Terminate() = 0;
};

}  // namespace vantorell::ui
