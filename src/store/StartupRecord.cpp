#include "store/StartupRecord.h"

#include <algorithm>
#include <iterator>

#include "platform/Text.h"

namespace vantorell::store {
namespace {

constexpr char kEscape = '\x1E';
constexpr char kEscapedSeparator = '\x1F';
constexpr char kEscapedCr = 'r';
constexpr char kEscapedLf = 'n';
constexpr int kNoNumber = 0;
constexpr std::string_view kOn = "1";
constexpr std::string_view kOff = "0";

bool NeedsEscape(char c) {
    return c == kRecordSeparator || c == kEscape || c == kEscapedSeparator || c == '\r' || c == '\n';
}

}  // namespace

int RecordNumber(std::string_view field) {
    int n = kNoNumber;
    return text::ParseInt(field, n) ? n : kNoNumber;
}

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

// ------------------------------------------------------------------ confirm and delay

template <>
ConfirmFlag ConfirmFlag::Read(std::string_view text) {
    ConfirmFlag flag(text == kOn);
    if (text != kOn && text != kOff) flag.asRead = std::string(text);
    return flag;
}

template <>
std::string ConfirmFlag::Text() const {
    return asRead ? *asRead : std::string(value ? kOn : kOff);
}

template <>
int ConfirmFlag::Number() const {
    return asRead ? RecordNumber(*asRead) : static_cast<int>(value);
}

template <>
DelaySeconds DelaySeconds::Read(std::string_view text) {
    DelaySeconds delay(RecordNumber(text));
    if (text != text::ToDecimal(delay.value)) delay.asRead = std::string(text);
    return delay;
}

template <>
std::string DelaySeconds::Text() const {
    return asRead ? *asRead : text::ToDecimal(value);
}

template <>
int DelaySeconds::Number() const {
    return value;
}

// ------------------------------------------------------------------ the record

StartupRecord::StartupRecord(std::string name, std::string location, std::string command, std::string arguments)
    : name(std::move(name)),
      location(std::move(location)),
      command(std::move(command)),
      arguments(std::move(arguments)) {}

StartupRecord StartupRecord::Parse(std::string_view line) {
    AsRead read{std::string(line), {}, {}, {}, {}};
    for (int k = kFieldName; k <= kFieldArguments; ++k) {
        read.raw[k] = std::string(RawRecordField(line, k));
        read.text[k] = DecodeRecordField(read.raw[k]);
    }
    read.confirm = ConfirmFlag::Read(RecordField(line, kFieldConfirm));
    read.delay = DelaySeconds::Read(RecordField(line, kFieldDelay));
    StartupRecord record(read.text[kFieldName], read.text[kFieldLocation], read.text[kFieldCommand],
                         read.text[kFieldArguments]);
    record.confirm = read.confirm;
    record.delay = read.delay;
    record.read_ = std::move(read);
    return record;
}

std::string StartupRecord::Line() const {
    const std::string* texts[] = {&name, &location, &command, &arguments};
    if (read_ && !rewrite_ && confirm == read_->confirm && delay == read_->delay &&
        std::equal(std::begin(texts), std::end(texts), read_->text.begin(),
                   [](const std::string* now, const std::string& was) { return *now == was; }))
        return read_->line;
    std::string line;
    for (int k = kFieldName; k <= kFieldArguments; ++k) {
        // A field that kept its value keeps its bytes too.
        line += read_ && *texts[k] == read_->text[k] ? read_->raw[k] : EncodeRecordField(*texts[k]);
        line += kRecordSeparator;
    }
    line += EncodeRecordField(confirm.Text());
    line += kRecordSeparator;
    line += EncodeRecordField(delay.Text());
    return line;
}

bool StartupRecord::SameItem(const StartupRecord& other) const {
    return name == other.name && location == other.location && command == other.command && arguments == other.arguments;
}

namespace {

constexpr int kNotANumber = 0;
// Beyond this many the value is far outside the range whatever follows.
constexpr long long kSaturation = 1000000;

bool IsBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

int ClampDelay(long long seconds) {
    if (seconds < kMinDelay) return kMinDelay;
    if (seconds > kMaxDelay) return kMaxDelay;
    return static_cast<int>(seconds);
}

int DelayFromText(std::string_view text) {
    while (!text.empty() && IsBlankOrTab(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrTab(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return kNotANumber;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return kNotANumber;
        if (value < kSaturation) value = value * 10 + (c - '0');
    }
    return ClampDelay(negative ? -value : value);
}

}  // namespace vantorell::store
