// The platform contract's environment for the in-memory platform.
#include "contract/ContractEnv.h"
#include "platform/memory/MemoryPlatform.h"

namespace vantorell::testing {
namespace {

using platform::MemoryPlatform;
using platform::Op;

class MemoryContractEnv final : public ContractEnv {
public:
    platform::Platform& P() override { return p_; }
    std::string Scratch() override {
        p_.AddFolder("C:\\scratch");
        return "C:\\scratch";
    }
    std::string KeyRoot() override { return "Software\\VantorellTest"; }
    void PutFile(const std::string& path, const std::string& bytes, bool hidden, bool system) override {
        p_.PutFile(path, bytes, hidden, system);
    }
    void MakeFolder(const std::string& path) override { p_.AddFolder(path); }
    void FailWritesAfter(std::size_t) override {
        failWrites_ = true;
        Install();
    }
    void LockAgainstReading(const std::string& path) override {
        locked_ = p_.locale.FoldCase(path);
        Install();
    }

    void Pass(unsigned ms) override { p_.Advance(ms); }
    void SetVariable(const std::string& name, const std::optional<std::string>& value) override {
        p_.SetEnvironment(name, value);
    }

private:
    void Install() {
        p_.SetFaultHook([this](Op op, platform::Hive, std::string_view where) {
            if (op == Op::WriteFile) return failWrites_;
            if (op == Op::ReadFile) return p_.locale.FoldCase(where) == locked_;
            return false;
        });
    }

    MemoryPlatform p_;
    bool failWrites_ = false;
    std::string locked_;
};

}  // namespace

std::unique_ptr<ContractEnv> MakeContractEnv() {
    return std::make_unique<MemoryContractEnv>();
}

}  // namespace vantorell::testing
