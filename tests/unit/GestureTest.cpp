// The grid's gestures: every branch of the double-click, the delete button and
// the mouse-up, the self-protection rule, and the delay dialog left open while
// the monitor rescans.
#include <gtest/gtest.h>

#include <functional>

#include "ControlScene.h"
#include "control/SelfProtection.h"
#include "platform/Errors.h"
#include "ui/GridGestures.h"

namespace vantorell::testing {
namespace {

using platform::Op;
namespace MsgBox = platform::MsgBox;

constexpr const char* kExe = "C:\\Program Files\\Vantorell\\vantorell.exe";

// Answers the delay question from the test; may change the world meanwhile,
// as the monitor's timer does while the dialog is open.
class ScriptedPrompt : public ui::DelayPrompt {
public:
    std::optional<int> AskDelay(int preset) override {
        presets.push_back(preset);
        if (during) during();
        return answer;
    }
    std::optional<int> answer;
    std::function<void()> during;
    std::vector<int> presets;
};

class Gestures : public ControlScene {
protected:
    Gestures() { p.SetExecutablePath(kExe); }

    int Row(std::string_view name, std::string_view location, std::string_view state) {
        return RowOf(IndexOf(name, location, state));
    }
    void AnswerDelete(int answer) {
        p.SetBoxScript([answer](const platform::MemoryPlatform::ShownBox& box) {
            return box.caption == ui::kDeleteBoxCaption ? answer : MsgBox::IdOk;
        });
    }
    bool SelfProtectionShown() {
        for (const auto& b : p.Boxes())
            if (b.text == control::SelfProtectionMessage(kExe) && b.caption == kAppTitle && b.style == MsgBox::Ok)
                return true;
        return false;
    }

