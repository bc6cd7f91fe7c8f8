// A fleet as shipped in packaging/mosquitto/fleet/: two sites, each with its
// own broker (ravenlink.conf and ravenlink.acl as for one site, and the
// connection of site-central.conf.example), bridge and simulated stations,
// and one central broker (central.conf, central.acl) that the sites' brokers
// reach over TLS with certificates of a fleet CA. The files are used as they
// are, moved only to the scratch folder's paths and ports.
#include "BridgeSupport.h"
#include "SimulatorProcess.h"

#include <map>

namespace bridgetest {
namespace {

const Account siteAccounts[] = {{"site-hangar1", "hangar1-link-secret"}, {"site-hangar2", "hangar2-link-secret"}};

std::string fleetFile(const std::string& name)
{
    return Broker::packagingFile("fleet/" + name);
}

std::string replaced(std::string text, const std::string& pattern, const std::string& by)
{
    return std::regex_replace(text, std::regex(pattern), by);
}

// The fleet CA, the central broker's certificate for 127.0.0.1 and each
// site's client certificate, made with openssl (EC keys, fast to make).
void makeFleetCertificates(const ScratchDir& dir)
{
    const auto openssl = [&](const std::vector<std::string>& args) {
        const auto run = ravenlinktest::runChildProcess(OPENSSL_PATH, args, "");
        ASSERT_EQ(run.exitStatus, 0) << run.errors;
    };
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> ca = {"req", "-x509"};
    ca.insert(ca.end(), key.begin(), key.end());
    ca.insert(ca.end(), {"-keyout", dir.file("fleet-ca.key"), "-out", dir.file("fleet-ca.crt"), "-days", "30", "-subj",
                         "/CN=Ravenlink fleet test CA"});
    openssl(ca);
    writeFile(dir.file("central.ext"), "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    writeFile(dir.file("client.ext"), "extendedKeyUsage=clientAuth\n");
    for (const auto& [name, ext] : {std::pair{"central", "central.ext"}, std::pair{"site-hangar1", "client.ext"},
                                    std::pair{"site-hangar2", "client.ext"}}) {
        std::vector<std::string> request = {"req"};
        request.insert(request.end(), key.begin(), key.end());
        request.insert(request.end(), {"-keyout", dir.file(std::string(name) + ".key"), "-out",
                                       dir.file(std::string(name) + ".csr"), "-subj", "/CN=" + std::string(name)});
        openssl(request);
        openssl({"x509", "-req", "-in", dir.file(std::string(name) + ".csr"), "-CA", dir.file("fleet-ca.crt"), "-CAkey",
                 dir.file("fleet-ca.key"), "-CAcreateserial", "-days", "30", "-extfile", dir.file(ext), "-out",
                 dir.file(std::string(name) + ".crt")});
        ::chmod(dir.file(std::string(name) + ".key").c_str(), 0644);  // the broker may run as another user
    }
}

// One mosquitto of the fleet, in its own folder under the scratch folder,
// on fixed ports so that it can be stopped and started again where its
// clients expect it.
class FleetBroker {
public:
    FleetBroker(const ScratchDir& dir, std::string name, const std::vector<Account>& accounts)
        : dir(dir), name(std::move(name)), port(freePort())
    {
        ::mkdir(file("").c_str(), 0755);
        ::mkdir(file("conf.d").c_str(), 0755);
        bool first = true;
        for (const Account& account : accounts) {
            std::vector<std::string> args = {"-b", file("passwd"), account.user, account.password};
            if (first) {
                args.insert(args.begin(), "-c");
                first = false;
            }
            const auto made = ravenlinktest::runChildProcess(MOSQUITTO_PASSWD_PATH, args, "");
            EXPECT_EQ(made.exitStatus, 0) << made.errors;
        }
        const struct passwd* me = ::getpwuid(::getuid());
        writeFile(file("broker.conf"), "persistence false\nlog_dest stderr\nlog_type all\nuser " +
                                           std::string(me->pw_name) + "\ninclude_dir " + file("conf.d") + "\n");
    }
    ~FleetBroker() { stop(); }
    FleetBroker(const FleetBroker&) = delete;
    FleetBroker& operator=(const FleetBroker&) = delete;

    std::string file(const std::string& leaf) const { return dir.file(name + "/" + leaf); }

    void start(const std::vector<int>& ports)
    {
        const int logFd = ::open(file("broker.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        pid = ravenlinktest::detail::spawnChild(MOSQUITTO_PATH, "", {"-c", file("broker.conf")}, nullFd, logFd, logFd);
        ::close(logFd);
        ::close(nullFd);
        const auto up = [&] {
            return std::all_of(ports.begin(), ports.end(), [](int p) { return portAccepts(p); });
        };
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!up() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(up()) << log();
    }

    void stop()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

    std::string log() const { return readFile(file("broker.log")); }

    const ScratchDir& dir;
    std::string name;
    int port;  // the listener for this machine's clients
    pid_t pid = -1;
};

// The central broker: central.conf and central.acl as shipped.
class CentralBroker : public FleetBroker {
public:
    explicit CentralBroker(const ScratchDir& dir)
        : FleetBroker(dir, "central", {siteAccounts[0], siteAccounts[1], operatorAccount, viewerAccount}),
          tlsPort(freePort())
    {
        writeFile(file("central.acl"), readFile(fleetFile("central.acl")));
        std::string conf = readFile(fleetFile("central.conf"));
        conf = replaced(conf, "(\n|^)password_file [^\n]*", "$1password_file " + file("passwd"));
        conf = replaced(conf, "(\n|^)acl_file [^\n]*", "$1acl_file " + file("central.acl"));
        conf = replaced(conf, "(\n|^)listener 1883 localhost", "$1listener " + std::to_string(port) + " 127.0.0.1");
        conf = replaced(conf, "(\n|^)listener 8883", "$1listener " + std::to_string(tlsPort) + " 127.0.0.1");
        conf = replaced(conf, "/etc/mosquitto/certs/", dir.file(""));
        writeFile(file("conf.d/ravenlink-central.conf"), conf);
        start();
    }
    void start() { FleetBroker::start({port, tlsPort}); }

    int tlsPort;
};

// A site's broker: ravenlink.conf and ravenlink.acl as for a broker of one
// site, and site-central.conf.example for this site and the central broker.
class SiteBroker : public FleetBroker {
public:
    SiteBroker(const ScratchDir& dir, const std::string& site, const Account& link, const CentralBroker& central)
        : FleetBroker(dir, site, {bridgeAccount, operatorAccount, viewerAccount})
    {
        writeFile(file("ravenlink.acl"), readFile(Broker::packagingFile("ravenlink.acl")));
        std::string conf = readFile(Broker::packagingFile("ravenlink.conf"));
        conf = replaced(conf, "(\n|^)password_file [^\n]*", "$1password_file " + file("passwd"));
        conf = replaced(conf, "(\n|^)acl_file [^\n]*", "$1acl_file " + file("ravenlink.acl"));
        conf = replaced(conf, "(\n|^)listener 1883 [^\n]*", "$1listener " + std::to_string(port) + " 127.0.0.1");
        writeFile(file("conf.d/ravenlink.conf"), conf);
        std::string bridge = readFile(fleetFile("site-central.conf.example"));
        bridge = replaced(bridge, "hangar1", site);
        bridge = replaced(bridge, "(\n|^)address [^\n]*", "$1address 127.0.0.1:" + std::to_string(central.tlsPort));
        bridge = replaced(bridge, "(\n|^)remote_password [^\n]*", "$1remote_password " + link.password);
        bridge = replaced(bridge, "/etc/mosquitto/certs/", dir.file(""));
        writeFile(file("conf.d/ravenlink-central.conf"), bridge);
        start();
    }
    void start() { FleetBroker::start({port}); }
};

// One site: its broker, a simulator serving its stations and the bridge.
struct Site {
    Site(const ScratchDir& dir, const std::string& name, const Account& link, const CentralBroker& central,
         const std::vector<std::string>& stationNames)
        : broker(dir, name, link, central),
          stations({"--count", std::to_string(stationNames.size()), "--link", dir.file(name + "-station")}),
          watcher(std::make_unique<TestClient>(broker.port, viewerAccount, name + "-watcher"))
    {
        watcher->subscribe("ravenlink/#");
        for (std::size_t i = 0; i < stationNames.size(); ++i) {
            EXPECT_FALSE(stations.readyPath().empty());
        }
        writeFile(dir.file(name + "-bridge.password"), bridgeAccount.password + "\n");
        std::vector<std::string> args = {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port), "--username",
                                         bridgeAccount.user, "--password-file", dir.file(name + "-bridge.password"),
                                         "--client-id", name, "--interval", "0.2", "--commands", "on"};
        for (std::size_t i = 0; i < stationNames.size(); ++i) {
            args.push_back("--station");
            args.push_back(stationNames[i] + "=" + dir.file(name + "-station-" + std::to_string(i + 1)));
        }
        bridge = startBridge(args);
    }

    SiteBroker broker;
    ravenlinktest::Simulator stations;
    std::unique_ptr<TestClient> watcher;
    std::unique_ptr<ravenlinktest::InteractiveChild> bridge;
};

// A scratch folder with the fleet's certificates in it.
struct FleetDir : ScratchDir {
    FleetDir() { makeFleetCertificates(*this); }
};

class FleetBridging : public ::testing::Test {
protected:
    void SetUp() override
    {
        viewer = std::make_unique<TestClient>(central.port, viewerAccount, "central-viewer");
        viewer->subscribe("ravenlink/#");
        viewer->subscribe("ravenlink-sites/#");
        operatorClient = std::make_unique<TestClient>(central.port, operatorAccount, "central-operator");
        ASSERT_EQ(operatorClient->connectResult(), 0);
        hangar1 = std::make_unique<Site>(dir, "hangar1", siteAccounts[0], central,
                                         std::vector<std::string>{"hangar1-north", "hangar1-south"});
        hangar2 = std::make_unique<Site>(dir, "hangar2", siteAccounts[1], central,
                                         std::vector<std::string>{"hangar2-east"});
        for (const char* station : {"hangar1-north", "hangar1-south", "hangar2-east"}) {
            ASSERT_TRUE(statusAfter(*viewer, station, 0)) << station << "\n" << central.log();
        }
    }

    // The first status of \p station from message \p from on.
    static std::optional<Message> statusAfter(TestClient& client, const std::string& station, std::size_t from)
    {
        return client.waitFor(
            [&](const Message& m) { return m.topic == "ravenlink/" + station + "/status" && seqOf(m) > 0; }, from);
    }

    // Sends a command from the central operator and returns the result that
    // arrived centrally.
    std::string command(const std::string& station, const std::string& id, const std::string& payload)
    {
        const std::size_t mark = viewer->messages().size();
        operatorClient->publish("ravenlink/" + station + "/cmd", payload);
        const auto result = viewer->waitFor("ravenlink/" + station + "/cmd/result", "{\"id\":\"" + id + "\"", mark);
        return result ? result->payload : "no result";
    }

    static std::size_t countOf(TestClient& client, const std::string& topic, const std::string& part)
    {
        const auto all = client.messages();
        return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](const Message& m) {
            return m.topic == topic && m.payload.find(part) != std::string::npos;
        }));
    }

