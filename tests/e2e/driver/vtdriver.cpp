// vtdriver: drives a running vantorell.exe from inside Wine for the end-to-end
// tests. It finds the main window by its title, reads the grid through the
// ListView's own messages (cross-process buffers), clicks cells and buttons by
// posting messages, and makes shortcut files for the test scenes.
//
// Build it with the same toolchain as the program: the ListView structures it
// writes into the other process must have that process's pointer size.
//
// Usage: vtdriver [--timeout SECONDS] [--desktop NAME] COMMAND ARGS...
//   grid                          print the grid, tab-separated (see PrintGrid)
//   filter-type <text>            type text into the filter box above the grid, a character at a time,
//                                 and wait until the box holds it
//   filter-escape                 press Esc in the filter box and wait until it is empty
//   filter-state                  print the filter box's text, then "focused" or "unfocused"
//   time-filter <text>            empty the filter box, then type text a character at a time and print,
//                                 for each key press, the milliseconds until the grid's row count changed
//                                 (each press must change it; for bench/costs.sh)
//   click <column> <row>          click a cell (row 0 is the title row)
//   dblclick <column> <row>       double-click a cell
//   rclick <column> <row>         right-click a data cell (its row menu opens)
//   key space|delete|enter|f5|apps|ctrl+c
//                                 press a key on the grid (Ctrl+C as the character it types)
//   menu                          wait for the main window's program's pop-up menu; print "X Y W H"
//   menu-key down|up|enter|escape press a key in that open menu
//   no-menu                       wait until that program shows no pop-up menu
//   status                        print the text of the main window's status line
//   clipboard                     print the clipboard's text
//   move-window <x> <y> <w> <h>   move and size the main window
//   child-text <title> <class>    print the text of the first child of this class of the visible top-level
//                                 window with this title (another program's status bar)
//   close-window <class> <title>  ask a visible top-level window of this class and title to close (WM_CLOSE)
//   screen                        print the primary screen's width and height as Windows gives them
//   windows                       print class, pid and title of every visible top-level window, tab-separated
//   cell-corner <column> <row>    print the screen position "X Y" of a data cell's top-left corner
//   scroll <dx>                   scroll the grid dx pixels to the right (for a picture of its last columns)
//   click-button <caption>        press a button of the main window
//   check-state <caption>         print 1 or 0 for a check box of the main window
//   answer <title> <caption>      press a button of a message box or dialog
//   wait-window <title> <seconds> wait until a visible top-level window has this title
//   drag-divider <column> <dx>    drag the header divider right of a column by dx pixels
//   dblclick-divider <column>     double-click the header divider right of a column
//   close                         ask the main window to close and wait until it is gone
//   main-state                    print "visible", "hidden" or "none" for the main window
//   wait-main visible|hidden S    wait until the main window is shown, or exists and is hidden
//   pid                           print the process id of the main window's program
//   wait-exit <pid> <seconds>     wait until that process has ended
//   kill <pid>                    end that process (cleanup after a failure)
//   minimize                      press the main window's minimise button
//   set-check <caption> 0|1       set a check box of the main window by clicking it
//   box-text <title>              print the text of a visible message box with this title
//   has-box <title>               print 1 when such a message box is visible, else 0
//   dismiss <title>               close a message box or dialog with this title by its close box
//   boxes                         print how many message boxes and dialogs of the main window's program
//                                 are visible, then their titles, one a line
//   churn <seconds> <ms> <values> <names...>
//                                 for a while, every <ms> one change to the user's Run key: the data of
//                                 one of the values "Churn 0001".."Churn <values>" rewritten, or, every
//                                 third change, the next of the switched-off <names> put back (with the
//                                 data "C:\Soak\<name>.exe"). Watches each comeback until it is gone
//                                 and prints the figures (see Churn)
//   delay <seconds>               type a delay into the open delay dialog and press OK
//   tray dblclick|show|close      double-click the tray icon, or choose an item of its menu
//   make-shortcut <lnk> <target> [arguments]
//   startup-folder [common]       print the user's (or the common) Startup folder
//   add-cert Root|Disallowed <der>
//                                 add a certificate (DER file) to the machine's store of that name, in this
//                                 prefix only: a test root becomes trusted, a test signer distrusted
//   request-close                 ask the main window to close (the close box), without waiting
//   launch <exe> [arguments...]   start a program in its own folder, on the --desktop given; print its id
//   time-start <title> <exe> [arguments...]
//                                 start a program (on the --desktop given) and print the milliseconds until
//                                 a window with this title is visible on the screen, then its process id
//                                 (for bench/costs.sh)
//   time-report <value> <title>   add a value to the user's Run key and print the milliseconds until a
//                                 message box with this title is visible (for bench/costs.sh)
//   time-comeback <value> <data>  put a value back into the user's Run key and print the milliseconds until
//                                 it is gone again (a switched-off entry's comeback, taken out)
//   service <name> auto|demand|disabled <image> [dll]
//                                 make a service through the Service Control Manager as an installer does (a
//                                 shared one with a ServiceDll when dll is given), or set the start type of
//                                 one that is there
//   services <prefix> <count>     make services "<prefix> 001" ... as automatic ones of their own (for
//                                 bench/costs.sh); with count 0, delete every one of that prefix up to 999
//   service-start <name>          print the start type the manager gives (2 automatic, 3 demand, 4 disabled)
//   service-delete <name>         delete a service
//   time-service-comeback <name>  set a service back to automatic (an updater's trick) and print the
//                                 milliseconds until it is disabled again
//   dblclick-name C NAME          move onto the grid, then double-click column C of the row named
//                                 NAME, as read at that moment; prints the row
//   titles-fit <dpi>              print whether each shown column's title fits its width (fails if not)
//   rect [title]                  print left, top, width and height of the main window (or of the
//                                 visible top-level window with this title), in screen pixels
//   version                       print the ProductVersion text and the numeric file version of the
//                                 version resource of the main window's program
//
// In Wine 8 the taskbar draws the tray icons itself, so the driver models a
// gesture on the icon by sending the shell's callback message (in the form of
// NOTIFYICON_VERSION_4) to the icon's window, found by its class.
// Exit codes: 0 done, 1 failed (a message on stderr), 2 usage.
#include <windows.h>

#include <commctrl.h>  // needs <windows.h> first
#include <objbase.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ui/win32/DelayDialog.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/TrayIconWin32.h"

namespace {

constexpr wchar_t kMainTitle[] = L"Vantorell";
constexpr wchar_t kMainClass[] = L"VantorellMainWindow";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kMenuClass[] = L"#32768";
constexpr int kTextCapacity = 1024;  // characters per cell read
constexpr int kPollMs = 50;
constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct Failure {
    std::wstring message;
};

// ---------------------------------------------------------------- output

void WriteUtf8(HANDLE out, const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
void PrintLine(const std::wstring& line) {
    WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), line + L"\n");
}

// ---------------------------------------------------------------- waiting

class Deadline {
public:
    explicit Deadline(double seconds)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000))) {}
    bool Passed() const { return std::chrono::steady_clock::now() >= end_; }

private:
    std::chrono::steady_clock::time_point end_;
};

