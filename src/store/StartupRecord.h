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
#pragma once

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

// Field k exactly as it stands in the record (escapes not undone). A record with
// fewer than k separators yields its last field.
std::string_view RawRecordField(std::string_view record, int k);

std::string EncodeRecordField(std::string_view text);
std::string DecodeRecordField(std::string_view field);

// A record of six fields, each escaped.
std::string MakeRecord(std::string_view name, std::string_view location, std::string_view command,
                       std::string_view arguments, std::string_view confirm, std::string_view delay);

}  // namespace vantorell::store
