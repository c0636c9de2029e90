#include "ui/win32/GridView.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>

#include "platform/win32/Utf.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/ErrorReport.h"
#include "ui/win32/RowMenuPopup.h"

namespace vantorell::ui::win32 {
namespace {

using vantorell::win32::Widen;

constexpr UINT_PTR kSubclassId = 1;
constexpr int kTextInset = 2;
// Posted to the ListView: put the model's column widths back.
constexpr UINT kRestoreWidthsMessage = WM_APP + 0x40;  // text is drawn this far right of and below a cell's corner
constexpr WPARAM kCtrlC = 0x03;                        // the character Ctrl+C types

COLORREF ToColorRef(Rgb c) {
    return RGB(c.r, c.g, c.b);
}

}  // namespace

GridView::GridView(const GridModel& model, MainViewEvents& events) : model_(model), events_(events) {}

GridView::~GridView() {
    if (header_ && IsWindow(header_)) RemoveWindowSubclass(header_, HeaderProc, kSubclassId);
    if (list_ && IsWindow(list_)) RemoveWindowSubclass(list_, ListProc, kSubclassId);
}

bool GridView::Create(HWND parent, int controlId) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT | LVS_OWNERDATA |
                        LVS_SINGLESEL | LVS_SHAREIMAGELISTS;
    list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", style, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!list_) return false;
    // Not double-buffered: the buffer is a bitmap as large as the list, kept
    // for its painting all day (under Wine it stays in the process's heap,
    // 0.6 MB, once the list has been painted). A refill repaints the rows
    // without erasing first, so the list does not flicker without it.
    ListView_SetExtendedListViewStyle(list_, LVS_EX_GRIDLINES | LVS_EX_INFOTIP);
    for (int column = 0; column < kGridColumnCount; ++column) {
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_WIDTH | LVCF_SUBITEM;
        lvc.cx = 0;
        lvc.iSubItem = column;
        ListView_InsertColumn(list_, column, &lvc);
    }
    header_ = ListView_GetHeader(list_);
    if (header_) {
        SetWindowSubclass(header_, HeaderProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    SetWindowSubclass(list_, ListProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

int GridView::ScaledWidth(int column) const {
    const int width = model_.ColWidth(column);
    const int scaled = Scale(width, dpi_);
    // The first widths were made for one font at 96 DPI: where Windows gives
    // another (a missing face, a DPI whose rounding differs) a title must not
    // be cut short. A hidden column stays hidden.
    if (width <= 0 || width != kGridColumnWidths[static_cast<std::size_t>(column)]) return scaled;
    return std::max(scaled, titleWidths_[static_cast<std::size_t>(column)]);
}

void GridView::MeasureTitles() {
    // The header draws its text inset on both sides, and a sort arrow beside it.
    constexpr int kTitleMargins = 24;
    titleWidths_.fill(0);
    HWND measured = header_ ? header_ : list_;
    HDC dc = measured ? GetDC(measured) : nullptr;
    if (!dc) return;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(measured, WM_GETFONT, 0, 0));
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    for (int column = 0; column < kGridColumnCount; ++column) {
        const std::wstring title = Widen(kGridColumnTitles[static_cast<std::size_t>(column)]);
        SIZE extent{};
        if (!title.empty() && GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &extent))
            titleWidths_[static_cast<std::size_t>(column)] = extent.cx + Scale(kTitleMargins, dpi_);
    }
    if (previous) SelectObject(dc, previous);
    ReleaseDC(measured, dc);
}

void GridView::Layout(const RECT& bounds, UINT dpi) {
    dpi_ = dpi;
    SetWindowPos(list_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The ListView has no row-height setting of its own: a small-image list of
    // the right height sets it. The first guess is corrected once rows exist.
    ApplyRowHeight(std::max(1, Scale(kGridRowHeight, dpi_) - 1));
    rowHeightCalibrated_ = false;
    MeasureTitles();
    ApplyColumns();
    CalibrateRowHeight();
}

void GridView::ApplyRowHeight(int imageHeight) {
    UniqueImageList images(ImageList_Create(1, imageHeight, ILC_COLOR24, 1, 0));
    if (!images) return;
    ListView_SetImageList(list_, images.Get(), LVSIL_SMALL);
    rowHeightImages_ = std::move(images);  // LVS_SHAREIMAGELISTS: the list stays ours
    imageHeight_ = imageHeight;
}

void GridView::CalibrateRowHeight() {
    constexpr int kAttempts = 2;
    if (rowHeightCalibrated_ || DataRows() <= 0) return;
    const int target = Scale(kGridRowHeight, dpi_);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        RECT row{};
        row.left = LVIR_BOUNDS;
        if (!ListView_GetItemRect(list_, 0, &row, LVIR_BOUNDS)) return;
        const int measured = row.bottom - row.top;
        if (measured == target) break;
        const int next = imageHeight_ + (target - measured);
        if (next < 1 || next == imageHeight_) break;
        ApplyRowHeight(next);
    }
    rowHeightCalibrated_ = true;
}

void GridView::ApplyColumns() {
    applyingWidths_ = true;
    for (int column = 0; column < kGridColumnCount; ++column) {
        std::wstring title = Widen(model_.Cell(column, 0));
        // Every change of a column makes the ListView lay out and repaint its
        // header: a refill that changes nothing leaves the columns alone.
        auto& shown = columnTitles_[static_cast<std::size_t>(column)];
        if (title == shown && ListView_GetColumnWidth(list_, column) == ScaledWidth(column)) continue;
        shown = title;
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_WIDTH | LVCF_TEXT;
        lvc.cx = ScaledWidth(column);
        lvc.pszText = title.data();
        ListView_SetColumn(list_, column, &lvc);
    }
    applyingWidths_ = false;
}

void GridView::ApplySortArrows() {
    if (!header_) return;
    const GridSort sort = model_.Sort();
    for (int column = 0; column < kGridColumnCount; ++column) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        if (!Header_GetItem(header_, column, &item)) continue;
        int format = item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == sort.column && sort.direction == SortDirection::Up) format |= HDF_SORTUP;
        if (column == sort.column && sort.direction == SortDirection::Down) format |= HDF_SORTDOWN;
        if (format == item.fmt) continue;
        item.fmt = format;
        Header_SetItem(header_, column, &item);
    }
}

