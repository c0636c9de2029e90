// The entry grid SL as a portable model: seven text columns, row 0 the titles,
// one data row per entry placed by its display position. The Win32 view shows
// the cells and asks DrawCell how each one is painted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/EntriesChanged.h"
#include "control/EntryControl.h"
#include "platform/Locale.h"
#include "store/EntryTable.h"
#include "ui/CheckImages.h"
#include "ui/NameLists.h"

namespace vantorell::ui {

enum GridColumn : int {
    kColEnabled = 0,    // entry state "1", "0" or "2", drawn as a check-box image
    kColName = 1,       // entry name, drawn in its rating colour
    kColConfirm = 2,    // confirm flag "1" or "0", drawn as a check-box image
    kColIndex = 3,      // hidden: the entry's table index, decimal
    kColDelay = 4,      // delay in seconds
    kColCommand = 5,    // run command
    kColRating = 6,     // hidden: rating code, written only by RateRows
    kColPublisher = 7,  // who made the entry's file, right of the run command (behind the hidden rating)
    kColImpact = 8,     // what its programs cost at the last logons: "High", "Medium", "Low", "Not measured"
};
inline constexpr int kGridColumnCount = 9;
inline constexpr int kGridRowHeight = 16;
inline constexpr std::array<int, kGridColumnCount> kGridColumnWidths{45, 115, 80, 0, 70, 300, 0, 200, 90};
// The narrowest a shown column is kept, and the widest, at 96 DPI.
inline constexpr int kMinColumnWidth = 8;
inline constexpr int kMaxColumnWidth = 2000;
inline constexpr std::array<std::string_view, kGridColumnCount> kGridColumnTitles{
    "Enabled", "Program Name", "Confirm startup", "", "Startup delay", "Run command",
    "",        "Publisher",    "Startup impact"};

// Name colours by rating; a name rated "0" keeps the default text colour.
inline constexpr Rgb kRedName{255, 0, 0};
inline constexpr Rgb kBlueName{0, 0, 255};
inline constexpr Rgb kGreenName{0, 128, 0};
// A name whose file is gone: a dead entry.
inline constexpr Rgb kGreyName{128, 128, 128};

// What the row's file says, beyond the name lists: a broken or distrusted
// signature is red whatever the lists say; a missing file is grey.
enum class FileMark { None, Alarm, Dead };

// The four lookup keys of an entry: name + ".lnk", name, the command's
// file-name part, and its bare name. The command is trimmed of characters 0 to
// 32 at both ends but not split at blanks or quotes; the file-name part is the
// text after its last '\' or ':', and the bare name is that part cut at its
// last '.' (the whole part when it has none).
std::array<std::string, 4> RatingKeys(std::string_view name, std::string_view command);
// The rating code of an entry: "3" green, "2" blue, "1" red, "0" none. A
// service is rated by its command's file only: the lists name programs of the
// Run keys and the Startup folders, and a service's key name is another thing
// (Windows' "Eventlog" service is not the worm of that Run value's name), and
// for a shared host's service `command` is best its library (ServiceRated).
std::string_view RateEntry(const NameLists& lists, std::string_view name, std::string_view command,
                           bool service = false);
// What of a service is rated: the library a shared host runs for it, or its
// command; nullopt for an entry that is no service.
std::optional<std::string> ServiceRated(const store::StartupEntry& entry);

// How a cell is painted over the grid's ordinary drawing.
enum class CellPaint {
    Nothing,       // in the tray: no drawing at all
    OrdinaryText,  // the cell's text at (left + 2, top + 2) in the default colour
    ColouredText,  // fill with the cell's background, then the text in `colour` at (left + 2, top + 2)
    Image,         // the check-box `image`, copied to the cell's top-left corner
};
struct CellDrawing {
    CellPaint paint = CellPaint::OrdinaryText;
    Rgb colour{};                        // for ColouredText
    CheckImage image = CheckImage::CBU;  // for Image
    friend bool operator==(const CellDrawing&, const CellDrawing&) = default;
};
// The drawing of cell `column` whose own text is `text`, in a row whose rating
// cell holds `rating` and whose file is marked `mark`. All tests are exact
// text comparisons.
CellDrawing DecideCellDrawing(int column, std::string_view text, std::string_view rating, bool highlight, bool inTray,
                              FileMark mark = FileMark::None);

// The order of the grid's rows: the table's display order ("as listed"), or
// by one column, up or down. Rows that are alike in that column keep their
// order as listed.
enum class SortDirection { AsListed = 0, Up = 1, Down = 2 };
struct GridSort {
    int column = kColName;
    SortDirection direction = SortDirection::AsListed;
    friend bool operator==(const GridSort&, const GridSort&) = default;
};
// Whether the rows can be put in order by `column`: the shown columns can.
bool SortableColumn(int column);
// What a click on the title of `column` makes of `sort`: a new column is put
// in order up; the same column goes down, then back to as listed.
GridSort NextSort(GridSort sort, int column);

// The status line's word on rows not shown; empty when every row is shown.
std::string HiddenRowsText(std::size_t windowsOwn, std::size_t filtered);

// The grid shows the entries: told of a table built anew, it fills itself.
// Its rows are the entries in the table's display order; the filter leaves
// some of them out and the sort may put the rest in another order, so the
// row numbers of Cell, IndexOfRow, DrawCell and the rest are those shown.
class GridModel final : public control::EntriesChanged {
public:
    // The lists (and the locale, when given) must outlive the model. Without
    // a locale the filter and the sort fold ASCII letters only.
    explicit GridModel(const NameLists& lists, platform::Locale* locale = nullptr);

