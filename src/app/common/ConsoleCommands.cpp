#include "app/common/ConsoleCommands.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>

#include <nlohmann/json.hpp>

#include "VantorellVersion.h"
#include "app/common/FileLayout.h"
#include "control/EntryCommands.h"
#include "identity/EntryFiles.h"
#include "impact/Summary.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "policy/Apply.h"
#include "ui/GridModel.h"
#include "ui/NameLists.h"

namespace vantorell::app {

const char* const kVersion = VANTORELL_VERSION_TEXT;

namespace {

// The file name that stands for standard input.
constexpr std::string_view kStandardInputArgument = "-";

// ------------------------------------------------------------------ the command line

struct OptionSpec {
    std::string_view name;  // with its leading "--"
    bool takesValue;
};

struct ParsedCommand {
    std::vector<std::string> args;
    std::map<std::string, std::string, std::less<>> options;
    ConsoleInput readInput;  // standard input, for the commands that read it
    bool Has(std::string_view option) const { return options.find(option) != options.end(); }
};

struct CommandSpec {
    std::string_view name;
    std::string_view synopsis;     // after the command name, for the usage text
    std::string_view description;  // one line
    std::vector<OptionSpec> options;
    std::size_t minArgs, maxArgs;
    std::function<void(platform::Platform&, store::AutostartStore&, const ParsedCommand&, ConsoleOutput&)> run;
};

class UsageError {
public:
    explicit UsageError(std::string message) : message(std::move(message)) {}
    std::string message;
};

// Input that cannot be used (a bad policy): exit code 2 like a usage error,
// but one message without the usage text.
class BadInput : public UsageError {
public:
    using UsageError::UsageError;
};

// The entry operations, with nothing that shows the entries.
struct HeadlessControl {
    HeadlessControl(platform::Platform& platform, store::AutostartStore& store)
        : control(store, platform.processes, shown) {}
    control::NothingShown shown;
    control::EntryControl control;
};

std::string WindowsFolder(platform::Platform& platform) {
    return platform.files.KnownFolderPath(platform::KnownFolder::Windows).value_or(std::string());
}

// Whether entry `index` is a service whose file is Windows' own.
bool WindowsOwnService(platform::Platform& platform, const store::EntryTable& table, std::size_t index,
                       const identity::Identity& id) {
    const auto& e = table.entries[index];
    if (!e.place || e.place->Kind() != store::PlaceKind::Services) return false;
    return identity::WindowsOwn(id, WindowsFolder(platform));
}

void RunList(platform::Platform& platform, store::AutostartStore& store, const ParsedCommand& cmd, ConsoleOutput& out) {
    store.ScanEntries();
    const auto lists = ui::NameLists::Builtin(store.Facets().locale);
    auto identities = identity::IdentifyEntries(platform, store, cmd.Has("--verify-all"));
    // Windows' own entries are left out unless --all asks for them; the
    // indexes stay those of the whole table, as the entry commands count them.
    std::set<std::size_t> hidden;
    if (!cmd.Has("--all")) {
        const auto& table = store.Table();
        const std::string windows = WindowsFolder(platform);
        for (std::size_t i = 0; i < table.entries.size() && i < identities.size(); ++i)
            if (identity::HiddenAsWindowsOwn(table.entries[i], identities[i], windows)) hidden.insert(i);
    }
    // What each entry cost at the logons the window program measured.
    impact::History history;
    const auto file = platform.files.ReadFile(FileLayout::Detect(platform).UserFile(impact::kHistoryFile));
    if (file.outcome == platform::ReadOutcome::Ok) history = impact::History::Parse(file.bytes);
    out.out = cmd.Has("--json") ? FormatEntryJson(store.Table(), lists, identities, hidden, &history)
                                : FormatEntryTable(store.Table(), lists, identities, hidden);
}

// The entry commands: NAME is the last argument, compared without regard to
// case; the operations are the grid's, with nothing that shows the entries.
void RunEntryVerb(control::EntryVerb verb, platform::Platform& platform, store::AutostartStore& store,
                  const ParsedCommand& cmd, ConsoleOutput& out) {
    int seconds = 0;
    if (verb == control::EntryVerb::Delay &&
        (!text::ParseInt(cmd.args[0], seconds) || seconds < store::kMinDelay || seconds > store::kMaxDelay))
        throw UsageError("the delay must be a whole number of seconds from 0 to 240, not '" + cmd.args[0] + "'");
    HeadlessControl headless(platform, store);
    control::EntrySelector selector;
    selector.name = cmd.args.back();
    const auto option = [&](std::string_view name) -> std::optional<std::string> {
        const auto it = cmd.options.find(name);
        return it == cmd.options.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    selector.location = option("--location");
    if (const auto kind = option("--kind")) {
        if (*kind != "recorded" && *kind != "active")
            throw UsageError("--kind takes 'recorded' or 'active', not '" + *kind + "'");
        selector.recorded = *kind == "recorded";
    }
    selector.command = option("--held-command");
    selector.arguments = option("--held-arguments");
    selector.confirm = option("--held-confirm");
    selector.delay = option("--held-delay");
    selector.subKey = option("--sub-key");
    // Switching off one of Windows' own services takes --force.
    const auto check = [&](std::size_t index) {
        if (verb != control::EntryVerb::Disable || cmd.Has("--force")) return;
        const auto& table = store.Table();
        if (!table.entries[index].IsActive() || !table.entries[index].place ||
            table.entries[index].place->Kind() != store::PlaceKind::Services)
            return;
        const auto id = identity::IdentifyEntry(platform, store, index);
        if (WindowsOwnService(platform, table, index, id))
            throw AppError("'" + table.entries[index].name +
                           "' is one of Windows' own services, signed by Microsoft: Windows, or a part of it, may "
                           "not work without it. Give --force to switch it off all the same");
    };
    out.out = control::RunEntryCommand(headless.control, verb, selector, seconds, cmd.Has("--discard"), check);
}

CommandSpec EntryCommand(std::string_view name, control::EntryVerb verb, std::string_view description) {
    const bool delay = verb == control::EntryVerb::Delay;
    const bool disable = verb == control::EntryVerb::Disable;
    std::vector<OptionSpec> options{{"--location", true},       {"--kind", true},         {"--held-command", true},
                                    {"--held-arguments", true}, {"--held-confirm", true}, {"--held-delay", true},
                                    {"--sub-key", true}};
    if (disable) options.insert(options.end(), {{"--discard", false}, {"--force", false}});
    return {name,
            delay     ? "SECONDS NAME [--location CODE]"
            : disable ? "NAME [--location CODE] [--discard] [--force]"
                      : "NAME [--location CODE]",
            description,
            std::move(options),
            delay ? 2u : 1u,
            delay ? 2u : 1u,
            [verb](platform::Platform& platform, store::AutostartStore& store, const ParsedCommand& cmd,
                   ConsoleOutput& out) { RunEntryVerb(verb, platform, store, cmd, out); }};
}

// ------------------------------------------------------------------ policies

std::optional<std::string> LocationOption(const ParsedCommand& cmd) {
    const auto it = cmd.options.find("--location");
    if (it == cmd.options.end()) return std::nullopt;
    if (!store::FindLocation(it->second)) throw UsageError("unknown location code '" + it->second + "'");
    return it->second;
}

// Names folded as the platform compares them.
std::function<std::string(std::string_view)> Folder(store::AutostartStore& store) {
    return [&locale = store.Facets().locale](std::string_view name) { return locale.FoldCase(name); };
}

void RunExport(platform::Platform& platform, store::AutostartStore& store, const ParsedCommand& cmd,
               ConsoleOutput& out) {
    const auto location = LocationOption(cmd);
    store.ScanEntries();
    out.out = policy::PolicyText(policy::DescribeTable(store.Table(), location, Folder(store)));
}

// 0 when everything is as the policy wants afterwards (a check: was already).
// One order for all the rest, the first that holds deciding: a change that
// failed (3 when it was refused for lack of rights), a place that could not be
// read, an entry another program changed meanwhile, drift.
int ExitCodeOf(const policy::Report& report) {
    if (report.ChangeFailed()) return kExitFailure;
    if (report.needsRights) return kExitNeedsRights;
    if (!report.unreadable.empty()) return kExitUnreadable;
    if (report.changedMeanwhile) return kExitChanged;
    if (report.check && !report.compliant) return kExitDrift;
    return kExitOk;
}

void PutReport(const policy::Report& report, std::string text, ConsoleOutput& out) {
    out.exitCode = ExitCodeOf(report);
    out.out = std::move(text);
    // Standard error only for a failure: fleet tools take any text there for one.
    const std::string prefix = std::string(kConsoleName) + ": ";
    if (report.failed) out.err = prefix + report.Messages();
    if (report.needsRights) out.err += prefix + std::string(kRunAsAdministrator) + "\n";
    for (const auto& place : report.unreadable) out.err += prefix + "could not read " + place + "\n";
    out.result = out.exitCode == kExitDrift && out.err.empty();
}

void RunApply(platform::Platform& platform, store::AutostartStore& store, const ParsedCommand& cmd,
              ConsoleOutput& out) {
    // "-": the policy comes on standard input, so that a fleet tool running
    // as SYSTEM never reads it from a file another user could have written.
    const bool piped = cmd.args[0] == kStandardInputArgument;
    const std::string source = piped ? std::string("standard input") : cmd.args[0];
    policy::Policy wanted;
    try {
        if (piped) {
            wanted = policy::ParsePolicy(cmd.readInput ? cmd.readInput() : std::string());
        } else {
            const auto file = platform.files.ReadFile(source);
            if (file.outcome == platform::ReadOutcome::NotFound) throw policy::PolicyError("no such file");
            if (file.outcome == platform::ReadOutcome::Failed) throw policy::PolicyError(file.message);
            wanted = policy::ParsePolicy(file.bytes);
        }
    } catch (const policy::PolicyError& e) {
        throw BadInput(source + ": " + e.what());
    }
    HeadlessControl headless(platform, store);
    const bool check = cmd.Has("--check");
    std::optional<policy::Report> report;
    try {
        report = policy::ApplyPolicy(headless.control, platform, wanted, check);
    } catch (const ChangedMeanwhile&) {
        throw;  // the lists were busy: run it again
    } catch (const std::exception& e) {
        // A check that could not be made must not read as drift.
        if (!check) throw;
        out = ConsoleOutput{kExitCheckFailed, {}, std::string(kConsoleName) + ": " + ErrorReportText(e.what()) + "\n"};
        return;
    }
    PutReport(*report, cmd.Has("--json") ? policy::ReportJson(*report) : policy::ReportText(*report), out);
}

// The DSC resource: the desired state, a policy, comes on standard input; the
// output is the machine's state as a policy, on one line. "test" adds
// "_inDesiredState" and exits 0 either way.
void RunDsc(platform::Platform& platform, store::AutostartStore& store, const ParsedCommand& cmd, ConsoleOutput& out) {
    const std::string& operation = cmd.args[0];
    if (operation != "get" && operation != "test" && operation != "set")
        throw UsageError("the dsc operations are get, test and set, not '" + operation + "'");
    const std::string input = cmd.readInput ? cmd.readInput() : std::string();
    policy::Policy wanted;
    try {
        if (input.find_first_not_of(" \t\r\n") != std::string::npos) wanted = policy::ParsePolicyText(input, true);
    } catch (const policy::PolicyError& e) {
        throw BadInput("standard input: " + std::string(e.what()));
    }
    HeadlessControl headless(platform, store);
    std::optional<policy::Report> report;
    if (operation != "get") report = policy::ApplyPolicy(headless.control, platform, wanted, operation == "test");
    store.ScanEntries();
    auto state = policy::DescribeTable(store.Table(), std::nullopt, Folder(store));
    state.unlisted = wanted.unlisted;
    auto json = policy::PolicyJson(state);
    if (operation == "test") json["_inDesiredState"] = report->compliant;
    const std::string line = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (operation == "set")
        PutReport(*report, line, out);
    else
        out.out = line;
}

const std::vector<CommandSpec>& Commands() {
    using control::EntryVerb;
    static const std::vector<CommandSpec> kCommands = {
        {"list",
         "[--json] [--verify-all] [--all]",
         "List every autostart entry in display order, with its file and publisher (--verify-all: check large "
         "files too; --all: Windows' own entries too).",
         {{"--json", false}, {"--verify-all", false}, {"--all", false}},
         0,
         0,
         RunList},
        EntryCommand("disable", EntryVerb::Disable,
                     "Switch an entry off: take it out of its place and record it (--discard: without a record; "
                     "--force: also one of Windows' own services)."),
        EntryCommand("enable", EntryVerb::Enable, "Put a recorded entry back into its place."),
        EntryCommand("delete", EntryVerb::Delete,
                     "Delete an entry (an enabled one from its place, a recorded one from the list)."),
        EntryCommand("confirm", EntryVerb::Confirm, "Have Vantorell ask before it starts the entry at logon."),
        EntryCommand("unconfirm", EntryVerb::Unconfirm, "Start the entry at logon without asking."),
        EntryCommand("delay", EntryVerb::Delay, "Have Vantorell start the entry SECONDS (0 to 240) after logon."),
        {"export",
         "[--location CODE]",
         "Write the policy that describes the entries as they are now.",
         {{"--location", true}},
         0,
         0,
         RunExport},
        {"apply",
         "POLICY.json|- [--check] [--json]",
         "Make the entries what the policy says (-: read it from standard input; --check: change nothing, "
         "report the drift).",
         {{"--check", false}, {"--json", false}},
         1,
         1,
         RunApply},
        {"dsc", "get|test|set", "The DSC resource: the desired policy as JSON on standard input.", {}, 1, 1, RunDsc},
    };
    return kCommands;
}

const CommandSpec* FindCommand(std::string_view name) {
    for (const auto& c : Commands())
        if (c.name == name) return &c;
    return nullptr;
}

ParsedCommand Parse(const CommandSpec& def, const std::vector<std::string>& args) {
    ParsedCommand cmd;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            cmd.args.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const auto eq = a.find('=');
        const std::string name = a.substr(0, eq);
        const auto option =
            std::find_if(def.options.begin(), def.options.end(), [&](const OptionSpec& o) { return o.name == name; });
        if (option == def.options.end())
            throw UsageError("unknown option '" + name + "' for '" + std::string(def.name) + "'");
        if (cmd.Has(name)) throw UsageError("option '" + name + "' given twice");
        std::string value;
        if (option->takesValue) {
            if (eq != std::string::npos)
                value = a.substr(eq + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            else
                throw UsageError("option '" + name + "' needs a value");
        } else if (eq != std::string::npos) {
            throw UsageError("option '" + name + "' takes no value");
        }
        cmd.options.emplace(name, std::move(value));
    }
    if (cmd.args.size() < def.minArgs || cmd.args.size() > def.maxArgs)
        throw UsageError("wrong number of arguments for '" + std::string(def.name) + "'");
    return cmd;
}

bool IsHelp(std::string_view a) {
    return a == "help" || a == "--help" || a == "-h" || a == "/?";
}

// ------------------------------------------------------------------ text output

// Code points, for aligning columns.
std::size_t Width(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// A cell of the readable table: control characters would break the lines and
// the alignment, so they are shown as "?" (the JSON output keeps them exactly).
std::string Cell(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

// Table indices in display order, without the hidden ones.
std::vector<std::size_t> DisplayOrder(const store::EntryTable& table, const std::set<std::size_t>& hidden) {
    std::vector<std::size_t> order(table.entries.size());
    for (std::size_t i = 0; i < table.entries.size(); ++i) {
        const auto pos = static_cast<std::size_t>(table.entries[i].position);
        order[pos < order.size() ? pos : i] = i;
    }
    if (!hidden.empty()) std::erase_if(order, [&](std::size_t i) { return hidden.count(i) > 0; });
    return order;
}

constexpr std::size_t kColumns = 12;
constexpr std::array<std::string_view, kColumns> kHeadings = {"Position", "Index",  "State",     "Name",
                                                              "Location", "View",   "Windows",   "Confirm",
                                                              "Delay",    "Rating", "Publisher", "Command"};
constexpr std::string_view kColumnGap = "  ";

std::array<std::string, kColumns> RowOf(const store::EntryTable& table, std::size_t index, const ui::NameLists& lists,
                                        const std::vector<identity::Identity>& ids) {
    const auto& e = table.entries[index];
    return {std::to_string(e.position),
            std::to_string(index),
            Cell(store::StateText(e.state)),
            Cell(e.name),
            Cell(e.location),
            std::string(store::ViewName(table, e)),
            e.windowsOff ? "off" : "",
            Cell(e.confirm.Text()),
            Cell(e.delay.Text()),
            std::string(
                ui::RateEntry(lists, e.name, ui::ServiceRated(e).value_or(e.command), ui::ServiceRated(e).has_value())),
            index < ids.size() ? Cell(identity::PublisherText(ids[index])) : std::string(),
            Cell(e.command)};
}

}  // namespace

std::string FormatEntryJson(const store::EntryTable& table, const ui::NameLists& lists,
                            const std::vector<identity::Identity>& ids, const std::set<std::size_t>& hidden,
                            const impact::History* history) {
    text::JsonRowsText rows;
    for (std::size_t i : DisplayOrder(table, hidden)) {
        const auto& e = table.entries[i];
        rows.BeginRow();
        rows.Number("position", e.position);
        rows.Number("index", static_cast<long long>(i));
        rows.Text("state", store::StateText(e.state));
        rows.Text("name", e.name);
        rows.Text("location", e.location);
        rows.Text("view", store::ViewName(table, e));
        rows.Flag("windowsOff", e.windowsOff);
        rows.Text("confirm", e.confirm.Text());
        rows.Text("delay", e.delay.Text());
        rows.Text("command", e.command);
        rows.Text("rating", ui::RateEntry(lists, e.name, ui::ServiceRated(e).value_or(e.command),
                                          ui::ServiceRated(e).has_value()));
        // An Active Setup component: its key, which --sub-key takes.
        if (!e.subKey.empty()) rows.Text("subKey", e.subKey);
        // A service: what its key says beyond the row's name and command.
        if (e.service)
            rows.Raw("service", "{\"displayName\": " + text::JsonString(e.service->displayName) +
                                    ", \"description\": " + text::JsonString(e.service->description) +
                                    ", \"serviceDll\": " + text::JsonString(e.service->serviceDll) +
                                    ", \"delayed\": " + (e.service->delayed ? "true" : "false") + "}");
        if (history)
            rows.Raw("impact", impact::JsonObject(
                                   impact::Summarise(history->Of(impact::HistoryKey(e.location, e.name, e.command)))));
        if (i < ids.size()) {
            const identity::Identity& id = ids[i];
            rows.Text("file", id.file);
            rows.Flag("fileExists", id.fileExists);
            rows.Flag("inline", id.inlineCode);
            rows.Text("signature", identity::StateWord(id.state));
            rows.Text("signer", id.signer);
            rows.Text("issuer", id.issuer);
            rows.Text("signerSha1", id.thumbprintSha1);
            rows.Text("signerSha256", id.thumbprintSha256);
            rows.Text("company", id.company);
            rows.Text("description", id.description);
            rows.Text("fileVersion", id.fileVersion);
        }
    }
    if (history && history->Last()) {
        rows.BeginRow();
        rows.Raw("lastLogon", impact::LastLogonJson(*history->Last()));
    }
    return rows.Finish();
}

std::string FormatEntryTable(const store::EntryTable& table, const ui::NameLists& lists,
                             const std::vector<identity::Identity>& ids, const std::set<std::size_t>& hidden) {
    std::vector<std::array<std::string, kColumns>> rows;
    rows.reserve(table.entries.size() + 1);
    std::array<std::string, kColumns> heading;
    std::copy(kHeadings.begin(), kHeadings.end(), heading.begin());
    rows.push_back(heading);
    for (std::size_t i : DisplayOrder(table, hidden)) rows.push_back(RowOf(table, i, lists, ids));

    std::array<std::size_t, kColumns> widths{};
    for (const auto& row : rows)
        for (std::size_t k = 0; k < kColumns; ++k) widths[k] = std::max(widths[k], Width(row[k]));
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t k = 0; k < kColumns; ++k) {
            line += row[k];
            if (k + 1 < kColumns) line.append(widths[k] - Width(row[k]), ' ').append(kColumnGap);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::string ConsoleUsage() {
    std::string out = "Usage: " + std::string(kConsoleName) + " COMMAND [OPTIONS]\n\nCommands:\n";
    std::vector<std::string> lefts;
    std::size_t width = std::string_view("help").size();
    for (const auto& c : Commands()) {
        lefts.push_back(std::string(c.name) + (c.synopsis.empty() ? "" : " ") + std::string(c.synopsis));
        width = std::max(width, lefts.back().size());
    }
    for (std::size_t i = 0; i < Commands().size(); ++i)
        out += "  " + lefts[i] + std::string(width - lefts[i].size() + 2, ' ') +
               std::string(Commands()[i].description) + "\n";
    out += "  help" + std::string(width - 4 + 2, ' ') + "Show this text.\n";
    out += "  --version" + std::string(width > 7 ? width - 7 : 1, ' ') + "Show the version.\n";
    out +=
        "\nThe entry commands also take --kind recorded|active and --held-command, --held-arguments, "
        "--held-confirm, --held-delay TEXT: they act only on an entry of that kind that still holds those "
        "texts, and exit with 4 when there is none. --sub-key KEY names the Active Setup component "
        "where two show one name.\n";
    out +=
        "Exit codes: 0 done, 1 failed, 2 usage or a bad policy, 3 needs administrator rights, 4 changed meanwhile;\n";
    out +=
        "apply: 3 also when a place could not be read; --check: 0 compliant, 1 drift, 5 the check failed.\n"
        "When several hold, the first of these decides: failed, a place not read, changed meanwhile, drift.\n"
        "Standard error carries failures only, never drift. The policy's format: schema/policy.schema.json.\n";
    out += "\nPlaces (CODE for --location), in the order they are listed:\n";
    for (const store::AutostartLocation& place : store::Locations()) {
        std::string code(place.code);
        code.resize(std::max<std::size_t>(code.size() + 2, 14), ' ');
        out += "  " + code + store::PlaceWhere(place, {}, true) + "\n";
    }
    out += "Not covered yet: scheduled tasks, services, and packaged apps' startup tasks.\n";
    out += "\nThe list file is \"" + std::string(store::kStartupListFile) +
           "\" beside the executable; an installed copy keeps one in %LOCALAPPDATA%\\Vantorell for the user's "
           "places and one in %ProgramData%\\Vantorell for the machine's.\n";
    return out;
}

ConsoleOutput RunConsole(platform::Platform& platform, const std::vector<std::string>& args,
                         const ConsoleInput& readInput) {
    const auto layout = FileLayout::Detect(platform);
    layout.CreateUserFolder(platform);
    store::AutostartStore store(platform, layout.Lists().front().path, layout.MachineList());
    return RunConsole(platform, store, args, readInput);
}

ConsoleOutput RunHandedOverChange(platform::Platform& platform, const std::vector<std::string>& args) {
    const auto layout = FileLayout::Detect(platform);
    store::AutostartStore store(platform, layout.IsInstalled() ? layout.MachineList() : layout.Lists().front().path);
    return RunConsole(platform, store, args);
}

ConsoleOutput RunConsole(platform::Platform& platform, store::AutostartStore& store,
                         const std::vector<std::string>& args, const ConsoleInput& readInput) {
    ConsoleOutput result;
    const std::string prefix = std::string(kConsoleName) + ": ";
    if (args.size() == 1 && IsHelp(args[0])) {
        result.out = ConsoleUsage();
        return result;
    }
    if (args.size() == 1 && args[0] == "--version") {
        result.out = std::string(kConsoleName) + " " + kVersion + "\n";
        return result;
    }
    const std::uint64_t deniedBefore = platform.processes.AccessDeniedCount();
    try {
        if (args.empty()) throw UsageError("no command given");
        const CommandSpec* def = FindCommand(args[0]);
        if (!def) throw UsageError("unknown command '" + args[0] + "'");
        ParsedCommand cmd = Parse(*def, args);
        cmd.readInput = readInput;
        def->run(platform, store, cmd, result);
    } catch (const BadInput& e) {
        result = ConsoleOutput{kExitUsage, {}, prefix + e.message + "\n"};
    } catch (const UsageError& e) {
        result = ConsoleOutput{kExitUsage, {}, prefix + e.message + "\n\n" + ConsoleUsage()};
    } catch (const ChangedMeanwhile& e) {
        result = ConsoleOutput{kExitChanged, {}, prefix + ErrorReportText(e.what()) + "\n"};
    } catch (const std::exception& e) {
        std::string message = ErrorReportText(e.what());
        const bool refused = platform.processes.AccessDeniedCount() != deniedBefore && !platform.processes.IsElevated();
        if (refused) message += " " + std::string(kRunAsAdministrator);
        result = ConsoleOutput{refused ? kExitNeedsRights : kExitFailure, {}, prefix + message + "\n"};
    }
    return result;
}

}  // namespace vantorell::app
