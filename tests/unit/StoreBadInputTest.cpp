// "StartupList.txt" holding anything at all: the scan reads every line by the
// record rule, never rewrites the file, and an unreadable file is reported by
// name with nothing written over it.
#include <gtest/gtest.h>

#include <random>

#include "StoreTestScene.h"
#include "platform/Errors.h"

namespace vantorell::testing {
namespace {

using platform::Op;

class StoreBadInput : public StoreScene {
protected:
    // Scans the file and checks that every line became a record read by the rule.
    void ScanUntouched(const std::string& bytes, std::size_t expectedRecords) {
        PutList(bytes);
        const auto writes = p.WritesAttempted();
        ASSERT_NO_THROW(store.ScanEntries());
        ExpectInvariants();
        EXPECT_EQ(store.Table().storedRecords.size(), expectedRecords);
        EXPECT_EQ(ListBytes(), bytes);
        EXPECT_EQ(p.WritesAttempted(), writes);
    }
};

TEST_F(StoreBadInput, GarbageIsReadLineByLine) {
    std::mt19937 rng(7);
    std::string garbage(64 * 1024, '\0');
    for (auto& c : garbage) c = static_cast<char>(rng() % 255 + 1);  // no NUL: it would end the text
    PutList(garbage);
    ASSERT_NO_THROW(store.ScanEntries());
    ExpectInvariants();
    EXPECT_EQ(LinesOf(store.Table().storedRecords), text::SplitLines(text::DecodeFileText(p, garbage)));
    EXPECT_EQ(ListBytes(), garbage);
}

TEST_F(StoreBadInput, OddLinesAndSizes) {
    // A NUL is a character of its record: the records after it stay.
    ScanUntouched(std::string("a;crun;x;;0;0\r\nafter NUL\0more;crun\r\nlast;crun;y;;0;0\r\n", 54), 3);
    ScanUntouched(std::string("\0a;crun", 7), 1);
    ScanUntouched("\xFF\xFE;crun;\xC3(;;1;0\r\n", 1);  // not UTF-8: read in the ANSI code page
    EXPECT_EQ(store::StateText(Entries()[0].state), "2");
    ScanUntouched("\r\n\r\n\n", 3);
    EXPECT_EQ(Entries()[0].name, "");
    EXPECT_EQ(Entries()[0].location, "");
    EXPECT_EQ(store::StateText(Entries()[0].state), "0");
    ScanUntouched(std::string(1024 * 1024, 'x') + ";crun;c;;0;5", 1);
    EXPECT_EQ(Entries()[0].name.size(), 1024u * 1024u);
    ScanUntouched(std::string(16000, 'N') + ";lrun;c;;0;0\r\n", 1);
}

TEST_F(StoreBadInput, RecordsOfZeroToTenFields) {
    std::string bytes;
    for (int fields = 0; fields <= 10; ++fields) {
        std::string line;
        for (int k = 0; k < fields; ++k) line += (k ? ";" : "") + std::to_string(k + 1);
        bytes += line + "\r\n";
    }
    ScanUntouched(bytes, 11);
    EXPECT_EQ(Entries()[3].name, "1");
    EXPECT_EQ(Entries()[3].location, "2");
    EXPECT_EQ(Entries()[3].delay.Text(), "3");             // fewer fields: the last one
    EXPECT_EQ(store::StateText(Entries()[3].state), "2");  // 3 and 3 read as numbers
    EXPECT_EQ(Entries()[10].delay.Text(), "6");
    EXPECT_EQ(Entries()[10].command, "3");
}

TEST_F(StoreBadInput, AHundredThousandLines) {
    std::string bytes;
    for (int i = 0; i < 100000; ++i) bytes += "Entry" + std::to_string(i % 977) + ";crun;c.exe;;0;0\r\n";
    ScanUntouched(bytes, 100000);
}

TEST_F(StoreBadInput, AnUnreadableFileIsNamedAndNeverWrittenOver) {
    PutList("Kept;crun;k.exe;;0;0\r\n");
    PutRun("crun", "Active", "a.exe");
    store.ScanEntries();
    const auto before = Entries().size();

    bool locked = true;
    p.SetFaultHook([&](Op op, platform::Hive, std::string_view where) {
        return locked && op == Op::ReadFile && where == kListFile;
    });
    try {
        store.ScanEntries();
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_NE(std::string(e.what()).find(kListFile), std::string::npos) << e.what();
    }
    EXPECT_EQ(Entries().size(), before);  // the table of the last good scan stays
    EXPECT_FALSE(store.ListFileReadable());

    const auto writes = p.WritesAttempted();
    store.Table().storedRecords.push_back(NewRecord("New", "crun", "n.exe", ""));
    EXPECT_THROW(store.SaveStoredRecords(), AppError);
    EXPECT_THROW(store.StoreEntryOptions(), AppError);
    EXPECT_EQ(p.WritesAttempted(), writes);
    EXPECT_EQ(ListBytes(), "Kept;crun;k.exe;;0;0\r\n");

    locked = false;
    store.ScanEntries();
    ASSERT_EQ(store.Table().storedRecords.size(), 1u);
    store.SaveStoredRecords();
    EXPECT_EQ(ListBytes(), "Kept;crun;k.exe;;0;0\r\n");
}

TEST_F(StoreBadInput, ASaveThatFailsLeavesTheFileAsItWas) {
    PutList("Kept;crun;k.exe;;0;0\r\n");
    store.ScanEntries();
    p.SetFaultHook([](Op op, platform::Hive, std::string_view) { return op == Op::WriteFile; });
    store.Table().storedRecords.clear();
    EXPECT_THROW(store.SaveStoredRecords(), AppError);
    EXPECT_EQ(ListBytes(), "Kept;crun;k.exe;;0;0\r\n");
}

TEST_F(StoreBadInput, SemicolonsSurviveTheListFile) {
    store.Table().storedRecords = {NewRecord("a;b", "crun", "C:\\x.exe;y", "p;q", false, 12),
                                   NewRecord("plain", "SUF", "C:\\t.exe", "")};
    store.SaveStoredRecords();
    EXPECT_EQ(ListBytes(),
              "a\x1F"
              "b;crun;C:\\x.exe\x1Fy;p\x1Fq;0;12\r\nplain;SUF;C:\\t.exe;;0;0\r\n");
    store.ScanEntries();
    ASSERT_EQ(Entries().size(), 2u);
    EXPECT_EQ(Entries()[0].name, "a;b");
    EXPECT_EQ(Entries()[0].location, "crun");
    EXPECT_EQ(Entries()[0].command, "C:\\x.exe;y");
    EXPECT_EQ(Entries()[0].delay.Text(), "12");
    EXPECT_EQ(store.Table().storedRecords[0].arguments, "p;q");
}

}  // namespace
}  // namespace vantorell::testing
