// The command line, parsed with CLI11. Values arrive as text and are checked
// here, so that every bad value gets one plain reason instead of a parser's
// conversion message, and "nan" or "1e999" can never pass a range check.
#include "CtlArguments.h"

#include "ToolSupport.h"

#include "CtlOutput.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace ctl {

const char* const groupNames[5] = {"cab", "env", "energy-gs", "energy-uav", "sys-state"};

int& groupFlag(ConfigStatus& config, std::size_t index)
{
    int* const flags[5] = {&config.cab, &config.env, &config.energyGS, &config.energyUAV, &config.sysState};
    return *flags[index];
}

namespace {

const char* const usageText =
    "Usage: ravenlinkctl [options] COMMAND [args]\n"
    "Commands: ports status details config activate deactivate torque start-length\n"
    "          configure groups check monitor plot\n"
    "Run 'ravenlinkctl --help' or 'ravenlinkctl COMMAND --help' for more.\n";

// The texts of the command line before they are checked.
struct RawValues {
    std::string timeout = "300";
    std::string torque;
    std::string startLength;
    std::string activation;
    std::vector<std::string> groups;
    std::string interval = "1";
    std::string count;
    std::string format = "jsonl";
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool parseWhole(const std::string& text, long long& value)
{
    double number = 0.0;
    if (!ravenlink::parseNumber(text, number) || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return errno == 0;
}

double numberIn(const std::string& text, double low, double high, const std::string& what)
{
    double value = 0.0;
    if (!ravenlink::parseNumber(text, value) || value < low || value > high) {
        throw UsageError(what);
    }
    return value;
}

long long wholeIn(const std::string& text, long long low, long long high, const std::string& what)
{
    long long value = 0;
    if (!parseWhole(text, value) || value < low || value > high) {
        throw UsageError(what);
    }
    return value;
}

void setGroups(const std::vector<std::string>& settings, Invocation& invocation)
{
    for (const std::string& setting : settings) {
        const std::size_t eq = setting.find('=');
        const std::string name = setting.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : setting.substr(eq + 1);
        std::size_t index = 0;
        while (index < 5 && name != groupNames[index]) {
            ++index;
        }
        if (index == 5 || (value != "0" && value != "1")) {
            throw UsageError("groups: '" + setting + "' is not NAME=0 or NAME=1 with NAME one of cab, env, "
                             "energy-gs, energy-uav, sys-state");
        }
        invocation.groupFlags[index] = value == "1" ? 1 : 0;
    }
}

void checkPlotOutput(const std::string& output)
{
    const auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return output.size() > t.size() && output.compare(output.size() - t.size(), t.size(), t) == 0;
    };
    if (!output.empty() && !endsWith(".svg") && !endsWith(".png")) {
        throw UsageError("plot: --output must name a .svg or .png file");
    }
}

// Turns the raw texts of the chosen command into values.
void convert(const RawValues& raw, Invocation& inv)
{
    inv.timeoutMs = static_cast<int>(wholeIn(raw.timeout, 1, 3600000, "--timeout: MS must be a whole number from 1 to 3600000"));
    if (inv.command == "torque" || inv.command == "configure") {
        inv.torque = static_cast<float>(numberIn(raw.torque, 0.0, 100.0, inv.command + ": PERCENT must be a number from 0 to 100"));
    }
    if (inv.command == "start-length" || inv.command == "configure") {
        // Compared as the float that is sent, so that 0.3 itself is accepted.
        const double metres = numberIn(raw.startLength, 0.0, 1e30, inv.command + ": METRES must be a number of at least 0.3");
        inv.startLength = static_cast<float>(metres);
        if (inv.startLength < 0.3F) {
            throw UsageError(inv.command + ": METRES must be a number of at least 0.3");
        }
    }
    inv.activation = raw.activation == "on";
    setGroups(raw.groups, inv);
    if (inv.command == "monitor") {
        inv.monitor.intervalSeconds = numberIn(raw.interval, 0.001, 86400.0, "monitor: --interval must be a number of seconds from 0.001 to 86400");
        if (!raw.count.empty()) {
            inv.monitor.count = static_cast<unsigned long>(wholeIn(raw.count, 1, 1000000000000LL, "monitor: --count must be a whole number of at least 1"));
        }
        inv.monitor.format = raw.format == "csv" ? LogFormat::csv : LogFormat::jsonl;
    }
    if (inv.command == "plot") {
        checkPlotOutput(inv.plot.output);
    }
    const bool needsPort = inv.command != "ports" && inv.command != "plot";
    if (needsPort && inv.port.empty()) {
        throw UsageError("no port given: use -p PATH or set RAVENLINK_PORT");
    }
}

void addCommands(CLI::App& app, RawValues& raw, Invocation& inv)
{
    app.add_subcommand("ports", "List the serial ports of this machine");
    app.add_subcommand("status", "Read the system status once");
    app.add_subcommand("details", "Read the system details");
    app.add_subcommand("config", "Read activation and cable retraction settings");
    app.add_subcommand("activate", "Activate the system");
    app.add_subcommand("deactivate", "Deactivate the system");
    app.add_subcommand("torque", "Set the cable retraction torque")
        ->add_option("PERCENT", raw.torque, "0 to 100")->required();
    app.add_subcommand("start-length", "Set the cable retraction start length")
        ->add_option("METRES", raw.startLength, "at least 0.3")->required();
    CLI::App* configure = app.add_subcommand("configure", "Write activation, torque and start length at once");
    configure->add_option("--activation", raw.activation, "on or off")->required()->type_name("on|off")->check(CLI::IsMember({"on", "off"}));
    configure->add_option("--torque", raw.torque, "0 to 100")->required()->type_name("PERCENT");
    configure->add_option("--start-length", raw.startLength, "at least 0.3")->required()->type_name("METRES");
    app.add_subcommand("groups", "Show, or set with NAME=0|1, the status groups the station sends")
        ->add_option("SETTINGS", raw.groups, "cab, env, energy-gs, energy-uav, sys-state = 0 or 1");
    app.add_subcommand("check", "Health check: exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN");
    CLI::App* monitor = app.add_subcommand("monitor", "Log the status every interval");
    monitor->add_option("--interval", raw.interval, "between readings (default 1)")->type_name("SECONDS");
    monitor->add_option("--count", raw.count, "stop after N records")->type_name("N");
    monitor->add_option("--output", inv.monitor.output, "append the records to FILE")->type_name("FILE");
    monitor->add_option("--format", raw.format, "jsonl (default) or csv")->type_name("FORMAT")->check(CLI::IsMember({"jsonl", "csv"}));
    CLI::App* plot = app.add_subcommand("plot", "Draw a logged run with gnuplot");
    plot->add_option("LOG", inv.plot.log, "a log written by monitor")->required();
    plot->add_option("--output", inv.plot.output, "FILE.svg or FILE.png (default: LOG's name with .svg)")
        ->type_name("FILE");
}

void addGlobalOptions(CLI::App& app, RawValues& raw, Invocation& inv)
{
    app.add_option("-p,--port", inv.port, "serial port of the station")->envname("RAVENLINK_PORT")->type_name("PATH");
    app.add_option("-t,--timeout", raw.timeout, "connection timeout, set before the handshake (default 300)")
        ->type_name("MS");
    app.add_flag("--json", inv.json, "print JSON instead of text");
    app.add_flag("-v,--verbose", inv.verbose, "show every request (> ), reply (< ) and dropped reply (x ) on standard error");
    StationLink link;
    app.set_version_flag("--version", std::string("ravenlinkctl ") + RAVENLINKCTL_VERSION + " (library build " +
                                          link.getLibraryBuild() + ", protocol " + link.getProtocolVersion() + ")");
}

// The first word of \p argv that is neither an option nor an option's
// value: what the user meant as the command. Empty when there is none.
std::string commandWord(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        // "-p PATH", "-vt 500": a short option with a value ends its cluster.
        const bool shortWithValue = word.size() >= 2 && word[0] == '-' && word[1] != '-' &&
                                    (word.back() == 'p' || word.back() == 't');
        if (shortWithValue || word == "--port" || word == "--timeout") {
            ++i;
        } else if (word.empty() || word[0] != '-') {
            return word;
        }
    }
    return "";
}

// CLI11 says only "A subcommand is required" for a command it does not know,
// or that the word "was not expected".
std::string parseErrorText(const CLI::Error& e, const CLI::App& app, int argc, char** argv)
{
    const std::string word = commandWord(argc, argv);
    std::string known;
    bool isKnown = false;
    for (const CLI::App* command : app.get_subcommands({})) {
        known += (known.empty() ? "" : ", ") + command->get_name();
        isKnown = isKnown || command->get_name() == word;
    }
    if (word.empty() || isKnown) {
        return e.what();
    }
    return "unknown command '" + word + "'; the commands are " + known;
}

int reportParseError(const CLI::Error& e, const CLI::App& app, bool forCheck, int argc, char** argv)
{
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        // --help or --version: CLI11 prints them on standard output.
        return app.exit(e, std::cout, std::cerr) == 0 ? exitDone : exitUsage;
    }
    const std::string reason = shownLine(parseErrorText(e, app, argc, argv));
    if (forCheck) {
        std::cout << "RAVENLINK UNKNOWN - " << reason << '\n';
    }
    std::cerr << "ravenlinkctl: " << reason << '\n' << usageText;
    return forCheck ? static_cast<int>(checkUnknown) : static_cast<int>(exitUsage);
}

} // namespace

int usageError(const std::string& reason)
{
    std::cerr << "ravenlinkctl: " << shownLine(reason) << '\n' << usageText;
    return exitUsage;
}

std::optional<int> parseArguments(int argc, char** argv, Invocation& invocation)
{
    CLI::App app("Every Halvern Loftward ground station operation from the command line.", "ravenlinkctl");
    app.require_subcommand(1, 1);
    app.fallthrough();
    RawValues raw;
    addGlobalOptions(app, raw, invocation);
    addCommands(app, raw, invocation);
    const CLI::App* check = app.get_subcommand("check");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Error& e) {
        return reportParseError(e, app, check->parsed(), argc, argv);
    }
    invocation.command = app.get_subcommands().front()->get_name();
    try {
        convert(raw, invocation);
    } catch (const UsageError& e) {
        if (invocation.command == "check") {
            // A monitoring system must not read a wrong command line as a fault.
            std::cout << "RAVENLINK UNKNOWN - " << shownLine(e.what()) << '\n';
            usageError(e.what());
            return checkUnknown;
        }
        return usageError(e.what());
    }
    return std::nullopt;
}

} // namespace ctl