template <typename Probe>
auto PollUntil(double seconds, Probe probe) -> decltype(probe()) {
    const Deadline deadline(seconds);
    for (;;) {
        if (auto found = probe()) return found;
        if (deadline.Passed()) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}

HWND WaitForTopWindow(const std::wstring& title, double seconds) {
    return PollUntil(seconds, [&]() -> HWND {
        HWND window = FindWindowW(nullptr, title.c_str());
        return window && IsWindowVisible(window) ? window : nullptr;
    });
}

// The main window by its class, so that a message box titled "Vantorell" is never taken for it.
HWND FindMain() {
    return FindWindowW(kMainClass, kMainTitle);
}

HWND MainWindow(double seconds) {
    HWND window = PollUntil(seconds, []() -> HWND {
        HWND main = FindMain();
        return main && IsWindowVisible(main) ? main : nullptr;
    });
    if (!window) throw Failure{L"no visible window titled \"Vantorell\""};
    return window;
}

// A visible dialog (message boxes are dialogs) with this title.
HWND WaitForBox(const std::wstring& title, double seconds) {
    return PollUntil(seconds, [&]() -> HWND {
        for (HWND box = FindWindowExW(nullptr, nullptr, kDialogClass, title.c_str()); box;
             box = FindWindowExW(nullptr, box, kDialogClass, title.c_str()))
            if (IsWindowVisible(box)) return box;
        return nullptr;
    });
}

// A child of `parent` whose class and (when given) text match exactly.
HWND FindChild(HWND parent, const wchar_t* windowClass, const std::wstring* text) {
    for (HWND child = FindWindowExW(parent, nullptr, windowClass, nullptr); child;
         child = FindWindowExW(parent, child, windowClass, nullptr)) {
        if (!text) return child;
        wchar_t buffer[kTextCapacity] = {};
        GetWindowTextW(child, buffer, kTextCapacity);
        if (*text == buffer) return child;
    }
    return nullptr;
}

HWND Grid(HWND main) {
    HWND list = FindChild(main, WC_LISTVIEWW, nullptr);
    if (!list) throw Failure{L"the main window has no ListView"};
    return list;
}

// ---------------------------------------------------------------- the other process's memory

// A block in the process that owns a window, freed on destruction.
class RemoteBlock {
public:
    RemoteBlock(HWND window, std::size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!process_) throw Failure{L"cannot open the program's process"};
        address_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
        if (!address_) {
            CloseHandle(process_);
            throw Failure{L"cannot allocate memory in the program's process"};
        }
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    ~RemoteBlock() {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }

    char* At(std::size_t offset) const { return address_ + offset; }
    void Write(std::size_t offset, const void* data, std::size_t size) const {
        if (offset + size > size_ || !WriteProcessMemory(process_, At(offset), data, size, nullptr))
            throw Failure{L"cannot write the program's memory"};
    }
    void Read(std::size_t offset, void* data, std::size_t size) const {
        if (offset + size > size_ || !ReadProcessMemory(process_, At(offset), data, size, nullptr))
            throw Failure{L"cannot read the program's memory"};
    }
    std::wstring ReadText(std::size_t offset, std::size_t characters) const {
        std::wstring text(characters, L'\0');
        Read(offset, text.data(), characters * sizeof(wchar_t));
        text.resize(wcsnlen(text.c_str(), characters));
        return text;
    }

private:
    HANDLE process_ = nullptr;
    char* address_ = nullptr;
    std::size_t size_;
};

// Reads the grid: header items (titles, widths) and item texts per column.
class ListViewReader {
public:
    explicit ListViewReader(HWND list)
        : list_(list), header_(ListView_GetHeader(list)), block_(list, kTextOffset + kTextCapacity * sizeof(wchar_t)) {}

    int Columns() const { return Header_GetItemCount(header_); }
    int Rows() const { return ListView_GetItemCount(list_); }
    int Width(int column) const { return ListView_GetColumnWidth(list_, column); }

    // The header item's format flags (HDF_SORTUP, HDF_SORTDOWN, ...).
    int Format(int column) const {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        block_.Write(0, &item, sizeof item);
        SendMessageW(header_, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(block_.At(0)));
        block_.Read(0, &item, sizeof item);
        return item.fmt;
    }

    std::wstring Title(int column) const {
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = reinterpret_cast<wchar_t*>(block_.At(kTextOffset));
        item.cchTextMax = kTextCapacity;
        ClearText();
        block_.Write(0, &item, sizeof item);
        SendMessageW(header_, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(block_.At(0)));
        return block_.ReadText(kTextOffset, kTextCapacity);
    }

    std::wstring Text(int column, int item) const {
        LVITEMW request{};
        request.iSubItem = column;
        request.pszText = reinterpret_cast<wchar_t*>(block_.At(kTextOffset));
        request.cchTextMax = kTextCapacity;
        ClearText();
        block_.Write(0, &request, sizeof request);
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(block_.At(0)));
        return block_.ReadText(kTextOffset, kTextCapacity);
    }

    // Height of the first data row; 0 without rows.
    int RowHeight() const {
        if (Rows() == 0) return 0;
        const RECT rect = ItemRect(0);
        return rect.bottom - rect.top;
    }

    // The header's client point on the divider right of a column.
    POINT Divider(int column) const {
        if (column < 0 || column >= Columns()) throw Failure{L"no such column"};
        RECT rect{};
        block_.Write(0, &rect, sizeof rect);
        SendMessageW(header_, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(block_.At(0)));
        block_.Read(0, &rect, sizeof rect);
        return POINT{rect.right, (rect.top + rect.bottom) / 2};
    }
    HWND Header() const { return header_; }

    // Pixels the text takes in the grid's own font (the header's too).
    int StringWidth(const std::wstring& text) const {
        ClearText();
        block_.Write(kTextOffset, text.c_str(),
                     (std::min<std::size_t>(text.size(), kTextCapacity - 1)) * sizeof(wchar_t));
        return static_cast<int>(
            SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(block_.At(kTextOffset))));
    }

    // Client point at the middle of a cell; row 0 is the header.
    POINT CellCentre(int column, int row, HWND& target) const {
        if (column < 0 || column >= Columns() || row < 0 || row > Rows()) throw Failure{L"no such cell"};
        RECT rect{};
        if (row == 0) {
            target = header_;
            block_.Write(0, &rect, sizeof rect);
            SendMessageW(header_, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(block_.At(0)));
            block_.Read(0, &rect, sizeof rect);
            return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        }
        target = list_;
        rect = ItemRect(row - 1);
        int left = rect.left;
        for (int c = 0; c < column; ++c) left += Width(c);
        return POINT{left + Width(column) / 2, (rect.top + rect.bottom) / 2};
    }

    // Client point of a data cell's top-left corner.
    POINT CellCorner(int column, int row) const {
        if (column < 0 || column >= Columns() || row < 1 || row > Rows()) throw Failure{L"no such cell"};
        const RECT rect = ItemRect(row - 1);
        int left = rect.left;
        for (int c = 0; c < column; ++c) left += Width(c);
        return POINT{left, rect.top};
    }

private:
    static constexpr std::size_t kTextOffset = 256;  // after the largest request structure

    RECT ItemRect(int item) const {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        block_.Write(0, &rect, sizeof rect);
        SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(block_.At(0)));
        block_.Read(0, &rect, sizeof rect);
        return rect;
    }

    void ClearText() const {
        const std::wstring zeros(kTextCapacity, L'\0');
        block_.Write(kTextOffset, zeros.data(), zeros.size() * sizeof(wchar_t));
    }

    HWND list_;
    HWND header_;
    RemoteBlock block_;
};

// ---------------------------------------------------------------- commands

std::wstring Joined(const wchar_t* tag, const std::vector<std::wstring>& fields) {
    std::wstring line = tag;
    for (const auto& field : fields) line += L"\t" + field;
    return line;
}

