// monitor. Every record goes out in one write and is on its way to the file
// before the next reading starts, so a kill loses at most the record being
// written. SIGINT and SIGTERM end the program from the handler itself unless
// a record is being written, which then ends first: no reading, reopening or
// timeout wait holds the end up.
#include "Commands.h"

#include "CtlOutput.h"
#include "RecordLog.h"

#include <RavenlinkTools.h>

#include <StationJson.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ctl {

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t writingRecord = 0;
volatile std::sig_atomic_t liveViewShown = 0;

extern "C" void onStopSignal(int)
{
    stopRequested = 1;
    if (writingRecord == 0) {
        if (liveViewShown != 0) {
            // Leave the shell prompt on a line of its own.
            const ssize_t ignored = ::write(STDOUT_FILENO, "\n", 1);
            (void)ignored;
        }
        ::_exit(exitDone);
    }
}

void installStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// The line at the bottom of a terminal that redraws in place.
class LiveView {
public:
    explicit LiveView(bool onTerminal) : enabled(onTerminal) {}

    void show(const std::string& line)
    {
        if (!enabled) {
            return;
        }
        // A line wider than the terminal would wrap, and "\r" would then
        // redraw only its last part.
        winsize size {};
        std::string text = line;
        if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && text.size() >= size.ws_col) {
            text.resize(size.ws_col - 1U);
        }
        ravenlink::tools::writeAll(STDOUT_FILENO, "\r" + text + "\033[K");
        liveViewShown = 1;
    }

    void clear()
    {
        if (enabled && liveViewShown != 0) {
            ravenlink::tools::writeAll(STDOUT_FILENO, "\r\033[K");
            liveViewShown = 0;
        }
    }

    void end()
    {
        if (enabled && liveViewShown != 0) {
            ravenlink::tools::writeAll(STDOUT_FILENO, "\n");
            liveViewShown = 0;
        }
    }

private:
    bool enabled;
};

struct Counters {
    unsigned long records = 0;
    unsigned long errors = 0;
    SystemStatus last;
    StatusGroups lastDelivered;
    bool haveStatus = false;
};

std::string liveLine(const Counters& counters, bool linkUp, const std::string& error)
{
    std::string line = toIsoTime(std::chrono::system_clock::now()).substr(11, 12) + "  records " +
                       std::to_string(counters.records);
    if (counters.haveStatus) {
        // A group the station did not send shows as "-", not as a reading.
        const StatusGroups& sent = counters.lastDelivered;
        line += "  cable " + (sent.cab ? toJsonNumber(counters.last.cab.length) + " m" : std::string("-")) +
                "  UAV " + (sent.energyUAV ? toJsonNumber(counters.last.energyUAV.uavPower) + " W" : std::string("-"));
    }
    line += "  errors " + std::to_string(counters.errors);
    if (!linkUp) {
        line += "  link lost, reopening: " + shownLine(error);
    }
    return line;
}

class Monitor {
public:
    Monitor(Context& context, const MonitorRequest& request, int outputFd)
        : context(context), request(request), fd(outputFd), live(::isatty(STDOUT_FILENO) == 1)
    {
    }

    int run();

private:
    bool emit(const std::string& record);
    bool readOnce();
    bool reopen();

    Context& context;
    const MonitorRequest& request;
    int fd;
    LiveView live;
    StationLink link;
    Counters counters;
    bool linkUp = true;
    std::string lastError;
};

bool Monitor::emit(const std::string& record)
{
    writingRecord = 1;
    if (fd == STDOUT_FILENO) {
        live.clear();
    }
    const bool written = ravenlink::tools::writeAll(fd, record);
    const int writeError = errno;
    writingRecord = 0;
    if (!written) {
        live.end();
        context.fail("ravenlinkctl: cannot write the record: " + std::string(std::strerror(writeError)));
        return false;
    }
    ++counters.records;
    return true;
}