void GridView::Refresh() {
    if (!list_) return;
    ApplyColumns();
    ApplySortArrows();
    ListView_SetItemCountEx(list_, std::max(0, DataRows()), LVSICF_NOSCROLL);
    RestorePlace();
    ClampSelection();
    CalibrateRowHeight();
    // Painted now, not when the queue is empty: a click already waiting must
    // not land on rows the screen does not show yet.
    Repaint();
    UpdateWindow(list_);
    RememberPlace();
    if (onSelection_) onSelection_();
}

bool GridView::InUse() const {
    if (!list_) return false;
    return GetCapture() == list_ || GetTickCount() - lastInput_ < kInUseMs;
}

void GridView::RememberPlace() {
    if (!list_) return;
    const control::EntryKey* selected = model_.KeyOfRow(selected_.row);
    selectedKey_ = selected ? std::optional<control::EntryKey>(*selected) : std::nullopt;
    const control::EntryKey* top = model_.KeyOfRow(ListView_GetTopIndex(list_) + 1);
    topKey_ = top ? std::optional<control::EntryKey>(*top) : std::nullopt;
}

void GridView::RestorePlace() {
    // The selection stays on its entry, and the entry at the top stays there.
    if (selectedKey_)
        if (const auto row = model_.RowOfKey(*selectedKey_)) selected_.row = *row;
    if (!topKey_) return;
    const auto row = model_.RowOfKey(*topKey_);
    const int top = ListView_GetTopIndex(list_);
    if (!row || *row - 1 == top) return;
    RECT item{};
    item.left = LVIR_BOUNDS;
    if (!ListView_GetItemRect(list_, top, &item, LVIR_BOUNDS)) return;
    ListView_Scroll(list_, 0, (*row - 1 - top) * (item.bottom - item.top));
}

void GridView::Repaint() {
    if (list_) InvalidateRect(list_, nullptr, FALSE);
}

