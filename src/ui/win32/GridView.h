// The entry grid SL as a report-mode ListView: a virtual list (LVS_OWNERDATA)
// whose cells come from the portable GridModel. Every cell is drawn through
// NM_CUSTOMDRAW as the model's DrawCell says; the selected cell (not a row) is
// the grid's own and is drawn highlighted. The user sizes the shown columns
// (the model keeps what he chose) but never opens a hidden one, nor moves any.
// A column at its first width is never narrower than its title in the font
// and DPI it is shown with. A click on a column's title is reported; the
// title of the column the model sorts by shows the sort's arrow. A right
// click, the context-menu key or Shift+F10 opens the row menu; Space, Delete,
// Enter and Ctrl+C are its actions' keys.
//
// Model row 0 is the ListView's header; model rows 1..n are items 0..n-1.
#pragma once

#include <windows.h>

#include <commctrl.h>  // needs <windows.h> first

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "ui/GridModel.h"
#include "ui/MainView.h"
#include "ui/MainViewEvents.h"
#include "ui/RowMenu.h"
#include "ui/win32/CheckBitmaps.h"
#include "ui/win32/GdiHandles.h"

namespace vantorell::ui::win32 {

// How long after the last pointer move, button or key on the grid the user
// counts as being at it.
inline constexpr DWORD kInUseMs = 1000;

class GridView {
public:
    GridView(const GridModel& model, MainViewEvents& events);
    ~GridView();
    GridView(const GridView&) = delete;
    GridView& operator=(const GridView&) = delete;

    // Creates the ListView as child `controlId` of `parent`; false on failure.
    bool Create(HWND parent, int controlId);
    HWND Handle() const { return list_; }

    // Places the grid (client pixels of the parent, already scaled) and scales
    // its column widths and row height to `dpi`. Call after a font change too.
    void Layout(const RECT& bounds, UINT dpi);
    // Shows the model again: row count, titles, widths, cells.
    void Refresh();
    void Repaint();

    GridCell Selected() const { return selected_; }
    // The user is at the grid: a button held on it, or the pointer moved, a
    // button or a key pressed on it in the last kInUseMs.
    bool InUse() const;
    void Select(GridCell cell);
    // Called after the selected cell may have changed (a click, a key, a refill).
    void SetSelectionHandler(std::function<void()> handler) { onSelection_ = std::move(handler); }
    void SetInTray(bool inTray);
    // Called with the status line's hint while a row menu item is highlighted,
    // and with null when the menu has closed.
    void SetMenuHintHandler(std::function<void(const std::string* hint)> handler) { onHint_ = std::move(handler); }
    // WM_MENUSELECT of the row menu, sent to the parent: the highlighted item.
    void OnMenuSelect(UINT item);

    // WM_NOTIFY sent to the parent by the ListView. True when handled; then
    // `result` is the answer for the window procedure.
    bool OnNotify(const NMHDR& header, LRESULT& result);
    // The name column's info tip: where the row's entry comes from.
    void FillInfoTip(NMLVGETINFOTIPW& tip);

private:
    static LRESULT CALLBACK ListProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR self);
    static LRESULT CALLBACK HeaderProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR self);
    LRESULT OnListMessage(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnHeaderMessage(HWND, UINT, WPARAM, LPARAM);

    int DataRows() const { return model_.RowCount() - 1; }
    int ScaledWidth(int column) const;
    // What each title needs in the header's font, margins and sort arrow included.
    void MeasureTitles();
    void ApplyColumns();
    void ApplySortArrows();
    void ApplyRowHeight(int imageHeight);
    void CalibrateRowHeight();
    std::optional<GridCell> CellAt(POINT clientPoint) const;
    bool CellRect(int column, int item, RECT& rect) const;
    void MoveSelection(int key);
    void ScrollIntoView(GridCell cell);
    void ClampSelection();
    void ReportMouseUp();
    // Notes the entries at the selected cell and at the top of the list, so
    // that a refill keeps both where they are (rows may come and go above).
    void RememberPlace();
    void RestorePlace();
    void ReportDoubleClick();
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw);
    void DrawCell(HDC dc, int column, int row, const RECT& rect) const;
    void FillDisplayInfo(NMLVDISPINFOW& info);
    // True for a header notification about a width change not made by ApplyColumns.
    bool WidthChange(const NMHDR& header) const;
    // A shown column's width in pixels, when it is not the model's, goes to the model.
    void ReportWidth(int column, int pixels);
    void TakeUserWidths();
    // A column the model hides (width 0 in every fill): never sized.
    bool HiddenColumn(int column) const;
    // The header's divider under a client point belongs to a hidden column.
    bool OnHiddenDivider(HWND header, POINT point) const;
    // The row menu of the selected row, at a screen point (nullopt: under the selected cell).
    void ShowRowMenu(std::optional<POINT> at);
    void ReportRowAction(RowAction action);
    // The keys of the row menu's actions; true when `key` was one.
    bool RowKey(UINT message, WPARAM key);

    const GridModel& model_;
    MainViewEvents& events_;
    CheckBitmaps bitmaps_;
    HWND list_ = nullptr;
    HWND header_ = nullptr;
    UINT dpi_ = 96;
    UniqueImageList rowHeightImages_;
    int imageHeight_ = 0;
    bool rowHeightCalibrated_ = false;
    bool applyingWidths_ = false;                              // our own width changes pass HDN_ITEMCHANGING
    std::array<std::wstring, kGridColumnCount> columnTitles_;  // as last given to the ListView
    std::array<int, kGridColumnCount> titleWidths_{};          // device pixels, at dpi_
    bool mouseUpReported_ = false;
    bool inTray_ = false;
    GridCell selected_{};
    std::optional<control::EntryKey> selectedKey_, topKey_;
    DWORD lastInput_ = 0;  // tick of the last pointer move, button or key on the grid
    std::function<void()> onSelection_;
    std::function<void(const std::string*)> onHint_;
    std::optional<RowMenu> openMenu_;  // the row menu while it is shown
};

}  // namespace vantorell::ui::win32
