// The processes of the in-memory platform: the environment and the rights a
// test sets; elevated runs and helpers answered by scripts, never started.
#include "platform/memory/MemoryPlatform.h"

namespace vantorell::platform {

namespace {

class ScriptedHelper final : public HelperRun {
public:
    ScriptedHelper(std::string output, bool hangs) : output_(std::move(output)), hangs_(hangs) {}
    bool Poll(std::string& output) override {
        output += output_;
        output_.clear();
        return !hangs_;
    }

private:
    std::string output_;
    bool hangs_;
};

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

std::unique_ptr<HelperRun> MemoryPlatform::StartHelper(std::string_view argument, std::string_view input) {
    if (!helperScript_) return nullptr;
    ++helperRuns_;
    auto output = helperScript_(argument, input);
    if (!output) return nullptr;
    return std::make_unique<ScriptedHelper>(std::move(*output), helperHangs_);
}

ElevatedRun MemoryPlatform::RunElevated(std::string_view program, std::string_view parameters) {
    elevatedRuns_.push_back(std::string(program) + " " + std::string(parameters));
    if (!elevatedScript_)
        return ElevatedRun{ElevatedRun::Outcome::Cancelled, 0, "The operation was canceled by the user.", {}};
    return elevatedScript_(program, parameters);
}

void MemoryPlatform::SetEnvironment(std::string name, std::optional<std::string> value) {
    if (value)
        environment_[Upper(name)] = std::move(*value);
    else
        environment_.erase(Upper(name));
}

std::optional<std::string> MemoryPlatform::EnvironmentVariable(std::string_view name) {
    const auto it = environment_.find(Upper(name));
    if (it == environment_.end()) return std::nullopt;
    return it->second;
}

std::vector<ProcessFacts> MemoryPlatform::SessionProcesses(std::uint64_t createdSince) {
    std::vector<ProcessFacts> listed;
    for (const ProcessFacts& process : processes_)
        if (process.created >= createdSince) listed.push_back(process);
    return listed;
}

}  // namespace vantorell::platform
