// One run of the bridge's scale benchmark: a broker, N simulated stations
// (unpaced, or paced at the wire rate), one ravenlink-bridge serving them
// all at one interval, a subscriber that receives every status, and
// optionally an operator that sends commands and times their results.
// Prints one line of JSON with what the subscriber saw and what the bridge
// cost: CPU, RSS, threads, and context switches of all its threads.
// scripts/bench-bridge.sh runs the sweep and prints the tables.
//
//   bench-bridge-scale --bridge B --station S --stations N --interval SECONDS
//                      [--seconds T] [--warmup W] [--paced 1]
//                      [--commands PER_SECOND] [--command-qos 0|1] [--stock-broker 1]
//
// --stock-broker 1 leaves mosquitto's set_tcp_nodelay at its default
// (false); otherwise the broker sets it, as packaging/mosquitto does.
#include "ChildProcess.h"
#include "ScaleProbe.h"

#include <mosquitto.h>

#include <dirent.h>
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
#include <map>
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
    bool paced = false;
    double commandsPerSecond = 0;
    bool stockBroker = false;
    int commandQos = 1;
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

// What the subscriber counts, per station, while measuring.
void onMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    const long long received = nowMs();
    const std::string payload(static_cast<const char*>(m->payload), m->payloadlen);
    static_cast<StatusTally*>(self)->count(m->topic, payload, received);
}

// utime + stime of \p pid in seconds, threads included; 0 once it is gone.
double cpuSeconds(pid_t pid)
{
    const long ticks = ravenlinktest::cpuTicks(pid);
    return ticks < 0 ? 0 : static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Voluntary and involuntary context switches of every thread of \p pid.
long long contextSwitches(pid_t pid)
{
    long long total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            std::ifstream status(tasks + "/" + entry->d_name + "/status");
            for (std::string line; std::getline(status, line);) {
                if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                    total += std::atoll(line.c_str() + line.find(':') + 1);
                }
            }
        }
        closedir(dir);
    }
    return total;
}

// The operator's side: commands sent and their results' round trips.
struct Commands {
    std::mutex mutex;
    std::map<std::string, Clock::time_point> sent;
    std::vector<double> roundTripsMs;
    long long failed = 0;
};

