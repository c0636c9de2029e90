#include "store/StartupRecord.h"

#include "platform/Text.h"
#include "store/AutostartStore.h"

namespace vantorell::store {
namespace {

constexpr char kEscape = '\x1E';
constexpr char kEscapedSeparator = '\x1F';
constexpr char kEscapedCr = 'r';
constexpr char kEscapedLf = 'n';
constexpr int kNoNumber = 0;

bool NeedsEscape(char c) {
    return c == kRecordSeparator || c == kEscape || c == kEscapedSeparator || c == '\r' || c == '\n';
}

// A record's confirm or delay field as a number: anything that is not a whole
// decimal number counts as 0.
int NumberOf(std::string_view field) {
    int n = kNoNumber;
    return text::ParseInt(field, n) ? n : kNoNumber;
}

}  // namespace

std::string_view RawRecordField(std::string_view record, int k) {
    for (int i = 0; i < k; ++i) {
        const auto sep = record.find(kRecordSeparator);
        if (sep == std::string_view::npos) break;
        record.remove_prefix(sep + 1);
    }
    const auto sep = record.find(kRecordSeparator);
    return sep == std::string_view::npos ? record : record.substr(0, sep);
}

std::string RecordField(std::string_view record, int k) {
    return DecodeRecordField(RawRecordField(record, k));
}

std::string StateOfRecord(std::string_view record) {
    const bool deferred =
        NumberOf(RecordField(record, kFieldDelay)) > 0 || NumberOf(RecordField(record, kFieldConfirm)) > 0;
    return deferred ? kStateDeferred : kStateDisabled;
}

std::string EncodeRecordField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!NeedsEscape(c)) {
            out += c;
        } else if (c == kRecordSeparator) {
            out += kEscapedSeparator;
        } else {
            out += kEscape;
            out += c == '\r' ? kEscapedCr : c == '\n' ? kEscapedLf : c;
        }
    }
    return out;
}

std::string DecodeRecordField(std::string_view field) {
    if (field.find_first_of("\x1E\x1F") == std::string_view::npos) return std::string(field);
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == kEscapedSeparator) {
            out += kRecordSeparator;
            continue;
        }
        if (c == kEscape && i + 1 < field.size()) {
            const char next = field[i + 1];
            if (next == kEscape || next == kEscapedSeparator || next == kEscapedCr || next == kEscapedLf) {
                out += next == kEscapedCr ? '\r' : next == kEscapedLf ? '\n' : next;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string MakeRecord(std::string_view name, std::string_view location, std::string_view command,
                       std::string_view arguments, std::string_view confirm, std::string_view delay) {
    std::string record = EncodeRecordField(name);
    for (const auto field : {location, command, arguments, confirm, delay}) {
        record += kRecordSeparator;
        record += EncodeRecordField(field);
    }
    return record;
}

}  // namespace vantorell::store
