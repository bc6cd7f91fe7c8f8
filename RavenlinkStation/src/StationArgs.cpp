#include "StationArgs.h"

#include <CLI/CLI.hpp>

#include <limits>
#include <stdexcept>

namespace {

// An hour: the longest a reply may be delayed or stalled.
constexpr long longestHoldMs = 3600L * 1000L;
// The most stations one process serves: two descriptors and a thread each.
constexpr long mostStations = 1024;

// A whole number from low to high, written in decimal digits (a sign
// allowed), with the message the simulator has always given.
CLI::Validator wholeNumber(const std::string& option, long low, long high)
{
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            std::size_t used = 0;
            long value = 0;
            try {
                value = std::stol(text, &used, 10);
            } catch (const std::exception&) {
                used = 0;
            }
            if (text.empty() || used != text.size() || value < low || value > high) {
                return option + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                       ", not \"" + text + "\"";
            }
            return "";
        },
        "N");
}

// The texts that CLI11 gives a mistake, in the simulator's words where it
// has its own.
std::string mistake(const CLI::ParseError& e, const CLI::App& app)
{
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr && !app.remaining().empty()) {
        return "unknown option \"" + app.remaining().front() + "\"";
    }
    const std::string text = e.what();
    // "--delay: 1 required INT:N missing"
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr && text.rfind("--", 0) == 0 &&
        text.find(" required ") != std::string::npos) {
        return text.substr(0, text.find(':')) + " needs a value";
    }
    // "late was given a disallowed flag override"
    const std::size_t override = text.find(" was given a disallowed flag override");
    if (override != std::string::npos) {
        return "--" + text.substr(0, override) + " takes no value";
    }
    // A validator's own message comes behind the option's name.
    const std::size_t own = text.find(" needs a whole number from ");
    if (dynamic_cast<const CLI::ValidationError*>(&e) != nullptr && own != std::string::npos) {
        const std::size_t start = text.rfind(": ", own);
        return start == std::string::npos ? text : text.substr(start + 2);
    }
    return text;
}

void addValued(CLI::App& app, StationOptions& opt)
{
    const auto number = [&](const char* name, auto& target, long low, long high) {
        app.add_option(name, target)->check(wholeNumber(name, low, high));
    };
    app.add_option("--link", opt.linkPath);
    app.add_option("--port", opt.portDevice);
    number("--delay", opt.delayMs, 0, longestHoldMs);
    number("--stall", opt.stallMs, 0, longestHoldMs);
    number("--com-status", opt.comStatus, 0, 65535);
    number("--vanish-after", opt.vanishAfter, 0, std::numeric_limits<int>::max());
    number("--count", opt.count, 1, mostStations);
    number("--sensors", opt.sensors, 1, 4);
    app.add_option("--seed", opt.seed)->check(wholeNumber("--seed", 0, 4294967295L));
}

void addFlags(CLI::App& app, StationOptions& opt)
{
    const std::pair<const char*, bool*> flags[] = {
        {"-h,--help", &opt.help},       {"--activated", &opt.activated}, {"--extended", &opt.extended},
        {"-v,--verbose", &opt.verbose}, {"--no-reply", &opt.noReply},    {"--garbage", &opt.garbage},
        {"--flood", &opt.flood},        {"--paced", &opt.paced},         {"--late", &opt.late},
        {"--wrong-id", &opt.wrongId},   {"--noise", &opt.noise},
    };
    for (const auto& [name, flag] : flags) {
        // A flag is set by its name alone: "--late=0" is a mistake, not a
        // way to say no.
        app.add_flag(name, *flag)->disable_flag_override();
    }
}

} // namespace

StationOptions parseStationArgs(int argc, const char* const* argv)
{
    StationOptions opt;
    CLI::App app("ravenlinkstation");
    // The usage is stationUsage(), printed by the caller for -h.
    app.set_help_flag();
    app.allow_extras(false);
    // The last of an option given twice counts, as it always did.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    addFlags(app, opt);
    addValued(app, opt);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        throw std::invalid_argument(mistake(e, app));
    }
    opt.numberedLinks = app.count("--count") > 0;
    if (!opt.linkPath.empty() && !opt.portDevice.empty()) {
        throw std::invalid_argument("--link makes a link to a pseudo-terminal; it cannot go with --port");
    }
    if (opt.count > 1 && !opt.portDevice.empty()) {
        throw std::invalid_argument("--count serves pseudo-terminals; it cannot go with --port");
    }
    return opt;
}

std::string stationUsage(const std::string& program)
{
    return "Usage: " + program + " [options]\n"
           "Simulated Ravenlink ground station. Answers one JSON request line with one JSON\n"
           "reply line, on a new pseudo-terminal (default) or on a serial device.\n"
           "Prints \"Station ready on PATH\" once the port can be opened.\n"
           "\n"
           "Port:\n"
           "  --link PATH        also make a symlink PATH to the pseudo-terminal\n"
           "                     (replaces an existing symlink, removed again on exit)\n"
           "  --port DEVICE      use the serial device DEVICE at 115200 8N1 instead of a\n"
           "                     pseudo-terminal (e.g. one end of a null-modem cable)\n"
           "  --count N          serve N stations (1..1024) from this process, each on a\n"
           "                     pseudo-terminal of its own and with its own state; with\n"
           "                     --link PATH their links are PATH-1 .. PATH-N (also for 1)\n"
           "\n"
           "Station:\n"
           "  --activated        start remotely activated (the UAV takes off shortly)\n"
           "  --extended         extended mode: AUTH_ENABLE on, extra supply and state keys\n"
           "  --sensors N        environment sensors fitted, 1..4 (default 4); the others\n"
           "                     report 255, not fitted\n"
           "  --seed N           fixed seed for the simulated drift (default: random);\n"
           "                     station I of --count draws from N + 2 (I - 1)\n"
           "  -v, --verbose      log every request and reply on standard error\n"
           "  -h, --help         print this text and exit\n"
           "\n"
           "Faults (may be combined):\n"
           "  --no-reply         read requests but never answer\n"
           "  --delay MS         answer every request MS milliseconds late\n"
           "  --com-status N     report COM_STATUS N (0..65535) in every reply, data kept\n"
           "  --garbage          answer with line noise instead of JSON\n"
           "  --noise            put stray bytes in front of every reply\n"
           "  --wrong-id         echo a MSG_ID other than the request's\n"
           "  --late             answer each request only when the next one arrives\n"
           "                     (the first request gets no reply, later ones the previous reply)\n"
           "  --stall MS         stop MS milliseconds in the middle of every reply line\n"
           "  --paced            send at the real wire rate of 115200 baud (11520 bytes/s);\n"
           "                     each reply starts on its own schedule, with no credit\n"
           "                     for time the line stood idle\n"
           "  --flood            send status replies endlessly, asked or not\n"
           "  --vanish-after N   after the N-th request (answered as usual) close the port\n"
           "                     and remove the link, like a pulled USB adapter, and exit\n"
           "                     (with --count: each station on its own N-th request; the\n"
           "                     process exits when the last has vanished)\n"
           "\n"
           "Prints one \"Station ready on PATH\" line per station, in order, once all can be\n"
           "opened. The faults apply to every station. Ends cleanly on SIGINT, SIGTERM or\n"
           "SIGHUP. Exit status 0; 1 when a port cannot be set up or fails (which ends every\n"
           "station of the process); 2 for a bad command line.\n";
}
