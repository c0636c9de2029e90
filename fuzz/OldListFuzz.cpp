// "data.txt" holding anything: the import converts every line into exactly one
// record of six fields (a record the list holds already is not added again),
// keeps the records that were there, and removes the old list.
#include "FuzzInput.h"
#include "app/common/ProgramStart.h"
#include "platform/Text.h"
#include "platform/memory/MemoryPlatform.h"
#include "store/AutostartStore.h"

using namespace vantorell;

namespace {
constexpr const char* kExe = "C:\\Vantorell\\vantorell.exe";
constexpr const char* kList = "C:\\Vantorell\\StartupList.txt";
constexpr const char* kOld = "C:\\Vantorell\\data.txt";
constexpr const char* kKept = "Kept;crun;C:\\k.exe;;0;0";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::Bytes(data, size);
    platform::MemoryPlatform p;
    p.SetExecutablePath(kExe);
    p.PutFile(kList, std::string(kKept) + "\r\n");
    p.PutFile(kOld, input);
    store::AutostartStore store(p, kList);

    const std::size_t imported = app::ImportOldList(p, store);
    const auto oldLines = text::SplitLines(text::DecodeFileText(p, input));
    fuzz::Check(imported == oldLines.size());
    fuzz::Check(!p.FileExists(kOld));

    store.ScanEntries();
    // Every old line is one record, but one already in the list is not added
    // a second time: a line that converts to the kept record stands for it.
    const auto& records = store.Table().storedRecords;
    bool keptSeen = false;
    std::size_t next = 1;
    fuzz::Check(!records.empty() && records[0].Line() == kKept);
    for (const std::string& old : oldLines) {
        store::StartupRecord converted(store::RecordField(old, 0), store::RecordField(old, 1),
                                       store::RecordField(old, 2), store::RecordField(old, 6));
        converted.confirm = store::RecordField(old, 4) == "Y";
        converted.delay = store::DelaySeconds::Read(store::RecordField(old, 5));
        if (!keptSeen && converted.Line() == kKept) {
            keptSeen = true;
            continue;
        }
        fuzz::Check(next < records.size());
        const std::string r = records[next++].Line();
        fuzz::Check(r == converted.Line());
        fuzz::Check(std::count(r.begin(), r.end(), ';') == 5);
        fuzz::Check(store::RecordField(r, 0) == store::RecordField(old, 0));
        fuzz::Check(store::RecordField(r, 3) == store::RecordField(old, 6));
        const auto confirm = store::RecordField(r, 4);
        fuzz::Check(confirm == (store::RecordField(old, 4) == "Y" ? "1" : "0"));
    }
    fuzz::Check(next == records.size());
    return 0;
}
