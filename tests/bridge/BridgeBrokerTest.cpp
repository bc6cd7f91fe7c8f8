// The bridge's side of the broker: client ids that nobody else has, a
// second bridge that gives up instead of fighting, refusals that the broker
// names (MQTT 5), each site's account limited to its own stations, the
// shipped listeners, and TLS with the cause of every refused certificate.
#include "BridgeSupport.h"

#include "BridgeSettings.h"

#include <algorithm>
#include <tuple>

using namespace bridgetest;

namespace {

// The quick-start command line without --client-id: the bridge makes one up.
std::vector<std::string> withoutClientId(std::vector<std::string> args)
{
    const auto at = std::find(args.begin(), args.end(), "--client-id");
    args.erase(at, at + 2);
    return args;
}

// Adds \p account to the broker's password file and restarts the broker,
// which reads the file only at start.
void addAccount(Broker& broker, const Account& account)
{
    const auto made = ravenlinktest::runChildProcess(
        MOSQUITTO_PASSWD_PATH, {"-b", broker.dir.file("ravenlink.passwd"), account.user, account.password}, "");
    ASSERT_EQ(made.exitStatus, 0) << made.errors;
    broker.stop();
    broker.start();
}

// The retained payload of \p topic as a new subscriber gets it, or "none".
std::string retainedOn(int port, const std::string& topic)
{
    TestClient reader(port, viewerAccount, "retained-reader");
    reader.subscribe(topic);
    const auto kept = reader.waitFor([&](const Message& m) { return m.topic == topic; }, 0, Ms(1500));
    return kept ? kept->payload : "none";
}

const Account hangar1Account{"ravenlink-bridge-hangar1", "hangar1-secret-2231"};
const Account hangar2Account{"ravenlink-bridge-hangar2", "hangar2-secret-7781"};

} // namespace

TEST(BridgeClientId, MadeUpIdDiffersAtEveryStartAndAConfiguredOneIsKept)
{
    bridge::ConfigFile file = bridge::parseConfig("[station a]\nport = /dev/null\n", "test.conf");
    const bridge::BridgeSettings first = bridge::resolve(file, {}, {});
    const bridge::BridgeSettings second = bridge::resolve(file, {}, {});
    const std::regex madeUp("ravenlink-bridge-.+-[0-9a-f]{16}");
    EXPECT_TRUE(std::regex_match(first.broker.clientId, madeUp)) << first.broker.clientId;
    EXPECT_NE(first.broker.clientId, second.broker.clientId);
    EXPECT_TRUE(first.broker.clientIdMadeUp);

    file.broker.clientId = "hangar1";
    const bridge::BridgeSettings configured = bridge::resolve(file, {}, {});
    EXPECT_EQ(configured.broker.clientId, "hangar1");
    EXPECT_FALSE(configured.broker.clientIdMadeUp);
}

// Someone who learnt the made-up id takes the connection three times: each
// time it is logged as taken over, and the bridge takes it back and stays.
TEST_F(BridgeTest, TakenOverConnectionIsLoggedAndTakenBackWithAMadeUpId)
{
    const auto alpha = station("alpha");
    auto bridge = startBridge(withoutClientId(bridgeArguments(dir, broker, {stationArg("alpha")})));
    ASSERT_TRUE(bridge->waitFor("station alpha: connected to the broker at 127.0.0.1:" + std::to_string(broker.port) +
                                " as ", 1, patience)) << bridge->text();
    ASSERT_TRUE(bridge->waitFor("\n", 1, patience));
    const std::string text = bridge->text();
    // The station's line, not the bridge health connection's.
    const std::size_t idAt = text.find(" as ravenlink-bridge-", text.find("station alpha: connected")) + 4;
    const std::string clientId = text.substr(idAt, text.find('\n', idAt) - idAt);
    ASSERT_EQ(clientId.substr(clientId.size() - 6), "-alpha") << text;

    for (int round = 1; round <= 3; ++round) {
        {
            TestClient intruder(broker.port, viewerAccount, clientId);
            ASSERT_EQ(intruder.connectResult(), 0);
            ASSERT_TRUE(bridge->waitFor("station alpha: lost the broker connection: the broker at 127.0.0.1:" +
                                        std::to_string(broker.port) +
                                        " closed it: taken over by another client with the client id " +
                                        clientId + ", unless the broker restarted", 1, patience)) << bridge->text();
        }
        ASSERT_TRUE(bridge->waitFor("station alpha: connected to the broker", 1, patience)) << bridge->text();
    }
    const auto result = stopBridge(*bridge);
    EXPECT_EQ(result.output.find("giving up"), std::string::npos) << result.output;
}

