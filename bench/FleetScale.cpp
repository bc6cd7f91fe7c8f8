// One run of the fleet benchmark: a central broker, S site brokers bridged
// to it over TLS with the shipped configuration (packaging/mosquitto/ and
// packaging/mosquitto/fleet/, moved to a scratch folder and its ports; the
// central ACL written for the run's stations in the shipped form), per site
// one simulator process serving K stations (--count) and one
// ravenlink-bridge at one status a second, and ravenlink-web on the central
// broker when it is given. A probe at the central broker receives every
// status and sends commands, and the run prints one line of JSON: messages
// per second and lost, the delay from the station's reply to the probe,
// command round trips, CPU and RSS by process kind. scripts/bench-fleet.sh
// runs the sizes and prints the tables.
//
//   bench-fleet-scale --source DIR --bridge B --station S --sites S --stations K
//                     [--seconds T] [--commands PER_SECOND] [--web W] [--interval I]
//                     [--paced 1] [--perf-bridge FILE]   (perf record of every process of the fleet)
#include "ScaleProbe.h"

#include <mosquitto.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
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
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace scalebench;
using Clock = std::chrono::steady_clock;

struct Options : RunOptions {
    Options() : RunOptions(20.0) {}
    std::string source, web, perfBridge;
    int sites = 1;
    double commands = 4.0;  // per second, over the whole fleet
    bool paced = false;     // stations at the wire rate of 115200 baud
};

const char* const kPassword = "bench-password-1";

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "bench-fleet-scale: %s\n", what.c_str());
    std::exit(1);
}

