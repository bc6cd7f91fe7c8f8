// What the two broker benchmarks (BridgeScale.cpp, FleetScale.cpp) read from
// a run: the statuses a subscriber receives, counted by station with the
// readings lost on the way and their delay, and the memory of the processes
// measured. Header only: each benchmark is built by
// its script as one program with the test harness's headers.
#ifndef RAVENLINK_BENCH_SCALE_PROBE_H
#define RAVENLINK_BENCH_SCALE_PROBE_H

#include "Loopback.h"
#include "Outcome.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace scalebench {

using ravenlinktest::freePort;
using ravenlinktest::portAccepts;

/// The options both benchmarks take, with one meaning: the programs to run,
/// the stations, their interval and how long to measure.
struct RunOptions {
    explicit RunOptions(double seconds) : seconds(seconds) {}
    std::string bridge, station, broker = "/usr/sbin/mosquitto";
    int stations = 1;
    double interval = 1.0;
    double seconds;
};

/// Takes the option \p name with its \p value into \p o; false when it is
/// none of RunOptions'.
inline bool runOption(const std::string& name, const std::string& value, RunOptions& o)
{
    if (name == "--bridge") o.bridge = value;
    else if (name == "--station") o.station = value;
    else if (name == "--broker") o.broker = value;
    else if (name == "--stations") o.stations = std::atoi(value.c_str());
    else if (name == "--interval") o.interval = std::atof(value.c_str());
    else if (name == "--seconds") o.seconds = std::atof(value.c_str());
    else return false;
    return true;
}

/// Polls \p done until it holds (true) or \p seconds have passed (false).
inline bool waitFor(const std::function<bool()>& done, double seconds)
{
    return ravenlinktest::eventually(done, std::chrono::duration<double>(seconds));
}

/// Milliseconds since the epoch of "2024-05-01T12:00:00.123Z"; -1 for any
/// other text.
inline long long isoMs(const std::string& text)
{
    std::tm tm{};
    int ms = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &ms) != 7) {
        return -1;
    }
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<long long>(timegm(&tm)) * 1000 + ms;
}

inline long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// The number of the line "\p key value kB" of /proc/\p pid/status, -1 when
/// there is none.
inline long statusKb(pid_t pid, const char* key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(key));
        }
    }
    return -1;
}

/// The statuses one subscriber receives, by topic (one a station), counted
/// while measuring.
struct StatusTally {
    std::mutex mutex;
    bool measuring = false;
    long long messages = 0;
    long long gaps = 0;
    std::map<std::string, unsigned long long> lastSeq;
    std::map<std::string, long long> inWindow;
    std::vector<long long> delays;  // from the reading's time stamp to its arrival, ms

    /// Counts the status \p payload that arrived on \p topic at
    /// \p receivedMs; any other payload is passed over.
    void count(const std::string& topic, const std::string& payload, long long receivedMs)
    {
        const std::size_t seqAt = payload.rfind(",\"seq\":");
        if (payload.rfind("{\"time\":\"", 0) != 0 || seqAt == std::string::npos) {
            return;
        }
        const unsigned long long seq = std::strtoull(payload.c_str() + seqAt + 7, nullptr, 10);
        const long long stamped = isoMs(payload.substr(9, 24));
        std::lock_guard<std::mutex> lock(mutex);
        auto& last = lastSeq[topic];
        // A gap in one station's numbers is a reading that never arrived.
        if (measuring && last != 0 && seq > last + 1) {
            gaps += static_cast<long long>(seq - last - 1);
        }
        last = std::max(last, seq);
        if (measuring) {
            ++messages;
            ++inWindow[topic];
            delays.push_back(receivedMs - stamped);
        }
    }

    void measure(bool on)
    {
        std::lock_guard<std::mutex> lock(mutex);
        measuring = on;
    }
};

} // namespace scalebench

#endif // RAVENLINK_BENCH_SCALE_PROBE_H
