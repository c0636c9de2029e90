// The base room's helpers, which know nothing of the system: JSON strings,
// paths read from their text, UTF-16.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/JsonText.h"
#include "base/Text.h"
#include "identity/FileResolution.h"  // what is never opened follows from the place

namespace vantorell::testing {
namespace {

TEST(BaseJson, StringEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", "\"\""},
        {"a\"b\\c/", "\"a\\\"b\\\\c/\""},
        {std::string("\0\x1F\x7F", 3), "\"\\u0000\\u001f\x7F\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {"\xE5\x90\xAF\xF0\x9F\x98\x80", "\"\xE5\x90\xAF\xF0\x9F\x98\x80\""},
        {"\xFF\xC3(\xE5\x90", "\"\\ufffd\\ufffd(\\ufffd\\ufffd\""},
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a surrogate is not UTF-8
        // Plain runs between escapes and broken bytes, at either end.
        {"C:\\Tool\\t.exe \"x\"", "\"C:\\\\Tool\\\\t.exe \\\"x\\\"\""},
        {"ab\xFF" "cd\xC3\xA9" "ef\n", "\"ab\\ufffd" "cd\xC3\xA9" "ef\\n\""},
        {"\x01plain", "\"\\u0001plain\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::JsonString(c.in), c.out);
        std::string appended = "[";
        text::AppendJsonString(appended, c.in);
        EXPECT_EQ(appended, "[" + c.out);
    }
}

// Where a path leads by its text once its device prefix is read; what is
// not a drive's or a volume's is never opened.
TEST(PathPlace, DevicePrefixesLinksAndShares) {
    using Kind = text::PathPlace::Kind;
    const std::vector<std::tuple<std::string, Kind, std::string>> cases = {
        {"C:\\x\\y.exe", Kind::Drive, "C:\\"},
        {"c:/x/y.exe", Kind::Drive, "c:\\"},
        {"\\\\?\\C:\\x\\y.exe", Kind::Drive, "C:\\"},
        {"\\??\\D:\\x\\y.exe", Kind::Drive, "D:\\"},
        {"\\\\.\\C:\\y.exe", Kind::Drive, "C:\\"},
        {"\\\\?\\GLOBALROOT\\??\\C:\\y.exe", Kind::Drive, "C:\\"},
        {"\\\\?\\GLOBALROOT\\GLOBAL??\\E:\\y.exe", Kind::Drive, "E:\\"},
        {"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}\\y.exe", Kind::Volume,
         "\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}\\"},
        {"\\\\server\\share\\y.exe", Kind::Share, ""},
        {"//server/share/y.exe", Kind::Share, ""},
        {"\\\\?\\UNC\\server\\share\\y.exe", Kind::Share, ""},
        {"\\??\\UNC\\server\\share\\y.exe", Kind::Share, ""},
        {"\\\\?\\unc\\server\\share\\y.exe", Kind::Share, ""},
        {"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\y.exe", Kind::Share, ""},
        {"\\??\\GLOBALROOT\\Device\\Mup\\server\\share\\y.exe", Kind::Share, ""},
        {"\\\\?\\GLOBALROOT\\??\\UNC\\server\\share\\y.exe", Kind::Share, ""},
        {"\\\\.\\GLOBALROOT\\Device\\LanmanRedirector\\server\\share\\y.exe", Kind::Share, ""},
        {"\\\\?\\GLOBALROOT\\Device\\WebDavRedirector\\server\\y.exe", Kind::Share, ""},
        {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume2\\y.exe", Kind::Device, ""},
        {"\\\\.\\pipe\\name", Kind::Device, ""},
        {"\\\\?\\Volume{broken\\y.exe", Kind::Device, ""},
        {"y.exe", Kind::Relative, ""},
        {"\\x\\y.exe", Kind::Relative, ""},
        {"C:y.exe", Kind::Relative, ""},
    };
    for (const auto& [path, kind, root] : cases) {
        const auto place = text::PlaceOfPath(path);
        EXPECT_EQ(place.kind, kind) << path;
        EXPECT_EQ(place.root, root) << path;
        EXPECT_EQ(identity::IsUncPath(path), kind == Kind::Share || kind == Kind::Device) << path;
    }
    EXPECT_EQ(text::PlaceOfPath("\\\\?\\C:\\x\\y.exe").rest, "x\\y.exe");
}

TEST(BaseUtf16, SurrogatePairsDecodeAndLoneOnesAreRefused) {
    EXPECT_EQ(text::Utf16ToUtf8(text::Utf16Units(std::string("A\0\x3D\xD8\x00\xDE", 6), false)), "A\xF0\x9F\x98\x80");
    EXPECT_EQ(text::Utf16ToUtf8(text::Utf16Units(std::string("\0A\x54\x2F", 4), true)), "A\xE5\x90\xAF");
    EXPECT_EQ(text::Utf16ToUtf8(u"\xD83D"), std::nullopt);
}

}  // namespace
}  // namespace vantorell::testing
