#include "StationArgs.h"

#include <limits>
#include <stdexcept>

namespace {

long parseNumber(const std::string& option, const std::string& text, long low, long high)
{
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || value < low || value > high) {
        throw std::invalid_argument(option + " needs a whole number from " + std::to_string(low) + " to " +
                                    std::to_string(high) + ", not \"" + text + "\"");
    }
    return value;
}

// Walks the arguments; accepts "--opt VALUE" and "--opt=VALUE".
class ArgReader {
public:
    ArgReader(int argc, const char* const* argv) : argc(argc), argv(argv) {}

    bool next()
    {
        if (++index >= argc) {
            return false;
        }
        name = argv[index];
        inlineValue.reset();
        const auto eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
        }
        return true;
    }

    const std::string& option() const { return name; }

    std::string value()
    {
        if (inlineValue) {
            return *inlineValue;
        }
        if (index + 1 >= argc) {
            throw std::invalid_argument(name + " needs a value");
        }
        return argv[++index];
    }

    long number(long low, long high) { return parseNumber(name, value(), low, high); }

    void noValue() const
    {
        if (inlineValue) {
            throw std::invalid_argument(name + " takes no value");
        }
    }

private:
    int argc;
    const char* const* argv;
    int index = 0;
    std::string name;
    std::optional<std::string> inlineValue;
};

// An hour: the longest a reply may be delayed or stalled.
constexpr long longestHoldMs = 3600L * 1000L;

bool readFlag(ArgReader& args, StationOptions& opt)
{
    const std::string& o = args.option();
    bool* flag = o == "-h" || o == "--help" ? &opt.help
                 : o == "--activated"       ? &opt.activated
                 : o == "--extended"        ? &opt.extended
                 : o == "-v" || o == "--verbose" ? &opt.verbose
                 : o == "--no-reply"        ? &opt.noReply
                 : o == "--garbage"         ? &opt.garbage
                 : o == "--flood"           ? &opt.flood
                 : o == "--paced"           ? &opt.paced
                 : o == "--late"            ? &opt.late
                 : o == "--wrong-id"        ? &opt.wrongId
                 : o == "--noise"           ? &opt.noise
                                            : nullptr;
    if (flag == nullptr) {
        return false;
    }
    args.noValue();
    *flag = true;
    return true;
}

bool readValued(ArgReader& args, StationOptions& opt)
{
    const std::string& o = args.option();
    if (o == "--link") {
        opt.linkPath = args.value();
    } else if (o == "--port") {
        opt.portDevice = args.value();
    } else if (o == "--delay") {
        opt.delayMs = static_cast<int>(args.number(0, longestHoldMs));
    } else if (o == "--stall") {
        opt.stallMs = static_cast<int>(args.number(0, longestHoldMs));
    } else if (o == "--com-status") {
        opt.comStatus = static_cast<int>(args.number(0, 65535));
    } else if (o == "--vanish-after") {
        opt.vanishAfter = args.number(0, std::numeric_limits<int>::max());
    } else if (o == "--seed") {
        opt.seed = static_cast<std::uint32_t>(args.number(0, 4294967295L));
    } else {
        return false;
    }
    return true;
}

} // namespace

StationOptions parseStationArgs(int argc, const char* const* argv)
{
    StationOptions opt;
    ArgReader args(argc, argv);
    while (args.next()) {
        if (!readFlag(args, opt) && !readValued(args, opt)) {
            throw std::invalid_argument("unknown option \"" + args.option() + "\"");
        }
    }
    if (!opt.linkPath.empty() && !opt.portDevice.empty()) {
        throw std::invalid_argument("--link makes a link to a pseudo-terminal; it cannot go with --port");
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
           "\n"
           "Station:\n"
           "  --activated        start remotely activated (the UAV takes off shortly)\n"
           "  --extended         extended mode: AUTH_ENABLE on, extra supply and state keys\n"
           "  --seed N           fixed seed for the simulated drift (default: random)\n"
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
           "\n"
           "Ends cleanly on SIGINT, SIGTERM or SIGHUP. Exit status 0; 1 when the port cannot\n"
           "be set up or fails; 2 for a bad command line.\n";
}