// "widths", "titles", "arrows" (per column "up", "down" or nothing: the sort
// arrow in its title), "rowheight" and one "row" line per data row, fields
// after a tab each.
int PrintGrid(double timeout) {
    const ListViewReader grid(Grid(MainWindow(timeout)));
    const int columns = grid.Columns();
    std::vector<std::wstring> widths, titles, arrows;
    for (int c = 0; c < columns; ++c) {
        widths.push_back(std::to_wstring(grid.Width(c)));
        titles.push_back(grid.Title(c));
        const int format = grid.Format(c);
        arrows.push_back((format & HDF_SORTUP) ? L"up" : (format & HDF_SORTDOWN) ? L"down" : L"");
    }
    PrintLine(Joined(L"widths", widths));
    PrintLine(Joined(L"titles", titles));
    PrintLine(Joined(L"arrows", arrows));
    PrintLine(Joined(L"rowheight", {std::to_wstring(grid.RowHeight())}));
    for (int item = 0, rows = grid.Rows(); item < rows; ++item) {
        std::vector<std::wstring> cells;
        for (int c = 0; c < columns; ++c) cells.push_back(grid.Text(c, item));
        PrintLine(Joined(L"row", cells));
    }
    return kExitOk;
}

// One line "fits" or "cut" with the title, the column's width and its text's
// width per shown column: a title fits with the header's inset of 6 pixels at
// 96 DPI on each side, at the DPI the program was started with. Fails when one
// is cut.
int PrintTitlesFit(double timeout, int dpi) {
    const ListViewReader grid(Grid(MainWindow(timeout)));
    bool allFit = true;
    for (int c = 0, columns = grid.Columns(); c < columns; ++c) {
        const int width = grid.Width(c);
        const std::wstring title = grid.Title(c);
        if (width <= 0 || title.empty()) continue;
        const int text = grid.StringWidth(title);
        const bool fits = width >= text + MulDiv(12, dpi, 96);
        allFit = allFit && fits;
        PrintLine(Joined(fits ? L"fits" : L"cut", {title, std::to_wstring(width), std::to_wstring(text)}));
    }
    return allFit ? kExitOk : kExitFailed;
}

// The screen position "X Y" of a data cell's top-left corner, for a test that
// reads the cell's pixels from a screenshot.
int PrintCellCorner(double timeout, int column, int row) {
    HWND list = Grid(MainWindow(timeout));
    const ListViewReader grid(list);
    POINT corner = grid.CellCorner(column, row);
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ClientToScreen(list, &corner);
    PrintLine(std::to_wstring(corner.x) + L" " + std::to_wstring(corner.y));
    return kExitOk;
}

// ---- the filter box: the main window's one EDIT

HWND FilterBox(HWND main) {
    HWND box = FindChild(main, L"Edit", nullptr);
    if (!box) throw Failure{L"the main window has no filter box"};
    return box;
}

std::wstring BoxText(HWND box) {
    wchar_t text[kTextCapacity] = {};
    SendMessageW(box, WM_GETTEXT, kTextCapacity, reinterpret_cast<LPARAM>(text));
    return text;
}

// Posted as the keyboard's characters would come; the wait is for the box to hold them.
int FilterType(double timeout, const std::wstring& text) {
    HWND box = FilterBox(MainWindow(timeout));
    const std::wstring expected = BoxText(box) + text;
    for (wchar_t c : text) PostMessageW(box, WM_CHAR, c, 1);
    if (!PollUntil(timeout, [&] { return BoxText(box) == expected; }))
        throw Failure{L"the filter box does not hold \"" + expected + L"\""};
    return kExitOk;
}

int FilterEscape(double timeout) {
    HWND box = FilterBox(MainWindow(timeout));
    PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(box, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    if (!PollUntil(timeout, [&] { return BoxText(box).empty(); })) throw Failure{L"the filter box was not emptied"};
    return kExitOk;
}

int PrintFilterState(double timeout) {
    HWND main = MainWindow(timeout);
    HWND box = FilterBox(main);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const bool focused = GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &gui) && gui.hwndFocus == box;
    PrintLine(BoxText(box));
    PrintLine(focused ? L"focused" : L"unfocused");
    return kExitOk;
}

int ScrollGrid(double timeout, int dx) {
    HWND list = Grid(MainWindow(timeout));
    if (!SendMessageW(list, LVM_SCROLL, static_cast<WPARAM>(dx), 0)) return kExitFailed;
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return kExitOk;
}

// Posted, not sent: a handler may open a modal box, which must not hold up the driver.
void PostClicks(const ListViewReader& grid, int column, int row, bool twice) {
    HWND target = nullptr;
    const POINT at = grid.CellCentre(column, row, target);
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(target, WM_LBUTTONUP, 0, where);
    if (twice) {
        PostMessageW(target, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
        PostMessageW(target, WM_LBUTTONUP, 0, where);
    }
}

int ClickCell(double timeout, int column, int row, bool twice) {
    const ListViewReader grid(Grid(MainWindow(timeout)));
    PostClicks(grid, column, row, twice);
    return kExitOk;
}

// As a person does it: the pointer comes onto the grid first (sent, so the
// program has taken it in before the rows are read), then the row whose
// name is NAME is found and its cell double-clicked. Prints the row.
int DoubleClickName(double timeout, int column, const std::wstring& name) {
    HWND list = Grid(MainWindow(timeout));
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    const ListViewReader grid(list);
    for (int item = 0, rows = grid.Rows(); item < rows; ++item) {
        if (grid.Text(1, item) != name) continue;
        HWND target = nullptr;
        const POINT at = grid.CellCentre(column, item + 1, target);
        SendMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
        PostClicks(grid, column, item + 1, true);
        PrintLine(std::to_wstring(item + 1));
        return kExitOk;
    }
    throw Failure{L"no row named " + name};
}

// Sent, not posted: the header's own tracking would run synchronously, so the
// widths read afterwards show whatever the drag did.
int DragDivider(double timeout, int column, int dx, bool doubleClick) {
    const ListViewReader grid(Grid(MainWindow(timeout)));
    HWND header = grid.Header();
    const POINT from = grid.Divider(column);
    const LPARAM start = MAKELPARAM(from.x, from.y), end = MAKELPARAM(from.x + dx, from.y);
    if (doubleClick) {
        SendMessageW(header, WM_LBUTTONDBLCLK, MK_LBUTTON, start);
        SendMessageW(header, WM_LBUTTONUP, 0, start);
        return kExitOk;
    }
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, start);
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, end);
    SendMessageW(header, WM_LBUTTONUP, 0, end);
    return kExitOk;
}

// ---------------------------------------------------------------- the row menu, keys, clipboard, layout

DWORD ProcessOf(HWND window);

int RightClickCell(double timeout, int column, int row) {
    const ListViewReader grid(Grid(MainWindow(timeout)));
    HWND target = nullptr;
    if (row < 1) throw Failure{L"rclick takes a data row"};
    const POINT at = grid.CellCentre(column, row, target);
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(target, WM_RBUTTONDOWN, MK_RBUTTON, where);
    PostMessageW(target, WM_RBUTTONUP, 0, where);
    return kExitOk;
}

// Posted to the grid as the keyboard would send them; Ctrl+C as its character,
// since a posted key carries no Ctrl state.
int PressKey(double timeout, const std::wstring& name) {
    HWND list = Grid(MainWindow(timeout));
    if (name == L"ctrl+c") {
        PostMessageW(list, WM_CHAR, 0x03, 1);
        return kExitOk;
    }
    UINT key = 0;
    if (name == L"space") key = VK_SPACE;
    if (name == L"delete") key = VK_DELETE;
    if (name == L"enter") key = VK_RETURN;
    if (name == L"f5") key = VK_F5;
    if (name == L"apps") key = VK_APPS;
    if (!key) throw Failure{L"no such key: " + name};
    PostMessageW(list, WM_KEYDOWN, key, 1);
    PostMessageW(list, WM_KEYUP, key, 0xC0000001);
    return kExitOk;
}