void GridView::ClampSelection() {
    selected_.column = std::clamp(selected_.column, 0, kGridColumnCount - 1);
    selected_.row = std::clamp(selected_.row, 1, std::max(1, DataRows()));
}

void GridView::Select(GridCell cell) {
    selected_ = cell;
    ClampSelection();
    RememberPlace();
    Repaint();
    if (onSelection_) onSelection_();
}

void GridView::SetInTray(bool inTray) {
    if (inTray_ == inTray) return;
    inTray_ = inTray;
    Repaint();
}

bool GridView::CellRect(int column, int item, RECT& rect) const {
    RECT row{};
    row.left = LVIR_BOUNDS;
    if (!ListView_GetItemRect(list_, item, &row, LVIR_BOUNDS)) return false;
    int left = row.left;
    for (int c = 0; c < column; ++c) left += ListView_GetColumnWidth(list_, c);
    rect = RECT{left, row.top, left + ListView_GetColumnWidth(list_, column), row.bottom};
    return true;
}

std::optional<GridCell> GridView::CellAt(POINT clientPoint) const {
    LVHITTESTINFO hit{};
    hit.pt = clientPoint;
    ListView_SubItemHitTest(list_, &hit);  // any column: a plain hit test knows only column 0
    if (hit.iItem < 0 || hit.iItem >= DataRows()) return std::nullopt;
    for (int column = 0; column < kGridColumnCount; ++column) {
        RECT cell{};
        if (!CellRect(column, hit.iItem, cell)) return std::nullopt;
        if (cell.right > cell.left && clientPoint.x >= cell.left && clientPoint.x < cell.right)
            return GridCell{column, hit.iItem + 1};
    }
    return std::nullopt;  // right of the last column
}

void GridView::ScrollIntoView(GridCell cell) {
    const int item = cell.row - 1;
    if (item < 0 || item >= DataRows()) return;
    ListView_EnsureVisible(list_, item, FALSE);
    RECT rect{}, client{};
    if (!CellRect(cell.column, item, rect) || !GetClientRect(list_, &client)) return;
    if (rect.left < client.left) {
        ListView_Scroll(list_, rect.left - client.left, 0);
    } else if (rect.right > client.right) {
        ListView_Scroll(list_, std::min(rect.right - client.right, rect.left - client.left), 0);
    }
}

void GridView::MoveSelection(int key) {
    const int rows = DataRows();
    if (rows <= 0) return;
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const auto visibleColumn = [&](int from, int step) {
        for (int c = from; c >= 0 && c < kGridColumnCount; c += step)
            if (model_.ColWidth(c) > 0) return c;
        return selected_.column;
    };
    const int page = std::max(1, ListView_GetCountPerPage(list_));
    GridCell next = selected_;
    switch (key) {
        case VK_LEFT: next.column = visibleColumn(selected_.column - 1, -1); break;
        case VK_RIGHT: next.column = visibleColumn(selected_.column + 1, +1); break;
        case VK_UP: next.row -= 1; break;
        case VK_DOWN: next.row += 1; break;
        case VK_PRIOR: next.row -= page; break;
        case VK_NEXT: next.row += page; break;
        case VK_HOME:
            if (control)
                next.row = 1;
            else
                next.column = visibleColumn(0, +1);
            break;
        case VK_END:
            if (control)
                next.row = rows;
            else
                next.column = visibleColumn(kGridColumnCount - 1, -1);
            break;
        default: return;
    }
    Select(next);
    ScrollIntoView(selected_);
}

void GridView::ReportMouseUp() {
    RunGuarded(GetParent(list_), [this] { events_.OnGridMouseUp(); });
}

void GridView::ReportDoubleClick() {
    const GridCell cell = selected_;
    RunGuarded(GetParent(list_), [this, cell] { events_.OnGridDoubleClick(cell.column, cell.row); });
}

LRESULT CALLBACK GridView::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    return reinterpret_cast<GridView*>(self)->OnListMessage(window, message, wParam, lParam);
}

LRESULT CALLBACK GridView::HeaderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR self) {
    return reinterpret_cast<GridView*>(self)->OnHeaderMessage(window, message, wParam, lParam);
}

