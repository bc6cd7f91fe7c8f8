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
#include <mosquitto.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string bridge, station, broker = "/usr/sbin/mosquitto";
    int stations = 1;
    double interval = 1.0;
    double seconds = 10.0;
    double warmup = 3.0;
    bool paced = false;
    double commandsPerSecond = 0;
    bool stockBroker = false;
    int commandQos = 1;
};

pid_t spawn(const std::vector<std::string>& args, const std::string& out = "/dev/null")
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    close(fd);
    return ntohs(a.sin_port);
}

bool waitFor(const std::function<bool()>& done, double seconds)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Milliseconds since the epoch of "2024-05-01T12:00:00.123Z".
long long isoMs(const std::string& text)
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

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What the subscriber counts, per station, while measuring.
struct Tally {
    std::mutex mutex;
    bool measuring = false;
    long long messages = 0;
    long long gaps = 0;
    std::map<std::string, unsigned long long> lastSeq;
    std::vector<long long> delays;
};

void onMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    const long long received = nowMs();
    auto* tally = static_cast<Tally*>(self);
    const std::string payload(static_cast<const char*>(m->payload), m->payloadlen);
    const std::size_t seqAt = payload.rfind(",\"seq\":");
    if (payload.rfind("{\"time\":\"", 0) != 0 || seqAt == std::string::npos) {
        return;
    }
    const unsigned long long seq = std::strtoull(payload.c_str() + seqAt + 7, nullptr, 10);
    const long long stamped = isoMs(payload.substr(9, 24));
    std::lock_guard<std::mutex> lock(tally->mutex);
    auto& last = tally->lastSeq[m->topic];
    // A gap in one station's numbers is a reading that never arrived.
    if (tally->measuring && last != 0 && seq > last + 1) {
        tally->gaps += static_cast<long long>(seq - last - 1);
    }
    last = std::max(last, seq);
    if (tally->measuring) {
        ++tally->messages;
        tally->delays.push_back(received - stamped);
    }
}

// utime + stime of \p pid in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
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

long statusKb(pid_t pid, const char* key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(key));
        }
    }
    return -1;
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string k = argv[i], v = argv[i + 1];
        if (k == "--bridge") o.bridge = v;
        else if (k == "--station") o.station = v;
        else if (k == "--broker") o.broker = v;
        else if (k == "--stations") o.stations = std::atoi(v.c_str());
        else if (k == "--interval") o.interval = std::atof(v.c_str());
        else if (k == "--seconds") o.seconds = std::atof(v.c_str());
        else if (k == "--warmup") o.warmup = std::atof(v.c_str());
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

    Tally tally;
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
    {
        std::lock_guard<std::mutex> lock(tally.mutex);
        tally.measuring = true;
    }
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
    {
        std::lock_guard<std::mutex> lock(tally.mutex);
        tally.measuring = false;
    }
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
