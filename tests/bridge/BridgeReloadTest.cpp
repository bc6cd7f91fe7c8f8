// A reload: which stations a new configuration starts, stops and restarts,
// and the bridge doing it on SIGHUP against a real broker while the
// stations it keeps go on undisturbed.
#include "BridgeSupport.h"

#include "BridgeArguments.h"
#include "StationSet.h"

#include <httplib.h>

using namespace bridgetest;
using bridge::BridgeSettings;
using bridge::StationSettings;

namespace {

StationSettings stationOn(const std::string& id, const std::string& port)
{
    StationSettings station;
    station.id = id;
    station.port = port;
    return station;
}

BridgeSettings twoStations()
{
    BridgeSettings settings;
    settings.broker.clientId = "bridge";
    settings.stations = {stationOn("a", "/dev/ttyUSB0"), stationOn("b", "/dev/ttyUSB1")};
    return settings;
}

std::string planText(const BridgeSettings& running, const BridgeSettings& wanted, const std::string& password = "")
{
    return bridge::describePlan(bridge::planStations(running, "", wanted, password));
}

} // namespace

// Past the broker library's select() limit the C library would end the
// whole bridge: a set that does not fit is refused before anything starts.
TEST(BridgeStationLimit, RefusedBeforeTheBrokerLibraryCouldEndTheBridge)
{
    EXPECT_EQ(bridge::descriptorShortage(10, 196), "");
    EXPECT_EQ(bridge::descriptorShortage(10, 197),
              "197 stations to start, but this bridge has room for 196 more: each station holds 5 descriptors and "
              "the broker library cannot wait on one numbered 1024 or above; give the others to a second bridge "
              "with a client id of its own");
    EXPECT_EQ(bridge::descriptorShortage(1000, 1),
              "1 station to start, but this bridge has room for 0 more: each station holds 5 descriptors and the "
              "broker library cannot wait on one numbered 1024 or above; give the others to a second bridge with a "
              "client id of its own");

    std::vector<std::string> arguments = {"--broker", "mqtt://127.0.0.1:1"};
    for (int i = 1; i <= 250; ++i) {
        arguments.push_back("--station");
        arguments.push_back("s" + std::to_string(i) + "=/nonexistent/ravenlink-" + std::to_string(i));
    }
    ravenlinktest::InteractiveChild bridge(RAVENLINK_BRIDGE_PATH, arguments);
    const ravenlinktest::ChildResult result = bridge.finish(std::chrono::seconds(20));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.output.find("error 250 stations to start, but this bridge has room for "), std::string::npos)
        << result.output;
}

TEST(BridgeReloadPlan, EachSettingOfAStationRestartsItAlone)
{
    const BridgeSettings running = twoStations();
    EXPECT_EQ(planText(running, running), "nothing changed");
    const std::vector<std::pair<const char*, std::function<void(StationSettings&)>>> changes = {
        {"port", [](StationSettings& s) { s.port = "/dev/ttyUSB7"; }},
        {"interval", [](StationSettings& s) { s.intervalSeconds = 2.0; }},
        {"timeout", [](StationSettings& s) { s.timeoutMs = 500; }},
        {"commands", [](StationSettings& s) { s.commands = true; }},
        {"discovery", [](StationSettings& s) { s.discovery = bridge::Discovery::homeAssistant; }},
    };
    for (const auto& [what, change] : changes) {
        BridgeSettings wanted = running;
        change(wanted.stations[1]);
        EXPECT_EQ(planText(running, wanted), "restarted b; unchanged a") << what;
    }
}

TEST(BridgeReloadPlan, AddedRemovedAndTheConnectionsSettings)
{
    const BridgeSettings running = twoStations();
    BridgeSettings wanted = running;
    wanted.stations = {stationOn("c", "/dev/ttyUSB2"), running.stations[1], stationOn("d", "/dev/ttyUSB3")};
    EXPECT_EQ(planText(running, wanted), "started c, d; stopped a; unchanged b");
    wanted.stations.clear();
    EXPECT_EQ(planText(running, wanted), "stopped a, b");
    // Every station's connection uses the broker settings and the password.
    wanted = running;
    wanted.broker.keepaliveSeconds = 60;
    EXPECT_EQ(planText(running, wanted), "restarted a, b");
    EXPECT_EQ(planText(running, running, "a new password"), "restarted a, b");
    // A start is a plan from nothing.
    EXPECT_EQ(planText(BridgeSettings{}, running), "started a, b");
}