// The grid handles the mouse and the arrow keys itself: a click selects a
// cell, not a row, and the ListView's own item selection and focus are never used.
LRESULT GridView::OnListMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if ((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_KEYDOWN) lastInput_ = GetTickCount();
    if (message == WM_VSCROLL || message == WM_MOUSEWHEEL || message == WM_SIZE) {
        // The list scrolls itself: where its top is afterwards is noted.
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        RememberPlace();
        return result;
    }
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetFocus(window);
            SetCapture(window);
            if (auto cell = CellAt(point)) Select(*cell);
            if (message == WM_LBUTTONDBLCLK) ReportDoubleClick();
            return 0;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            // The row menu is for the row under the mouse: its cell is selected first.
            if (auto cell = CellAt(point)) Select(*cell);
            [[fallthrough]];
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            SetFocus(window);
            SetCapture(window);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (GetCapture() == window) ReleaseCapture();
            ReportMouseUp();
            if (message == WM_RBUTTONUP && CellAt(point)) {
                POINT screen = point;
                ClientToScreen(window, &screen);
                ShowRowMenu(screen);
            }
            return 0;
        case WM_CONTEXTMENU:
            // From the keyboard (-1), or from the system for a click we did not see.
            if (lParam == -1) {
                ShowRowMenu(std::nullopt);
            } else {
                POINT client{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                ScreenToClient(window, &client);
                if (auto cell = CellAt(client)) Select(*cell);
                ShowRowMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            }
            return 0;
        case WM_GETDLGCODE:
            // Enter is the grid's own (Properties), not the dialog manager's.
            return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTALLKEYS;
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_CHAR:
            if (RowKey(message, wParam)) return 0;
            break;
        case WM_KEYDOWN:
            if (RowKey(message, wParam)) return 0;
            switch (wParam) {
                case VK_LEFT:
                case VK_RIGHT:
                case VK_UP:
                case VK_DOWN:
                case VK_PRIOR:
                case VK_NEXT:
                case VK_HOME:
                case VK_END: MoveSelection(static_cast<int>(wParam)); RememberPlace(); return 0;
                default: break;
            }
            break;
        case kRestoreWidthsMessage:
            TakeUserWidths();
            ApplyColumns();
            return 0;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, ListProc, kSubclassId);
            list_ = nullptr;
            break;
        default: break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

bool GridView::HiddenColumn(int column) const {
    return column < 0 || column >= kGridColumnCount || model_.KeptWidths()[static_cast<std::size_t>(column)] == 0;
}

bool GridView::OnHiddenDivider(HWND header, POINT point) const {
    HDHITTESTINFO hit{};
    hit.pt = point;
    SendMessageW(header, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    return (hit.flags & (HHT_ONDIVIDER | HHT_ONDIVOPEN)) != 0 && HiddenColumn(hit.iItem);
}

// The header shows the title row. It sizes the shown columns only: a press on
// a hidden column's divider never reaches it, and no sizing cursor is shown
// there. Double-clicks never reach it (they act on the selected cell).
LRESULT GridView::OnHeaderMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
        case WM_SETCURSOR: {
            POINT cursor{};
            GetCursorPos(&cursor);
            ScreenToClient(window, &cursor);
            if (OnHiddenDivider(window, cursor)) {
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
                return TRUE;
            }
            break;
        }
        case WM_LBUTTONDOWN:
            if (list_) SetFocus(list_);
            if (OnHiddenDivider(window, point)) return 0;
            break;
        case WM_LBUTTONDBLCLK:
            // The title row selects nothing: the double-click acts on the selected cell.
            ReportDoubleClick();
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
            TakeUserWidths();  // a drag of a divider ends here: before the grid is shown again
            ReportMouseUp();
            return result;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, HeaderProc, kSubclassId);
            header_ = nullptr;
            break;
        default: break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

bool GridView::OnNotify(const NMHDR& header, LRESULT& result) {
    if (!list_ || (header.hwndFrom != list_ && header.hwndFrom != header_)) return false;
    switch (header.code) {
        case NM_CUSTOMDRAW:
            if (header.hwndFrom != list_) return false;
            result = OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
            return true;
        case LVN_GETDISPINFOW:
            FillDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
            result = 0;
            return true;
        case LVN_GETINFOTIPW:
            FillInfoTip(*reinterpret_cast<NMLVGETINFOTIPW*>(const_cast<NMHDR*>(&header)));
            result = 0;
            return true;
        case LVN_COLUMNCLICK:
            if (header.hwndFrom != list_) return false;
            events_.OnGridHeaderClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
            result = 0;
            return true;
        case LVN_ODFINDITEMW:
            result = -1;  // no type-ahead search: the selection is a cell
            return true;
        // The ListView passes its header's notifications on, as the header's
        // or as its own, and not all of them on every system: sizing a hidden
        // column is refused where it can be, and the model's widths are put
        // back after any such sizing that went ahead all the same. A shown
        // column's new width goes to the model.
        case HDN_BEGINTRACKW:
        case HDN_BEGINTRACKA:
            result = HiddenColumn(reinterpret_cast<const NMHEADERW&>(header).iItem) ? TRUE : FALSE;
            return true;
        case HDN_ITEMCHANGINGW:
        case HDN_ITEMCHANGINGA:
            result =
                WidthChange(header) && HiddenColumn(reinterpret_cast<const NMHEADERW&>(header).iItem) ? TRUE : FALSE;
            return true;
        case HDN_DIVIDERDBLCLICKW:
        case HDN_DIVIDERDBLCLICKA:
        case HDN_ENDTRACKW:
        case HDN_ENDTRACKA:
            PostMessageW(list_, kRestoreWidthsMessage, 0, 0);
            result = FALSE;
            return true;
        case HDN_ITEMCHANGEDW:
        case HDN_ITEMCHANGEDA: {
            result = 0;
            if (!WidthChange(header)) return true;
            const auto& change = reinterpret_cast<const NMHEADERW&>(header);
            if (!HiddenColumn(change.iItem)) ReportWidth(change.iItem, change.pitem->cxy);
            PostMessageW(list_, kRestoreWidthsMessage, 0, 0);
            return true;
        }
        default: return false;
    }
}

void GridView::ReportWidth(int column, int pixels) {
    if (pixels == ScaledWidth(column)) return;
    const int width = MulDiv(pixels, static_cast<int>(kBaseDpi), static_cast<int>(dpi_));
    RunGuarded(GetParent(list_), [&] { events_.OnColumnWidthChanged(column, width); });
}

// Not every system tells the parent of each width the header takes: the
// ListView's own widths are what the user left.
void GridView::TakeUserWidths() {
    for (int column = 0; column < kGridColumnCount; ++column)
        if (!HiddenColumn(column)) ReportWidth(column, ListView_GetColumnWidth(list_, column));
}

bool GridView::WidthChange(const NMHDR& header) const {
    const auto& change = reinterpret_cast<const NMHEADERW&>(header);
    return !applyingWidths_ && change.pitem && (change.pitem->mask & HDI_WIDTH);
}

// ---------------------------------------------------------------- the row menu

void GridView::ShowRowMenu(std::optional<POINT> at) {
    if (!list_ || openMenu_ || DataRows() <= 0) return;
    const int row = selected_.row;
    if (!at) {  // under the selected cell, as the keyboard asks
        ScrollIntoView(selected_);
        RECT cell{};
        if (!CellRect(selected_.column, row - 1, cell)) return;
        POINT corner{cell.left, cell.bottom};
        ClientToScreen(list_, &corner);
        at = corner;
    }
    HWND parent = GetParent(list_);
    RowMenu menu;
    if (!RunGuarded(parent, [&] { menu = events_.RowMenuOf(row); })) return;
    openMenu_ = menu;
    const std::optional<RowAction> chosen = TrackRowMenu(parent, menu, *at);
    openMenu_.reset();
    if (onHint_) onHint_(nullptr);
    if (chosen) RunGuarded(parent, [&] { events_.OnRowAction(*chosen, row); });
}

void GridView::OnMenuSelect(UINT item) {
    const auto action = RowActionOfItem(item);
    if (!openMenu_ || !action || !onHint_) return;
    const std::string hint = openMenu_->Hint(*action);
    onHint_(&hint);
}

void GridView::ReportRowAction(RowAction action) {
    if (DataRows() <= 0) return;
    const int row = selected_.row;
    RunGuarded(GetParent(list_), [&] { events_.OnRowAction(action, row); });
}

bool GridView::RowKey(UINT message, WPARAM key) {
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (message) {
        case WM_KEYDOWN:
            switch (key) {
                case VK_SPACE: ReportRowAction(RowAction::Switch); return true;
                case VK_DELETE: ReportRowAction(RowAction::Delete); return true;
                case VK_RETURN: ReportRowAction(RowAction::Properties); return true;
                case VK_APPS: return true;  // the menu opens as the key comes up
                default: return false;
            }
        case WM_KEYUP:
            if (key != VK_APPS) return false;
            ShowRowMenu(std::nullopt);
            return true;
        case WM_SYSKEYDOWN:
            if (key != VK_F10 || !shift) return false;
            ShowRowMenu(std::nullopt);
            return true;
        case WM_SYSKEYUP: return key == VK_F10 && shift;  // no menu-bar mode after Shift+F10
        case WM_CHAR:
            // The characters of the keys above never reach the ListView's search.
            if (key == kCtrlC) ReportRowAction(RowAction::Copy);
            return key == kCtrlC || key == L' ' || key == L'\r';
        default: return false;
    }
}

void GridView::FillDisplayInfo(NMLVDISPINFOW& info) {
    if (!(info.item.mask & LVIF_TEXT) || !info.item.pszText || info.item.cchTextMax <= 0) return;
    const std::wstring text = Widen(model_.Cell(info.item.iSubItem, info.item.iItem + 1));
    const std::size_t room = static_cast<std::size_t>(info.item.cchTextMax) - 1;
    const std::size_t count = std::min(text.size(), room);
    std::wmemcpy(info.item.pszText, text.data(), count);
    info.item.pszText[count] = L'\0';
}

void GridView::FillInfoTip(NMLVGETINFOTIPW& tip) {
    if (!tip.pszText || tip.cchTextMax <= 0) return;
    const std::wstring text = Widen(model_.InfoTip(tip.iItem + 1));
    if (text.empty()) return;
    const std::size_t room = static_cast<std::size_t>(tip.cchTextMax) - 1;
    const std::size_t count = std::min(text.size(), room);
    std::wmemcpy(tip.pszText, text.data(), count);
    tip.pszText[count] = L'\0';
}

LRESULT GridView::OnCustomDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const int item = static_cast<int>(draw.nmcd.dwItemSpec);
            RECT cell{};
            if (CellRect(draw.iSubItem, item, cell) && cell.right > cell.left)
                DrawCell(draw.nmcd.hdc, draw.iSubItem, item + 1, cell);
            return CDRF_SKIPDEFAULT;
        }
        default: return CDRF_DODEFAULT;
    }
}

// The ordinary drawing (the cell's text at 2, 2 on its background, the
// selected cell highlighted), then what the model paints over it.
void GridView::DrawCell(HDC dc, int column, int row, const RECT& rect) const {
    const bool selected = selected_.column == column && selected_.row == row;
    const CellDrawing drawing = model_.DrawCell(column, row, inTray_);
    COLORREF text = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    if (drawing.paint == CellPaint::ColouredText) text = ToColorRef(drawing.colour);
    const std::wstring cellText = Widen(model_.Cell(column, row));
    SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetTextColor(dc, text);
    const int inset = Scale(kTextInset, dpi_);
    ExtTextOutW(dc, rect.left + inset, rect.top + inset, ETO_OPAQUE | ETO_CLIPPED, &rect, cellText.c_str(),
                static_cast<UINT>(cellText.size()), nullptr);
    if (drawing.paint == CellPaint::Image) {
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
        bitmaps_.Draw(dc, drawing.image, rect.left, rect.top, Scale(kCheckImageWidth, dpi_),
                      Scale(kCheckImageHeight, dpi_));
        RestoreDC(dc, saved);
    }
}

}  // namespace vantorell::ui::win32
