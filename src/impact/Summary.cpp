#include "impact/Summary.h"

#include "base/JsonText.h"
#include "base/Text.h"

namespace vantorell::impact {
namespace {

std::string Decimal(std::uint64_t n) {
    return text::ToDecimal(static_cast<long long>(n));
}

// A number given in units of its last decimal: Fixed(152, 2) is "1.52".
std::string Fixed(std::uint64_t scaled, int decimals) {
    std::uint64_t unit = 1;
    for (int i = 0; i < decimals; ++i) unit *= 10;
    std::string out = Decimal(scaled / unit);
    if (decimals == 0) return out;
    const std::string fraction = Decimal(scaled % unit);
    return out + '.' + std::string(decimals - fraction.size(), '0') + fraction;
}

// Milliseconds as seconds, rounded to the given number of decimals.
std::string Seconds(std::uint64_t ms, int decimals) {
    std::uint64_t step = 1000;
    for (int i = 0; i < decimals; ++i) step /= 10;
    return Fixed((ms + step / 2) / step, decimals) + " s";
}

// Bytes below 1 KB, whole KB below 1 MB, MB with one decimal above.
std::string Bytes(std::uint64_t bytes) {
    if (bytes < kKB) return Decimal(bytes) + " B";
    const std::uint64_t kb = (bytes + kKB / 2) / kKB;
    if (kb < kKB) return Decimal(kb) + " KB";
    const std::uint64_t tenths = bytes / kMB * 10 + ((bytes % kMB) * 10 + kMB / 2) / kMB;
    return Fixed(tenths, 1) + " MB";
}

}  // namespace

Summary Summarise(const std::vector<LogonCost>* history) {
    Summary summary;
    if (!history || history->empty()) return summary;
    std::vector<Cost> measured;
    for (const LogonCost& item : *history)
        if (item.cost) measured.push_back(*item.cost);
    summary.median = Median(measured);
    if (!summary.median) return summary;
    summary.level = LevelOf(*summary.median);
    summary.last = history->back().cost;
    summary.logons = measured.size();
    return summary;
}

std::string TipText(const Summary& summary) {
    if (!summary.median) return "Startup impact: not measured yet";
    const Cost& median = *summary.median;
    const std::string over = " over " + Decimal(summary.logons) + (summary.logons == 1 ? " logon" : " logons");
    std::string tip = "Startup impact: " + std::string(LevelText(summary.level)) + " (";
    if (summary.last)
        tip += Seconds(summary.last->cpuMs, 2) + " of CPU, " + Bytes(summary.last->diskBytes) +
               " of disk at the last logon; median " + Seconds(median.cpuMs, 2) + ", " + Bytes(median.diskBytes) +
               over + ")";
    else
        tip += "median " + Seconds(median.cpuMs, 2) + " of CPU, " + Bytes(median.diskBytes) + " of disk" + over +
               "; not measured at the last logon)";
    if (summary.level == Level::High)
        tip += "\nDelaying it at logon would make the logon faster: double-click its Startup delay cell.";
    return tip;
}

std::string JsonObject(const Summary& summary) {
    const Cost median = summary.median.value_or(Cost{});
    return "{\"level\": " + text::JsonString(LevelWord(summary.level)) + ", \"cpuMs\": " + Decimal(median.cpuMs) +
           ", \"diskBytes\": " + Decimal(median.diskBytes) + ", \"logons\": " + Decimal(summary.logons) + "}";
}

std::string LastLogonText(const LastLogon& last) {
    return "Last logon: quiet after " + Seconds(last.quietAfterMs, 0) + "; startup programs used " +
           Seconds(last.programsCpuMs, 1) + " of CPU";
}

std::string LastLogonJson(const LastLogon& last) {
    return "{\"quietAfterMs\": " + Decimal(last.quietAfterMs) + ", \"programsCpuMs\": " + Decimal(last.programsCpuMs) +
           ", \"logon\": " + Decimal(last.logon) + "}";
}

}  // namespace vantorell::impact