TEST(BridgeReloadPlan, RereadKeepsAMadeUpClientIdAndTheCommandLine)
{
    ScratchDir dir;
    const std::string config = dir.file("bridge.conf");
    writeFile(config, "[broker]\nhost = 127.0.0.1\n[station a]\nport = /dev/ttyUSB0\ninterval = 5\ntimeout = 100\n");
    std::vector<std::string> words = {"ravenlink-bridge", "--config", config, "--timeout", "700"};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    BridgeSettings running;
    bridge::CommandLine commandLine;
    ASSERT_EQ(bridge::parseArguments(static_cast<int>(argv.size()), argv.data(), running, &commandLine), std::nullopt);
    ASSERT_TRUE(commandLine.namesConfigFile());
    ASSERT_TRUE(running.broker.clientIdMadeUp);

    writeFile(config, "[broker]\nhost = 127.0.0.1\n[station a]\nport = /dev/ttyUSB0\ninterval = 5\ntimeout = 100\n"
                      "[station b]\nport = /dev/ttyUSB1\n");
    const BridgeSettings again = commandLine.reread(running);
    // A client id made up anew would restart every station for nothing.
    EXPECT_EQ(again.broker.clientId, running.broker.clientId);
    EXPECT_EQ(planText(running, again), "started b; unchanged a");
    // A station's own value wins over the command line, as at the start.
    EXPECT_EQ(again.stations[0].timeoutMs, 100);
    EXPECT_EQ(again.stations[1].timeoutMs, 700);

    writeFile(config, "[broker]\nhost = 127.0.0.1\n[station a]\nport = /dev/ttyUSB0\ntimeout = 100\ninterval = soon\n");
    try {
        commandLine.reread(running);
        FAIL() << "a wrong file was taken";
    } catch (const bridge::SettingsError& e) {
        EXPECT_STREQ(e.what(), (config + ":6: interval: 'soon' is not a number of seconds from 0.001 to 86400").c_str());
    }
}

namespace {

class BridgeReloadTest : public BridgeTest {
protected:
    std::string configText(const std::vector<std::string>& sections)
    {
        writeFile(dir.file("bridge.password"), bridgeAccount.password + "\n");
        std::string text = "[broker]\nurl = mqtt://127.0.0.1:" + std::to_string(broker.port) + "\nusername = " +
                           bridgeAccount.user + "\npassword-file = " + dir.file("bridge.password") +
                           "\nclient-id = bridge\n[defaults]\ninterval = 0.2\n";
        if (withMetrics) {
            text += "[bridge]\nmetrics-listen = " + std::to_string(metricsPort) + "\n";
        }
        for (const std::string& section : sections) {
            text += section;
        }
        return text;
    }

    // The stations the metrics endpoint names, in its order.
    std::string metricStations()
    {
        httplib::Client client("127.0.0.1", metricsPort);
        client.set_read_timeout(5, 0);
        const httplib::Result result = client.Get("/metrics");
        std::string names;
        const std::string family = "\nravenlink_station_up{station=\"";
        for (std::size_t at = result ? result->body.find(family) : std::string::npos; at != std::string::npos;
             at = result->body.find(family, at + 1)) {
            const std::size_t from = at + family.size();
            names += result->body.substr(from, result->body.find('"', from) - from) + " ";
        }
        return names;
    }

    const int metricsPort = freePort();
    bool withMetrics = false;

    std::string section(const std::string& id, const std::string& more = "")
    {
        return "[station " + id + "]\nport = " + dir.file(id) + "\n" + more;
    }

    // The highest seq seen on \p id's status from message \p from on.
    unsigned long long lastSeq(const std::string& id, std::size_t from = 0)
    {
        unsigned long long seq = 0;
        const std::vector<Message> all = watcher->messages();
        for (std::size_t i = from; i < all.size(); ++i) {
            if (all[i].topic == "ravenlink/" + id + "/status") {
                seq = std::max(seq, seqOf(all[i]));
            }
        }
        return seq;
    }

    bool sawAfter(const std::string& topic, const std::string& payload, std::size_t from)
    {
        const std::vector<Message> all = watcher->messages();
        for (std::size_t i = from; i < all.size(); ++i) {
            if (all[i].topic == topic && all[i].payload == payload) {
                return true;
            }
        }
        return false;
    }
};

} // namespace

