// "data.txt" holding anything: the import converts every line into exactly one
// record of six fields, keeps the records that were there, and removes the old
// list.
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
    const auto& records = store.Table().storedRecords;
    fuzz::Check(records.size() == oldLines.size() + 1);
    fuzz::Check(records[0].Line() == kKept);
    for (std::size_t i = 0; i < oldLines.size(); ++i) {
        const std::string r = records[i + 1].Line();
        fuzz::Check(std::count(r.begin(), r.end(), ';') == 5);
        fuzz::Check(store::RecordField(r, 0) == store::RecordField(oldLines[i], 0));
        fuzz::Check(store::RecordField(r, 3) == store::RecordField(oldLines[i], 6));
        const auto confirm = store::RecordField(r, 4);
        fuzz::Check(confirm == (store::RecordField(oldLines[i], 4) == "Y" ? "1" : "0"));
    }
    return 0;
}