// A visible pop-up menu of the main window's program.
HWND OpenMenu() {
    HWND main = FindMain();
    if (!main) return nullptr;
    const DWORD owner = ProcessOf(main);
    for (HWND m = FindWindowExW(nullptr, nullptr, kMenuClass, nullptr); m;
         m = FindWindowExW(nullptr, m, kMenuClass, nullptr))
        if (IsWindowVisible(m) && ProcessOf(m) == owner) return m;
    return nullptr;
}

int WaitMenu(double timeout) {
    HWND menu = PollUntil(timeout, [] { return OpenMenu(); });
    if (!menu) throw Failure{L"no pop-up menu opened"};
    RECT r{};
    GetWindowRect(menu, &r);
    PrintLine(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) +
              L" " + std::to_wstring(r.bottom - r.top));
    return kExitOk;
}

int WaitNoMenu(double timeout) {
    if (!PollUntil(timeout, [] { return !OpenMenu(); })) throw Failure{L"the pop-up menu is still open"};
    return kExitOk;
}

int MenuKey(double timeout, const std::wstring& name) {
    HWND menu = PollUntil(timeout, [] { return OpenMenu(); });
    if (!menu) throw Failure{L"no pop-up menu is open"};
    UINT key = 0;
    if (name == L"down") key = VK_DOWN;
    if (name == L"up") key = VK_UP;
    if (name == L"enter") key = VK_RETURN;
    if (name == L"escape") key = VK_ESCAPE;
    if (!key) throw Failure{L"menu-key takes down, up, enter or escape"};
    PostMessageW(menu, WM_KEYDOWN, key, 1);
    PostMessageW(menu, WM_KEYUP, key, 0xC0000001);
    return kExitOk;
}

int PrintStatus(double timeout) {
    HWND status = GetDlgItem(MainWindow(timeout), vantorell::ui::win32::kStatusLineId);
    if (!status) throw Failure{L"the main window has no status line"};
    wchar_t text[kTextCapacity] = {};
    GetWindowTextW(status, text, kTextCapacity);
    PrintLine(text);
    return kExitOk;
}

int PrintClipboard() {
    const bool open = PollUntil(2, [] { return OpenClipboard(nullptr) != FALSE; });
    if (!open) throw Failure{L"cannot open the clipboard"};
    std::wstring text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), text);
    return kExitOk;
}

int MoveMain(double timeout, int x, int y, int width, int height) {
    if (!SetWindowPos(MainWindow(timeout), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE))
        throw Failure{L"cannot move the main window"};
    return kExitOk;
}

BOOL CALLBACK NoteWindow(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t name[256] = {}, title[kTextCapacity] = {};
    GetClassNameW(window, name, 256);
    GetWindowTextW(window, title, kTextCapacity);
    PrintLine(std::wstring(name) + L"\t" + std::to_wstring(ProcessOf(window)) + L"\t" + title);
    return TRUE;
}

// Sent as WM_GETTEXT, which the system carries across processes (GetWindowText
// would give only a top-level window's title).
int PrintChildText(double timeout, const std::wstring& title, const std::wstring& childClass) {
    HWND window = WaitForTopWindow(title, timeout);
    if (!window) throw Failure{L"no window titled \"" + title + L"\""};
    HWND child = FindChild(window, childClass.c_str(), nullptr);
    if (!child) throw Failure{L"no " + childClass + L" in \"" + title + L"\""};
    wchar_t text[kTextCapacity] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(child, WM_GETTEXT, kTextCapacity, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    PrintLine(text);
    return kExitOk;
}

// Another program's window, closed as its close box would: Wine's Explorer
// windows live in the process that holds the desktop, which must not be ended.
int CloseWindowOf(double timeout, const std::wstring& windowClass, const std::wstring& title) {
    HWND window = PollUntil(timeout, [&]() -> HWND {
        HWND w = FindWindowW(windowClass.c_str(), title.c_str());
        return w && IsWindowVisible(w) ? w : nullptr;
    });
    if (!window) throw Failure{L"no window " + windowClass + L" \"" + title + L"\""};
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!PollUntil(timeout, [&] { return !IsWindow(window); })) throw Failure{L"the window did not close"};
    return kExitOk;
}

int PrintScreen() {
    PrintLine(std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L" " + std::to_wstring(GetSystemMetrics(SM_CYSCREEN)));
    return kExitOk;
}

int PrintWindows() {
    EnumWindows(NoteWindow, 0);
    return kExitOk;
}

HWND Button(HWND parent, const std::wstring& caption) {
    HWND button = FindChild(parent, L"Button", &caption);
    if (!button) throw Failure{L"no button \"" + caption + L"\""};
    return button;
}

int ClickButton(double timeout, const std::wstring& caption) {
    PostMessageW(Button(MainWindow(timeout), caption), BM_CLICK, 0, 0);
    return kExitOk;
}

int PrintCheckState(double timeout, const std::wstring& caption) {
    const LRESULT state = SendMessageW(Button(MainWindow(timeout), caption), BM_GETCHECK, 0, 0);
    PrintLine(state == BST_CHECKED ? L"1" : L"0");
    return kExitOk;
}

int Answer(double timeout, const std::wstring& title, const std::wstring& caption) {
    HWND box = WaitForBox(title, timeout);
    if (!box) throw Failure{L"no window titled \"" + title + L"\""};
    PostMessageW(Button(box, caption), BM_CLICK, 0, 0);
    return kExitOk;
}

int Dismiss(double timeout, const std::wstring& title) {
    HWND box = WaitForBox(title, timeout);
    if (!box) throw Failure{L"no window titled \"" + title + L"\""};
    PostMessageW(box, WM_CLOSE, 0, 0);
    return kExitOk;
}

int WaitWindow(const std::wstring& title, double seconds) {
    if (!WaitForTopWindow(title, seconds)) throw Failure{L"no window titled \"" + title + L"\" in time"};
    return kExitOk;
}

int Close(double timeout) {
    HWND main = MainWindow(timeout);
    PostMessageW(main, WM_CLOSE, 0, 0);
    const bool gone = PollUntil(timeout, [&] { return !IsWindow(main); });
    if (!gone) throw Failure{L"the main window did not close"};
    return kExitOk;
}

int PrintMainState() {
    HWND main = FindMain();
    PrintLine(!main ? L"none" : IsWindowVisible(main) ? L"visible" : L"hidden");
    return kExitOk;
}

int WaitMain(const std::wstring& state, double seconds) {
    const bool visible = state == L"visible";
    if (!visible && state != L"hidden") throw Failure{L"wait-main takes visible or hidden"};
    const bool reached = PollUntil(seconds, [&] {
        HWND main = FindMain();
        return main && (IsWindowVisible(main) != FALSE) == visible;
    });
    if (!reached) throw Failure{L"the main window did not become " + state + L" in time"};
    return kExitOk;
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

int PrintPid(double timeout) {
    HWND main = PollUntil(timeout, [] { return FindMain(); });
    if (!main) throw Failure{L"no main window"};
    PrintLine(std::to_wstring(ProcessOf(main)));
    return kExitOk;
}

int PrintRect(double timeout, const std::wstring& title) {
    HWND window = title.empty() ? PollUntil(timeout, [] { return FindMain(); }) : WaitForTopWindow(title, timeout);
    RECT r{};
    if (!window || !GetWindowRect(window, &r)) throw Failure{L"no such window"};
    PrintLine(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) +
              L" " + std::to_wstring(r.bottom - r.top));
    return kExitOk;
}