// Two bridges started with one configuration: the second one gives up with
// status 3 and says why, and the first one goes on serving the station.
TEST_F(BridgeTest, SecondBridgeWithTheSameClientIdGivesUpInsteadOfFighting)
{
    const auto alpha = station("alpha");
    for (const char* protocol : {"3.1.1", "5"}) {
        SCOPED_TRACE(protocol);
        const auto args = bridgeArguments(dir, broker, {stationArg("alpha")}, {"--commands", "on", "--protocol", protocol});
        const std::size_t mark = watcher->messages().size();
        auto first = startBridge(args);
        ASSERT_TRUE(sawState("alpha", "online", mark)) << first->text();
        // Long enough at a stretch to be the bridge that was there first.
        std::this_thread::sleep_for(6s);

        auto second = startBridge(args);
        const auto gaveUp = second->finish(patience);
        EXPECT_EQ(gaveUp.exitStatus, 3) << gaveUp.output;
        EXPECT_NE(gaveUp.output.find("error station alpha: giving up the broker connection: another client keeps "
                                     "logging in with the client id bridge-alpha; another bridge seems to serve this "
                                     "station with the same client-id (give each bridge its own, or leave client-id "
                                     "unset)"), std::string::npos) << gaveUp.output;
        EXPECT_NE(gaveUp.output.find("error stopping: another bridge serves a station with the same client id"),
                  std::string::npos) << gaveUp.output;

        // The first bridge has its connection back, says online and runs commands.
        ASSERT_TRUE(first->waitFor("station alpha: connected to the broker", 2, patience)) << first->text();
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (retainedOn(broker.port, "ravenlink/alpha/state") != "online" && std::chrono::steady_clock::now() < deadline) {
        }
        EXPECT_EQ(retainedOn(broker.port, "ravenlink/alpha/state"), "online");
        TestClient operatorClient(broker.port, operatorAccount, std::string("console-") + protocol);
        const std::string id = std::string("after-") + protocol;
        EXPECT_EQ(command(operatorClient, "alpha", id, "{\"id\":\"" + id + "\",\"command\":\"torque\",\"value\":40}"),
                  "{\"id\":\"" + id + "\",\"ok\":true,\"error\":\"\",\"sent\":40}");
        const auto result = stopBridge(*first);
        EXPECT_EQ(result.output.find("giving up"), std::string::npos) << result.output;
    }
}

// Under MQTT 5 the broker answers a publication that its ACL refuses with a
// reason code, which the bridge logs once per topic.
TEST_F(BridgeTest, RefusedPublicationsAreLoggedWithTheBrokersReasonUnderMqtt5)
{
    const auto alpha = station("alpha");
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")},
                                              {"--protocol", "5", "--topic-prefix", "elsewhere"}));
    EXPECT_TRUE(bridge->waitFor("error station alpha: the broker refused the publication on elsewhere/alpha/state: "
                                "Not authorized (reason code 0x87); its ACL does not let this account write the topic",
                                1, patience)) << bridge->text();
    std::this_thread::sleep_for(1s);
    const auto result = stopBridge(*bridge);
    const std::string line = "refused the publication on elsewhere/alpha/state";
    EXPECT_EQ(result.output.find(line), result.output.rfind(line)) << result.output;
}

