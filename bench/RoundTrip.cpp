// The console's exchanges end to end: a StationLink on the station's port,
// the same calls the console makes, timed one by one. Prints one JSON object
// per line so that bench/figures.py can put the figures beside the wire time
// and the pyserial client.
//
//   ravenlink_bench_roundtrip --port PATH [--count N] [--timeout MS] [--quiet MS]
//                             [--reply-end quiet|object]
//                             [--commands status,details,activation]
//   ravenlink_bench_roundtrip --port PATH --silent status|details|activation [--timeout MS]
//   ravenlink_bench_roundtrip --port PATH [--port PATH ...] --throughput SECONDS
//
// --reply-end object ends each reply at the line feed that closes its JSON
// object (ReplyEnd::quietLine | ReplyEnd::completeObject, as the command-line
// tools use it); the default is the console's quiet-line rule.
// --quiet leaves the line quiet for MS milliseconds before each request, so
// that a paced station starts every reply on an idle wire; the pause is in
// neither the times nor the CPU share.
// --silent runs one command against a station that does not answer (its
// handshake fails as well, which leaves the port open) and reports the CPU
// time spent while the library waits for the reply.
// --throughput runs status exchanges back to back for SECONDS, one thread
// and one link for each port, and reports the exchanges per second of all.
#include <StationLink.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the whole process, milliseconds: the scheduler's own count,
// exact to the nanosecond (getrusage splits it by clock ticks and can run
// ahead of it over short spans).
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Peak resident set of this process, KiB, from /proc.
long peakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

struct Command {
    std::string name;      // the library call
    std::string shortName; // as given on the command line
    std::function<void(StationLink&)> run;
};

std::vector<Command> commandTable()
{
    return {
        {"getSystemStatus", "status",
         [](StationLink& link) {
             SystemStatus status;
             link.getSystemStatus(status);
         }},
        {"getSystemDetails", "details",
         [](StationLink& link) {
             SystemDetails details;
             link.getSystemDetails(details);
         }},
        // Activating is what an operator does most; the simulator answers
        // it like any other setting.
        {"setSystemActivation", "activation", [](StationLink& link) { link.setSystemActivation(true); }},
    };
}

const Command* findCommand(const std::string& shortName)
{
    static const std::vector<Command> table = commandTable();
    for (const Command& c : table) {
        if (c.shortName == shortName) {
            return &c;
        }
    }
    return nullptr;
}

struct Settings {
    int count = 50;
    int timeout = 300;
    int quietMs = 0;
    std::string replyEnd = "quiet";
};

void timeCommand(StationLink& link, const Command& command, const Settings& settings)
{
    std::vector<double> wall;
    wall.reserve(static_cast<std::size_t>(settings.count));
    int failures = 0;
    std::string lastError;
    double cpu = 0.0;
    double busyMs = 0.0;
    for (int i = 0; i < settings.count; ++i) {
        if (settings.quietMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(settings.quietMs));
        }
        const double cpuStart = cpuMs();
        const Clock::time_point start = Clock::now();
        try {
            command.run(link);
            wall.push_back(msSince(start));
        } catch (const std::exception& e) {
            ++failures;
            lastError = e.what();
        }
        busyMs += msSince(start);
        cpu += cpuMs() - cpuStart;
    }

    std::ostringstream line;
    line << "{\"figure\":\"roundtrip\",\"command\":\"" << command.name << "\",\"reply_end\":\""
         << settings.replyEnd << "\",\"timeout_ms\":" << settings.timeout << ",\"quiet_ms\":" << settings.quietMs
         << ",\"count\":" << wall.size() << ",\"failures\":" << failures;
    if (!wall.empty()) {
        line << ",\"min_ms\":" << percentile(wall, 0.0) << ",\"median_ms\":" << percentile(wall, 0.5)
             << ",\"p90_ms\":" << percentile(wall, 0.9) << ",\"max_ms\":" << percentile(wall, 1.0);
    }
    line << ",\"times_ms\":[";
    for (std::size_t i = 0; i < wall.size(); ++i) {
        line << (i > 0 ? "," : "") << wall[i];
    }
    line << "],\"cpu_ms\":" << cpu << ",\"busy_ms\":" << busyMs << ",\"cpu_ms_per_call\":" << cpu / settings.count << ",\"cpu_share\":" << (busyMs > 0 ? cpu / busyMs : 0.0);
    if (failures > 0) {
        std::string quoted;
        for (char c : lastError) {
            if (c == '"' || c == '\\') {
                quoted += '\\';
            }
            quoted += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
        }
        line << ",\"last_error\":\"" << quoted << "\"";
    }
    line << "}";
    std::cout << line.str() << std::endl;
}