// The version resource of the program that owns the main window: "<ProductVersion> <a.b.c.d>".
int PrintVersion(double timeout) {
    HWND main = PollUntil(timeout, [] { return FindMain(); });
    if (!main) throw Failure{L"no main window"};
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessOf(main));
    if (!process) throw Failure{L"cannot open the main window's process"};
    wchar_t image[MAX_PATH * 4];
    DWORD length = static_cast<DWORD>(std::size(image));
    const BOOL named = QueryFullProcessImageNameW(process, 0, image, &length);
    CloseHandle(process);
    if (!named) throw Failure{L"cannot read the main window's program path"};
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(image, &ignored);
    std::vector<unsigned char> info(size);
    if (size == 0 || !GetFileVersionInfoW(image, 0, size, info.data())) throw Failure{L"no version resource"};
    wchar_t* text = nullptr;
    UINT textLength = 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (!VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", reinterpret_cast<void**>(&text),
                        &textLength) ||
        !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength) || !fixed)
        throw Failure{L"incomplete version resource"};
    PrintLine(std::wstring(text) + L" " + std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
              std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) +
              L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS)));
    return kExitOk;
}

int WaitExit(DWORD pid, double seconds) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return kExitOk;  // already gone
    const DWORD waited = WaitForSingleObject(process, static_cast<DWORD>(seconds * 1000));
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) throw Failure{L"process " + std::to_wstring(pid) + L" is still running"};
    return kExitOk;
}

int KillProcess(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return kExitOk;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    return kExitOk;
}

// Keeps the desktop it was started on open until it is ended: Wine closes a desktop about a
// second after its last program's process leaves it, and a script that ends one program and
// starts the next on the same desktop would find it gone. Started with `launch`, so that the
// desktop is this process's own; the hidden window makes it a user of the desktop in every
// Wine version, and the message loop waits without using the CPU.
int Hold() {
    HWND window = CreateWindowExW(0, L"STATIC", L"vtdriver desktop holder", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) throw Failure{L"cannot make the holder's window"};
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return kExitOk;
}

int Minimize(double timeout) {
    PostMessageW(MainWindow(timeout), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    return kExitOk;
}

int SetCheck(double timeout, const std::wstring& caption, bool checked) {
    HWND box = Button(MainWindow(timeout), caption);
    if ((SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != checked) SendMessageW(box, BM_CLICK, 0, 0);
    if ((SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != checked) throw Failure{L"cannot set " + caption};
    return kExitOk;
}

std::wstring WindowText(HWND window) {
    // A report may list hundreds of names: the whole text, whatever its length.
    std::wstring text(static_cast<std::size_t>(std::max(GetWindowTextLengthW(window), 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

int PrintBoxText(double timeout, const std::wstring& title) {
    HWND box = WaitForBox(title, timeout);
    if (!box) throw Failure{L"no message box titled \"" + title + L"\""};
    std::wstring text;
    for (HWND label = FindWindowExW(box, nullptr, L"Static", nullptr); label;
         label = FindWindowExW(box, label, L"Static", nullptr))
        text += WindowText(label);
    PrintLine(text);
    return kExitOk;
}

int PrintBoxes(double timeout) {
    HWND main = PollUntil(timeout, [] { return FindMain(); });
    if (!main) throw Failure{L"no main window"};
    const DWORD process = ProcessOf(main);
    std::vector<std::wstring> titles;
    for (HWND d = FindWindowExW(nullptr, nullptr, kDialogClass, nullptr); d;
         d = FindWindowExW(nullptr, d, kDialogClass, nullptr)) {
        if (!IsWindowVisible(d) || ProcessOf(d) != process) continue;
        wchar_t title[256] = {};
        GetWindowTextW(d, title, static_cast<int>(std::size(title)));
        titles.emplace_back(title);
    }
    PrintLine(std::to_wstring(titles.size()));
    for (const auto& t : titles) PrintLine(t);
    return kExitOk;
}

// The churn of a soak: a change of the Run key every `intervalMs`; every third
// change puts the next switched-off program back. Each comeback is looked at
// every tick until it is gone again; the time it stayed is its take-out time.
// Prints "changes N comebacks N taken-out N max-ms N over-13s N left N": left are
// comebacks still in place when the churn ended (the caller waits for them).
int Churn(double seconds, int intervalMs, int values, const std::vector<std::wstring>& names) {
    HKEY run = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &run, nullptr) != ERROR_SUCCESS)
        throw Failure{L"cannot open the Run key"};
    const auto set = [&](const std::wstring& name, const std::wstring& data) {
        return RegSetValueExW(run, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    };
    const auto present = [&](const std::wstring& name) {
        return RegQueryValueExW(run, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    };
    struct Out {
        std::wstring name;
        std::chrono::steady_clock::time_point since;
    };
    std::vector<Out> out;  // comebacks not taken out yet
    long long changes = 0, comebacks = 0, takenOut = 0, maxMs = 0, over = 0, failedWrites = 0;
    std::size_t next = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    auto due = start;
    while (due < end) {
        std::this_thread::sleep_until(due);
        due += std::chrono::milliseconds(intervalMs);
        const auto now = std::chrono::steady_clock::now();
        for (auto it = out.begin(); it != out.end();) {
            if (present(it->name)) {
                ++it;
                continue;
            }
            const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - it->since).count();
            ++takenOut;
            maxMs = std::max(maxMs, ms);
            if (ms > 13000) ++over;
            it = out.erase(it);
        }
        ++changes;
        if (!names.empty() && changes % 3 == 0) {
            // The next one that is out of its place: one still back is not put back twice.
            for (std::size_t tried = 0; tried < names.size(); ++tried) {
                const std::wstring& name = names[next++ % names.size()];
                if (present(name)) continue;
                if (!set(name, L"C:\\Soak\\" + name + L".exe")) ++failedWrites;
                out.push_back({name, std::chrono::steady_clock::now()});
                ++comebacks;
                break;
            }
            continue;
        }
        wchar_t value[32];
        swprintf(value, std::size(value), L"Churn %04d", static_cast<int>(changes % values) + 1);
        if (!set(value, L"C:\\Soak\\churn.exe /" + std::to_wstring(changes))) ++failedWrites;
    }
    RegCloseKey(run);
    PrintLine(L"changes " + std::to_wstring(changes) + L" comebacks " + std::to_wstring(comebacks) + L" taken-out " +
              std::to_wstring(takenOut) + L" max-ms " + std::to_wstring(maxMs) + L" over-13s " + std::to_wstring(over) +
              L" left " + std::to_wstring(out.size()) + L" failed-writes " + std::to_wstring(failedWrites));
    return kExitOk;
}

int PrintHasBox(const std::wstring& title) {
    PrintLine(WaitForBox(title, 0) ? L"1" : L"0");
    return kExitOk;
}

// The delay dialog: a dialog with the delay field and an OK button.
int AnswerDelay(double timeout, const std::wstring& seconds) {
    HWND dialog = PollUntil(timeout, []() -> HWND {
        for (HWND d = FindWindowExW(nullptr, nullptr, kDialogClass, nullptr); d;
             d = FindWindowExW(nullptr, d, kDialogClass, nullptr))
            if (IsWindowVisible(d) && GetDlgItem(d, vantorell::ui::win32::kDelayEditId) && GetDlgItem(d, IDOK))
                return d;
        return nullptr;
    });
    if (!dialog) throw Failure{L"the delay dialog did not open"};
    SendMessageW(GetDlgItem(dialog, vantorell::ui::win32::kDelayEditId), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(seconds.c_str()));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return kExitOk;
}

// The tray icon's window of the program that owns the main window (or of any
// copy when there is no main window).
HWND TrayWindow(double timeout) {
    HWND found = PollUntil(timeout, []() -> HWND {
        HWND main = FindMain();
        HWND any = nullptr;
        for (HWND w = FindWindowExW(nullptr, nullptr, vantorell::ui::win32::kTrayWindowClass, nullptr); w;
             w = FindWindowExW(nullptr, w, vantorell::ui::win32::kTrayWindowClass, nullptr)) {
            if (main && ProcessOf(w) == ProcessOf(main)) return w;
            if (!any) any = w;
        }
        return main ? nullptr : any;
    });
    if (!found) throw Failure{L"no tray icon window"};
    return found;
}

// Sends the shell's callback for a mouse event on the icon, as the taskbar does.
void SendTrayEvent(HWND tray, UINT event) {
    const LPARAM what = MAKELPARAM(event, vantorell::ui::win32::kTrayIconId);
    PostMessageW(tray, vantorell::ui::win32::kTrayCallbackMessage, MAKEWPARAM(1000, 760), what);
}

int Tray(double timeout, const std::wstring& action) {
    HWND tray = TrayWindow(timeout);
    if (action == L"dblclick") {
        SendTrayEvent(tray, WM_LBUTTONDOWN);
        SendTrayEvent(tray, WM_LBUTTONUP);
        SendTrayEvent(tray, WM_LBUTTONDBLCLK);
        SendTrayEvent(tray, WM_LBUTTONUP);
        return kExitOk;
    }
    wchar_t key = 0;
    if (action == L"show") key = L's';
    if (action == L"close") key = L'c';
    if (!key) throw Failure{L"tray takes dblclick, show or close"};
    SendTrayEvent(tray, WM_RBUTTONDOWN);
    SendTrayEvent(tray, WM_RBUTTONUP);
    SendTrayEvent(tray, WM_CONTEXTMENU);
    const DWORD owner = ProcessOf(tray);
    HWND menu = PollUntil(timeout, [&]() -> HWND {
        for (HWND m = FindWindowExW(nullptr, nullptr, kMenuClass, nullptr); m;
             m = FindWindowExW(nullptr, m, kMenuClass, nullptr))
            if (IsWindowVisible(m) && ProcessOf(m) == owner) return m;
        return nullptr;
    });
    if (!menu) throw Failure{L"the tray menu did not open"};
    // The item's mnemonic, as typed on the keyboard while the menu is open.
    PostMessageW(menu, WM_CHAR, key, 1);
    return kExitOk;
}

int MakeShortcut(const std::wstring& linkFile, const std::wstring& target, const std::wstring& arguments) {
    // COM only here: its hidden window would keep SetThreadDesktop from working.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) throw Failure{L"cannot start COM"};
    struct ComUser {
        ~ComUser() { CoUninitialize(); }
    } comUser;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        throw Failure{L"cannot create a shell link"};
    link->SetPath(target.c_str());
    link->SetArguments(arguments.c_str());
    IPersistFile* file = nullptr;
    HRESULT saved = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(saved)) {
        saved = file->Save(linkFile.c_str(), TRUE);
        file->Release();
    }
    link->Release();
    if (FAILED(saved)) throw Failure{L"cannot save " + linkFile};
    return kExitOk;
}

int PrintStartupFolder(bool common) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, common ? CSIDL_COMMON_STARTUP : CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT,
                                path)))
        throw Failure{L"no Startup folder"};
    PrintLine(path);
    return kExitOk;
}

// Starts a program on `desktop` (the driver's own when empty), in the program's folder.
int Launch(const std::wstring& desktop, const std::vector<std::wstring>& commandLine) {
    std::wstring command = L"\"" + commandLine[0] + L"\"";
    for (std::size_t i = 1; i < commandLine.size(); ++i) command += L" " + commandLine[i];
    const std::wstring folder = commandLine[0].substr(0, commandLine[0].find_last_of(L"\\/") + 1);
    std::wstring desktopName = desktop;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!desktopName.empty()) startup.lpDesktop = desktopName.data();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        throw Failure{L"cannot start " + commandLine[0]};
    PrintLine(std::to_wstring(process.dwProcessId));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return kExitOk;
}

