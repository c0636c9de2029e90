#include "app/common/SingleInstance.h"

#include "app/common/ProgramStart.h"
#include "platform/Text.h"

namespace vantorell::app {

namespace {
std::string FileNameOf(std::string_view path) {
    const auto slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}
}  // namespace

OneInstance::OneInstance(platform::Platform& platform)
    : OneInstance(platform, BesideExecutable(platform, kHandOverFile)) {}

OneInstance::OneInstance(platform::Platform& platform, std::string handOverPath)
    : platform_(platform),
      lockName_(FileNameOf(platform.processes.ExecutablePath())),
      handOver_(std::move(handOverPath)) {}

bool OneInstance::Guard() {
    // One step: of two copies started together exactly one is first.
    bool existed = false;
    lock_ = platform_.locks.CreateLockOnce(lockName_, existed);  // without a lock this copy still runs
    if (!existed) return true;
    lock_.reset();
    text::SaveLines(platform_.files, handOver_, {std::string(kHandOverLine)});  // throws; the copy ends all the same
    return false;
}

void OneInstance::RaisePriorInstance(std::string_view title) {
    if (!Owner() && !title.empty()) platform_.shell.RaiseWindowByTitle(title);
}

bool OneInstance::PendingRequest() {
    return platform_.files.FileExists(handOver_) &&
           !text::LoadLines(platform_.files, platform_.locale, handOver_).empty();
}

void OneInstance::ClearRequest() {
    text::SaveLines(platform_.files, handOver_, {});
}

}  // namespace vantorell::app
