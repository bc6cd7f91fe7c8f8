// The table, and what every command runs with: the context that opens the
// station on first use, and the readers of numbers on the command line.
#include "CommandTable.h"

#include "Commands.h"
#include "CtlOutput.h"

#include <RavenlinkTools.h>
#include <StationCommand.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace ctl {

namespace {

using Table = std::vector<std::unique_ptr<CtlCommand>>;

template <class Command, class... Extra>
void add(Table& table, CommandRow row, Extra... extra)
{
    table.push_back(std::make_unique<Command>(row, extra...));
}

} // namespace

Table commandTable()
{
    using ravenlink::tools::CommandKind;
    // The words of the commands that change the station are the bridge's too.
    const auto word = [](CommandKind kind) { return std::string(ravenlink::tools::commandWord(kind)); };
    const bool port = true;
    Table table;
    add<ReadCommand>(table, {"ports", "List the serial ports of this machine", !port}, readPorts);
    add<ReadCommand>(table, {"status", "Read the system status once", port}, readStatus);
    add<ReadCommand>(table, {"details", "Read the system details", port}, readDetails);
    add<ReadCommand>(table, {"config", "Read activation and cable retraction settings", port}, readConfig);
    add<ActivationCommand>(table, {word(CommandKind::activate), "Activate the system", port}, true);
    add<ActivationCommand>(table, {word(CommandKind::deactivate), "Deactivate the system", port}, false);
    add<TorqueCommand>(table, {word(CommandKind::torque), "Set the cable retraction torque", port});
    add<StartLengthCommand>(table, {word(CommandKind::startLength), "Set the cable retraction start length", port});
    add<ConfigureCommand>(table, {word(CommandKind::configure), "Write activation, torque and start length at once", port});
    add<GroupsCommand>(table, {word(CommandKind::groups), "Show, or set with NAME=0|1, the status groups the station sends", port});
    add<CheckCommand>(table, {"check", "Health check: exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN", port});
    add<MonitorCommand>(table, {"monitor", "Log the status every interval", port});
    add<PlotCommand>(table, {"plot", "Draw a logged run with gnuplot", !port});
    return table;
}

// ---- the context ----

Context::Context(std::ostream& out, std::ostream& err) : out(out), err(err) {}

Context::~Context() = default;

StationLink& Context::link()
{
    if (!link_) {
        link_ = std::make_unique<StationLink>();
    }
    return *link_;
}

StationLink& Context::station()
{
    StationLink& station = link();
    if (!opened) {
        openStation(station, options, err);
        opened = true;
    }
    return station;
}

int Context::print(const std::string& output)
{
    out << output << std::flush;
    if (!out) {
        return fail("ravenlinkctl: cannot write to standard output");
    }
    return exitDone;
}

void Context::useStation(const std::string& port, int timeoutMs)
{
    link_.reset();
    opened = false;
    options.port = port;
    options.timeoutMs = timeoutMs;
}

int Context::fail(const std::string& what) { return failure(err, what); }

int Context::usageError(const std::string& reason)
{
    err << "ravenlinkctl: " << shownLine(reason) << '\n' << usage << std::flush;
    return exitUsage;
}

// ---- commands ----

void CtlCommand::declare(CLI::App&) {}

int CtlCommand::refuse(Context& context, const std::string& reason) { return context.usageError(reason); }

int OneShotCommand::run(Context& context)
{
    std::string text;
    try {
        text = output(context);
    } catch (const std::exception& e) {
        return context.fail(e.what());
    }
    return context.print(text);
}

// ---- opening the station ----

namespace {

// True when \p port opens as a device that is no terminal (/dev/null, a
// disk): the serial library then fails with a bare system call name.
bool opensAsNoTerminal(const std::string& port)
{
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return !terminal;
}

// The library's reason why the port itself did not open, or "" when the
// failure came later (the handshake) and its own text says it all.
std::string openFailure(const std::string& what)
{
    const std::string prefix = "IO Exception: openConnection: ";
    return what.rfind(prefix, 0) == 0 ? what.substr(prefix.size()) : "";
}

} // namespace

void openStation(StationLink& link, const GlobalOptions& options, std::ostream& trace)
{
    // The serial library would take a regular file and fail later with a
    // bare system call name; say plainly what the name is instead.
    const std::string& port = options.port;
    struct stat info {};
    if (::stat(port.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
        throw std::runtime_error("ravenlinkctl: " + port + (S_ISDIR(info.st_mode) ? " is a directory" : " is not a serial port"));
    }
    link.setConnectionTimeout(options.timeoutMs);
    // A reply ends with the line feed that closes its object: no pause after
    // every reply, and a line left over from an earlier exchange is dropped.
    link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    if (options.verbose) {
        link.setLineObserver(wireTrace(trace));
    }
    try {
        link.openConnection(port);
    } catch (const HALVERN::IOException& e) {
        const std::string reason = openFailure(e.what());
        if (reason.empty()) {
            throw;
        }
        if (opensAsNoTerminal(port)) {
            throw std::runtime_error("ravenlinkctl: " + port + " is not a serial port");
        }
        throw std::runtime_error("ravenlinkctl: cannot open " + port + ": " + reason);
    } catch (const std::logic_error& e) {
        // std::stoi's own text ("stoi") would tell the user nothing.
        throw std::runtime_error(ravenlink::tools::describeFailure("openConnection", e));
    }
}

// ---- numbers on the command line ----

float settingValue(const ravenlink::vocab::Setting& setting, const std::string& text, const std::string& subject)
{
    const std::optional<float> value = ravenlink::vocab::accept(setting, text);
    if (!value) {
        throw UsageError(subject + " must be " + ravenlink::vocab::rangeText(setting));
    }
    return *value;
}

std::string rangeHelp(const ravenlink::vocab::Setting& setting)
{
    return ravenlink::vocab::numberText(setting.low) + " to " + ravenlink::vocab::numberText(setting.high);
}

long long wholeIn(const std::string& text, long long low, long long high, const std::string& what)
{
    double number = 0.0;
    if (!ravenlink::tools::parseNumber(text, number) || text.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError(what);
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || value < low || value > high) {
        throw UsageError(what);
    }
    return value;
}

} // namespace ctl
