// The grid model: rating keys and rule, filling, re-rating, row lookups and
// the drawing decisions.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/MemoryPlatform.h"
#include "store/EntryTable.h"
#include "store/AutostartStore.h"
#include "ui/GridModel.h"

namespace vantorell::ui {
namespace {

using platform::MemoryPlatform;
using store::EntryTable;
using store::StartupEntry;

TEST(RatingKeys, AreNameWithLnkNameFileNamePartAndBareName) {
    struct Case {
        std::string_view name, command, fileName, bareName;
    };
    const Case cases[] = {
        {"App", "C:\\Program Files\\App\\app.exe", "app.exe", "app"},
        {"App", " \t\r\n C:\\App\\app.exe \x01 ", "app.exe", "app"},
        {"App", "\"C:\\Program Files\\App\\app.exe\" -min", "app.exe\" -min", "app"},
        {"App", "\"C:\\App\\app.exe\" /cfg=a.ini", "app.exe\" /cfg=a.ini", "app.exe\" /cfg=a"},
        {"App", "rundll32.exe C:\\lib\\x.dll,Run", "x.dll,Run", "x"},
        {"App", "C:app", "app", "app"},
        {"App", "C:\\dir.d\\prog", "prog", "prog"},
        {"App", "noext", "noext", "noext"},
        {"App", "C:\\App\\.hidden", ".hidden", ""},
        {"App", "", "", ""},
        {"Tool.lnk", "C:\\Tools\\tool.exe", "tool.exe", "tool"},
        {" Lead",
         "C:\\x\\R\xC3\x98"
         "DE.exe",
         "R\xC3\x98"
         "DE.exe",
         "R\xC3\x98"
         "DE"},
    };
    for (const Case& c : cases) {
        const auto keys = RatingKeys(c.name, c.command);
        EXPECT_EQ(keys[0], std::string(c.name) + ".lnk") << c.command;
        EXPECT_EQ(keys[1], c.name) << c.command;
        EXPECT_EQ(keys[2], c.fileName) << c.command;
        EXPECT_EQ(keys[3], c.bareName) << c.command;
    }
}

class GridTest : public ::testing::Test {
protected:
    MemoryPlatform p;
    const std::vector<std::string_view> red{"redprog", " lead", "star*", "Shortcut", "ctfmon32"};
    const std::vector<std::string_view> blue{"bluename", "blueprog.exe", "Tool.lnk", "Sc.lnk.lnk", "ctfmon"};
    const std::vector<std::string_view> green{"goodname", "Vantorell"};
    const NameLists lists{NameList(p, red), NameList(p, blue), NameList(p, green)};
    GridModel grid{lists};
};

TEST_F(GridTest, RatingRule) {
    struct Case {
        std::string_view name, command, rating;
    };
    const Case cases[] = {
        {"unknown", "C:\\bin\\other.exe", "0"},
        {"BLUENAME", "C:\\bin\\other.exe", "2"},      // case only differs
        {"lead", "C:\\bin\\lead.exe", "0"},           // the item has a leading blank
        {"unknown", "C:\\bin\\redprog.exe", "1"},     // bare name
        {"unknown", "C:\\bin\\BLUEPROG.EXE", "2"},    // file-name part
        {"unknown", "   C:\\bin\\redprog.exe", "1"},  // leading blanks of the command
        {"goodname", "C:\\bin\\redprog.exe", "3"},    // green over red
        {"bluename", "C:\\bin\\redprog.exe", "2"},    // blue over red
        {"redprog", "C:\\bin\\goodname.exe", "3"},    // green over red, by the command
        {"Tool", "C:\\bin\\other.exe", "2"},          // name + ".lnk"
        {"Tool.lnk", "C:\\bin\\other.exe", "2"},      // the name itself
        {"Sc.lnk", "C:\\bin\\other.exe", "2"},        // ".lnk" twice
        {"Shortcut.lnk", "C:\\bin\\other.exe", "0"},  // no key drops ".lnk"
        {"starry", "C:\\bin\\other.exe", "0"},        // '*' is no wildcard
        {"STAR*", "C:\\bin\\other.exe", "1"},
        {"x", "\"C:\\Program Files\\B\\redprog.exe\" -tray", "1"},   // bare name of a quoted path
        {"x", "\"C:\\Program Files\\B\\blueprog.exe\" -tray", "0"},  // its file-name part keeps the quote
        {"ctfmon", "C:\\bin\\ctfmon32.exe", "2"},                    // blue name, red program: blue
        {"Vantorell", "C:\\V\\vantorell.exe -b", "3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RateEntry(lists, c.name, c.command), c.rating) << c.name << " | " << c.command;
    // A service is rated by its file only: its key's name is no program's name.
    EXPECT_EQ(RateEntry(lists, "redprog", "C:\\bin\\other.exe", true), "0");
    EXPECT_EQ(RateEntry(lists, "goodname", "C:\\bin\\redprog.exe", true), "1");
    store::StartupEntry hosted;
    hosted.location = "lsvc";
    hosted.place = store::FindLocation("lsvc");
    hosted.command = "C:\\Windows\\System32\\svchost.exe -k netsvcs";
    EXPECT_EQ(ServiceRated(hosted), "");  // the host, not the service
    hosted.service = std::make_shared<store::ServiceFacts>(store::ServiceFacts{{}, {}, "C:\\x\\redprog.dll"});
    EXPECT_EQ(ServiceRated(hosted), "C:\\x\\redprog.dll");
    EXPECT_FALSE(ServiceRated(StartupEntry{}));
}

StartupEntry Entry(std::string name, std::string command, int position,
                   store::EntryState state = store::EntryState::Active, std::string location = "crun",
                   store::ConfirmFlag confirm = false, store::DelaySeconds delay = 0) {
    return StartupEntry{std::move(name), std::move(location), state, confirm, delay, std::move(command), position};
}

TEST_F(GridTest, EmptyTableLeavesOnlyTheTitleRow) {
    EntryTable table;
    table.entries.push_back(Entry("a", "a.exe", 0));
    grid.FillGrid(table);
    table.entries.clear();
    grid.FillGrid(table);
    ASSERT_EQ(grid.RowCount(), 1);
    ASSERT_EQ(grid.ColCount(), 9);
    for (int c = 0; c < grid.ColCount(); ++c) {
        EXPECT_EQ(grid.Cell(c, 0), kGridColumnTitles[static_cast<std::size_t>(c)]);
        EXPECT_EQ(grid.ColWidth(c), kGridColumnWidths[static_cast<std::size_t>(c)]);
    }
    EXPECT_EQ(grid.Cell(0, 1), "");
}

TEST_F(GridTest, FillPlacesEachEntryAtItsPositionAndResetsTheColumns) {
    EntryTable table;
    table.entries = {
        Entry("zeta", "C:\\z.exe", 2, store::EntryState::Disabled, "SUF", true, 30),
        Entry("Alpha", "C:\\redprog.exe", 0, store::EntryState::Active, "crun"),
        Entry("alpha", "C:\\a2.exe", 1, store::EntryState::Deferred, "lrun", false, 5),
    };
    grid.SetColWidth(kColIndex, 40);
    grid.SetCell(kColEnabled, 0, "x");
    grid.FillGrid(table);

    ASSERT_EQ(grid.RowCount(), 4);
    EXPECT_EQ(grid.ColWidth(kColIndex), 0);
    EXPECT_EQ(grid.Cell(kColEnabled, 0), "Enabled");
    const std::vector<std::vector<std::string>> expected{
        {"1", "Alpha", "0", "1", "0", "C:\\redprog.exe", "1"},
        {"2", "alpha", "0", "2", "5", "C:\\a2.exe", "0"},
        {"0", "zeta", "1", "0", "30", "C:\\z.exe", "0"},
    };
    for (int r = 1; r <= 3; ++r)
        for (int c = 0; c < 7; ++c)
            EXPECT_EQ(grid.Cell(c, r), expected[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c)])
                << "row " << r << " column " << c;
}

TEST_F(GridTest, RatingIsKeptWhileNamesAndRowCountStay) {
    EntryTable table;
    table.entries = {Entry("one", "C:\\one.exe", 0), Entry("two", "C:\\two.exe", 1)};
    grid.FillGrid(table);
    EXPECT_EQ(grid.Cell(kColRating, 1), "0");

    // The command changed but neither name nor row count: the old rating stays.
    table.entries[0].command = "C:\\redprog.exe";
    grid.FillGrid(table);
    EXPECT_EQ(grid.Cell(kColCommand, 1), "C:\\redprog.exe");
    EXPECT_EQ(grid.Cell(kColRating, 1), "0");

    // Another row's name changes: every row is rated again.
    table.entries[1].name = "goodname";
    grid.FillGrid(table);
    EXPECT_EQ(grid.Cell(kColRating, 1), "1");
    EXPECT_EQ(grid.Cell(kColRating, 2), "3");

    // A change of the row count rates again, too.
    table.entries[0].command = "C:\\blueprog.exe";
    table.entries.push_back(Entry("zzz", "C:\\zzz.exe", 2));
    grid.FillGrid(table);
    EXPECT_EQ(grid.Cell(kColRating, 1), "2");

    // A name that differs only in case is a change of the cell.
    table.entries[0].command = "C:\\redprog.exe";
    table.entries[0].name = "ONE";
    grid.FillGrid(table);
    EXPECT_EQ(grid.Cell(kColName, 1), "ONE");
    EXPECT_EQ(grid.Cell(kColRating, 1), "1");

    // An emptied rating cell is filled at the next fill.
    grid.SetCell(kColRating, 3, "");
    table.entries[0].command = "C:\\other.exe";
    grid.FillGrid(table);
    EXPECT_EQ(grid.Cell(kColRating, 3), "0");
    EXPECT_EQ(grid.Cell(kColRating, 1), "0");
}

TEST_F(GridTest, PositionsOutsideTheTableLeaveNoStaleRow) {
    EntryTable table;
    table.entries = {Entry("a", "a.exe", 0), Entry("b", "b.exe", 1), Entry("c", "c.exe", 2)};
    grid.FillGrid(table);
    table.entries[1].position = 0;  // a repeated position
    table.entries[2].position = 7;  // beyond the table
    grid.FillGrid(table);
    ASSERT_EQ(grid.RowCount(), 4);
    EXPECT_EQ(grid.Cell(kColName, 1), "b");
    EXPECT_EQ(grid.IndexOfRow(1), 1u);
    for (int r = 2; r <= 3; ++r) {
        EXPECT_EQ(grid.Cell(kColName, r), "");
        EXPECT_EQ(grid.IndexOfRow(r), std::nullopt);
    }
}

TEST_F(GridTest, IndexOfRowAndRowOfIndex) {
    EntryTable table;
    table.entries = {Entry("b", "b.exe", 1), Entry("a", "a.exe", 0), Entry("c", "c.exe", 2)};
    grid.FillGrid(table);
    EXPECT_EQ(grid.IndexOfRow(1), 1u);
    EXPECT_EQ(grid.IndexOfRow(2), 0u);
    EXPECT_EQ(grid.IndexOfRow(0), std::nullopt);
    EXPECT_EQ(grid.IndexOfRow(4), std::nullopt);
    EXPECT_EQ(grid.IndexOfRow(-1), std::nullopt);
    EXPECT_EQ(grid.RowOfIndex(0), 2);
    EXPECT_EQ(grid.RowOfIndex(2), 3);
    EXPECT_EQ(grid.RowOfIndex(3), std::nullopt);

    for (std::string_view bad : {"", "x", "-1", " 1", "1 ", "99999999999"}) {
        grid.SetCell(kColIndex, 3, bad);
        EXPECT_EQ(grid.IndexOfRow(3), std::nullopt) << '"' << bad << '"';
    }
    grid.SetCell(kColIndex, 3, "1");
    EXPECT_EQ(grid.RowOfIndex(1), 3);  // the last row holding it
}

TEST(CellDrawing, Decisions) {
    struct Case {
        int column;
        std::string_view text, rating;
        bool highlight, inTray;
        CellDrawing expected;
    };
    const CellDrawing ordinary{CellPaint::OrdinaryText};
    const Case cases[] = {
        {kColName, "n", "1", true, false, {CellPaint::ColouredText, {255, 0, 0}}},
        {kColName, "n", "2", true, false, {CellPaint::ColouredText, {0, 0, 255}}},
        {kColName, "n", "3", true, false, {CellPaint::ColouredText, {0, 128, 0}}},
        {kColName, "n", "0", true, false, ordinary},
        {kColName, "n", "", true, false, ordinary},
        {kColName, "n", " 1", true, false, ordinary},
        {kColName, "n", "1", false, false, ordinary},
        {kColName, "n", "1", true, true, {CellPaint::Nothing}},
        {kColEnabled, "2", "3", true, false, {CellPaint::Image, {}, CheckImage::CBB}},
        {kColEnabled, "1", "0", true, false, {CellPaint::Image, {}, CheckImage::CB}},
        {kColEnabled, "0", "0", true, false, {CellPaint::Image, {}, CheckImage::CBU}},
        {kColEnabled, "3", "0", true, false, ordinary},
        {kColEnabled, "Enabled", "", true, false, ordinary},
        {kColEnabled, "1", "0", true, true, {CellPaint::Nothing}},
        {kColConfirm, "1", "0", true, false, {CellPaint::Image, {}, CheckImage::CB}},
        {kColConfirm, "0", "0", true, false, {CellPaint::Image, {}, CheckImage::CBU}},
        {kColConfirm, "2", "0", true, false, ordinary},
        {kColConfirm, "", "0", true, false, ordinary},
        {kColDelay, "1", "1", true, false, ordinary},
        {kColCommand, "0", "1", true, false, ordinary},
        {kColIndex, "1", "1", true, false, ordinary},
        {kColRating, "1", "1", true, false, ordinary},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideCellDrawing(c.column, c.text, c.rating, c.highlight, c.inTray), c.expected)
            << "column " << c.column << " text \"" << c.text << "\" rating \"" << c.rating << '"';
}

TEST_F(GridTest, DrawsFromTheCellsAndRepaintsWhenHighlightToggles) {
    EntryTable table;
    table.entries = {Entry("goodname", "g.exe", 0, store::EntryState::Deferred)};
    grid.FillGrid(table);
    for (int c = 0; c < 7; ++c) EXPECT_EQ(grid.DrawCell(c, 0, false).paint, CellPaint::OrdinaryText) << c;
    EXPECT_EQ(grid.DrawCell(kColName, 1, false), (CellDrawing{CellPaint::ColouredText, kGreenName}));
    EXPECT_EQ(grid.DrawCell(kColEnabled, 1, false), (CellDrawing{CellPaint::Image, {}, CheckImage::CBB}));
    EXPECT_EQ(grid.DrawCell(kColConfirm, 1, false), (CellDrawing{CellPaint::Image, {}, CheckImage::CBU}));

    int repaints = 0;
    grid.SetRepaintHandler([&repaints] { ++repaints; });
    ASSERT_TRUE(grid.Highlight());
    const auto before = grid.Version();
    grid.SetHighlight(false);
    EXPECT_EQ(repaints, 1);
    EXPECT_GT(grid.Version(), before);
    EXPECT_EQ(grid.DrawCell(kColName, 1, false).paint, CellPaint::OrdinaryText);
    grid.SetHighlight(false);
    EXPECT_EQ(repaints, 1);
    grid.SetHighlight(true);
    EXPECT_EQ(repaints, 2);
}

// The filter and the sort work on the rows the fill gave; Windows' own
// entries, hidden by the file provider, are no rows at all.
using Names = std::vector<std::string>;

class ArrangedGrid : public ::testing::Test {
protected:
    ArrangedGrid() {
        table.entries = {
            Entry("Updater", "C:\\Acme\\upd.exe", 3, store::EntryState::Active, "lrun"),
            Entry("beta", "C:\\B\\beta.exe", 1, store::EntryState::Deferred, "crun", false, 30),
            Entry("Alpha", "C:\\A\\alpha.exe", 0, store::EntryState::Disabled, "crun", true, 5),
            Entry("Notes.lnk", "C:\\N\\notes.exe", 2, store::EntryState::Active, "SUF"),
            Entry("alpha", "C:\\A\\second.exe", 4, store::EntryState::Active, "crun"),
            Entry("OneDrive", "C:\\Windows\\onedrive.exe", 5, store::EntryState::Active, "crun"),
        };
        for (auto& e : table.entries) e.place = store::FindLocation(e.location);
        grid.SetFileProvider([this](std::size_t i) -> std::optional<GridModel::FileFacts> {
            if (i == 0) return GridModel::FileFacts{publisher, FileMark::None, false, "High"};
            if (i == 1) return GridModel::FileFacts{"Beta Soft", FileMark::None, false, "Low"};
            if (i == 5) return GridModel::FileFacts{"Microsoft Windows", FileMark::None, hideOwn, ""};
            return std::nullopt;
        });
    }
    std::vector<std::string> Shown() const {
        std::vector<std::string> names;
        for (int r = 1; r < grid.RowCount(); ++r) names.push_back(grid.Cell(kColName, r));
        return names;
    }

    MemoryPlatform p;
    const std::vector<std::string_view> none;
    const NameLists lists{NameList(p, none), NameList(p, none), NameList(p, none)};
    GridModel grid{lists, &p};
    EntryTable table;
    std::string publisher = "Acme Corp";
    bool hideOwn = true;
};

TEST_F(ArrangedGrid, TheFilterKeepsRowsHoldingItsTextInAnyField) {
    grid.FillGrid(table);
    EXPECT_EQ(grid.HiddenCount(), 1u);  // OneDrive's file is Windows' own
    struct Case {
        std::string_view filter;
        Names shown;
    };
    const Case cases[] = {
        {"", {"Alpha", "beta", "Notes.lnk", "Updater", "alpha"}},
        {"ALPHA", {"Alpha", "alpha"}},         // the name, without regard to case
        {"second", {"alpha"}},                 // the command
        {"acme c", {"Updater"}},               // the publisher, blank and all
        {"crun", {"Alpha", "beta", "alpha"}},  // the location code
        {"startup folder", {"Notes.lnk"}},     // the place: the user's Startup folder
        {"hkey_local_machine", {"Updater"}},   // the place: the machine's Run key
        {"microsoft windows", {}},             // the hidden entry stays hidden
        {"lnkc:", {}},                         // no match across two fields
        {"zzz", {}},
    };
    for (const Case& c : cases) {
        grid.SetFilter(c.filter);
        EXPECT_EQ(Shown(), c.shown) << c.filter;
        EXPECT_EQ(grid.FilteredCount(), 5 - c.shown.size()) << c.filter;
        EXPECT_EQ(grid.Filter(), c.filter);
    }
}

TEST_F(ArrangedGrid, FillsAndAnswersKeepTheFilterAndTheRowsKeepTheirEntries) {
    grid.FillGrid(table);
    grid.SetFilter("acme c");
    ASSERT_EQ(Shown(), Names{"Updater"});
    EXPECT_EQ(grid.IndexOfRow(1), 0u);
    EXPECT_EQ(grid.RowOfIndex(0), 1);
    EXPECT_EQ(grid.RowOfIndex(2), std::nullopt);  // filtered out
    EXPECT_EQ(grid.Cell(kColPublisher, 1), "Acme Corp");
    grid.SetCell(kColDelay, 1, "9");  // a gesture writes the row it sees
    EXPECT_EQ(grid.Cell(kColDelay, 1), "9");

    // A fill of a table with one more entry: the filter still holds.
    table.entries.push_back(Entry("Acme Cleaner", "C:\\Acme\\clean.exe", 6));
    table.entries.back().place = store::FindLocation("crun");
    grid.FillGrid(table);
    EXPECT_EQ(Shown(), (Names{"Updater", "Acme Cleaner"}));

    // An answer changes a publisher: the row leaves, as the filter says.
    publisher = "Other";
    EXPECT_TRUE(grid.RefreshFiles(table));
    EXPECT_EQ(Shown(), Names{"Acme Cleaner"});
    // A fill that renames an entry leaves nothing of its old name to the filter.
    table.entries[6].name = "Beta Cleaner";
    grid.FillGrid(table);
    EXPECT_EQ(Shown(), Names{});
    table.entries[6].name = "Acme Cleaner";
    grid.FillGrid(table);
    EXPECT_EQ(Shown(), Names{"Acme Cleaner"});
    grid.SetFilter("");
    EXPECT_EQ(grid.RowCount(), 7);

    // Showing Windows' own entries again gives their rows back.
    hideOwn = false;
    EXPECT_TRUE(grid.RefreshFiles(table));
    EXPECT_EQ(grid.HiddenCount(), 0u);
    EXPECT_EQ(grid.RowCount(), 8);
}

TEST_F(ArrangedGrid, SortsByAColumnUpAndDownKeepingAlikeRowsAsListed) {
    grid.FillGrid(table);
    struct Case {
        int column;
        SortDirection direction;
        Names shown;
    };
    const Case cases[] = {
        {kColName, SortDirection::AsListed, {"Alpha", "beta", "Notes.lnk", "Updater", "alpha"}},
        {kColName, SortDirection::Up, {"Alpha", "alpha", "beta", "Notes.lnk", "Updater"}},
        {kColName, SortDirection::Down, {"Updater", "Notes.lnk", "beta", "Alpha", "alpha"}},
        {kColDelay, SortDirection::Up, {"Notes.lnk", "Updater", "alpha", "Alpha", "beta"}},  // 0 0 0 5 30
        {kColDelay, SortDirection::Down, {"beta", "Alpha", "Notes.lnk", "Updater", "alpha"}},
        {kColEnabled, SortDirection::Up, {"Alpha", "beta", "Notes.lnk", "Updater", "alpha"}},  // off, handed over, on
        {kColConfirm, SortDirection::Down, {"Alpha", "beta", "Notes.lnk", "Updater", "alpha"}},
        {kColPublisher, SortDirection::Up, {"Alpha", "Notes.lnk", "alpha", "Updater", "beta"}},
        {kColImpact, SortDirection::Down, {"Updater", "beta", "Alpha", "Notes.lnk", "alpha"}},
        {kColCommand, SortDirection::Up, {"Alpha", "alpha", "Updater", "beta", "Notes.lnk"}},
    };
    for (const Case& c : cases) {
        grid.SetSort({c.column, c.direction});
        EXPECT_EQ(Shown(), c.shown) << c.column << " " << static_cast<int>(c.direction);
        for (int r = 1; r < grid.RowCount(); ++r)  // every row still leads to its own entry
            EXPECT_EQ(table.entries[*grid.IndexOfRow(r)].name, grid.Cell(kColName, r));
    }
    // Sorted and filtered at once, and still after a fill.
    grid.SetSort({kColName, SortDirection::Down});
    grid.SetFilter("a");
    grid.FillGrid(table);
    EXPECT_EQ(Shown(), (Names{"Updater", "Notes.lnk", "beta", "Alpha", "alpha"}));
    grid.SetFilter("alpha");
    EXPECT_EQ(Shown(), (Names{"Alpha", "alpha"}));
    // A sort by a hidden column is no sort.
    grid.SetSort({kColRating, SortDirection::Up});
    EXPECT_EQ(grid.Sort(), GridSort{});
}

TEST(GridSortClicks, UpDownThenAsListedAndANewColumnStartsUp) {
    struct Case {
        GridSort before;
        int clicked;
        GridSort after;
    };
    const Case cases[] = {
        {{kColName, SortDirection::AsListed}, kColName, {kColName, SortDirection::Up}},
        {{kColName, SortDirection::Up}, kColName, {kColName, SortDirection::Down}},
        {{kColName, SortDirection::Down}, kColName, {kColName, SortDirection::AsListed}},
        {{kColName, SortDirection::Down}, kColDelay, {kColDelay, SortDirection::Up}},
        {{kColDelay, SortDirection::AsListed}, kColPublisher, {kColPublisher, SortDirection::Up}},
        {{kColName, SortDirection::Up}, kColIndex, {kColName, SortDirection::Up}},  // a hidden column
        {{kColName, SortDirection::Up}, kGridColumnCount, {kColName, SortDirection::Up}},
    };
    for (const Case& c : cases) EXPECT_EQ(NextSort(c.before, c.clicked), c.after) << c.clicked;
}

TEST(HiddenRows, TheStatusSaysHowManyAndWhy) {
    struct Case {
        std::size_t windowsOwn, filtered;
        std::string_view text;
    };
    const Case cases[] = {
        {0, 0, ""},
        {1, 0, "1 row hidden: Windows' own"},
        {12, 0, "12 rows hidden: Windows' own"},
        {0, 3, "3 rows hidden: filter"},
        {2, 5, "7 rows hidden: 2 Windows' own, 5 filter"},
    };
    for (const Case& c : cases) EXPECT_EQ(HiddenRowsText(c.windowsOwn, c.filtered), c.text);
}

TEST(CheckImages, FrameMarginsAndTicks) {
    const auto at = [](const CheckImagePixels& px, int x, int y) { return px[static_cast<std::size_t>(y * 15 + x)]; };
    const auto cb = CheckImageBitmap(CheckImage::CB);
    const auto cbu = CheckImageBitmap(CheckImage::CBU);
    const auto cbb = CheckImageBitmap(CheckImage::CBB);
    for (const CheckImagePixels* px : {&cb, &cbu, &cbb}) {
        for (int i = 0; i < 15; ++i) EXPECT_EQ(at(*px, i, 0), kWhite) << "top margin " << i;
        for (int y = 0; y < 14; ++y) {
            EXPECT_EQ(at(*px, 0, y), kWhite) << "left margin " << y;
            EXPECT_EQ(at(*px, 14, y), kWhite) << "right margin " << y;
        }
        for (int i = 1; i <= 13; ++i) {
            for (int t : {1, 2, 12, 13}) {
                EXPECT_EQ(at(*px, i, t), kBlack) << "frame row " << t << " x " << i;
                EXPECT_EQ(at(*px, t, i), kBlack) << "frame column " << t << " y " << i;
            }
        }
    }
    int ticks = 0, top = 14, bottom = -1;
    for (int y = 3; y <= 11; ++y) {
        for (int x = 3; x <= 11; ++x) {
            EXPECT_EQ(at(cbu, x, y), kWhite);
            const bool tick = at(cb, x, y) == kBlack;
            EXPECT_EQ(at(cbb, x, y), tick ? kGrey : kWhite) << x << ',' << y;
            if (!tick) continue;
            ++ticks;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    EXPECT_GT(ticks, 7);
    EXPECT_EQ(bottom - top + 1, 7);
}

}  // namespace
}  // namespace vantorell::ui