pid_t spawn(const std::vector<std::string>& args, const std::string& out = "/dev/null")
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        fail("cannot start " + args[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void run(const std::vector<std::string>& args)
{
    const pid_t pid = spawn(args);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail(args[0] + " " + args[1] + " failed");
    }
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    if (!in) {
        fail("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

std::string replaced(const std::string& text, const std::string& pattern, const std::string& by)
{
    return std::regex_replace(text, std::regex(pattern), by);
}

// Processor time of \p pid in seconds, all its threads, to the nanosecond
// (the first field of each thread's schedstat): the tick-counted utime and
// stime are too coarse for a station that costs a fraction of a millisecond
// a second.
double cpuSeconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr) {
        return 0;
    }
    double ns = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
        double onCpu = 0;
        if (stat >> onCpu) {
            ns += onCpu;
        }
    }
    closedir(dir);
    return ns / 1e9;
}

std::string base64(const std::string& in)
{
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned value = 0;
    int bits = -6;
    for (const unsigned char c : in) {
        value = (value << 8) + c;
        bits += 8;
        while (bits >= 0) {
            out.push_back(table[(value >> bits) & 0x3F]);
            bits -= 6;
        }
    }
    if (bits > -6) {
        out.push_back(table[((value << 8) >> (bits + 8)) & 0x3F]);
    }
    while (out.size() % 4 != 0) {
        out.push_back('=');
    }
    return out;
}

std::string stationId(int site, int station)
{
    return "s" + std::to_string(site) + "-k" + std::to_string(station);
}

// What the probe sees at the central broker: the statuses, the results of
// the commands it sent, and the stations' link losses.
struct Probe : StatusTally {
    std::map<std::string, Clock::time_point> sent;  // command id -> when
    std::vector<double> roundTrips;                  // ms
    long long commandsFailed = 0;
    long long commandsAnswered = 0;
    // A station whose link was lost is not read meanwhile, and the bridge
    // numbers only what it publishes: those readings leave no gap in seq.
    long long linkLosses = 0;
};

void onMessage(mosquitto*, void* self, const mosquitto_message* m)
{
    const long long received = nowMs();
    const auto arrived = Clock::now();
    auto* probe = static_cast<Probe*>(self);
    const std::string topic = m->topic;
    const std::string payload(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
    if (topic.size() > 11 && topic.compare(topic.size() - 11, 11, "/cmd/result") == 0) {
        const std::size_t start = payload.find("{\"id\":\"");
        const std::size_t end = payload.find('"', 7);
        if (start != 0 || end == std::string::npos) {
            return;
        }
        const std::string id = payload.substr(7, end - 7);
        std::lock_guard<std::mutex> lock(probe->mutex);
        const auto it = probe->sent.find(id);
        if (it == probe->sent.end()) {
            return;
        }
        probe->roundTrips.push_back(std::chrono::duration<double, std::milli>(arrived - it->second).count());
        if (std::getenv("RAVENLINK_FLEET_TRACE") != nullptr) {
            std::fprintf(stderr, "%s %.1f ms\n", id.c_str(), probe->roundTrips.back());
        }
        probe->sent.erase(it);
        ++probe->commandsAnswered;
        if (payload.find("\"ok\":true") == std::string::npos) {
            ++probe->commandsFailed;
            std::fprintf(stderr, "bench-fleet-scale: %s: %s\n", topic.c_str(), payload.c_str());
        }
        return;
    }
    if (topic.size() > 6 && topic.compare(topic.size() - 6, 6, "/state") == 0) {
        std::lock_guard<std::mutex> lock(probe->mutex);
        if (probe->measuring && payload == "link-lost") {
            ++probe->linkLosses;
            std::fprintf(stderr, "bench-fleet-scale: %s: link-lost\n", topic.c_str());
        }
        return;
    }
    if (!m->retain) {
        probe->count(topic, payload, received);
    }
}

// A probe on the broker at \p port, logged in as \p user, subscribed to
// each topic filter with its QoS; \p who names it when it cannot connect.
mosquitto* connectProbe(Probe& probe, const char* id, const char* user, int port,
                        const std::vector<std::pair<const char*, int>>& topics, const std::string& who)
{
    mosquitto* client = mosquitto_new(id, true, &probe);
    mosquitto_username_pw_set(client, user, kPassword);
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_message_callback_set(client, onMessage);
    if (mosquitto_connect(client, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) {
        fail(who + " cannot connect");
    }
    for (const auto& [topic, qos] : topics) {
        mosquitto_subscribe(client, nullptr, topic, qos);
    }
    mosquitto_loop_start(client);
    return client;
}

struct Child {
    std::string kind;  // central broker, site broker, bridge, simulator, web
    pid_t pid;
    double cpuBefore = 0;
    double cpu = 0;
    long rss = 0;
};

template <typename T>
T quantile(std::vector<T> v, double q)
{
    if (v.empty()) {
        return T(-1);
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string k = argv[i], v = argv[i + 1];
        if (runOption(k, v, o)) continue;
        if (k == "--source") o.source = v;
        else if (k == "--web") o.web = v;
        else if (k == "--perf-bridge") o.perfBridge = v;
        else if (k == "--sites") o.sites = std::atoi(v.c_str());
        else if (k == "--commands") o.commands = std::atof(v.c_str());
        else if (k == "--paced") o.paced = v == "1";
        else fail("unknown option " + k);
    }
    if (o.source.empty() || o.bridge.empty() || o.station.empty() || o.sites < 1 || o.stations < 1) {
        fail("usage: bench-fleet-scale --source DIR --bridge B --station S --sites S --stations K [--seconds T]");
    }
    return o;
}

// The fleet CA, the central broker's certificate and each site's.
void makeCertificates(const std::string& dir, int sites)
{
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const auto with = [&](std::vector<std::string> head, const std::vector<std::string>& tail) {
        head.insert(head.end(), key.begin(), key.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    run(with({"openssl", "req", "-x509"}, {"-keyout", dir + "/fleet-ca.key", "-out", dir + "/fleet-ca.crt", "-days",
                                            "2", "-subj", "/CN=bench CA"}));
    writeFile(dir + "/central.ext", "subjectAltName=IP:127.0.0.1\n");
    writeFile(dir + "/client.ext", "extendedKeyUsage=clientAuth\n");
    std::vector<std::string> names = {"central"};
    for (int s = 1; s <= sites; ++s) {
        names.push_back("site-s" + std::to_string(s));
    }
    for (const std::string& name : names) {
        run(with({"openssl", "req"}, {"-keyout", dir + "/" + name + ".key", "-out", dir + "/" + name + ".csr", "-subj",
                                      "/CN=" + name}));
        run({"openssl", "x509", "-req", "-in", dir + "/" + name + ".csr", "-CA", dir + "/fleet-ca.crt", "-CAkey",
             dir + "/fleet-ca.key", "-CAcreateserial", "-days", "2", "-extfile",
             dir + (name == "central" ? "/central.ext" : "/client.ext"), "-out", dir + "/" + name + ".crt"});
    }
}

std::string brokerConf(const std::string& folder)
{
    const struct passwd* me = getpwuid(getuid());
    return "persistence false\nlog_dest stderr\nlog_type error\nlog_type warning\nuser " + std::string(me->pw_name) +
           "\ninclude_dir " + folder + "/conf.d\n";
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    char dirName[] = "/tmp/ravenlink-fleet-bench-XXXXXX";
    if (mkdtemp(dirName) == nullptr) {
        fail("mkdtemp");
    }
    const std::string dir = dirName;
    chmod(dir.c_str(), 0755);
    const std::string shipped = o.source + "/packaging/mosquitto/";
    makeCertificates(dir, o.sites);

    // One password file for all: every account has the bench's password.
    const std::string passwd = dir + "/passwd";
    std::vector<std::string> accounts = {"ravenlink-bridge", "operator", "viewer"};
    for (int s = 1; s <= o.sites; ++s) {
        accounts.push_back("site-s" + std::to_string(s));
    }
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        std::vector<std::string> args = {"mosquitto_passwd", "-b", passwd, accounts[i], kPassword};
        if (i == 0) {
            args.insert(args.begin() + 1, "-c");
        }
        run(args);
    }

    std::vector<Child> children;
    const auto start = [&](const std::string& kind, const std::vector<std::string>& args, const std::string& log) {
        children.push_back({kind, spawn(args, log)});
        return children.back().pid;
    };

    // The central broker, with its ACL written for this run's stations.
    const std::string central = dir + "/central";
    mkdir(central.c_str(), 0755);
    mkdir((central + "/conf.d").c_str(), 0755);
    const int centralPort = freePort();
    const int centralTls = freePort();
    {
        std::ostringstream acl;
        for (int s = 1; s <= o.sites; ++s) {
            acl << "user site-s" << s << "\ntopic write ravenlink-sites/s" << s << "/connection\n";
            for (int k = 1; k <= o.stations; ++k) {
                const std::string id = stationId(s, k);
                for (const char* leaf : {"state", "status", "details", "check", "cmd/result"}) {
                    acl << "topic write ravenlink/" << id << "/" << leaf << "\n";
                }
                acl << "topic read ravenlink/" << id << "/cmd\n";
            }
            acl << "\n";
        }
        const std::string shippedAcl = readFile(shipped + "fleet/central.acl");
        acl << shippedAcl.substr(shippedAcl.find("\nuser operator") + 1);
        writeFile(central + "/central.acl", acl.str());
        std::string conf = readFile(shipped + "fleet/central.conf");
        conf = replaced(conf, "(\n|^)password_file [^\n]*", "$1password_file " + passwd);
        conf = replaced(conf, "(\n|^)acl_file [^\n]*", "$1acl_file " + central + "/central.acl");
        conf = replaced(conf, "(\n|^)listener 1883 localhost",
                        "$1listener " + std::to_string(centralPort) + " 127.0.0.1");
        conf = replaced(conf, "(\n|^)listener 8883", "$1listener " + std::to_string(centralTls) + " 127.0.0.1");
        conf = replaced(conf, "/etc/mosquitto/certs/", dir + "/");
        writeFile(central + "/conf.d/central.conf", conf);
        writeFile(central + "/broker.conf", brokerConf(central));
        start("central broker", {o.broker, "-c", central + "/broker.conf"}, central + "/broker.log");
        if (!waitFor([&] { return portAccepts(centralPort) && portAccepts(centralTls); }, 30)) {
            fail("the central broker did not start: " + readFile(central + "/broker.log"));
        }
    }

    // The probe: an operator at the central broker.
    Probe probe;
    mosquitto_lib_init();
    mosquitto* client =
        connectProbe(probe, "bench-probe", "operator", centralPort,
                     {{"ravenlink/+/status", 0}, {"ravenlink/+/cmd/result", 1}, {"ravenlink/+/state", 1}}, "the probe");

    // Optionally ravenlink-web on the central broker, with one viewer's
    // event stream open, as a browser would hold it.
    std::atomic<bool> done{false};
    std::thread events;
    if (!o.web.empty()) {
        const int webPort = freePort();
        start("web", {o.web, "--broker", "mqtt://127.0.0.1:" + std::to_string(centralPort), "--listen",
                      "127.0.0.1:" + std::to_string(webPort)},
              dir + "/web.log");
        events = std::thread([&, webPort] {
            if (!waitFor([&] { return done || portAccepts(webPort); }, 30) || done) {
                return;
            }
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(webPort));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                const std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                            "Accept: text/event-stream\r\nAuthorization: Basic " + base64(std::string("viewer:") + kPassword) +
                                            "\r\n\r\n";
                if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
                    timeval slice{0, 200000};
                    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
                    char buffer[65536];
                    while (!done) {
                        const ssize_t n = read(fd, buffer, sizeof buffer);
                        if (n == 0) {
                            break;
                        }
                    }
                }
            }
            close(fd);
        });
    }

    // The sites: a broker with the shipped site configuration and its
    // connection to the central broker, K stations in one simulator, a bridge.
    std::vector<pid_t> bridges;
    int firstSitePort = 0;
    const std::string siteConf = readFile(shipped + "ravenlink.conf");
    const std::string siteAcl = readFile(shipped + "ravenlink.acl");
    const std::string connection = readFile(shipped + "fleet/site-central.conf.example");
    writeFile(dir + "/bridge.password", std::string(kPassword) + "\n");
    for (int s = 1; s <= o.sites; ++s) {
        const std::string name = "s" + std::to_string(s);
        const std::string folder = dir + "/" + name;
        mkdir(folder.c_str(), 0755);
        mkdir((folder + "/conf.d").c_str(), 0755);
        const int port = freePort();
        firstSitePort = firstSitePort == 0 ? port : firstSitePort;
        writeFile(folder + "/ravenlink.acl", siteAcl);
        std::string conf = replaced(siteConf, "(\n|^)password_file [^\n]*", "$1password_file " + passwd);
        conf = replaced(conf, "(\n|^)acl_file [^\n]*", "$1acl_file " + folder + "/ravenlink.acl");
        conf = replaced(conf, "(\n|^)listener 1883 [^\n]*", "$1listener " + std::to_string(port) + " 127.0.0.1");
        writeFile(folder + "/conf.d/ravenlink.conf", conf);
        std::string link = replaced(connection, "hangar1", name);
        link = replaced(link, "(\n|^)address [^\n]*", "$1address 127.0.0.1:" + std::to_string(centralTls));
        link = replaced(link, "(\n|^)remote_password [^\n]*", std::string("$1remote_password ") + kPassword);
        link = replaced(link, "/etc/mosquitto/certs/", dir + "/");
        writeFile(folder + "/conf.d/ravenlink-central.conf", link);
        writeFile(folder + "/broker.conf", brokerConf(folder));
        start("site broker", {o.broker, "-c", folder + "/broker.conf"}, folder + "/broker.log");
        std::vector<std::string> simulator = {o.station, "--count", std::to_string(o.stations), "--link",
                                              folder + "/station", "--seed", std::to_string(s * 1000)};
        if (o.paced) {
            simulator.push_back("--paced");
        }
        start("simulator", simulator, "/dev/null");
        const std::string lastLink = folder + "/station-" + std::to_string(o.stations);
        if (!waitFor([&] { return portAccepts(port) && access(lastLink.c_str(), F_OK) == 0; }, 60)) {
            fail("site " + name + " did not start");
        }
        std::vector<std::string> args = {o.bridge, "--broker", "mqtt://127.0.0.1:" + std::to_string(port),
                                         "--username", "ravenlink-bridge", "--password-file", dir + "/bridge.password",
                                         "--client-id", name, "--interval", std::to_string(o.interval),
                                         "--commands", "on"};
        for (int k = 1; k <= o.stations; ++k) {
            args.push_back("--station");
            args.push_back(stationId(s, k) + "=" + folder + "/station-" + std::to_string(k));
        }
        bridges.push_back(start("bridge", args, folder + "/bridge.log"));
    }

    // A second probe at the first site's broker: the delay there, against the
    // one at the central broker, tells the site's share from the way between
    // the brokers.
    Probe siteProbe;
    mosquitto* siteClient = connectProbe(siteProbe, "bench-site-probe", "viewer", firstSitePort,
                                         {{"ravenlink/+/status", 0}}, "the site probe");

    // Every station's status at the central broker, then a few seconds more.
    const std::size_t total = static_cast<std::size_t>(o.sites) * static_cast<std::size_t>(o.stations);
    // A bridge that ends before (it may abort) ends the wait at once.
    bool bridgeEnded = false;
    int endedSite = 0;
    waitFor([&] {
        for (std::size_t i = 0; i < bridges.size() && !bridgeEnded; ++i) {
            if (waitpid(bridges[i], nullptr, WNOHANG) == bridges[i]) {
                bridgeEnded = true;
                endedSite = static_cast<int>(i) + 1;
            }
        }
        std::lock_guard<std::mutex> lock(probe.mutex);
        return bridgeEnded || probe.lastSeq.size() >= total;
    }, 60 + static_cast<double>(total) / 10);
    const bool allThere = !bridgeEnded && probe.lastSeq.size() >= total;
    if (!allThere) {
        // Say why in one line (a bridge that ended: the last line of its
        // log), stop everything and leave the logs for a look.
        std::string why;
        if (bridgeEnded) {
            const std::string s = std::to_string(endedSite);
            std::istringstream log(readFile(dir + "/s" + s + "/bridge.log"));
            std::string line, last;
            // An abort's own message ("*** ... ***: terminated") where there is one.
            while (std::getline(log, line)) {
                if (!line.empty() && last.rfind("***", 0) != 0) {
                    last = line;
                }
            }
            std::replace(last.begin(), last.end(), '"', '\'');
            std::replace(last.begin(), last.end(), '\\', '/');
            why = "the bridge of site s" + s + " ended: " + last;
        }
        for (const Child& c : children) {
            kill(c.pid, SIGTERM);
        }
        std::lock_guard<std::mutex> lock(probe.mutex);
        std::printf("{\"sites\":%d,\"stationsPerSite\":%d,\"stations\":%zu,\"error\":\"only %zu of %zu stations "
                    "reached the central broker%s%s; logs in %s\"}\n",
                    o.sites, o.stations, total, probe.lastSeq.size(), total, why.empty() ? "" : "; ", why.c_str(),
                    dir.c_str());
        std::fflush(stdout);
        std::_Exit(3);
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));

    pid_t perf = -1;
    if (!o.perfBridge.empty()) {
        // Every process of the fleet, so that the report splits the time by
        // program (comm) as well as by function.
        std::string pids;
        for (const Child& c : children) {
            pids += (pids.empty() ? "" : ",") + std::to_string(c.pid);
        }
        perf = spawn({"perf", "record", "-e", "cpu-clock", "-F", "997", "-g", "-o", o.perfBridge, "-p", pids},
                     dir + "/perf.log");
    }
    for (Child& c : children) {
        c.cpuBefore = cpuSeconds(c.pid);
    }
    const auto begin = Clock::now();
    for (Probe* p : {&probe, &siteProbe}) {
        p->measure(true);
    }
    // Commands from the central side, spread over the window, each to a
    // station chosen at random and with a value of its own.
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> pickSite(1, o.sites), pickStation(1, o.stations), torque(10, 90);
    long long commandsSent = 0;
    const auto step = std::chrono::duration<double>(o.commands > 0 ? 1.0 / o.commands : o.seconds + 1);
    auto nextCommand = begin + std::chrono::duration_cast<Clock::duration>(step);
    const auto end = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
    while (Clock::now() < end) {
        std::this_thread::sleep_until(std::min(nextCommand, end));
        if (Clock::now() >= nextCommand && Clock::now() < end) {
            const std::string id = "bench-" + std::to_string(++commandsSent);
            const std::string payload =
                "{\"id\":\"" + id + "\",\"command\":\"torque\",\"value\":" + std::to_string(torque(rng)) + "}";
            const std::string topic = "ravenlink/" + stationId(pickSite(rng), pickStation(rng)) + "/cmd";
            {
                std::lock_guard<std::mutex> lock(probe.mutex);
                probe.sent[id] = Clock::now();
            }
            mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                              false);
            nextCommand += std::chrono::duration_cast<Clock::duration>(step);
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    for (Child& c : children) {
        c.cpu = cpuSeconds(c.pid) - c.cpuBefore;
        c.rss = std::max(statusKb(c.pid, "VmRSS:"), 0L);
    }
    for (Probe* p : {&probe, &siteProbe}) {
        p->measure(false);
    }
    if (perf > 0) {
        kill(perf, SIGINT);
        waitpid(perf, nullptr, 0);
    }
    // The last results may still be on their way.
    waitFor([&] {
        std::lock_guard<std::mutex> lock(probe.mutex);
        return probe.sent.empty();
    }, 3);

    done = true;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        kill(it->pid, SIGTERM);
    }
    for (const Child& c : children) {
        waitpid(c.pid, nullptr, 0);
    }
    if (events.joinable()) {
        events.join();
    }
    for (mosquitto* c : {client, siteClient}) {
        mosquitto_loop_stop(c, true);
        mosquitto_destroy(c);
    }

    std::lock_guard<std::mutex> lock(probe.mutex);
    // A station that sent nothing in the window lost every reading of it.
    long long silent = 0;
    for (int s = 1; s <= o.sites; ++s) {
        for (int k = 1; k <= o.stations; ++k) {
            if (probe.inWindow["ravenlink/" + stationId(s, k) + "/status"] == 0) {
                silent += static_cast<long long>(o.seconds / o.interval);
            }
        }
    }
    std::map<std::string, std::pair<double, long>> kinds;  // CPU share, RSS kB
    std::map<std::string, long> maxRss;
    std::map<std::string, int> counts;
    for (const Child& c : children) {
        kinds[c.kind].first += 100.0 * c.cpu / elapsed;
        kinds[c.kind].second += c.rss;
        maxRss[c.kind] = std::max(maxRss[c.kind], c.rss);
        ++counts[c.kind];
    }
    std::ostringstream out;
    out << "{\"sites\":" << o.sites << ",\"stationsPerSite\":" << o.stations << ",\"stations\":" << total
        << ",\"paced\":" << (o.paced ? "true" : "false") << ",\"seconds\":" << elapsed << ",\"target\":" << static_cast<double>(total) / o.interval
        << ",\"rate\":" << static_cast<double>(probe.messages) / elapsed << ",\"messages\":" << probe.messages
        << ",\"lost\":" << probe.gaps + silent << ",\"linkLosses\":" << probe.linkLosses << ",\"delayP50Ms\":" << quantile(probe.delays, 0.5)
        << ",\"delayP99Ms\":" << quantile(probe.delays, 0.99)
        << ",\"siteDelayP50Ms\":" << quantile(siteProbe.delays, 0.5)
        << ",\"siteDelayP99Ms\":" << quantile(siteProbe.delays, 0.99) << ",\"commandsSent\":" << commandsSent
        << ",\"commandsAnswered\":" << probe.commandsAnswered << ",\"commandsFailed\":" << probe.commandsFailed
        << ",\"rttP50Ms\":" << quantile(probe.roundTrips, 0.5) << ",\"rttP99Ms\":" << quantile(probe.roundTrips, 0.99)
        << ",\"kinds\":{";
    bool first = true;
    for (const auto& [kind, figures] : kinds) {
        out << (first ? "" : ",") << "\"" << kind << "\":{\"processes\":" << counts[kind]
            << ",\"cpuPercent\":" << figures.first << ",\"rssKb\":" << figures.second
            << ",\"maxRssKb\":" << maxRss[kind] << "}";
        first = false;
    }
    out << "}}";
    std::printf("%s\n", out.str().c_str());
    if (std::getenv("RAVENLINK_FLEET_KEEP") != nullptr) {
        std::fprintf(stderr, "bench-fleet-scale: logs kept in %s\n", dir.c_str());
        return 0;
    }
    const std::string rm = "rm -rf " + dir;
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