    ScriptedPrompt prompt;
    ui::GridGestures gestures{control, p, grid, prompt};
};

TEST(SelfProtection, OwnCommandAndMessage) {
    EXPECT_TRUE(control::IsOwnCommand("C:\\Apps\\vantorell.exe -b", "C:\\Apps\\vantorell.exe"));
    EXPECT_TRUE(control::IsOwnCommand("\"C:\\My Apps\\vantorell.exe\" -b", "C:\\My Apps\\vantorell.exe"));
    for (const char* other : {"C:\\APPS\\vantorell.exe -b", "C:\\Apps\\vantorell.exe", "C:\\Apps\\vantorell.exe -b ",
                              "\"C:\\Apps\\vantorell.exe -b\"", "C:\\Apps\\vantorell.exe /b", ""})
        EXPECT_FALSE(control::IsOwnCommand(other, "C:\\Apps\\vantorell.exe")) << other;
    EXPECT_FALSE(control::IsOwnCommand(" -b", ""));

    const auto text = control::SelfProtectionMessage("C:\\Apps\\vantorell.exe");
    EXPECT_EQ(text.rfind("You are trying to disable Vantorell using Vantorell! This does not work! ", 0), 0u);
    EXPECT_NE(text.find("Add/Remove Programs tool. If you need help with Vantorell, please visit our website at "),
              std::string::npos);
    EXPECT_TRUE(text.ends_with(" C:\\Apps\\VantorellHelp.html."));
}

TEST_F(Gestures, OwnEntryCannotBeTouched) {
    for (const std::string& own : {std::string(kExe) + " -b", "\"" + std::string(kExe) + "\" -b"}) {
        SCOPED_TRACE(own);
        p.PutString(platform::Hive::LocalMachine, kRunKey, "Vantorell", own);
        control.Refresh();
        const int row = Row("Vantorell", "lrun", "1");
        prompt.answer = 30;
        for (int column = 0; column < ui::kGridColumnCount; ++column) {
            p.ClearBoxes();
            gestures.SLDblClick(column, row);
            EXPECT_TRUE(SelfProtectionShown()) << column;
        }
        AnswerDelete(MsgBox::IdNo);
        p.ClearBoxes();
        gestures.Button1Click(row);
        ASSERT_EQ(p.Boxes().size(), 1u);  // the question only
        EXPECT_EQ(p.Boxes()[0].text, ui::kDeleteQuestion);
        EXPECT_EQ(p.Boxes()[0].style, MsgBox::YesNo);
        AnswerDelete(MsgBox::IdYes);
        p.ClearBoxes();
        gestures.Button1Click(row);
        ASSERT_EQ(p.Boxes().size(), 2u);  // the question first, then the refusal
        EXPECT_TRUE(SelfProtectionShown());

        EXPECT_TRUE(prompt.presets.empty());
        EXPECT_EQ(Value("lrun", "Vantorell")->data, own);
        EXPECT_FALSE(p.FileExists(kListFile));
    }
}

TEST_F(Gestures, EnabledColumnSwitches) {
    PutRun("crun", "Act", "act.exe");
    PutList("Off;crun;off.exe;;0;0\r\nLater;lrun;later.exe;;1;30\r\n");
    control.Refresh();

    gestures.SLDblClick(ui::kColEnabled, Row("Act", "crun", "1"));
    EXPECT_FALSE(Value("crun", "Act"));
    EXPECT_EQ(grid.Cell(ui::kColEnabled, Row("Act", "crun", "0")), "0");

    gestures.SLDblClick(ui::kColEnabled, Row("Off", "crun", "0"));
    EXPECT_EQ(Value("crun", "Off")->data, "off.exe");
    EXPECT_EQ(grid.Cell(ui::kColEnabled, Row("Off", "crun", "1")), "1");

    // A deferred entry is handed back, not started by Windows again.
    gestures.SLDblClick(ui::kColEnabled, Row("Later", "lrun", "2"));
    const auto& later = Entries()[IndexOf("Later", "lrun", "0")];
    EXPECT_EQ(later.confirm.Text(), "0");
    EXPECT_EQ(later.delay.Text(), "0");
    EXPECT_FALSE(Value("lrun", "Later"));
    EXPECT_EQ(ListBytes(), "Later;lrun;later.exe;;0;0\r\nAct;crun;act.exe;;0;0\r\n");
}

TEST_F(Gestures, ConfirmColumnSwitches) {
    PutRun("crun", "Act", "act.exe");
    control.Refresh();
    gestures.SLDblClick(ui::kColConfirm, Row("Act", "crun", "1"));
    EXPECT_FALSE(Value("crun", "Act"));
    int row = Row("Act", "crun", "2");
    EXPECT_EQ(grid.Cell(ui::kColConfirm, row), "1");
    gestures.SLDblClick(ui::kColConfirm, row);
    EXPECT_EQ(grid.Cell(ui::kColConfirm, Row("Act", "crun", "0")), "0");
    EXPECT_EQ(ListBytes(), "Act;crun;act.exe;;0;0\r\n");
}

TEST_F(Gestures, AConfirmFieldThatIsNeitherZeroNorOneIsLeftAlone) {
    PutList("Odd;crun;odd.exe;;yes;+5\r\n");
    control.Refresh();
    const int row = Row("Odd", "crun", "2");
    EXPECT_EQ(grid.Cell(ui::kColConfirm, row), "yes");
    EXPECT_EQ(grid.Cell(ui::kColDelay, row), "+5");
    gestures.SLDblClick(ui::kColConfirm, row);
    EXPECT_EQ(ListBytes(), "Odd;crun;odd.exe;;yes;+5\r\n");
    prompt.answer = 9;  // a new delay is written as a number; the confirm text stays
    gestures.SLDblClick(ui::kColDelay, row);
    EXPECT_EQ(prompt.presets, std::vector<int>{5});
    EXPECT_EQ(ListBytes(), "Odd;crun;odd.exe;;yes;9\r\n");
}

TEST_F(Gestures, OtherColumnsDoNothing) {
    PutRun("crun", "Act", "act.exe");
    control.Refresh();
    for (int column : {int{ui::kColName}, int{ui::kColIndex}, int{ui::kColCommand}, int{ui::kColRating}, 7, -1})
        gestures.SLDblClick(column, Row("Act", "crun", "1"));
    gestures.SLDblClick(ui::kColEnabled, 0);  // the title row
    gestures.SLDblClick(ui::kColEnabled, 5);  // outside the grid
    EXPECT_TRUE(Value("crun", "Act"));
    EXPECT_FALSE(p.FileExists(kListFile));
    EXPECT_TRUE(p.Boxes().empty());
}

TEST_F(Gestures, DelayColumnAsksPresetWithTheRowsDelay) {
    PutRun("crun", "Act", "act.exe");
    PutList("Rec;crun;rec.exe;;0;45\r\nOdd;crun;odd.exe;;0;soon\r\n");
    control.Refresh();
    struct Case {
        const char* name;
        const char* state;
        std::optional<int> answer;
        int preset;
        const char* stateAfter;
        const char* delayAfter;
    };
    const Case cases[] = {
        {"Act", "1", std::nullopt, 0, "1", "0"},  // closed: nothing
        {"Act", "1", 0, 0, "1", "0"},             // 0 for an active entry: nothing
        {"Rec", "2", std::nullopt, 45, "2", "45"},
        {"Odd", "0", 12, 0, "2", "12"},  // a cell that is not a number presets 0
        {"Rec", "2", 0, 45, "0", "0"},
        {"Act", "1", 30, 0, "2", "30"},  // taken over
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.state);
        prompt.answer = c.answer;
        prompt.presets.clear();
        gestures.SLDblClick(ui::kColDelay, Row(c.name, "crun", c.state));
        EXPECT_EQ(prompt.presets, std::vector<int>{c.preset});
        const auto i = IndexOf(c.name, "crun", c.stateAfter);
        EXPECT_EQ(Entries()[i].delay.Text(), c.delayAfter);
        EXPECT_EQ(grid.Cell(ui::kColDelay, RowOf(i)), c.delayAfter);
    }
    EXPECT_FALSE(Value("crun", "Act"));
}

TEST_F(Gestures, DelayGoesToTheClickedEntryAfterAMonitorRescan) {
    PutRun("crun", "Beta", "beta.exe");
    PutRun("crun", "Zulu", "zulu.exe");
    PutList("Rec;lrun;rec.exe;;0;0\r\n");
    control.Refresh();
    const int row = Row("Zulu", "crun", "1");
    // While the dialog is open, another entry is taken out (one more record:
    // every active entry's index moves) and a new one sorts before it.
    prompt.during = [&] {
        control.DisableEntry(IndexOf("Beta", "crun", "1"), false);
        PutRun("crun", "Alpha", "alpha.exe");
        control.Refresh();
    };
    prompt.answer = 90;
    gestures.SLDblClick(ui::kColDelay, row);
    EXPECT_EQ(Entries()[IndexOf("Zulu", "crun", "2")].delay.Text(), "90");
    EXPECT_EQ(Entries()[IndexOf("Beta", "crun", "0")].delay.Text(), "0");
    EXPECT_EQ(Entries()[IndexOf("Rec", "lrun", "0")].delay.Text(), "0");
    EXPECT_TRUE(Value("crun", "Alpha"));

    // An entry gone meanwhile gets nothing, and nothing else does.
    prompt.during = [&] { control.DeleteEntry(IndexOf("Zulu", "crun", "2")); };
    gestures.SLDblClick(ui::kColDelay, Row("Zulu", "crun", "2"));
    EXPECT_FALSE(Listed("Zulu"));
    EXPECT_EQ(ListBytes(), "Rec;lrun;rec.exe;;0;0\r\nBeta;crun;beta.exe;;0;0\r\n");
}

TEST_F(Gestures, DeleteButton) {
    PutRun("crun", "Act", "act.exe");
    PutRun("crun", "Rec", "rec.exe --again");
    PutList("Rec;crun;rec.exe;;1;0\r\nOff;SUF;C:\\off.exe;;0;0\r\n");
    control.Refresh();

    AnswerDelete(MsgBox::IdNo);
    gestures.Button1Click(Row("Act", "crun", "1"));
    EXPECT_TRUE(Value("crun", "Act"));

    AnswerDelete(MsgBox::IdYes);
    gestures.Button1Click(Row("Act", "crun", "1"));
    EXPECT_FALSE(Value("crun", "Act"));
    EXPECT_FALSE(Listed("Act"));
    EXPECT_EQ(ListBytes(), "Rec;crun;rec.exe;;1;0\r\nOff;SUF;C:\\off.exe;;0;0\r\n");

    gestures.Button1Click(Row("Rec", "crun", "2"));  // the record only
    gestures.Button1Click(Row("Off", "SUF", "0"));
    EXPECT_EQ(ListBytes(), "");
    EXPECT_EQ(Value("crun", "Rec")->data, "rec.exe --again");
    EXPECT_EQ(Entries().size(), 1u);

    const auto asked = p.Boxes().size();
    gestures.Button1Click(0);  // no entry selected: nothing to ask
    EXPECT_EQ(p.Boxes().size(), asked);
    for (const auto& b : p.Boxes()) {
        EXPECT_EQ(b.caption, ui::kDeleteBoxCaption);
        EXPECT_EQ(b.style, MsgBox::YesNo);
    }
}

TEST_F(Gestures, DeleteAsksFirstAndFindsTheEntryAfterwards) {
    PutRun("crun", "Beta", "beta.exe");
    PutRun("crun", "Zulu", "zulu.exe");
    PutRun("lrun", "Alpha", "alpha.exe");  // scanned after both
    control.Refresh();
    const int row = Row("Zulu", "crun", "1");
    p.SetBoxScript([&](const platform::MemoryPlatform::ShownBox&) {
        // The monitor's tick during the question: one more record, so every
        // active entry's index moves.
        control.DisableEntry(IndexOf("Alpha", "lrun", "1"), false);
        return MsgBox::IdYes;
    });
    gestures.Button1Click(row);
    EXPECT_FALSE(Value("crun", "Zulu"));
    EXPECT_TRUE(Value("crun", "Beta"));
    EXPECT_EQ(ListBytes(), "Alpha;lrun;alpha.exe;;0;0\r\n");
}

TEST_F(Gestures, StaleGridActsOnTheEntryItsRowShowedOrOnNothing) {
    PutRun("crun", "Beta", "beta.exe");
    PutRun("crun", "Zulu", "zulu.exe");
    control.Refresh();
    const int row = Row("Zulu", "crun", "1");
    PutList("Rec;crun;rec.exe;;0;0\r\n");
    store.ScanEntries();  // the table moved on (every index moved); the grid was not refilled
    gestures.SLDblClick(ui::kColEnabled, row);
    EXPECT_FALSE(Value("crun", "Zulu"));
    EXPECT_TRUE(Value("crun", "Beta"));
    EXPECT_EQ(ListBytes(), "Rec;crun;rec.exe;;0;0\r\nZulu;crun;zulu.exe;;0;0\r\n");

    // An entry gone since its row was filled: nothing is done.
    const int beta = Row("Beta", "crun", "1");
    p.OpenKey(platform::Hive::CurrentUser, kRunKey, false, platform::KeyAccess::Full)->Delete("Beta");
    store.ScanEntries();
    gestures.SLDblClick(ui::kColEnabled, beta);
    EXPECT_EQ(ListBytes(), "Rec;crun;rec.exe;;0;0\r\nZulu;crun;zulu.exe;;0;0\r\n");
}

TEST_F(Gestures, ErrorEndsTheGestureAndLosesNothing) {
    PutRun("crun", "Act", "act.exe");
    control.Refresh();
    const int row = Row("Act", "crun", "1");
    FailOn(Op::WriteFile);
    EXPECT_THROW(gestures.SLDblClick(ui::kColEnabled, row), AppError);
    NoFaults();
    EXPECT_EQ(Value("crun", "Act")->data, "act.exe");
    EXPECT_EQ(grid.Cell(ui::kColEnabled, row), "0");  // shown at once, kept until the next fill
    EXPECT_FALSE(p.FileExists(kListFile));
}

TEST_F(Gestures, MouseUpHidesTheIndexColumn) {
    grid.SetColWidth(ui::kColIndex, 40);
    gestures.SLMouseUp();
    EXPECT_EQ(grid.ColWidth(ui::kColIndex), 0);
}

// Windows' own service: switched off only after a second, explicit yes.
TEST_F(Gestures, WindowsOwnServiceIsSwitchedOffOnlyAfterASecondYes) {
    p.PutService("Audio", platform::MemoryPlatform::ServiceScene{.imagePath = "C:\\Windows\\System32\\audio.exe"});
    control.Refresh();
    gestures.SetWindowsOwnService([&](std::size_t index) { return Entries()[index].name == "Audio"; });
    for (const int answer : {MsgBox::IdNo, MsgBox::IdYes}) {
        p.SetBoxScript([answer](const platform::MemoryPlatform::ShownBox& box) {
            EXPECT_NE(box.text.find("one of Windows' own services"), std::string::npos) << box.text;
            EXPECT_EQ(box.style & 0xF00, MsgBox::DefButton2);  // No is the default
            return answer;
        });
        gestures.SLDblClick(ui::kColEnabled, Row("Audio", "lsvc", "1"));
    }
    EXPECT_EQ(p.Boxes().size(), 2u);
    ASSERT_TRUE(gestures.LastChange());
    EXPECT_TRUE(gestures.LastChange()->force) << "an elevated second try must not ask again, nor be refused";
    EXPECT_TRUE(Listed("Audio"));
    EXPECT_EQ(Entries()[IndexOf("Audio", "lsvc", "0")].state, store::EntryState::Disabled);
}

}  // namespace
}  // namespace vantorell::testing
