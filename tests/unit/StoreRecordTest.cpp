// The record rules of "StartupList.txt": fields, states, escapes, and the
// rewrite of the options.
#include <gtest/gtest.h>

#include "StoreTestScene.h"

namespace vantorell::testing {
namespace {

using store::EncodeRecordField;
using store::RecordField;

// The state a line's record has in the table.
std::string StateOfLine(std::string_view line) {
    return store::StartupRecord::Parse(line).Deferred() ? store::kStateDeferred : store::kStateDisabled;
}

// The line of a new record.
std::string MakeLine(std::string name, std::string code, std::string command, std::string arguments, bool confirm,
                     int delay) {
    return NewRecord(std::move(name), std::move(code), std::move(command), std::move(arguments), confirm, delay).Line();
}

TEST(StoreRecord, FieldsFollowTheSeparatorRule) {
    struct Case {
        const char* record;
        int k;
        const char* field;
    } cases[] = {
        {"a;b;c", 0, "a"},
        {"a;b;c", 1, "b"},
        {"a;b;c", 2, "c"},
        {"a;b;c", 5, "c"},
        {"whole", 0, "whole"},
        {"whole", 4, "whole"},
        {"a;;c", 1, ""},
        {"a;b;", 2, ""},
        {"a;b;", 5, ""},
        {"", 0, ""},
        {"", 3, ""},
        {";", 0, ""},
        {"n;l;c;a;1;30", 4, "1"},
        {"n;l;c;a;1;30", 5, "30"},
        {"n;l;c;a;1;30;x", 5, "30"},
    };
    for (const auto& c : cases) EXPECT_EQ(RecordField(c.record, c.k), c.field) << c.record << " k=" << c.k;
}

TEST(StoreRecord, StateIsDeferredOnlyForAPositiveConfirmOrDelay) {
    struct Case {
        const char* record;
        const char* state;
    } cases[] = {
        {"n;crun;c;;0;0", "0"},    {"n;crun;c;;1;0", "2"},
        {"n;crun;c;;0;30", "2"},   {"n;crun;c;;yes;", "0"},
        {"n;crun;c;;-1;-30", "0"}, {"n;crun;c;;007;0", "2"},
        {"n;crun;c;;0;+5", "2"},   {"n;crun;c;;0;99999999999", "0"},
        {"n;crun;c;; 1;0", "0"},   {"", "0"},
        {"n;crun;5", "2"},         {"n;crun;c;;0;1.5", "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(StateOfLine(c.record), c.state) << c.record;
}

TEST(StoreRecord, PlainFieldsAreWrittenUnchanged) {
    EXPECT_EQ(MakeLine("App", "crun", "C:\\app.exe -x", "", false, 0), "App;crun;C:\\app.exe -x;;0;0");
    EXPECT_EQ(MakeLine("Caf\xC3\xA9.lnk", "SUF", "C:\\c.exe", "/a \"b\"", true, 30),
              "Caf\xC3\xA9.lnk;SUF;C:\\c.exe;/a \"b\";1;30");
}

TEST(StoreRecord, EveryTextSurvivesARoundTrip) {
    const std::string texts[] = {";",     "a;b;c",        ";;", "\x1E", "\x1F",  "\x1E\x1F;", "\x1F\x1E", ";\x1E",
                                 "\x1E;", "line\r\nnext", "\r", "\n",   "\x1Er", "\x1En",     "end\x1E",  "plain"};
    for (const auto& t : texts) {
        const auto record = MakeLine(t, "crun", t, t, false, 7);
        EXPECT_EQ(record.find('\r'), std::string::npos);
        EXPECT_EQ(record.find('\n'), std::string::npos);
        for (int k : {0, 2, 3}) EXPECT_EQ(RecordField(record, k), t) << "field " << k;
        EXPECT_EQ(RecordField(record, 1), "crun");
        EXPECT_EQ(RecordField(record, 5), "7");
        EXPECT_EQ(StateOfLine(record), "2");
    }
}

TEST(StoreRecord, AnUnknownEscapeIsKeptAsItStands) {
    EXPECT_EQ(RecordField("a\x1Ez;b", 0), "a\x1Ez");
    EXPECT_EQ(RecordField("a\x1E", 0), "a\x1E");
    EXPECT_EQ(EncodeRecordField("no escapes here"), "no escapes here");
}

TEST(StoreRecord, ARecordGivesBackItsLineUntilAFieldChanges) {
    // Short and long records, odd options, kept and unknown escapes.
    const std::string lines[] = {"n;crun;c",
                                 "n;crun;c;a;yes;",
                                 "n;crun;c;;007;+5",
                                 "n;crun;c;;0;0;more",
                                 "E\x1Fs;lrun;c\x1E\x1E;;2;abc",
                                 "u\x1Ez;crun;c;;1;30"};
    for (const auto& line : lines) EXPECT_EQ(store::StartupRecord::Parse(line).Line(), line);

    auto r = store::StartupRecord::Parse(
        "u\x1Ez;crun;c\x1F"
        "d;;yes;+5");
    EXPECT_EQ(r.command, "c;d");
    EXPECT_FALSE(r.confirm.value);
    EXPECT_EQ(r.delay.value, 5);
    r.delay = 30;  // the other fields keep their bytes, the odd confirm text too
    EXPECT_EQ(r.Line(),
              "u\x1Ez;crun;c\x1F"
              "d;;yes;30");
    r.command = "x;y";
    EXPECT_EQ(r.Line(), "u\x1Ez;crun;x\x1Fy;;yes;30");

    auto shortOne = store::StartupRecord::Parse("n;crun;c");
    shortOne.Rewrite();  // six fields, the missing ones by the field rule
    EXPECT_EQ(shortOne.Line(), "n;crun;c;c;c;c");
}

TEST(StoreRecord, OptionsKeepTextsThatAreNotTheirPlainForm) {
    struct Case {
        const char* confirm;
        const char* delay;
        bool confirmOn;
        int delaySeconds;
        const char* state;
    } cases[] = {
        {"1", "0", true, 0, "2"},     {"0", "30", false, 30, "2"}, {"2", "0", false, 0, "2"},
        {"yes", "", false, 0, "0"},   {"0", "+5", false, 5, "2"},  {"0", "-3", false, -3, "0"},
        {"01", "007", false, 7, "2"}, {"0", "1.5", false, 0, "0"},
    };
    for (const auto& c : cases) {
        const std::string line = std::string("n;crun;c;;") + c.confirm + ";" + c.delay;
        const auto r = store::StartupRecord::Parse(line);
        EXPECT_EQ(r.confirm.value, c.confirmOn) << line;
        EXPECT_EQ(r.delay.value, c.delaySeconds) << line;
        EXPECT_EQ(r.confirm.Text(), c.confirm) << line;
        EXPECT_EQ(r.delay.Text(), c.delay) << line;
        EXPECT_EQ(StateOfLine(line), c.state) << line;
    }
}

class StoreOptions : public StoreScene {};

TEST_F(StoreOptions, ASaveKeepsTheBytesOfEveryUnchangedRecord) {
    const std::string old = "n;crun;c\r\nE\x1Fs;lrun;c\x1E\x1E;;2;abc\r\nu\x1Ez;crun;c;;yes;+5;more\r\n";
    PutList(old);
    store.ScanEntries();
    store.Table().storedRecords.push_back(NewRecord("New", "crun", "n;x.exe", "", false, 0));
    store.SaveStoredRecords();
    EXPECT_EQ(ListBytes(), old + "New;crun;n\x1Fx.exe;;0;0\r\n");
}

TEST_F(StoreOptions, RewriteKeepsTheFirstFourFieldsAndFillsShortRecords) {
    PutList("n;crun;c\r\nEsc\x1Fname;lrun;cmd\x1F x;;0;0\r\nfull;SUF;t.exe;-a;0;0\r\n");
    store.ScanEntries();
    auto& e = store.Table().entries;
    e[0].confirm = true;  // its delay field reads "c" and is kept
    e[1].delay = 45;
    store.StoreEntryOptions();
    EXPECT_EQ(ListBytes(), "n;crun;c;c;1;c\r\nEsc\x1Fname;lrun;cmd\x1F x;;0;45\r\nfull;SUF;t.exe;-a;0;0\r\n");
    store.ScanEntries();
    EXPECT_EQ(store::StateText(Entries()[0].state), "2");
    EXPECT_EQ(Entries()[1].name, "Esc;name");
    EXPECT_EQ(Entries()[1].command, "cmd; x");
    EXPECT_EQ(Entries()[1].delay.Text(), "45");
    EXPECT_EQ(store::StateText(Entries()[2].state), "0");
}

TEST_F(StoreOptions, ListFileLinesAndEndings) {
    store.ScanEntries();
    EXPECT_TRUE(store.Table().storedRecords.empty());
    EXPECT_FALSE(p.GetFile(kListFile));  // a missing file is not created by reading it

    store.Table().storedRecords = {};
    store.SaveStoredRecords();
    EXPECT_EQ(ListBytes(), "");

    PutList("a;crun;x;;0;0\nb;crun;y;;0;0\rc;crun;z;;0;0");
    store.LoadStoredRecords();
    EXPECT_EQ(LinesOf(store.Table().storedRecords),
              (std::vector<std::string>{"a;crun;x;;0;0", "b;crun;y;;0;0", "c;crun;z;;0;0"}));
    store.SaveStoredRecords();
    EXPECT_EQ(ListBytes(), "a;crun;x;;0;0\r\nb;crun;y;;0;0\r\nc;crun;z;;0;0\r\n");
}

}  // namespace
}  // namespace vantorell::testing