void onResult(mosquitto*, void* self, const mosquitto_message* m)
{
    const auto received = Clock::now();
    auto* commands = static_cast<Commands*>(self);
    const std::string payload(static_cast<const char*>(m->payload), m->payloadlen);
    const std::size_t at = payload.find("{\"id\":\"");
    if (at != 0) {
        return;
    }
    const std::string id = payload.substr(7, payload.find('"', 7) - 7);
    std::lock_guard<std::mutex> lock(commands->mutex);
    const auto found = commands->sent.find(id);
    if (found == commands->sent.end()) {
        return;
    }
    commands->roundTripsMs.push_back(std::chrono::duration<double, std::milli>(received - found->second).count());
    if (payload.find("\"ok\":true") == std::string::npos) {
        ++commands->failed;
    }
    commands->sent.erase(found);
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string k = argv[i], v = argv[i + 1];
        if (runOption(k, v, o)) {
            continue;
        }
        if (k == "--warmup") o.warmup = std::atof(v.c_str());
        else if (k == "--paced") o.paced = v == "1";
        else if (k == "--commands") o.commandsPerSecond = std::atof(v.c_str());
        else if (k == "--stock-broker") o.stockBroker = v == "1";
        else if (k == "--command-qos") o.commandQos = std::atoi(v.c_str());
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
                                        << (o.stockBroker ? "" : "set_tcp_nodelay true\n")
                                        << "user " << (getuid() == 0 ? "root" : getenv("USER")) << "\n";
    std::vector<pid_t> children;
    const pid_t broker = spawn({o.broker, "-c", dir + "/broker.conf"});
    children.push_back(broker);
    std::vector<std::string> bridgeArgs = {o.bridge, "--broker", "mqtt://127.0.0.1:" + std::to_string(port),
                                           "--interval", std::to_string(o.interval), "--client-id", "bench",
                                           "--commands", "on"};
    for (int i = 0; i < o.stations; ++i) {
        const std::string link = dir + "/s" + std::to_string(i);
        std::vector<std::string> stationArgs = {o.station, "--link", link, "--seed", std::to_string(i + 1)};
        if (o.paced) {
            stationArgs.push_back("--paced");
        }
        children.push_back(spawn(stationArgs));
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

    Commands commands;
    mosquitto* console = mosquitto_new("bench-operator", true, &commands);
    mosquitto_message_callback_set(console, onResult);
    mosquitto_int_option(console, MOSQ_OPT_TCP_NODELAY, 1);
    if (mosquitto_connect(console, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "no broker for the operator\n");
        return 1;
    }
    mosquitto_subscribe(console, nullptr, "ravenlink/+/cmd/result", 1);
    mosquitto_loop_start(console);

    const pid_t bridge = spawn(bridgeArgs, dir + "/bridge.log");
    children.push_back(bridge);
    std::this_thread::sleep_for(std::chrono::duration<double>(o.warmup));
    const double cpuBefore = cpuSeconds(bridge);
    const long long switchesBefore = contextSwitches(bridge);
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
    // Commands go to the stations in turn, evenly spread over the window.
    long long commandsSent = 0;
    const auto end = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
    if (o.commandsPerSecond > 0) {
        const auto gap = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / o.commandsPerSecond));
        for (auto next = begin + gap / 2; next < end; next += gap) {
            std::this_thread::sleep_until(next);
            const std::string id = "c" + std::to_string(commandsSent);
            const std::string topic = "ravenlink/s" + std::to_string(commandsSent % o.stations) + "/cmd";
            const std::string payload = "{\"id\":\"" + id + "\",\"command\":\"activate\"}";
            {
                std::lock_guard<std::mutex> lock(commands.mutex);
                commands.sent[id] = Clock::now();
            }
            mosquitto_publish(console, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                              o.commandQos, false);
            ++commandsSent;
        }
    }
    std::this_thread::sleep_until(end);
    tally.measure(false);
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    const double cpu = cpuSeconds(bridge) - cpuBefore;
    const long long switches = contextSwitches(bridge) - switchesBefore;
    // The last commands' results may still be on their way.
    waitFor([&] {
        std::lock_guard<std::mutex> lock(commands.mutex);
        return commands.sent.empty();
    }, 5);
    const auto othersAfter = othersCpu();
    const long rss = statusKb(bridge, "VmRSS:");
    const long threads = statusKb(bridge, "Threads:");

    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        kill(*it, SIGTERM);
        waitpid(*it, nullptr, 0);
    }
    mosquitto_loop_stop(sub, true);
    mosquitto_destroy(sub);
    mosquitto_disconnect(console);
    mosquitto_loop_stop(console, true);
    mosquitto_destroy(console);
    std::vector<double> trips;
    long long commandsLost = 0;
    long long commandsFailed = 0;
    {
        std::lock_guard<std::mutex> lock(commands.mutex);
        trips = commands.roundTripsMs;
        commandsLost = static_cast<long long>(commands.sent.size());
        commandsFailed = commands.failed;
    }
    std::sort(trips.begin(), trips.end());
    const auto tripAt = [&](double q) {
        return trips.empty() ? -1.0 : trips[std::min(trips.size() - 1, static_cast<std::size_t>(q * trips.size()))];
    };

    std::lock_guard<std::mutex> lock(tally.mutex);
    std::vector<long long>& d = tally.delays;
    std::sort(d.begin(), d.end());
    const auto pick = [&](double q) { return d.empty() ? -1LL : d[std::min(d.size() - 1, static_cast<std::size_t>(q * d.size()))]; };
    std::printf("{\"stations\":%d,\"interval\":%g,\"target\":%.1f,\"rate\":%.1f,\"messages\":%lld,\"gaps\":%lld,"
                "\"delayMedianMs\":%lld,\"delayP99Ms\":%lld,\"cpuPercent\":%.1f,\"rssKb\":%ld,\"threads\":%ld,"
                "\"brokerCpuPercent\":%.1f,\"stationsCpuPercent\":%.1f,\"switchesPerSecond\":%.1f,"
                "\"commands\":%lld,\"commandsLost\":%lld,\"commandsFailed\":%lld,\"commandP50Ms\":%.2f,"
                "\"commandP99Ms\":%.2f}\n",
                o.stations, o.interval, o.stations / o.interval, tally.messages / elapsed, tally.messages, tally.gaps,
                pick(0.5), pick(0.99), 100.0 * cpu / elapsed, rss, threads,
                100.0 * (othersAfter.first - othersBefore.first) / elapsed,
                100.0 * (othersAfter.second - othersBefore.second) / elapsed, switches / elapsed, commandsSent,
                commandsLost, commandsFailed, tripAt(0.5), tripAt(0.99));
    std::string rm = "rm -rf " + dir;
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