    FleetDir dir;
    CentralBroker central{dir};
    std::unique_ptr<TestClient> viewer;
    std::unique_ptr<TestClient> operatorClient;
    std::unique_ptr<Site> hangar1;
    std::unique_ptr<Site> hangar2;
};

// Status, state and details of every station of both sites arrive at the
// central broker under the stations' own ids, with the sites' connection
// notices; the sequence numbers show nothing lost on the way.
TEST_F(FleetBridging, EverySitesTopicsArriveCentrally)
{
    for (const char* station : {"hangar1-north", "hangar1-south", "hangar2-east"}) {
        const std::string base = std::string("ravenlink/") + station;
        EXPECT_TRUE(viewer->waitFor(base + "/state", "online")) << station;
        EXPECT_TRUE(viewer->waitFor(base + "/details", "{\"time\":")) << station;
        EXPECT_TRUE(viewer->waitFor(base + "/check", "{\"time\":")) << station;
    }
    EXPECT_TRUE(viewer->waitFor("ravenlink-sites/hangar1/connection", "1"));
    EXPECT_TRUE(viewer->waitFor("ravenlink-sites/hangar2/connection", "1"));

    // Ten readings of each station in a row, centrally as at the site.
    const std::size_t mark = viewer->messages().size();
    for (const char* station : {"hangar1-north", "hangar2-east"}) {
        const auto first = statusAfter(*viewer, station, mark);
        ASSERT_TRUE(first) << station;
        ASSERT_TRUE(viewer->waitFor([&](const Message& m) {
            return m.topic == std::string("ravenlink/") + station + "/status" && seqOf(m) >= seqOf(*first) + 10;
        }, mark)) << station;
    }
    std::map<std::string, unsigned long long> last;
    for (const Message& m : viewer->messages()) {
        if (m.topic.size() > 7 && m.topic.compare(m.topic.size() - 7, 7, "/status") == 0 && !m.retained) {
            if (last.count(m.topic) != 0) {
                EXPECT_EQ(seqOf(m), last[m.topic] + 1) << m.topic;
            }
            last[m.topic] = seqOf(m);
        }
    }
}

// A command from the central operator runs once, at the station's own site,
// and its result comes back; the other site never sees it. The same command
// delivered again is answered again and not run again.
TEST_F(FleetBridging, CentralCommandRunsOnceAtItsSite)
{
    EXPECT_EQ(command("hangar2-east", "c-1", R"({"id":"c-1","command":"torque","value":40})"),
              R"({"id":"c-1","ok":true,"error":"","sent":40})");
    EXPECT_TRUE(hangar2->watcher->waitFor("ravenlink/hangar2-east/cmd", "\"c-1\""));
    const std::size_t mark = viewer->messages().size();
    const auto after = statusAfter(*viewer, "hangar2-east", mark);
    ASSERT_TRUE(after);
    EXPECT_NE(after->payload.find("\"retTorque\":40"), std::string::npos) << after->payload;

    EXPECT_EQ(command("hangar2-east", "c-1", R"({"id":"c-1","command":"torque","value":40})"),
              R"({"id":"c-1","ok":true,"error":"","sent":40})");
    EXPECT_EQ(command("hangar1-south", "c-2", R"({"id":"c-2","command":"torque","value":30})"),
              R"({"id":"c-2","ok":true,"error":"","sent":30})");
    // The second delivery was known by its id.
    EXPECT_TRUE(hangar2->bridge->waitFor("command c-1: a repeat, answered without running it again", 1, patience))
        << hangar2->bridge->text();
    EXPECT_EQ(countOf(*hangar2->watcher, "ravenlink/hangar2-east/cmd", "\"c-1\""), 2U);
    EXPECT_EQ(countOf(*hangar1->watcher, "ravenlink/hangar2-east/cmd", ""), 0U);
    EXPECT_EQ(countOf(*hangar2->watcher, "ravenlink/hangar1-south/cmd", ""), 0U);
    EXPECT_EQ(countOf(*viewer, "ravenlink/hangar2-east/cmd/result", "\"c-1\""), 2U);
}

// A site speaks and commands only for its own stations: what its broker
// forwards for a station id of another site is dropped centrally, and a
// command given at one site never leaves it.
TEST_F(FleetBridging, SitesReachOnlyTheirOwnStations)
{
    TestClient siteOperator(hangar1->broker.port, operatorAccount, "hangar1-operator");
    TestClient siteBridgeLogin(hangar1->broker.port, bridgeAccount, "hangar1-impostor");
    siteBridgeLogin.publish("ravenlink/hangar2-east/state", "offline", true);
    siteBridgeLogin.publish("ravenlink/hangar2-east/cmd/result", R"({"id":"forged","ok":true,"error":""})");
    siteOperator.publish("ravenlink/hangar2-east/cmd", R"({"id":"c-3","command":"activate"})");
    // A marker that takes the same way, to know the others had their chance.
    siteBridgeLogin.publish("ravenlink/hangar1-north/cmd/result", R"({"id":"marker","ok":false,"error":"x"})");
    ASSERT_TRUE(viewer->waitFor("ravenlink/hangar1-north/cmd/result", "marker"));

    EXPECT_EQ(countOf(*viewer, "ravenlink/hangar2-east/state", "offline"), 0U);
    EXPECT_EQ(countOf(*viewer, "ravenlink/hangar2-east/cmd/result", "forged"), 0U);
    EXPECT_EQ(countOf(*viewer, "ravenlink/hangar2-east/cmd", "c-3"), 0U);
    EXPECT_EQ(countOf(*hangar2->watcher, "ravenlink/hangar2-east/cmd", "c-3"), 0U);
    EXPECT_NE(central.log().find("Denied PUBLISH from ravenlink-site-hangar1"), std::string::npos) << central.log();
    // The site's own operator commands its own stations as before.
    const std::size_t mark = hangar1->watcher->messages().size();
    siteOperator.publish("ravenlink/hangar1-north/cmd", R"({"id":"c-4","command":"torque","value":25})");
    EXPECT_TRUE(hangar1->watcher->waitFor("ravenlink/hangar1-north/cmd/result", "\"c-4\",\"ok\":true", mark));
}

// The site's broker restarts: the central broker learns that the site is
// away, and once it is back the status flows again and commands run.
TEST_F(FleetBridging, SiteBrokerRestartIsSurvived)
{
    hangar1->broker.stop();
    EXPECT_TRUE(viewer->waitFor("ravenlink-sites/hangar1/connection", "0"));
    const std::size_t mark = viewer->messages().size();
    hangar1->broker.start();
    EXPECT_TRUE(viewer->waitFor("ravenlink-sites/hangar1/connection", "1", mark));
    EXPECT_TRUE(statusAfter(*viewer, "hangar1-north", mark)) << hangar1->bridge->text();
    EXPECT_TRUE(statusAfter(*viewer, "hangar1-south", mark));
    EXPECT_EQ(command("hangar1-north", "c-5", R"({"id":"c-5","command":"torque","value":45})"),
              R"({"id":"c-5","ok":true,"error":"","sent":45})");
    // The other site went on meanwhile.
    EXPECT_TRUE(statusAfter(*viewer, "hangar2-east", mark));
}

// The central broker restarts (without persistence): the sites connect
// again, their retained topics are there again for a new subscriber, the
// status flows, and commands run.
TEST_F(FleetBridging, CentralBrokerRestartIsSurvived)
{
    viewer.reset();
    operatorClient.reset();
    central.stop();
    central.start();
    TestClient newcomer(central.port, viewerAccount, "central-newcomer");
    newcomer.subscribe("ravenlink/#");
    for (const char* station : {"hangar1-north", "hangar1-south", "hangar2-east"}) {
        EXPECT_TRUE(newcomer.waitFor(std::string("ravenlink/") + station + "/state", "online")) << station;
        EXPECT_TRUE(newcomer.waitFor(std::string("ravenlink/") + station + "/details", "{\"time\":")) << station;
        EXPECT_TRUE(statusAfter(newcomer, station, 0)) << station;
    }
    viewer = std::make_unique<TestClient>(central.port, viewerAccount, "central-viewer-2");
    viewer->subscribe("ravenlink/#");
    operatorClient = std::make_unique<TestClient>(central.port, operatorAccount, "central-operator-2");
    EXPECT_EQ(command("hangar2-east", "c-6", R"({"id":"c-6","command":"torque","value":35})"),
              R"({"id":"c-6","ok":true,"error":"","sent":35})");
}

// The central Prometheus's example is a configuration that Prometheus takes,
// with one target and a site label per site of the ACL example.
TEST(FleetExamples, PrometheusScrapesEverySiteOfTheAclExample)
{
#ifdef PROMTOOL_PATH
    const auto checked =
        ravenlinktest::runChildProcess(PROMTOOL_PATH, {"check", "config", fleetFile("prometheus.yml.example")}, "");
    EXPECT_EQ(checked.exitStatus, 0) << checked.output << checked.errors;
#endif
    const std::string scrape = readFile(fleetFile("prometheus.yml.example"));
    const std::string acl = readFile(fleetFile("central.acl"));
    for (const char* site : {"hangar1", "hangar2"}) {
        EXPECT_NE(acl.find(std::string("\nuser site-") + site + "\n"), std::string::npos) << site;
        EXPECT_NE(scrape.find(std::string("site: ") + site + "\n"), std::string::npos) << site;
    }
}

} // namespace
} // namespace bridgetest
