// A policy file holding anything: it is either refused with a PolicyError or
// read into rules that keep the format's promises (names and places known,
// delays 0 to 240, options on enabled rules only, at most kMaxRules); a read
// policy written out reads back the same; and its plan on a small machine
// (wildcards against names, signers against identities) ends, with first-match
// order and the own entry protected.
#include "FuzzInput.h"
#include "identity/Identity.h"
#include "platform/memory/MemoryPlatform.h"
#include "policy/Plan.h"
#include "policy/Policy.h"
#include "store/AutostartStore.h"

using namespace vantorell;

namespace {

constexpr const char* kExe = "C:\\Vantorell\\vantorell.exe";

struct Machine {
    Machine() : store(p, "C:\\Vantorell\\StartupList.txt") {
        p.SetExecutablePath(kExe);
        const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
        p.PutString(platform::Hive::CurrentUser, run, "Updater", "C:\\u.exe");
        p.PutString(platform::Hive::CurrentUser, run, "Chat\xC3\xA9", "C:\\c.exe");
        p.PutString(platform::Hive::LocalMachine, run, "Vantorell", std::string("\"") + kExe + "\" -b");
        p.PutFile("C:\\Vantorell\\StartupList.txt", "Backup;lrun;C:\\b.exe;;0;30\r\nUpdater;crun;C:\\u.exe;;0;0\r\n");
        store.ScanEntries();
        for (std::size_t i = 0; i < store.Table().entries.size(); ++i) {
            identity::Identity id;
            id.state = i % 2 ? identity::SignatureState::Verified : identity::SignatureState::Invalid;
            id.signer = "Contoso Ltd";
            ids.push_back(id);
        }
    }
    platform::MemoryPlatform p;
    store::AutostartStore store;
    std::vector<identity::Identity> ids;
};

Machine& TheMachine() {
    static Machine m;
    return m;
}

void CheckRules(const policy::Policy& policy) {
    fuzz::Check(policy.rules.size() <= policy::kMaxRules);
    for (const auto& rule : policy.rules) {
        fuzz::Check(!rule.name.empty());
        fuzz::Check(rule.location == policy::kAnyLocation || store::FindLocation(rule.location));
        fuzz::Check(!rule.signer || !rule.signer->empty());
        fuzz::Check(!rule.issuer || !rule.issuer->empty());
        if (rule.signerThumbprint)
            fuzz::Check((rule.signerThumbprint->size() == 40 || rule.signerThumbprint->size() == 64) &&
                        rule.signerThumbprint->find_first_not_of("0123456789abcdef") == std::string::npos);
        if (rule.delay) fuzz::Check(*rule.delay >= 0 && *rule.delay <= 240);
        if (rule.state != policy::DesiredState::Enabled) fuzz::Check(!rule.delay && !rule.confirm);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::Bytes(data, size);
    policy::Policy policy;
    try {
        policy = policy::ParsePolicy(input);
    } catch (const policy::PolicyError&) {
        try {
            (void)policy::ParsePolicyText(input, true);  // as the DSC resource reads standard input
        } catch (const policy::PolicyError&) {
        }
        return 0;
    }
    CheckRules(policy);
    fuzz::Check(policy::ParsePolicyText(policy::PolicyText(policy), false) == policy);

    Machine& m = TheMachine();
    const auto plan = policy::MakePlan(policy, m.store, m.p, m.ids);
    for (const auto& item : plan.items) {
        if (item.outcome == policy::Outcome::Change) {
            fuzz::Check(!item.steps.empty() && item.steps.size() <= 4);
            fuzz::Check(item.name != "Vantorell");
        }
    }
    return 0;
}