    void OnEntriesChanged(const store::EntryTable& table) override { FillGrid(table); }
    bool ShowsEntries() const override { return true; }

    int RowCount() const { return static_cast<int>(shown_.size() + 1); }  // rows shown, title row included
    int ColCount() const { return kGridColumnCount; }
    // The text of a cell; empty outside the grid.
    const std::string& Cell(int column, int row) const;
    // Writes a cell (the grid gestures show a new state at once); ignored outside the grid.
    void SetCell(int column, int row, std::string_view text);
    int ColWidth(int column) const;
    void SetColWidth(int column, int width);
    // The widths every fill starts from: kGridColumnWidths, or what the user
    // chose. A hidden column (width 0 there) stays hidden, and a shown one is
    // kept at least kMinColumnWidth wide.
    const std::array<int, kGridColumnCount>& KeptWidths() const { return kept_; }
    void KeepColWidth(int column, int width);

    // Writes the table into the grid: widths and titles, n + 1 rows, columns 0
    // to 5 of every entry's row (column 1 only when its text differs), and the
    // ratings when the row count or a name changed or a rating cell is empty.
    void FillGrid(const store::EntryTable& table);
    // Rates every data row from its name and command into column 6.
    void RateRows();

    // The table index in column 3 of a data row; nullopt for the title row, a
    // row outside the grid, or a cell that is not a number of 0 or more.
    std::optional<std::size_t> IndexOfRow(int row) const;
    // The last data row whose index cell holds `index`.
    std::optional<int> RowOfIndex(std::size_t index) const;
    // The entry a data row showed when it was filled: its name, place and
    // whether it is a record. A scan made since (the grid's refill held while
    // the user is at it) may have moved the entry to another index; the key
    // finds it there. nullptr for the title row and outside the grid.
    const control::EntryKey* KeyOfRow(int row) const;
    // The row that shows the entry of `key` now; nullopt when none does.
    std::optional<int> RowOfKey(const control::EntryKey& key) const;
    // The index in `table` (the scan as it is now) of the entry data row
    // `row` showed; nullopt for no row and for an entry gone since.
    std::optional<std::size_t> EntryNow(int row, const store::EntryTable& table) const;

    // The highlight switch HL: checked from the start. Changing it runs HLClick.
    bool Highlight() const { return highlight_; }
    void SetHighlight(bool checked);
    // Asks the view to repaint the whole grid.
    void HLClick();
    // Called on HLClick; the view repaints from the model.
    void SetRepaintHandler(std::function<void()> handler) { repaint_ = std::move(handler); }
    // Called at the end of every FillGrid, so a view can show the new cells.
    void SetFilledHandler(std::function<void()> handler) { filled_ = std::move(handler); }
    // Grows on every change of the cells, widths or highlight switch.
    std::uint64_t Version() const { return version_; }

