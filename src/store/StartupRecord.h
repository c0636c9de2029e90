// Records of "StartupList.txt": name;location;command;arguments;confirm;delay.
//
// Fields are separated by ";". A field whose text holds a character that the
// line format cannot carry is written with these escapes:
//
//   ";"      as U+001F (unit separator)
//   U+001E   as U+001E U+001E
//   U+001F   as U+001E U+001F
//   CR, LF   as U+001E "r", U+001E "n"
//
// A field without any of these characters is written exactly as it is, so every
// record of an older file reads as before and is written back byte for byte.
// Reading a field undoes the escapes; a U+001E followed by anything else is kept
// as it stands.
//
// A line is parsed once, when the list is loaded, into a StartupRecord, and the
// record gives its line once, when the list is saved; nothing in between reads
// or writes the line format.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantorell::store {

// Record field numbers.
inline constexpr int kFieldName = 0;
inline constexpr int kFieldLocation = 1;
inline constexpr int kFieldCommand = 2;
inline constexpr int kFieldArguments = 3;
inline constexpr int kFieldConfirm = 4;
inline constexpr int kFieldDelay = 5;

inline constexpr char kRecordSeparator = ';';

// Field k exactly as it stands in the line (escapes not undone). A line with
// fewer than k separators yields its last field.
std::string_view RawRecordField(std::string_view line, int k);
// Field k (from 0) of a ";"-separated line, its escapes undone; a line with
// fewer fields yields its last field.
std::string RecordField(std::string_view line, int k);

std::string EncodeRecordField(std::string_view text);
std::string DecodeRecordField(std::string_view field);

// A confirm or delay field as a number: a whole decimal number, anything else 0.
int RecordNumber(std::string_view field);

// A record's confirm flag (bool) or delay in seconds (int). A field of the list
// file that is not the plain text of its value ("yes", "2", "", "+5", "007") is
// kept beside the value as it was read, so that it is shown and written back as
// it stands until the value is set anew.
template <typename T>
struct RecordOption {
    T value{};
    std::optional<std::string> asRead;  // the field as read, when it is not the value's plain text

    RecordOption() = default;
    RecordOption(T v) : value(v) {}  // NOLINT: a plain value, as in `entry.delay = 30`

    // The option of a field's text (escapes undone).
    static RecordOption Read(std::string_view text);
    // Its text in the list file, the grid and the JSON output.
    std::string Text() const;
    // The field as the state counts it: its text as a number, anything else 0.
    int Number() const;
    // Whether the field holds the plain text of its value.
    bool IsPlain() const { return !asRead.has_value(); }

    bool operator==(const RecordOption&) const = default;
};

// "1": ask before starting at logon; "0" (or any other text): don't.
using ConfirmFlag = RecordOption<bool>;
// Seconds to wait at logon; a text that is no number counts as 0.
using DelaySeconds = RecordOption<int>;

template <>
ConfirmFlag ConfirmFlag::Read(std::string_view text);
template <>
std::string ConfirmFlag::Text() const;
template <>
int ConfirmFlag::Number() const;
template <>
DelaySeconds DelaySeconds::Read(std::string_view text);
template <>
std::string DelaySeconds::Text() const;
template <>
int DelaySeconds::Number() const;

// The range of a delay: what the delay dialog, the console and a policy accept.
inline constexpr int kMinDelay = 0;
inline constexpr int kMaxDelay = 240;
// A number brought into kMinDelay..kMaxDelay, to the nearer bound.
int ClampDelay(long long seconds);
// The delay a text stands for: a whole decimal number (blanks around it
// allowed, a sign allowed) clamped to the range, however many digits it has;
// anything else reads as 0.
int DelayFromText(std::string_view text);

// One line of the list file, typed.
class StartupRecord {
public:
    std::string name;       // registry value name, or shortcut file name with ".lnk"
    std::string location;   // location code of its place
    std::string command;    // run command, or the shortcut's target
    std::string arguments;  // the shortcut's arguments; empty for registry places
    ConfirmFlag confirm;
    DelaySeconds delay;
    // The list the record was read from (its index among the store's lists),
    // where every save puts it back; nullopt for a new record, which goes to
    // the list of its place.
    std::optional<std::size_t> fromList;

    StartupRecord() = default;
    // A new record, with confirm flag and delay both off.
    StartupRecord(std::string name, std::string location, std::string command, std::string arguments);

    static StartupRecord Parse(std::string_view line);
    // The line to save. An unchanged record gives the line it was read from,
    // byte for byte (also one with fewer or more than six fields); a changed
    // one gives six fields, each field that kept its value as it was read.
    std::string Line() const;
    // From now on written as six fields, even while unchanged.
    void Rewrite() { rewrite_ = true; }

    // Deferred (the launcher starts it at logon) when its confirm or delay
    // field is a number above 0; else disabled.
    bool Deferred() const { return confirm.Number() > 0 || delay.Number() > 0; }
    // Whether both name the same name, place, command and arguments.
    bool SameItem(const StartupRecord& other) const;

    // Records are the same when they give the same line.
    bool operator==(const StartupRecord& other) const { return Line() == other.Line(); }

private:
    // What Parse read: the line, fields 0 to 3 as they stood (escapes kept)
    // and every field's value, to tell which fields changed since.
    struct AsRead {
        std::string line;
        std::array<std::string, 4> raw;
        std::array<std::string, 4> text;
        ConfirmFlag confirm;
        DelaySeconds delay;
    };
    std::optional<AsRead> read_;
    bool rewrite_ = false;
};

}  // namespace vantorell::store