// Milliseconds since `start`.
long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Polls every few milliseconds: these commands measure, so the poll must not be coarse.
template <typename Probe>
auto PollFinely(double seconds, Probe probe) -> decltype(probe()) {
    const Deadline deadline(seconds);
    for (;;) {
        if (auto found = probe()) return found;
        if (deadline.Passed()) return {};
        Sleep(2);
    }
}

// Each key press's refilter, as the user waits for it: from the character's
// arrival to the grid's new row count.
int TimeFilter(double timeout, const std::wstring& text) {
    HWND main = MainWindow(timeout);
    HWND box = FilterBox(main), list = Grid(main);
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    std::wstring line;
    for (wchar_t c : text) {
        const LRESULT before = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        const auto start = std::chrono::steady_clock::now();
        PostMessageW(box, WM_CHAR, c, 1);
        const bool changed = PollFinely(timeout, [&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != before; });
        const long long ms = MillisecondsSince(start);
        if (!changed) throw Failure{L"the row count did not change at \"" + std::wstring(1, c) + L"\""};
        line += (line.empty() ? L"" : L" ") + std::to_wstring(ms);
    }
    PrintLine(line);
    return kExitOk;
}

int TimeStart(double timeout, const std::wstring& desktop, const std::wstring& title,
              const std::vector<std::wstring>& commandLine) {
    std::wstring command = L"\"" + commandLine[0] + L"\"";
    for (std::size_t i = 1; i < commandLine.size(); ++i) command += L" \"" + commandLine[i] + L"\"";
    const std::wstring folder = commandLine[0].substr(0, commandLine[0].find_last_of(L"\\/") + 1);
    std::wstring desktopName = desktop;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!desktopName.empty()) startup.lpDesktop = desktopName.data();
    PROCESS_INFORMATION process{};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        throw Failure{L"cannot start " + commandLine[0]};
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // On the screen: visible, and not parked outside it (the program starts at -800, -800).
    HWND window = PollFinely(timeout, [&]() -> HWND {
        for (HWND w = FindWindowExW(nullptr, nullptr, nullptr, title.c_str()); w;
             w = FindWindowExW(nullptr, w, nullptr, title.c_str())) {
            RECT r{};
            if (ProcessOf(w) == process.dwProcessId && IsWindowVisible(w) && GetWindowRect(w, &r) && r.right > 0 &&
                r.bottom > 0)
                return w;
        }
        return nullptr;
    });
    if (!window) throw Failure{L"no window titled " + title};
    PrintLine(std::to_wstring(MillisecondsSince(start)) + L" " + std::to_wstring(process.dwProcessId));
    return kExitOk;
}

int TimeReport(double timeout, const std::wstring& value, const std::wstring& title) {
    HKEY run = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &run, nullptr) != ERROR_SUCCESS)
        throw Failure{L"cannot open the Run key"};
    const std::wstring data = L"C:\\Bench\\" + value + L".exe";
    const auto start = std::chrono::steady_clock::now();
    const LONG set = RegSetValueExW(run, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(run);
    if (set != ERROR_SUCCESS) throw Failure{L"cannot write " + value};
    HWND box = PollFinely(timeout, [&]() -> HWND {
        for (HWND b = FindWindowExW(nullptr, nullptr, kDialogClass, title.c_str()); b;
             b = FindWindowExW(nullptr, b, kDialogClass, title.c_str()))
            if (IsWindowVisible(b)) return b;
        return nullptr;
    });
    if (!box) throw Failure{L"no message box titled " + title};
    PrintLine(std::to_wstring(MillisecondsSince(start)));
    return kExitOk;
}

