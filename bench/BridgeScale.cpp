// One run of the bridge's scale benchmark: a broker, N simulated stations
// (unpaced), one ravenlink-bridge serving them all at one interval, and a
// subscriber that receives every status. Prints one line of JSON with what
// the subscriber saw and what the bridge cost. scripts/bench-bridge.sh runs
// the sweep and prints the table.
//
//   bench-bridge-scale --bridge B --station S --stations N --interval SECONDS
//                      [--seconds T] [--warmup W]
#include "ChildProcess.h"
#include "ScaleProbe.h"

#include <mosquitto.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace scalebench;
using Clock = std::chrono::steady_clock;

struct Options : RunOptions {
    Options() : RunOptions(10.0) {}
    double warmup = 3.0;
};

// The test harness's starter: the child gets the default signal actions
// and no blocked signal, whatever this process has set.
pid_t spawn(const std::vector<std::string>& args, const std::string& out = "/dev/null")
{
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int log = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    try {
        const pid_t pid = ravenlinktest::detail::spawnChild(args[0], "", {args.begin() + 1, args.end()}, in, log, log);
        ::close(in);
        ::close(log);
        return pid;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", args[0].c_str(), e.what());
        std::exit(1);
    }
}

// utime + stime of \p pid in seconds, threads included; 0 once it is gone.
double cpuSeconds(pid_t pid)
{
    const long ticks = ravenlinktest::cpuTicks(pid);
    return ticks < 0 ? 0 : static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// What the subscriber counts, per station, while measuring.
void onMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    const long long received = nowMs();
    const std::string payload(static_cast<const char*>(m->payload), m->payloadlen);
    static_cast<StatusTally*>(self)->count(m->topic, payload, received);
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string k = argv[i], v = argv[i + 1];
        if (!runOption(k, v, o) && k == "--warmup") {
            o.warmup = std::atof(v.c_str());
        }
    }
    if (o.bridge.empty() || o.station.empty()) {
        std::fprintf(stderr, "usage: bench-bridge-scale --bridge B --station S --stations N --interval S\n");
        std::exit(2);
    }
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    char dirName[] = "/tmp/ravenlink-bridge-bench-XXXXXX";
    const std::string dir = mkdtemp(dirName);
    chmod(dir.c_str(), 0755);
    const int port = freePort();
    std::ofstream(dir + "/broker.conf") << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\n"
                                        << "set_tcp_nodelay true\nuser " << (getuid() == 0 ? "root" : getenv("USER")) << "\n";
    std::vector<pid_t> children;
    const pid_t broker = spawn({o.broker, "-c", dir + "/broker.conf"});
    children.push_back(broker);
    std::vector<std::string> bridgeArgs = {o.bridge, "--broker", "mqtt://127.0.0.1:" + std::to_string(port),
                                           "--interval", std::to_string(o.interval), "--client-id", "bench"};
    for (int i = 0; i < o.stations; ++i) {
        const std::string link = dir + "/s" + std::to_string(i);
        children.push_back(spawn({o.station, "--link", link, "--seed", std::to_string(i + 1)}));
        if (!waitFor([&] { return access(link.c_str(), F_OK) == 0; }, 30)) {
            std::fprintf(stderr, "station %d did not start\n", i);
            return 1;
        }
        bridgeArgs.push_back("--station");
        bridgeArgs.push_back("s" + std::to_string(i) + "=" + link);
    }

    StatusTally tally;
    mosquitto_lib_init();
    mosquitto* sub = mosquitto_new("bench-subscriber", true, &tally);
    mosquitto_message_callback_set(sub, onMessage);
    if (!waitFor([&] { return mosquitto_connect(sub, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS; }, 30)) {
        std::fprintf(stderr, "no broker\n");
        return 1;
    }
    mosquitto_subscribe(sub, nullptr, "ravenlink/+/status", 0);
    mosquitto_loop_start(sub);

    const pid_t bridge = spawn(bridgeArgs, dir + "/bridge.log");
    children.push_back(bridge);
    std::this_thread::sleep_for(std::chrono::duration<double>(o.warmup));
    const double cpuBefore = cpuSeconds(bridge);
    const auto othersCpu = [&] {
        double stationsCpu = 0;
        for (std::size_t i = 1; i + 1 < children.size(); ++i) {
            stationsCpu += cpuSeconds(children[i]);
        }
        return std::make_pair(cpuSeconds(broker), stationsCpu);
    };
    const auto othersBefore = othersCpu();
    const auto begin = Clock::now();
    tally.measure(true);
    std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
    tally.measure(false);
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    const double cpu = cpuSeconds(bridge) - cpuBefore;
    const auto othersAfter = othersCpu();
    const long rss = statusKb(bridge, "VmRSS:");
    const long threads = statusKb(bridge, "Threads:");

    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        kill(*it, SIGTERM);
        waitpid(*it, nullptr, 0);
    }
    mosquitto_loop_stop(sub, true);
    mosquitto_destroy(sub);

    std::lock_guard<std::mutex> lock(tally.mutex);
    std::vector<long long>& d = tally.delays;
    std::sort(d.begin(), d.end());
    const auto pick = [&](double q) { return d.empty() ? -1LL : d[std::min(d.size() - 1, static_cast<std::size_t>(q * d.size()))]; };
    std::printf("{\"stations\":%d,\"interval\":%g,\"target\":%.1f,\"rate\":%.1f,\"messages\":%lld,\"gaps\":%lld,"
                "\"delayMedianMs\":%lld,\"delayP99Ms\":%lld,\"cpuPercent\":%.1f,\"rssKb\":%ld,\"threads\":%ld,"
                "\"brokerCpuPercent\":%.1f,\"stationsCpuPercent\":%.1f}\n",
                o.stations, o.interval, o.stations / o.interval, tally.messages / elapsed, tally.messages, tally.gaps,
                pick(0.5), pick(0.99), 100.0 * cpu / elapsed, rss, threads,
                100.0 * (othersAfter.first - othersBefore.first) / elapsed,
                100.0 * (othersAfter.second - othersBefore.second) / elapsed);
    std::string rm = "rm -rf " + dir;
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