// One command that the station never answers: how much of a core does the
// wait cost?
void timeSilentWait(StationLink& link, const Command& command, int timeout)
{
    std::string error;
    const double cpuStart = cpuMs();
    const Clock::time_point start = Clock::now();
    try {
        command.run(link);
    } catch (const std::exception& e) {
        error = e.what();
    }
    const double wall = msSince(start);
    const double cpu = cpuMs() - cpuStart;
    std::cout << "{\"figure\":\"silent_wait\",\"command\":\"" << command.name << "\",\"timeout_ms\":" << timeout
              << ",\"wall_ms\":" << wall << ",\"cpu_ms\":" << cpu << ",\"cpu_share\":" << cpu / wall
              << ",\"timed_out\":" << (error.find("Data Receiver Timeout") != std::string::npos ? "true" : "false")
              << "}" << std::endl;
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

void applyReplyEnd(StationLink& link, const std::string& replyEnd)
{
    if (replyEnd == "object") {
        link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    }
}

// Status exchanges back to back on every port at once, each port with its
// own thread and link, as a program serving several stations would run.
int runThroughput(const std::vector<std::string>& ports, const Settings& settings, double seconds)
{
    std::vector<long> done(ports.size(), 0);
    std::vector<long> failed(ports.size(), 0);
    std::vector<std::thread> threads;
    const double cpuStart = cpuMs();
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(seconds));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        threads.emplace_back([&, i] {
            StationLink link;
            try {
                link.openConnection(ports[i]);
                link.setConnectionTimeout(settings.timeout);
                applyReplyEnd(link, settings.replyEnd);
            } catch (const std::exception& e) {
                failed[i] = -1;
                return;
            }
            while (Clock::now() < end) {
                try {
                    SystemStatus status;
                    link.getSystemStatus(status);
                    ++done[i];
                } catch (const std::exception&) {
                    ++failed[i];
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    const double wallMs = msSince(start);
    long exchanges = 0;
    long failures = 0;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (failed[i] < 0) {
            std::cerr << "open " << ports[i] << " failed\n";
            return 1;
        }
        exchanges += done[i];
        failures += failed[i];
    }
    std::cout << "{\"figure\":\"throughput\",\"reply_end\":\"" << settings.replyEnd << "\",\"threads\":"
              << ports.size() << ",\"exchanges\":" << exchanges << ",\"failures\":" << failures
              << ",\"wall_ms\":" << wallMs << ",\"per_s\":" << exchanges / (wallMs / 1000.0)
              << ",\"cpu_share\":" << (cpuMs() - cpuStart) / wallMs << "}" << std::endl;
    return 0;
}

int usage()
{
    std::cerr << "usage: ravenlink_bench_roundtrip --port PATH [--count N] [--timeout MS] [--quiet MS]\n"
                 "                                 [--reply-end quiet|object]\n"
                 "                                 [--commands status,details,activation]\n"
                 "       ravenlink_bench_roundtrip --port PATH --silent status|details|activation [--timeout MS]\n"
                 "       ravenlink_bench_roundtrip --port PATH [--port PATH ...] --throughput SECONDS\n"
                 "                                 [--reply-end quiet|object]\n";
    return 2;
}

int runOnOnePort(const std::string& port, const std::string& commands, const std::string& silent,
                 const Settings& settings)
{
    StationLink link;
    const Clock::time_point openStart = Clock::now();
    try {
        link.openConnection(port);
    } catch (const std::exception& e) {
        // A silent station fails the handshake too, but the port stays open,
        // which is all the wait needs.
        if (silent.empty() || !link.isConnected()) {
            std::cerr << "open " << port << ": " << e.what() << "\n";
            return 1;
        }
    }
    std::cout << "{\"figure\":\"open\",\"wall_ms\":" << msSince(openStart) << "}" << std::endl;
    link.setConnectionTimeout(settings.timeout);
    applyReplyEnd(link, settings.replyEnd);

    if (!silent.empty()) {
        const Command* command = findCommand(silent);
        if (command == nullptr) {
            return usage();
        }
        timeSilentWait(link, *command, settings.timeout);
    } else {
        for (const std::string& name : splitList(commands)) {
            const Command* command = findCommand(name);
            if (command == nullptr) {
                return usage();
            }
            timeCommand(link, *command, settings);
        }
    }
    std::cout << "{\"figure\":\"peak_rss\",\"vmhwm_kib\":" << peakRssKiB() << "}" << std::endl;
    link.closeConnection();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> ports;
    std::string commands = "status,details,activation";
    std::string silent;
    double throughput = 0.0;
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--port" && hasValue) {
            ports.emplace_back(argv[++i]);
        } else if (arg == "--count" && hasValue) {
            settings.count = std::atoi(argv[++i]);
        } else if (arg == "--timeout" && hasValue) {
            settings.timeout = std::atoi(argv[++i]);
        } else if (arg == "--quiet" && hasValue) {
            settings.quietMs = std::atoi(argv[++i]);
        } else if (arg == "--reply-end" && hasValue) {
            settings.replyEnd = argv[++i];
        } else if (arg == "--commands" && hasValue) {
            commands = argv[++i];
        } else if (arg == "--silent" && hasValue) {
            silent = argv[++i];
        } else if (arg == "--throughput" && hasValue) {
            throughput = std::atof(argv[++i]);
        } else {
            return usage();
        }
    }
    const bool knownEnd = settings.replyEnd == "quiet" || settings.replyEnd == "object";
    if (ports.empty() || settings.count < 1 || settings.timeout < 1 || settings.quietMs < 0 || !knownEnd) {
        return usage();
    }
    if (throughput > 0.0) {
        return runThroughput(ports, settings, throughput);
    }
    if (ports.size() != 1) {
        return usage();
    }
    return runOnOnePort(ports.front(), commands, silent, settings);
}