int TimeComeback(double timeout, const std::wstring& value, const std::wstring& data) {
    HKEY run = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &run, nullptr) != ERROR_SUCCESS)
        throw Failure{L"cannot open the Run key"};
    const auto start = std::chrono::steady_clock::now();
    const LONG set = RegSetValueExW(run, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    if (set != ERROR_SUCCESS) {
        RegCloseKey(run);
        throw Failure{L"cannot write " + value};
    }
    const bool gone = PollFinely(timeout, [&] {
        return RegQueryValueExW(run, value.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND;
    });
    RegCloseKey(run);
    if (!gone) throw Failure{value + L" is still in the Run key"};
    PrintLine(std::to_wstring(MillisecondsSince(start)));
    return kExitOk;
}

// ---- services, through the Service Control Manager as installers and updaters use it

struct ScHandle {
    SC_HANDLE h;
    ~ScHandle() {
        if (h) CloseServiceHandle(h);
    }
};

DWORD StartTypeOf(const std::wstring& word) {
    if (word == L"auto") return SERVICE_AUTO_START;
    if (word == L"demand") return SERVICE_DEMAND_START;
    if (word == L"disabled") return SERVICE_DISABLED;
    throw Failure{L"unknown start type " + word};
}

int MakeService(const std::wstring& name, const std::wstring& start, const std::wstring& image,
                const std::wstring& dll) {
    ScHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    if (!manager.h) throw Failure{L"cannot open the service manager"};
    ScHandle service{OpenServiceW(manager.h, name.c_str(), SERVICE_ALL_ACCESS)};
    if (service.h) {
        if (!ChangeServiceConfigW(service.h, SERVICE_NO_CHANGE, StartTypeOf(start), SERVICE_NO_CHANGE, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr))
            throw Failure{L"cannot change " + name};
        return kExitOk;
    }
    const DWORD type = dll.empty() ? SERVICE_WIN32_OWN_PROCESS : SERVICE_WIN32_SHARE_PROCESS;
    service.h = CreateServiceW(manager.h, name.c_str(), (name + L" Display").c_str(), SERVICE_ALL_ACCESS, type,
                               StartTypeOf(start), SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, nullptr,
                               nullptr, nullptr);
    if (!service.h) throw Failure{L"cannot make " + name + L": error " + std::to_wstring(GetLastError())};
    if (!dll.empty()) {
        const std::wstring key = L"System\\CurrentControlSet\\Services\\" + name + L"\\Parameters";
        HKEY parameters = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &parameters,
                            nullptr) != ERROR_SUCCESS)
            throw Failure{L"cannot make the Parameters key of " + name};
        RegSetValueExW(parameters, L"ServiceDll", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                       static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(parameters);
    }
    return kExitOk;
}

int MakeServices(const std::wstring& prefix, int count) {
    wchar_t number[8];
    for (int i = 1; i <= (count > 0 ? count : 999); ++i) {
        swprintf(number, 8, L" %03d", i);
        const std::wstring name = prefix + number;
        if (count > 0) {
            MakeService(name, L"auto", L"\"C:\\Programs\\" + name + L"\\service.exe\" -run", L"");
            continue;
        }
        ScHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
        ScHandle service{manager.h ? OpenServiceW(manager.h, name.c_str(), DELETE) : nullptr};
        if (service.h) DeleteService(service.h);
    }
    return kExitOk;
}

// The start type of a service as its key holds it, which is what Windows reads
// at its next start and what Vantorell lists; throws when it is not there.
// (A Wine prefix may run two service managers after its server was started
// again, each answering for the services it made: the key is the one truth.)
DWORD ServiceStartType(SC_HANDLE /*manager*/, const std::wstring& name) {
    DWORD start = 0, size = sizeof start;
    const std::wstring key = L"System\\CurrentControlSet\\Services\\" + name;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Start", RRF_RT_REG_DWORD, nullptr, &start, &size) !=
        ERROR_SUCCESS)
        throw Failure{L"no service " + name};
    return start;
}

int PrintServiceStart(const std::wstring& name) {
    ScHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
    if (!manager.h) throw Failure{L"cannot open the service manager"};
    PrintLine(std::to_wstring(ServiceStartType(manager.h, name)));
    return kExitOk;
}

int DeleteNamedService(const std::wstring& name) {
    ScHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
    ScHandle service{manager.h ? OpenServiceW(manager.h, name.c_str(), DELETE) : nullptr};
    if (!service.h || !DeleteService(service.h)) throw Failure{L"cannot delete " + name};
    return kExitOk;
}

int TimeServiceComeback(double timeout, const std::wstring& name) {
    ScHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
    if (!manager.h) throw Failure{L"cannot open the service manager"};
    ScHandle service{OpenServiceW(manager.h, name.c_str(), SERVICE_CHANGE_CONFIG)};
    if (!service.h) throw Failure{L"no service " + name};
    const auto start = std::chrono::steady_clock::now();
    if (!ChangeServiceConfigW(service.h, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr))
        throw Failure{L"cannot set " + name + L" back to automatic"};
    const bool off = PollFinely(timeout, [&] { return ServiceStartType(manager.h, name) == SERVICE_DISABLED; });
    if (!off) throw Failure{name + L" is still automatic"};
    PrintLine(std::to_wstring(MillisecondsSince(start)));
    return kExitOk;
}

// The desktop may not exist yet when the program is still starting: polled.
void SwitchDesktop(const std::wstring& name, double seconds) {
    HDESK desktop = PollUntil(seconds, [&] { return OpenDesktopW(name.c_str(), 0, FALSE, GENERIC_ALL); });
    if (!desktop || !SetThreadDesktop(desktop)) throw Failure{L"cannot switch to desktop " + name};
}

int AddCertificate(const std::wstring& storeName, const std::wstring& derFile) {
    HANDLE file = CreateFileW(derFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw Failure{L"cannot open " + derFile};
    std::vector<BYTE> der(GetFileSize(file, nullptr));
    DWORD read = 0;
    const BOOL ok = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read != der.size()) throw Failure{L"cannot read " + derFile};
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, storeName.c_str());
    if (!store) throw Failure{L"cannot open the store " + storeName};
    const BOOL added = CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    // Closing the store writes it.
    CertCloseStore(store, 0);
    if (!added) throw Failure{L"cannot add the certificate to " + storeName};
    return kExitOk;
}

int Usage() {
    WriteUtf8(GetStdHandle(STD_ERROR_HANDLE),
              L"usage: vtdriver [--timeout S] [--desktop NAME] grid | titles-fit DPI | filter-type TEXT | filter-escape |"
              L" filter-state | time-filter TEXT | click C R | dblclick-name C NAME | dblclick C R |"
              L" rclick C R | key KEY | menu | no-menu | menu-key KEY | status | clipboard | move-window X Y W H |"
              L" windows | child-text TITLE CLASS | close-window CLASS TITLE | screen | click-button CAPTION |"
              L" check-state CAPTION | answer TITLE CAPTION | wait-window TITLE S | drag-divider C DX |"
              L" dblclick-divider C | close | main-state | wait-main visible|hidden S | pid | wait-exit PID S |"
              L" kill PID | minimize | set-check CAPTION 0|1 | box-text TITLE | has-box TITLE | boxes | dismiss TITLE |"
              L" churn SECONDS MS VALUES [NAMES] | delay SECONDS |"
              L" tray dblclick|show|close | request-close | launch EXE [ARGS] | version | rect [TITLE] |"
              L" time-start TITLE EXE [ARGS] | time-report VALUE TITLE | time-comeback VALUE DATA |"
              L" make-shortcut LNK TARGET [ARGS] | startup-folder | add-cert Root|Disallowed DER | hold\n");
    return kExitUsage;
}