// The shipped ACL's sites: hangar1 serves north and south, hangar2 east.
// A site's account writes its own stations' topics and nothing of another
// site's, neither a false retained state nor a command; a bridge that runs
// with it for another site's station is refused and says so.
TEST_F(BridgeTest, SiteAccountWritesOnlyItsOwnStations)
{
    addAccount(broker, hangar1Account);
    addAccount(broker, hangar2Account);
    watcher = std::make_unique<TestClient>(broker.port, viewerAccount, "site-watcher");
    watcher->subscribe("ravenlink/#");
    TestClient hangar1(broker.port, hangar1Account, "hangar1-probe", TestClient::Protocol::v5);
    EXPECT_EQ(hangar1.publishedReason("ravenlink/east/state", "offline", true), MQTT_RC_NOT_AUTHORIZED);
    EXPECT_EQ(hangar1.publishedReason("ravenlink/east/cmd", R"({"id":"x","command":"activate"})", false), MQTT_RC_NOT_AUTHORIZED);
    EXPECT_EQ(hangar1.publishedReason("ravenlink/east/cmd/result", R"({"id":"x","ok":true,"error":""})", false),
              MQTT_RC_NOT_AUTHORIZED);
    EXPECT_EQ(hangar1.publishedReason("ravenlink/north/cmd", R"({"id":"x","command":"activate"})", false),
              MQTT_RC_NOT_AUTHORIZED);
    EXPECT_EQ(retainedOn(broker.port, "ravenlink/east/state"), "none");
    // Its own station's state it may write.
    EXPECT_LT(hangar1.publishedReason("ravenlink/north/state", "online", false), 0x80);
    EXPECT_GE(hangar1.publishedReason("ravenlink/north/state", "online", false), 0);
    // The single-site account commands nothing either.
    TestClient single(broker.port, bridgeAccount, "single-probe", TestClient::Protocol::v5);
    EXPECT_EQ(single.publishedReason("ravenlink/east/cmd", R"({"id":"x","command":"activate"})", false), MQTT_RC_NOT_AUTHORIZED);

    const auto east = station("east");
    writeFile(dir.file("hangar1.password"), hangar1Account.password + "\n");
    auto bridge = startBridge({"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port), "--protocol", "5",
                               "--username", hangar1Account.user, "--password-file", dir.file("hangar1.password"),
                               "--client-id", "hangar1", "--station", stationArg("east"), "--interval", "0.2"});
    EXPECT_TRUE(bridge->waitFor("error station east: the broker refused the publication on ravenlink/east/state: Not "
                                "authorized (reason code 0x87)", 1, patience)) << bridge->text();
    stopBridge(*bridge);
    for (const Message& m : watcher->messages()) {
        EXPECT_TRUE(m.topic.rfind("ravenlink/east/", 0) != 0) << m.topic << " " << m.payload;
    }
}

// The shipped configuration names its listener, so the broker never runs
// in its local-only mode that lets anonymous clients in.
TEST_F(BridgeTest, ShippedListenerRefusesAnonymousClients)
{
    TestClient anonymous(broker.port, {"", ""}, "anonymous");
    EXPECT_EQ(anonymous.connectResult(), 5);
    TestClient viewer(broker.port, viewerAccount, "viewer-login");
    EXPECT_EQ(viewer.connectResult(), 0);
    const std::string log = broker.log();
    EXPECT_NE(log.find("Opening ipv4 listen socket on port " + std::to_string(broker.port) + "."), std::string::npos)
        << log;
    EXPECT_EQ(log.find("local only mode"), std::string::npos) << log;
}

namespace {

// A CA, and certificates it signs for the broker, made with openssl in the
// scratch folder: broker.crt for localhost and 127.0.0.1, expired.crt the
// same but expired, elsewhere.crt for another host; other-ca.crt is a CA
// that signed none of them.
void makeCertificates(const ScratchDir& dir)
{
    const auto openssl = [&](const std::vector<std::string>& args) {
        const auto run = ravenlinktest::runChildProcess(OPENSSL_PATH, args, "");
        ASSERT_EQ(run.exitStatus, 0) << run.errors;
    };
    const auto ca = [&](const std::string& name, const std::string& subject) {
        openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir.file(name + ".key"), "-out",
                 dir.file(name + ".crt"), "-days", "30", "-subj", subject});
    };
    ca("ca", "/CN=Ravenlink test CA");
    ca("other-ca", "/CN=Another CA");
    openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", dir.file("broker.key"), "-out", dir.file("broker.csr"),
             "-subj", "/CN=broker"});
    writeFile(dir.file("here.ext"), "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    writeFile(dir.file("elsewhere.ext"), "subjectAltName=DNS:elsewhere.example\n");
    for (const auto& [name, days, ext] : {std::tuple{"broker", "30", "here.ext"}, std::tuple{"expired", "-1", "here.ext"},
                                          std::tuple{"elsewhere", "30", "elsewhere.ext"}}) {
        openssl({"x509", "-req", "-in", dir.file("broker.csr"), "-CA", dir.file("ca.crt"), "-CAkey", dir.file("ca.key"),
                 "-CAcreateserial", "-days", days, "-extfile", dir.file(ext), "-out", dir.file(std::string(name) + ".crt")});
    }
    ::chmod(dir.file("broker.key").c_str(), 0644);  // the broker may run as another user
}