TEST_F(BridgeReloadTest, SighupStartsStopsAndRestartsOnlyWhatChanged)
{
    withMetrics = true;
    const auto a = station("a");
    const auto b = station("b");
    const auto c = station("c");
    const auto d = station("d");
    const std::string config = dir.file("bridge.conf");
    writeFile(config, configText({section("a"), section("b"), section("c")}));
    auto bridge = startBridge({"--config", config});
    for (const char* id : {"a", "b", "c"}) {
        ASSERT_TRUE(sawState(id, "online")) << bridge->text();
    }
    ASSERT_TRUE(watcher->waitFor("ravenlink/a/status", "\"seq\":3"));
    ASSERT_TRUE(watcher->waitFor("ravenlink/b/status", "\"seq\":3"));
    EXPECT_EQ(metricStations(), "a b c ");

    writeFile(config, configText({section("a"), section("b", "interval = 0.3\n"), section("d")}));
    const std::size_t mark = watcher->messages().size();
    const unsigned long long seqBefore = lastSeq("a");
    bridge->signal(SIGHUP);
    ASSERT_TRUE(bridge->waitFor("reloaded " + config + ": started d; stopped c; restarted b; unchanged a", 1, patience))
        << bridge->text();
    EXPECT_TRUE(sawState("c", "offline", mark));
    EXPECT_TRUE(sawState("d", "online", mark)) << bridge->text();
    // b went offline and came back on a connection and reading count of its own.
    EXPECT_TRUE(sawState("b", "offline", mark));
    EXPECT_TRUE(sawState("b", "online", mark)) << bridge->text();
    ASSERT_TRUE(watcher->waitFor("ravenlink/b/status", "\"seq\":2}", mark));
    // a carried on: no offline, its readings counted on.
    ASSERT_TRUE(watcher->waitFor("ravenlink/a/status", "\"seq\":" + std::to_string(seqBefore + 3), mark));
    EXPECT_FALSE(sawAfter("ravenlink/a/state", "offline", mark));
    EXPECT_GT(lastSeq("a", mark), seqBefore);
    // The broker saw one connection of a, and the second of b.
    const std::string log = broker.log();
    const auto connections = [&](const std::string& id) {
        std::size_t count = 0;
        for (std::size_t at = log.find(" as bridge-" + id + " "); at != std::string::npos;
             at = log.find(" as bridge-" + id + " ", at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(connections("a"), 1U) << log;
    EXPECT_EQ(connections("b"), 2U) << log;
    EXPECT_EQ(connections("c"), 1U) << log;
    // The metrics follow the stations served: c is gone, d is there.
    EXPECT_EQ(metricStations(), "a b d ");
    const auto result = stopBridge(*bridge);
    EXPECT_NE(result.output.find("station d: online on " + dir.file("d")), std::string::npos) << result.output;
}

TEST_F(BridgeReloadTest, AConfigurationThatFailsChangesNothing)
{
    const auto a = station("a");
    const std::string config = dir.file("bridge.conf");
    writeFile(config, configText({section("a")}));
    auto bridge = startBridge({"--config", config});
    ASSERT_TRUE(sawState("a", "online")) << bridge->text();

    writeFile(config, configText({section("a", "interval = soon\n"), section("e")}));
    std::size_t mark = watcher->messages().size();
    bridge->signal(SIGHUP);
    ASSERT_TRUE(bridge->waitFor("reload failed, the stations run on as they were: " + config +
                                    ":10: interval: 'soon' is not a number of seconds from 0.001 to 86400",
                                1, patience))
        << bridge->text();
    ::unlink(config.c_str());
    bridge->signal(SIGHUP);
    ASSERT_TRUE(bridge->waitFor("reload failed, the stations run on as they were: " + config +
                                    ": cannot read the configuration: No such file or directory",
                                1, patience))
        << bridge->text();
    const unsigned long long seq = lastSeq("a");
    ASSERT_TRUE(watcher->waitFor("ravenlink/a/status", "\"seq\":" + std::to_string(seq + 2), mark));
    EXPECT_FALSE(sawAfter("ravenlink/a/state", "offline", mark));
    EXPECT_FALSE(sawAfter("ravenlink/e/state", "online", mark));

    // Without a configuration file there is nothing to read again.
    const auto b = station("b");
    auto quick = startBridge(bridgeArguments(dir, broker, {stationArg("b")}));
    ASSERT_TRUE(sawState("b", "online")) << quick->text();
    mark = watcher->messages().size();
    quick->signal(SIGHUP);
    ASSERT_TRUE(quick->waitFor("SIGHUP ignored: there is no configuration file to read again", 1, patience))
        << quick->text();
    const unsigned long long seqB = lastSeq("b");
    ASSERT_TRUE(watcher->waitFor("ravenlink/b/status", "\"seq\":" + std::to_string(seqB + 2), mark));
    EXPECT_FALSE(sawAfter("ravenlink/b/state", "offline", mark));
    stopBridge(*quick);
    stopBridge(*bridge);
}
