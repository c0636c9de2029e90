// The monitor under load: 1,000 entries watched for an hour of virtual time
// (300 passes) and 10,000 entries at start. Every new name is reported once,
// at the first tick after it came; a switched-off program that comes back is
// taken out again; and the heap does not grow from pass to pass.
//
// Memory is measured by counting the bytes live through the global operator
// new and delete of this test program (every container of the program
// allocates through them): the live bytes after a pass must come back to the
// same level pass after pass.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "FaultWorld.h"

namespace {
std::atomic<long long> g_liveBytes{0};
}  // namespace

// Each block carries its size in front, so the delete knows what it frees.
void* operator new(std::size_t size) {
    constexpr std::size_t kHeader = alignof(std::max_align_t);
    auto* p = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!p) throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(p) = size;
    g_liveBytes += static_cast<long long>(size);
    return p + kHeader;
}
void operator delete(void* ptr) noexcept {
    if (!ptr) return;
    constexpr std::size_t kHeader = alignof(std::max_align_t);
    auto* p = static_cast<unsigned char*>(ptr) - kHeader;
    g_liveBytes -= static_cast<long long>(*reinterpret_cast<std::size_t*>(p));
    std::free(p);
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete[](void* ptr) noexcept {
    operator delete(ptr);
}
void operator delete(void* ptr, std::size_t) noexcept {
    operator delete(ptr);
}
void operator delete[](void* ptr, std::size_t) noexcept {
    operator delete(ptr);
}
// The no-throw forms too (std::stable_sort's buffer), so every pair matches.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* ptr, const std::nothrow_t&) noexcept {
    operator delete(ptr);
}
void operator delete[](void* ptr, const std::nothrow_t&) noexcept {
    operator delete(ptr);
}

namespace vantorell::testing {
namespace {

using platform::Hive;
constexpr std::uint64_t kTick = monitor::kTimer1IntervalMs;
constexpr int kPassesPerHour = 3600 * 1000 / static_cast<int>(kTick);

std::string Name(int i) {
    return "Load" + std::to_string(i);
}

struct LoadWorld : MonitorScene {
    explicit LoadWorld(int entries) {
        p.SetExecutablePath(kFaultExe);
        for (int i = 0; i < entries; ++i)
            p.PutString(i % 2 ? Hive::CurrentUser : Hive::LocalMachine, app::kRunKey, Name(i),
                        "C:\\load\\" + Name(i) + ".exe");
    }
    // The start-up sequence's part: scan, fill, baseline, Timer1.
    void Start() {
        store.ScanEntries();
        grid.FillGrid(store.Table());
        monitor.TakeBaseline(monitor::NewEntryMonitor::StartupTotalPath(p));
        monitor.Start();
    }
    std::vector<std::string> Reported() {
        std::vector<std::string> texts;
        for (const auto& b : p.Boxes()) texts.push_back(b.text);
        p.ClearBoxes();
        return texts;
    }
};

TEST(LoadMonitor, AThousandEntriesForAnHour) {
    LoadWorld w(1000);
    w.Start();
    // One switched-off program that comes back again and again.
    w.control.DisableEntry(w.store.Table().entries.size() - 1, false);
    const std::string comeback = w.store.Table().entries[0].name;

    int reports = 0, comebacksTakenOut = 0;
    long long quietGrowth = 0, firstLive = 0, lastLive = 0;
    bool lastQuiet = false;
    long long lastPassLive = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int pass = 1; pass <= kPassesPerHour; ++pass) {
        // Every 25th pass a new program adds itself between two ticks; every
        // 40th the switched-off one puts its value back.
        const bool adds = pass % 25 == 0;
        if (adds) w.p.PutString(Hive::CurrentUser, app::kRunKey, "New" + std::to_string(pass), "n.exe");
        const bool comesBack = pass % 40 == 0;
        if (comesBack) w.p.PutString(Hive::LocalMachine, app::kRunKey, comeback, "back.exe");
        w.p.Advance(kTick);

        const auto texts = w.Reported();
        if (adds) {
            ASSERT_EQ(texts.size(), 1u) << "pass " << pass;
            EXPECT_NE(texts[0].find("New" + std::to_string(pass)), std::string::npos) << texts[0];
            EXPECT_EQ(texts[0].find(comeback + ","), std::string::npos) << "the comeback is not reported";
            ++reports;
        } else {
            ASSERT_TRUE(texts.empty()) << "pass " << pass << ": " << texts[0];
        }
        if (comesBack) {
            EXPECT_FALSE(w.p.GetValue(Hive::LocalMachine, app::kRunKey, comeback)) << "pass " << pass;
            ++comebacksTakenOut;
        }
        // A quiet pass after a quiet pass must leave the heap as it found it.
        const bool quiet = !adds && !comesBack;
        const long long live = g_liveBytes;
        if (pass > 1 && quiet && lastQuiet) quietGrowth += std::max(0LL, live - lastPassLive);
        if (pass == 1) firstLive = live;
        lastLive = live;
        lastPassLive = live;
        lastQuiet = quiet;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(w.host.errors.empty());
    EXPECT_EQ(reports, kPassesPerHour / 25);
    EXPECT_EQ(comebacksTakenOut, kPassesPerHour / 40);
    EXPECT_EQ(quietGrowth, 0) << "the heap grew between passes that changed nothing";
    std::printf(
        "[ load ] 1,000 entries, %d passes: %.2f s, %.1f ms a pass; live heap %lld -> %lld bytes with %d programs "
        "added, growth over quiet passes %lld bytes\n",
        kPassesPerHour, seconds, 1000 * seconds / kPassesPerHour, firstLive, lastLive, kPassesPerHour / 25,
        quietGrowth);
}

TEST(LoadMonitor, TenThousandEntriesAtStart) {
    LoadWorld w(10000);
    const auto started = std::chrono::steady_clock::now();
    w.Start();
    const double startSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(w.store.Table().entries.size(), 10000u);
    EXPECT_EQ(w.grid.RowCount(), 10001);

    std::vector<long long> live;
    const auto passes = std::chrono::steady_clock::now();
    for (int pass = 1; pass <= 5; ++pass) {
        w.p.Advance(kTick);
        live.push_back(g_liveBytes);
    }
    const double passSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - passes).count() / 5;
    EXPECT_TRUE(w.Reported().empty());
    EXPECT_TRUE(w.host.errors.empty()) << w.host.errors.front();
    // A leak of anything per entry would be 10,000 bytes or more a pass; the
    // few bytes seen here are containers settling their capacity.
    EXPECT_LT(live.back() - live.front(), 1024) << "live bytes grew from " << live.front() << " to " << live.back();
    // Responsive: a pass (scan, grid refill, comparison) of 10,000 entries
    // stays well under the 12 s between passes, sanitizers included.
    EXPECT_LT(passSeconds, 6.0);
    std::printf("[ load ] 10,000 entries: start %.2f s, a pass %.2f s; live heap after passes:", startSeconds,
                passSeconds);
    for (const long long l : live) std::printf(" %lld", l);
    std::printf("\n");
}

}  // namespace
}  // namespace vantorell::testing