    // How cell (column, row) is drawn; `inTray` while the tray icon is active.
    // The Enabled cell of an entry that Windows' own switch has turned off is
    // drawn as CBW, whatever its text.
    CellDrawing DrawCell(int column, int row, bool inTray) const;
    // Whether the row's entry is switched off by Windows, as of the last FillGrid.
    bool WindowsOff(int row) const;

    // The info tip of a data row: what the provider says of the row's table
    // index; empty without a provider or for a row without an entry.
    std::string InfoTip(int row) const;
    void SetInfoTipProvider(std::function<std::string(std::size_t index)> provider) {
        tipProvider_ = std::move(provider);
    }

    // What is known of the file of a table index: its Publisher text and its
    // mark; nullopt while it is not known. Asked by every FillGrid and by
    // RefreshFiles.
    struct FileFacts {
        std::string publisher;
        FileMark mark = FileMark::None;
        bool hidden = false;  // the row is not shown (Windows' own, while they are hidden)
        std::string impact;   // the Startup impact cell
    };
    void SetFileProvider(std::function<std::optional<FileFacts>(std::size_t index)> provider) {
        fileProvider_ = std::move(provider);
    }
    // Writes the Publisher cells and marks again (results came in); true when
    // one changed. The view is to repaint then. When an entry is to be shown
    // or hidden now, the grid fills itself again from `table`.
    bool RefreshFiles(const store::EntryTable& table);
    // How many entries the last fill left out as hidden.
    std::size_t HiddenCount() const { return hidden_.size(); }
    FileMark Mark(int row) const;

    // The filter: only rows whose name, command, publisher, location code or
    // place hold `text`, without regard to case, are shown; all of them when
    // it is empty. Kept through every fill. The view is to refresh after.
    void SetFilter(std::string_view text);
    const std::string& Filter() const { return filter_; }
    // How many rows of the table's entries the filter leaves out now.
    std::size_t FilteredCount() const { return rows_.size() - shown_.size() - 1; }
    // The order of the rows, kept through every fill. The view is to refresh after.
    void SetSort(GridSort sort);
    GridSort Sort() const { return sort_; }

private:
    using Row = std::array<std::string, kGridColumnCount>;

    static bool Inside(int column, int row, std::size_t rows);
    void SetTitles();
    // The row of rows_ that shown row `row` is (0 for the title row); rows_.size() outside.
    std::size_t Listed(int row) const;
    // Puts the rows in order (sorted_) and then picks those to be shown.
    void Arrange();
    void PickShown();
    bool Matches(std::size_t listed);
    std::string Fold(std::string_view text) const;

    const NameLists* lists_;
    platform::Locale* locale_;
    // Every entry's row, in the table's display order; row 0 holds the titles.
    // The per-row vectors below follow it.
    std::vector<Row> rows_;
    std::vector<std::size_t> sorted_;  // the rows of rows_ in the sort's order, the titles left out
    std::vector<std::size_t> shown_;   // those of them the filter lets through
    std::vector<bool> windowsOff_;     // per row
    std::vector<FileMark> marks_;      // per row
    std::vector<std::optional<control::EntryKey>> keys_;  // per row
    // Per row: its place, for the filter's look at where it comes from.
    std::vector<const store::AutostartLocation*> places_;
    std::vector<std::string> locations_;
    // Per row: its texts as the filter searches them, folded; made when a filter first asks.
    std::vector<std::optional<std::string>> folded_;
    bool twoViews_ = false;
    std::string filter_;        // as typed
    std::string foldedFilter_;  // folded
    GridSort sort_;
    // Per row: for a service, what is rated (its library, or its command).
    std::vector<std::optional<std::string>> services_;
    std::vector<std::size_t> hidden_;  // the table indexes the last fill left out
    std::function<std::optional<FileFacts>(std::size_t)> fileProvider_;
    std::function<std::string(std::size_t)> tipProvider_;
    std::array<int, kGridColumnCount> widths_ = kGridColumnWidths;
    std::array<int, kGridColumnCount> kept_ = kGridColumnWidths;
    bool highlight_ = true;
    std::function<void()> repaint_;
    std::function<void()> filled_;
    std::uint64_t version_ = 0;
};

}  // namespace vantorell::ui
