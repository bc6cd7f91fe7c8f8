// The C++ side of bench/python_status_cost.py: the status call exactly as
// the Python package makes it (complete-object reply end, delivered groups),
// timed one by one on an open link. Prints one JSON object:
//   {"count":N,"failures":F,"times_us":[...],"cpu_us_per_call":C}
//
//   ravenlink_bench_status_call --port PATH [--count N] [--timeout MS]
#include <StationLink.h>

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

double cpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

} // namespace

int main(int argc, char* argv[])
{
    std::string port;
    int count = 500;
    int timeout = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--port") {
            port = argv[i + 1];
        } else if (arg == "--count") {
            count = std::atoi(argv[i + 1]);
        } else if (arg == "--timeout") {
            timeout = std::atoi(argv[i + 1]);
        }
    }
    if (port.empty() || count < 1 || timeout < 1) {
        std::cerr << "usage: ravenlink_bench_status_call --port PATH [--count N] [--timeout MS]\n";
        return 2;
    }
    StationLink link;
    link.setConnectionTimeout(timeout);
    link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    try {
        link.openConnection(port);
    } catch (const std::exception& e) {
        std::cerr << "open " << port << ": " << e.what() << "\n";
        return 1;
    }
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(count));
    int failures = 0;
    const double cpuStart = cpuUs();
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        try {
            SystemStatus status;
            StatusGroups delivered;
            link.getSystemStatus(status, delivered);
            times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        } catch (const std::exception&) {
            ++failures;
        }
    }
    const double cpu = cpuUs() - cpuStart;
    std::ostringstream out;
    out << "{\"count\":" << times.size() << ",\"failures\":" << failures << ",\"times_us\":[";
    for (std::size_t i = 0; i < times.size(); ++i) {
        out << (i > 0 ? "," : "") << times[i];
    }
    out << "],\"cpu_us_per_call\":" << cpu / count << "}";
    std::cout << out.str() << std::endl;
    return 0;
}
