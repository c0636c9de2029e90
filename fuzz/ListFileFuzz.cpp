// "StartupList.txt" holding anything: the reader splits it into records, every
// field reads by the record rule, an unchanged record gives back its line,
// escapes round-trip, and a scan followed by a save writes records that read
// back the same.
#include "FuzzInput.h"
#include "platform/Text.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"

using namespace vantorell;

namespace {
constexpr const char* kList = "C:\\Vantorell\\StartupList.txt";
constexpr int kFieldsChecked = 8;  // beyond the six: the rule for missing fields
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::Bytes(data, size);
    platform::MemoryPlatform p;

    // Fields and states of every line.
    const auto lines = text::SplitLines(text::DecodeFileText(p, input));
    for (const auto& line : lines) {
        fuzz::Check(line.find_first_of("\r\n") == std::string::npos);
        for (int k = 0; k < kFieldsChecked; ++k) {
            const auto raw = store::RawRecordField(line, k);
            fuzz::Check(raw.find(store::kRecordSeparator) == std::string_view::npos);
            (void)store::RecordField(line, k);
        }
        const auto record = store::StartupRecord::Parse(line);
        fuzz::Check(record.Line() == line);
        fuzz::Check(record.confirm.Text() == store::RecordField(line, store::kFieldConfirm));
        fuzz::Check(record.delay.Text() == store::RecordField(line, store::kFieldDelay));
    }

    // Any text survives as a field: escaped, it holds no separator and no line end.
    const std::string encoded = store::EncodeRecordField(input);
    fuzz::Check(encoded.find_first_of(";\r\n") == std::string::npos);
    fuzz::Check(store::DecodeRecordField(encoded) == input);
    const std::string record =
        store::StartupRecord(std::string(input), "crun", std::string(input), std::string(input)).Line();
    for (int k = 0; k < 4; ++k) fuzz::Check(store::RecordField(record, k) == (k == 1 ? "crun" : input));

    // The file through the store: scan, rewrite the options, save, read back.
    p.PutFile(kList, input);
    store::AutostartStore store(p, kList);
    store.ScanEntries();
    fuzz::Check(store.Table().storedRecords.size() == lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) fuzz::Check(store.Table().storedRecords[i].Line() == lines[i]);
    const auto before = store.Table().storedRecords;
    store.StoreEntryOptions();
    store.ScanEntries();
    const auto& after = store.Table().storedRecords;
    fuzz::Check(after.size() == before.size());
    for (std::size_t i = 0; i < after.size(); ++i) fuzz::Check(after[i].SameItem(before[i]));
    return 0;
}