int Run(std::vector<std::wstring> args) {
    double timeout = 10;
    std::wstring desktop;
    while (args.size() >= 2 && args[0].rfind(L"--", 0) == 0) {
        if (args[0] == L"--timeout") {
            timeout = _wtof(args[1].c_str());
        } else if (args[0] == L"--desktop") {
            desktop = args[1];
        } else {
            return Usage();
        }
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return Usage();
    const std::wstring command = args[0];
    // These work on processes and files, not on windows: they must work after the desktop
    // has closed (waiting for a program's end, ending what is left at cleanup).
    const bool windowless = command == L"wait-exit" || command == L"kill" || command == L"make-shortcut" ||
                            command == L"startup-folder" || command == L"add-cert" || command == L"hold" ||
                            command == L"time-comeback" || command.rfind(L"service", 0) == 0 ||
                            command == L"time-service-comeback";
    if (!desktop.empty() && !windowless) SwitchDesktop(desktop, timeout);
    const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::wstring(); };
    const auto number = [&](std::size_t i) { return _wtoi(arg(i).c_str()); };
    const std::size_t count = args.size() - 1;
    if (command == L"grid" && count == 0) return PrintGrid(timeout);
    if (command == L"titles-fit" && count == 1) return PrintTitlesFit(timeout, number(1));
    if (command == L"filter-type" && count == 1) return FilterType(timeout, arg(1));
    if (command == L"filter-escape" && count == 0) return FilterEscape(timeout);
    if (command == L"filter-state" && count == 0) return PrintFilterState(timeout);
    if (command == L"time-filter" && count == 1) return TimeFilter(timeout, arg(1));
    if (command == L"click" && count == 2) return ClickCell(timeout, number(1), number(2), false);
    if (command == L"dblclick" && count == 2) return ClickCell(timeout, number(1), number(2), true);
    if (command == L"dblclick-name" && count == 2) return DoubleClickName(timeout, number(1), arg(2));
    if (command == L"rclick" && count == 2) return RightClickCell(timeout, number(1), number(2));
    if (command == L"key" && count == 1) return PressKey(timeout, arg(1));
    if (command == L"menu" && count == 0) return WaitMenu(timeout);
    if (command == L"no-menu" && count == 0) return WaitNoMenu(timeout);
    if (command == L"menu-key" && count == 1) return MenuKey(timeout, arg(1));
    if (command == L"status" && count == 0) return PrintStatus(timeout);
    if (command == L"clipboard" && count == 0) return PrintClipboard();
    if (command == L"move-window" && count == 4) return MoveMain(timeout, number(1), number(2), number(3), number(4));
    if (command == L"windows" && count == 0) return PrintWindows();
    if (command == L"screen" && count == 0) return PrintScreen();
    if (command == L"close-window" && count == 2) return CloseWindowOf(timeout, arg(1), arg(2));
    if (command == L"child-text" && count == 2) return PrintChildText(timeout, arg(1), arg(2));
    if (command == L"cell-corner" && count == 2) return PrintCellCorner(timeout, number(1), number(2));
    if (command == L"scroll" && count == 1) return ScrollGrid(timeout, number(1));
    if (command == L"click-button" && count == 1) return ClickButton(timeout, arg(1));
    if (command == L"check-state" && count == 1) return PrintCheckState(timeout, arg(1));
    if (command == L"answer" && count == 2) return Answer(timeout, arg(1), arg(2));
    if (command == L"wait-window" && count == 2) return WaitWindow(arg(1), _wtof(arg(2).c_str()));
    if (command == L"drag-divider" && count == 2) return DragDivider(timeout, number(1), number(2), false);
    if (command == L"dblclick-divider" && count == 1) return DragDivider(timeout, number(1), 0, true);
    if (command == L"close" && count == 0) return Close(timeout);
    if (command == L"main-state" && count == 0) return PrintMainState();
    if (command == L"wait-main" && count == 2) return WaitMain(arg(1), _wtof(arg(2).c_str()));
    if (command == L"pid" && count == 0) return PrintPid(timeout);
    if (command == L"version" && count == 0) return PrintVersion(timeout);
    if (command == L"rect" && count <= 1) return PrintRect(timeout, arg(1));
    if (command == L"wait-exit" && count == 2) return WaitExit(static_cast<DWORD>(number(1)), _wtof(arg(2).c_str()));
    if (command == L"hold" && count == 0) return Hold();
    if (command == L"kill" && count == 1) return KillProcess(static_cast<DWORD>(number(1)));
    if (command == L"minimize" && count == 0) return Minimize(timeout);
    if (command == L"set-check" && count == 2) return SetCheck(timeout, arg(1), arg(2) == L"1");
    if (command == L"box-text" && count == 1) return PrintBoxText(timeout, arg(1));
    if (command == L"has-box" && count == 1) return PrintHasBox(arg(1));
    if (command == L"boxes" && count == 0) return PrintBoxes(timeout);
    if (command == L"dismiss" && count == 1) return Dismiss(timeout, arg(1));
    if (command == L"churn" && count >= 3)
        return Churn(_wtof(arg(1).c_str()), number(2), number(3), {args.begin() + 4, args.end()});
    if (command == L"delay" && count == 1) return AnswerDelay(timeout, arg(1));
    if (command == L"tray" && count == 1) return Tray(timeout, arg(1));
    if (command == L"make-shortcut" && (count == 2 || count == 3)) return MakeShortcut(arg(1), arg(2), arg(3));
    if (command == L"startup-folder" && (count == 0 || (count == 1 && arg(1) == L"common")))
        return PrintStartupFolder(count == 1);
    if (command == L"add-cert" && count == 2) return AddCertificate(arg(1), arg(2));
    if (command == L"launch" && count >= 1) return Launch(desktop, {args.begin() + 1, args.end()});
    if (command == L"time-start" && count >= 2)
        return TimeStart(timeout, desktop, arg(1), {args.begin() + 2, args.end()});
    if (command == L"time-report" && count == 2) return TimeReport(timeout, arg(1), arg(2));
    if (command == L"time-comeback" && count == 2) return TimeComeback(timeout, arg(1), arg(2));
    if (command == L"service" && (count == 3 || count == 4)) return MakeService(arg(1), arg(2), arg(3), arg(4));
    if (command == L"services" && count == 2) return MakeServices(arg(1), number(2));
    if (command == L"service-start" && count == 1) return PrintServiceStart(arg(1));
    if (command == L"service-delete" && count == 1) return DeleteNamedService(arg(1));
    if (command == L"time-service-comeback" && count == 1) return TimeServiceComeback(timeout, arg(1));
    if (command == L"request-close" && count == 0) {
        PostMessageW(MainWindow(timeout), WM_SYSCOMMAND, SC_CLOSE, 0);
        return kExitOk;
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int code = kExitFailed;
    try {
        code = Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const Failure& failure) {
        WriteUtf8(GetStdHandle(STD_ERROR_HANDLE), L"vtdriver: " + failure.message + L"\n");
    }
    return code;
}