// mosquitto with the shipped ravenlink.conf and ravenlink-listener.conf.example
// side by side (ports and paths moved to the scratch folder), the TLS
// listener with the certificate \p certificate.
class SiteBrokerWithTls {
public:
    SiteBrokerWithTls(const ScratchDir& dir, const std::string& certificate)
        : dir(dir), localPort(freePort()), tlsPort(freePort())
    {
        const std::string passwordFile = dir.file("tls.passwd");
        const auto made = ravenlinktest::runChildProcess(
            MOSQUITTO_PASSWD_PATH, {"-c", "-b", passwordFile, bridgeAccount.user, bridgeAccount.password}, "");
        EXPECT_EQ(made.exitStatus, 0) << made.errors;
        writeFile(dir.file("tls.acl"), readFile(Broker::packagingFile("ravenlink.acl")));
        std::string site = readFile(Broker::packagingFile("ravenlink.conf"));
        site = std::regex_replace(site, std::regex("(\n|^)password_file [^\n]*"), "$1password_file " + passwordFile);
        site = std::regex_replace(site, std::regex("(\n|^)acl_file [^\n]*"), "$1acl_file " + dir.file("tls.acl"));
        site = std::regex_replace(site, std::regex("(\n|^)listener 1883 [^\n]*"),
                                  "$1listener " + std::to_string(localPort) + " 127.0.0.1");
        std::string listener = readFile(Broker::packagingFile("ravenlink-listener.conf.example"));
        listener = std::regex_replace(listener, std::regex("(\n|^)listener 8883"),
                                      "$1listener " + std::to_string(tlsPort) + " 127.0.0.1");
        listener = std::regex_replace(listener, std::regex("/etc/mosquitto/certs/broker.crt"), dir.file(certificate));
        listener = std::regex_replace(listener, std::regex("/etc/mosquitto/certs/broker.key"), dir.file("broker.key"));
        listener = std::regex_replace(listener, std::regex("/etc/mosquitto/certs/site-ca.crt"), dir.file("ca.crt"));
        ::mkdir(dir.file("tls.d").c_str(), 0755);
        writeFile(dir.file("tls.d/ravenlink.conf"), site);
        writeFile(dir.file("tls.d/ravenlink-listener.conf"), listener);
        const struct passwd* me = ::getpwuid(::getuid());
        writeFile(dir.file("tls-broker.conf"), "persistence false\nlog_dest stderr\nlog_type all\nuser " +
                                                   std::string(me->pw_name) + "\ninclude_dir " + dir.file("tls.d") + "\n");
        const int logFd = ::open(dir.file("tls-broker.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        pid = ravenlinktest::detail::spawnChild(MOSQUITTO_PATH, "", {"-c", dir.file("tls-broker.conf")}, nullFd, logFd,
                                                logFd);
        ::close(logFd);
        ::close(nullFd);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!(portAccepts(localPort) && portAccepts(tlsPort)) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_TRUE(portAccepts(localPort) && portAccepts(tlsPort)) << readFile(dir.file("tls-broker.log"));
    }
    ~SiteBrokerWithTls()
    {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    SiteBrokerWithTls(const SiteBrokerWithTls&) = delete;
    SiteBrokerWithTls& operator=(const SiteBrokerWithTls&) = delete;

    const ScratchDir& dir;
    int localPort;
    int tlsPort;
    pid_t pid = -1;
};

std::vector<std::string> tlsArguments(const ScratchDir& dir, const std::string& url, const std::string& caFile)
{
    writeFile(dir.file("bridge.password"), bridgeAccount.password + "\n");
    return {"--broker", url, "--ca-file", dir.file(caFile), "--username", bridgeAccount.user,
            "--password-file", dir.file("bridge.password"), "--client-id", "tls", "--station",
            "alpha=" + dir.file("alpha"), "--interval", "0.2"};
}

} // namespace

// The TLS listener example joins the local listener instead of replacing
// it; a bridge with the site's CA logs in over TLS.
TEST(BridgeTls, ListenerExampleKeepsTheLocalListenerAndTakesTheBridge)
{
    ScratchDir dir;
    makeCertificates(dir);
    SiteBrokerWithTls broker(dir, "broker.crt");
    TestClient local(broker.localPort, bridgeAccount, "local-login");
    EXPECT_EQ(local.connectResult(), 0);
    TestClient anonymous(broker.localPort, {"", ""}, "local-anonymous");
    EXPECT_EQ(anonymous.connectResult(), 5);
    ravenlinktest::Simulator alpha({"--link", dir.file("alpha")});
    auto bridge = startBridge(tlsArguments(dir, "mqtts://127.0.0.1:" + std::to_string(broker.tlsPort), "ca.crt"));
    EXPECT_TRUE(bridge->waitFor("info station alpha: connected to the broker at 127.0.0.1:" +
                                std::to_string(broker.tlsPort) + " as tls-alpha", 1, patience)) << bridge->text();
    bridge->signal(SIGTERM);
    EXPECT_EQ(bridge->finish(patience).exitStatus, 0);
}

// Each refused certificate is logged with the check's own reason, and the
// bridge keeps trying.
TEST(BridgeTls, RefusedBrokerCertificateIsLoggedWithItsCause)
{
    ScratchDir dir;
    makeCertificates(dir);
    ravenlinktest::Simulator alpha({"--link", dir.file("alpha")});
    const struct {
        const char* certificate;
        const char* host;
        const char* caFile;
        std::string cause;
    } cases[] = {
        // The broker sends its CA along, which the other CA did not sign.
        {"broker.crt", "127.0.0.1", "other-ca.crt",
         "self-signed certificate in certificate chain (certificate /CN=Ravenlink test CA)"},
        {"expired.crt", "127.0.0.1", "ca.crt", "certificate has expired (certificate /CN=broker)"},
        {"elsewhere.crt", "localhost", "ca.crt",
         "hostname mismatch (certificate /CN=broker): it is for elsewhere.example, not for localhost"},
        {"elsewhere.crt", "127.0.0.1", "ca.crt",
         "IP address mismatch (certificate /CN=broker): it is for elsewhere.example, not for 127.0.0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.certificate + std::string(" ") + c.host);
        SiteBrokerWithTls broker(dir, c.certificate);
        const std::string where = std::string(c.host) + ":" + std::to_string(broker.tlsPort);
        auto bridge = startBridge(tlsArguments(dir, "mqtts://" + where, c.caFile));
        EXPECT_TRUE(bridge->waitFor("warning station alpha: no connection to the broker at " + where +
                                    ": TLS: the broker's certificate is not accepted: " + c.cause + "\n", 1, patience))
            << bridge->text();
        bridge->signal(SIGTERM);
        const auto result = bridge->finish(patience);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.output.find("A TLS error occurred"), std::string::npos) << result.output;
    }
}

// A TLS file that cannot be used ends the start with status 1 and its name.
TEST(BridgeTls, UnusableTlsFileEndsTheStartNamingIt)
{
    ScratchDir dir;
    makeCertificates(dir);
    writeFile(dir.file("not-pem.crt"), "this is no certificate\n");
    const std::string url = "mqtts://127.0.0.1:" + std::to_string(freePort());
    const struct {
        std::vector<std::string> files;
        std::string error;
    } cases[] = {
        {{"--ca-file", dir.file("missing.crt")},
         "ca-file " + dir.file("missing.crt") + ": cannot read it: No such file or directory"},
        {{"--ca-file", dir.file("not-pem.crt")},
         "ca-file " + dir.file("not-pem.crt") + ": holds no PEM certificate (no certificate or crl found)"},
        {{"--ca-file", dir.file("ca.crt"), "--cert-file", dir.file("broker.crt"), "--key-file", dir.file("ca.key")},
         "key-file " + dir.file("ca.key") + ": is not the key of cert-file " + dir.file("broker.crt")},
        {{"--ca-file", dir.file("ca.crt"), "--cert-file", dir.file("not-pem.crt"), "--key-file", dir.file("ca.key")},
         "cert-file " + dir.file("not-pem.crt") + ": holds no PEM certificate"},
        {{"--ca-file", dir.file("ca.crt"), "--cert-file", dir.file("broker.crt"), "--key-file", dir.file("broker.crt")},
         "key-file " + dir.file("broker.crt") + ": holds no unencrypted PEM private key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::vector<std::string> args = {"--broker", url, "--station", "alpha=" + dir.file("alpha")};
        args.insert(args.end(), c.files.begin(), c.files.end());
        auto bridge = startBridge(args);
        const auto result = bridge->finish(patience);
        EXPECT_EQ(result.exitStatus, 1) << result.output;
        EXPECT_NE(result.output.find(" error " + c.error), std::string::npos) << result.output;
    }
}
