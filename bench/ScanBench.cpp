#include "ScanBench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/Text.h"
#include "store/AutostartStore.h"

namespace vantorell::bench {
namespace {

using Clock = std::chrono::steady_clock;
using platform::Hive;
using platform::KeyAccess;

constexpr int kSizes[] = {10, 100, 1000, 10000};
constexpr int kShortcutShare = 5;  // one entry in five is a shortcut
constexpr const char* kRegistryCodes[] = {"crun", "crunonce", "lrun", "lrunonce"};
constexpr double kMaxRatio = 1.5;
constexpr double kMaxGrowth = 12.0;  // 10,000-entry scan against the 1,000-entry scan
constexpr double kRoundBudgetMs = 1500.0;
constexpr int kMinRounds = 5;
constexpr int kMaxRounds = 200;

// Names in no particular order, with mixed case, so the sort has work to do.
std::string EntryName(int i) {
    static const char* const kWords[] = {"Updater", "helper", "SYNC", "Tray", "agent", "Launcher", "monitor"};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %05d", kWords[(i * 7919) % 7], (i * 7919) % 100003);
    return buf;
}

struct Scene {
    platform::Platform& p;
    std::string folder;
    std::vector<std::pair<const store::AutostartLocation*, std::string>> values;
    std::vector<std::string> links;

    bool Fill(int n) {
        for (int i = 0; i < n; ++i) {
            const std::string name = EntryName(i);
            const std::string command = "C:\\Program Files\\Bench\\" + name + "\\app.exe /background";
            if (i % kShortcutShare == 0) {
                platform::ShortcutData d;
                d.target = command;
                d.arguments = "--minimized";
                const auto path = text::JoinPath(folder, name + ".lnk");
                if (!p.files.WriteShortcut(path, d)) return Report("cannot write " + path);
                links.push_back(path);
            } else {
                const auto* loc = store::FindLocation(kRegistryCodes[i % std::size(kRegistryCodes)]);
                auto key = p.registry.OpenKey(loc->hive, loc->keyOrFolderValue, true, KeyAccess::Full);
                if (!key || !key->Set(name, platform::RegValue{platform::RegType::Sz, command}))
                    return Report("cannot write " + std::string(loc->keyOrFolderValue) + "\\" + name);
                values.emplace_back(loc, name);
            }
        }
        return true;
    }
    void Clear() {
        for (const auto& [loc, name] : values) {
            auto key = p.registry.OpenKey(loc->hive, loc->keyOrFolderValue, false, KeyAccess::Full);
            if (key) key->Delete(name);
        }
        for (const auto& path : links) p.files.RemoveFile(path);
        values.clear();
        links.clear();
    }
    static bool Report(const std::string& why) {
        std::fprintf(stderr, "scan_bench: %s\n", why.c_str());
        return false;
    }
};

// The baseline: every value name and its data, every shortcut name and its
// target, of the ten places; nothing sorted, nothing kept. Keys and folders
// apart, to show where the time goes.
std::size_t EnumerateKeys(platform::Platform& p) {
    std::size_t seen = 0;
    for (const auto& loc : store::Locations()) {
        if (loc.isFolder) continue;
        auto key = p.registry.OpenKey(loc.hive, loc.keyOrFolderValue, false, KeyAccess::Read);
        if (!key) continue;
        for (const auto& name : key->ValueNames().value_or(std::vector<std::string>{}))
            seen += key->Query(name).has_value();
    }
    return seen;
}

// The folders are found as the scan finds them, from "Shell Folders".
std::size_t EnumerateFolders(platform::Platform& p) {
    std::size_t seen = 0;
    for (const auto& loc : store::Locations()) {
        if (!loc.isFolder) continue;
        std::string folder = "C:\\";
        if (auto key = p.registry.OpenKey(loc.hive, store::kShellFoldersKey, false, KeyAccess::Read)) {
            if (auto value = key->Query(loc.keyOrFolderValue)) folder = value->data;
        }
        for (const auto& name : p.files.ListShortcutFiles(folder)) {
            platform::ShortcutData d;
            seen += p.files.ReadShortcut(text::JoinPath(folder, name), d);
        }
    }
    return seen;
}

double Millis(const std::function<void()>& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int RunScanBench(platform::Platform& p, const BenchOptions& options) {
    store::AutostartStore store(p, options.listFile);
    const std::string userFolder = store.StartupFolderPath("SUF");
    std::printf("Scan benchmark: %s\nUser's Startup folder: %s\n\n", options.title.c_str(), userFolder.c_str());

    store.ScanEntries();
    const std::size_t present = store.Table().entries.size();
    std::printf("%8s %7s %10s %10s %12s %10s %7s\n", "entries", "rounds", "keys ms", "folders ms", "enumerate ms",
                "scan ms", "ratio");

    bool met = true;
    double scan1k = 0, scan10k = 0;
    for (int n : kSizes) {
        Scene scene{p, userFolder, {}, {}};
        if (!scene.Fill(n)) {
            scene.Clear();
            return 1;
        }
        // One untimed round of each, then as many rounds as the budget allows.
        std::size_t listed = 0;
        const double first = Millis([&] { listed = EnumerateKeys(p) + EnumerateFolders(p); });
        store.ScanEntries();
        if (store.Table().entries.size() != present + n || listed < static_cast<std::size_t>(n)) {
            std::fprintf(stderr, "scan_bench: the scan lists %zu entries, expected %zu\n", store.Table().entries.size(),
                         present + n);
            scene.Clear();
            return 1;
        }
        const int rounds = std::clamp(static_cast<int>(kRoundBudgetMs / (3 * first + 0.001)), kMinRounds, kMaxRounds);
        std::vector<double> keyTimes, folderTimes, enumTimes, scanTimes;
        for (int r = 0; r < rounds; ++r) {
            keyTimes.push_back(Millis([&] { EnumerateKeys(p); }));
            folderTimes.push_back(Millis([&] { EnumerateFolders(p); }));
            enumTimes.push_back(keyTimes.back() + folderTimes.back());
            scanTimes.push_back(Millis([&] { store.ScanEntries(); }));
        }
        scene.Clear();
        const double e = Median(enumTimes), s = Median(scanTimes), ratio = s / e;
        std::printf("%8d %7d %10.3f %10.3f %12.3f %10.3f %7.2f%s\n", n, rounds, Median(keyTimes), Median(folderTimes),
                    e, s, ratio, ratio <= kMaxRatio ? "" : "  (above 1.5)");
        met = met && ratio <= kMaxRatio;
        if (n == 1000) scan1k = s;
        if (n == 10000) scan10k = s;
    }
    const double growth = scan10k / scan1k;
    std::printf("\n10,000-entry scan / 1,000-entry scan: %.2f%s\n", growth, growth <= kMaxGrowth ? "" : "  (above 12)");
    met = met && growth <= kMaxGrowth;
    std::printf("Targets (ratio <= 1.5 at every size, growth <= 12): %s\n", met ? "met" : "NOT met");
    return options.check && !met ? 1 : 0;
}

}  // namespace vantorell::bench
