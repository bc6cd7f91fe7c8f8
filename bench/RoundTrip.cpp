// The console's exchanges end to end: a StationLink on the station's port,
// the same calls the console makes, timed one by one. Prints one JSON object
// per line so that bench/endtoend.py can put the figures beside the wire time
// and the pyserial client.
//
//   ravenlink_bench_roundtrip --port PATH [--count N] [--timeout MS]
//                             [--commands status,details,activation]
//   ravenlink_bench_roundtrip --port PATH --silent status|activation [--timeout MS]
//
// --silent runs one command against a station that does not answer (its
// handshake fails as well, which leaves the port open) and reports the CPU
// time spent while the library waits for the reply.
#include <StationLink.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// User plus system time of the whole process, milliseconds.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& tv) { return tv.tv_sec * 1000.0 + tv.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
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

void timeCommand(StationLink& link, const Command& command, int count, int timeout)
{
    std::vector<double> wall;
    wall.reserve(static_cast<std::size_t>(count));
    int failures = 0;
    std::string lastError;
    const double cpuStart = cpuMs();
    const Clock::time_point loopStart = Clock::now();
    for (int i = 0; i < count; ++i) {
        const Clock::time_point start = Clock::now();
        try {
            command.run(link);
            wall.push_back(msSince(start));
        } catch (const std::exception& e) {
            ++failures;
            lastError = e.what();
        }
    }
    const double loopMs = msSince(loopStart);
    const double cpu = cpuMs() - cpuStart;

    std::ostringstream line;
    line << "{\"figure\":\"roundtrip\",\"command\":\"" << command.name << "\",\"timeout_ms\":" << timeout
         << ",\"count\":" << wall.size() << ",\"failures\":" << failures;
    if (!wall.empty()) {
        line << ",\"min_ms\":" << percentile(wall, 0.0) << ",\"median_ms\":" << percentile(wall, 0.5)
             << ",\"p90_ms\":" << percentile(wall, 0.9) << ",\"max_ms\":" << percentile(wall, 1.0);
    }
    line << ",\"cpu_ms_per_call\":" << cpu / count << ",\"cpu_share\":" << (loopMs > 0 ? cpu / loopMs : 0.0);
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

int usage()
{
    std::cerr << "usage: ravenlink_bench_roundtrip --port PATH [--count N] [--timeout MS]\n"
                 "                                 [--commands status,details,activation]\n"
                 "       ravenlink_bench_roundtrip --port PATH --silent status|details|activation [--timeout MS]\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    std::string port;
    std::string commands = "status,details,activation";
    std::string silent;
    int count = 50;
    int timeout = 300;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--port" && hasValue) {
            port = argv[++i];
        } else if (arg == "--count" && hasValue) {
            count = std::atoi(argv[++i]);
        } else if (arg == "--timeout" && hasValue) {
            timeout = std::atoi(argv[++i]);
        } else if (arg == "--commands" && hasValue) {
            commands = argv[++i];
        } else if (arg == "--silent" && hasValue) {
            silent = argv[++i];
        } else {
            return usage();
        }
    }
    if (port.empty() || count < 1 || timeout < 1) {
        return usage();
    }

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
    link.setConnectionTimeout(timeout);

    if (!silent.empty()) {
        const Command* command = findCommand(silent);
        if (command == nullptr) {
            return usage();
        }
        timeSilentWait(link, *command, timeout);
    } else {
        for (const std::string& name : splitList(commands)) {
            const Command* command = findCommand(name);
            if (command == nullptr) {
                return usage();
            }
            timeCommand(link, *command, count, timeout);
        }
    }
    std::cout << "{\"figure\":\"peak_rss\",\"vmhwm_kib\":" << peakRssKiB() << "}" << std::endl;
    link.closeConnection();
    return 0;
}