// One reading, or the record of the link it found lost.
bool Monitor::readOnce()
{
    SystemStatus status;
    StatusGroups delivered;
    std::string record;
    try {
        link.getSystemStatus(status, delivered);
        record = statusRecord(request.format, std::chrono::system_clock::now(), status, delivered);
        counters.last = status;
        counters.lastDelivered = delivered;
        counters.haveStatus = true;
    } catch (const std::exception& e) {
        lastError = shownLine(e.what());
        record = lostRecord(request.format, std::chrono::system_clock::now(), lastError);
        linkUp = false;
        ++counters.errors;
    }
    return emit(record);
}

bool Monitor::reopen()
{
    try {
        link.closeConnection();
    } catch (const std::exception&) {
        // A port whose device has gone may refuse to close; opening anew is what counts.
    }
    try {
        openStation(link, context.options, context.err);
        linkUp = true;
    } catch (const std::exception& e) {
        lastError = shownLine(e.what());
    }
    return linkUp;
}

int Monitor::run()
{
    try {
        openStation(link, context.options, context.err);
    } catch (const std::exception& e) {
        return context.fail(e.what());
    }
    const auto interval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(request.intervalSeconds));
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        if (linkUp || reopen()) {
            if (!readOnce()) {
                return exitFailed;
            }
            if (stopRequested != 0 || (request.count != 0 && counters.records >= request.count)) {
                break;
            }
        }
        live.show(liveLine(counters, linkUp, lastError));
        const auto now = std::chrono::steady_clock::now();
        next = next + interval < now ? now : next + interval;
        std::this_thread::sleep_until(next);
    }
    live.end();
    return exitDone;
}

// Standard output is a stream of its own, whatever it is redirected to, so
// it always starts with a header; only a file named with --output is a log
// that may already hold one.
int openOutput(const std::string& path, bool& empty)
{
    if (path.empty()) {
        empty = true;
        return STDOUT_FILENO;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    struct stat info {};
    empty = fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0);
    return fd;
}

} // namespace

void MonitorCommand::declare(CLI::App& command)
{
    const ravenlink::vocab::Setting& interval = ravenlink::vocab::readingInterval;
    command.add_option("--" + std::string(interval.name), intervalText, "between readings (default 1)")
        ->type_name(std::string(interval.placeholder));
    command.add_option("--count", countText, "stop after N records")->type_name("N");
    command.add_option("--output", request.output, "append the records to FILE")->type_name("FILE");
    command.add_option("--format", formatText, "jsonl (default) or csv")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"jsonl", "csv"}));
}

void MonitorCommand::convert()
{
    const ravenlink::vocab::Setting& interval = ravenlink::vocab::readingInterval;
    request.intervalSeconds = settingValue(interval, intervalText, name() + ": --" + std::string(interval.name));
    if (!countText.empty()) {
        request.count = static_cast<unsigned long>(
            wholeIn(countText, 1, 1000000000000LL, name() + ": --count must be a whole number of at least 1"));
    }
    request.format = formatText == "csv" ? LogFormat::csv : LogFormat::jsonl;
}

int MonitorCommand::run(Context& context)
{
    installStopHandlers();
    if (!request.output.empty()) {
        // Records of the other format would spoil the log for good.
        const std::string refusal = appendRefusal(request.output, request.format);
        if (!refusal.empty()) {
            return context.usageError(name() + ": " + refusal);
        }
    }
    // Records go out on the descriptor, behind what the stream holds.
    context.out << std::flush;
    bool empty = false;
    const int fd = openOutput(request.output, empty);
    if (fd < 0) {
        return context.fail("ravenlinkctl: " + request.output + ": " + std::strerror(errno));
    }
    // A CSV log that is appended to keeps the header it started with.
    if (request.format == LogFormat::csv && empty && !ravenlink::tools::writeAll(fd, csvHeader())) {
        return context.fail("ravenlinkctl: cannot write the header: " + std::string(std::strerror(errno)));
    }
    Monitor monitor(context, request, fd);
    const int status = monitor.run();
    if (fd != STDOUT_FILENO) {
        ::close(fd);
    }
    return status;
}

} // namespace ctl
