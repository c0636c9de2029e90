// How a Run command is started: never a leading part of an unquoted path with
// blanks taken for the program when a longer part names one.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/RunCommand.h"

namespace vantorell::platform {
namespace {

TEST(RunCommand, TheLongestLeadingPartThatIsAFileIsTheProgram) {
    const std::set<std::string> files = {"C:\\Program.exe", "C:\\Program Files\\A B\\m.exe", "C:\\Windows\\notepad.exe",
                                         "C:\\Tools\\t.exe"};
    const auto isFile = [&](std::string_view p) { return files.count(std::string(p)) > 0; };
    struct Case {
        const char* command;
        std::optional<ResolvedCommand> expected;
    };
    const Case cases[] = {
        // The planted C:\Program.exe is never taken.
        {"C:\\Program Files\\A B\\m.exe",
         ResolvedCommand{"C:\\Program Files\\A B\\m.exe", "\"C:\\Program Files\\A B\\m.exe\""}},
        {"C:\\Program Files\\A B\\m.exe /x y",
         ResolvedCommand{"C:\\Program Files\\A B\\m.exe", "\"C:\\Program Files\\A B\\m.exe\" /x y"}},
        {"C:\\Program Files\\A B\\m",
         ResolvedCommand{"C:\\Program Files\\A B\\m.exe", "\"C:\\Program Files\\A B\\m.exe\""}},
        {"C:\\Program Files\\A B\\m /x", std::nullopt},  // no ".exe" guessed for a part
        // Quoted: as written; the program named when it is there.
        {"\"C:\\Tools\\t.exe\" -a", ResolvedCommand{"C:\\Tools\\t.exe", "\"C:\\Tools\\t.exe\" -a"}},
        {"\"C:\\Gone\\g.exe\" -a", ResolvedCommand{"", "\"C:\\Gone\\g.exe\" -a"}},
        {"  C:\\Windows\\notepad.exe C:\\a b.txt",
         ResolvedCommand{"C:\\Windows\\notepad.exe", "C:\\Windows\\notepad.exe C:\\a b.txt"}},
        // A bare name is for the system's search; it has no blank to be cut at.
        {"rundll32.exe shell32.dll,Control_RunDLL", ResolvedCommand{"", "rundll32.exe shell32.dll,Control_RunDLL"}},
        {"C:\\Gone\\g.exe", ResolvedCommand{"", "C:\\Gone\\g.exe"}},
        // A path with blanks that names no file: nothing is started rather
        // than the planted C:\Program.exe.
        {"C:\\Program Files\\Gone\\g.exe -x", std::nullopt},
        {"   ", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const auto r = ResolveRunCommand(c.command, isFile);
        ASSERT_EQ(r.has_value(), c.expected.has_value());
        if (!r) continue;
        EXPECT_EQ(r->program, c.expected->program);
        EXPECT_EQ(r->commandLine, c.expected->commandLine);
    }
}

}  // namespace
}  // namespace vantorell::platform
