// What the main window reports to the main form. The view forwards the user's
// gestures and the window's life-cycle events here; it decides nothing itself.
//
// Every call comes on the GUI thread from inside a window procedure. A handler
// may throw AppError: the view catches it at the window procedure and shows the
// error report, and the window goes on.
#pragma once

#include <string_view>
#include "ui/RowMenu.h"

namespace vantorell::ui {

class MainViewEvents {
public:
    virtual ~MainViewEvents() = default;

    // SLDblClick: a double-click on the grid. (column, row) is the selected
    // cell after the click, in grid rows (row 0 is the title row): a click on a
    // data cell selects that cell first; a double-click elsewhere (title row,
    // empty space) acts on the cell that was selected.
    virtual void OnGridDoubleClick(int column, int row) = 0;
    // SLMouseUp: any mouse button released over the grid.
    virtual void OnGridMouseUp() = 0;
    // Button1Click: "Delete selected entry".
    virtual void OnDeleteClicked() = 0;
    // BitBtn1Click: "&Help".
    virtual void OnHelpClicked() = 0;

    // FormCloseQuery: any attempt to close the window (close box, Alt+F4, the
    // system menu, MainView::Close, and the logoff query). False keeps it open.
    virtual bool OnCloseQuery() = 0;
    // The close goes ahead: called once, before the window is destroyed.
    virtual void OnClose() = 0;
    // ApplicationMinimize: the minimise button or MainView::Minimize. The view
    // does not minimise the window itself; the form decides (tray, hide).
    virtual void OnMinimize() = 0;
    // ApplicationRestore: a restore request from the system (taskbar, system menu).
    virtual void OnRestore() = 0;
    // FormShow: the window has become visible.
    virtual void OnShown() = 0;
    // MainWindowProc's WM_QUERYENDSESSION: Windows asks whether the logon may
    // end. Called before the close query, whose answer the view returns.
    virtual void OnQueryEndSession() = 0;
    // WM_ENDSESSION: the logon ends now; the form should stop at once.
    virtual void OnEndSession() = 0;

    // A question, not an event: whether changing the entry of grid `row` needs
    // administrator rights the window lacks. The view then shows the UAC
    // shield on "Delete selected entry" and says so in the row's info tip.
    virtual bool NeedsAdministratorRights(int /*row*/) { return false; }
    // The "Hide Windows' own entries" box was switched.
    virtual void OnHideWindowsOwnChanged() {}
    // The filter box above the grid now holds `text`.
    virtual void OnFilterChanged(std::string_view /*text*/) {}
    // A click on the title of grid column `column`.
    virtual void OnGridHeaderClick(int /*column*/) {}

    // ---- the row menu and the keys
    // A question, asked as the row menu opens: which actions apply to the
    // entry of grid `row`.
    virtual RowMenu RowMenuOf(int /*row*/) { return {}; }
    // An action of the row menu, or its key, on the entry of grid `row`.
    virtual void OnRowAction(RowAction /*action*/, int /*row*/) {}
    // F5: the places are read again.
    virtual void OnRescan() {}
    // The user sized a column: `width` at 96 DPI.
    virtual void OnColumnWidthChanged(int /*column*/, int /*width*/) {}
};

}  // namespace vantorell::ui
