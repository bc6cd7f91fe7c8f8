// What a subscriber sees of a running bridge: every topic with its payload,
// QoS and retained flag, and "offline" however the bridge ends.
#include "BridgeSupport.h"
#include "PtyStation.h"

#include <nlohmann/json.hpp>

using namespace bridgetest;

namespace {

const std::regex isoTime(R"("\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z")");

bool stampedObject(const std::string& payload, const std::string& member)
{
    const auto json = nlohmann::json::parse(payload, nullptr, false);
    return json.is_object() && json.contains(member) && json[member].is_object() &&
           std::regex_match("\"" + json.value("time", "") + "\"", isoTime);
}

} // namespace

TEST_F(BridgeTest, TwoStationsPublishRetainedTopicsWithTheirQos)
{
    const auto alpha = station("alpha");
    const auto beta = station("beta");
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha"), stationArg("beta")}));
    for (const char* id : {"alpha", "beta"}) {
        ASSERT_TRUE(watcher->waitFor([&](const Message& m) {
            return m.topic == std::string("ravenlink/") + id + "/status" && seqOf(m) == 3;
        })) << bridge->text();
    }
    // Readings are numbered without a gap.
    unsigned long long expected = 1;
    for (const Message& m : watcher->messages()) {
        if (m.topic == "ravenlink/alpha/status" && expected <= 3) {
            EXPECT_EQ(seqOf(m), expected++);
        }
    }

    // A subscriber that comes later gets what is retained, each at its QoS.
    TestClient late(broker.port, viewerAccount, "late");
    late.subscribe("ravenlink/#");
    const struct {
        const char* leaf;
        int qos;
        std::function<bool(const std::string&)> payload;
    } topics[] = {
        {"state", 1, [](const std::string& p) { return p == "online"; }},
        {"details", 1, [](const std::string& p) { return stampedObject(p, "details") && p.find("\"sn\":\"") != std::string::npos; }},
        {"check", 1, [](const std::string& p) { return std::regex_match(p, std::regex(R"(\{"time":"[^"]+","state":"ok","findings":\[\]\})")); }},
        {"status", 0, [](const std::string& p) {
             return stampedObject(p, "status") && std::regex_search(p, std::regex(R"(^\{"time":"[^"]+","status":\{"configStatus":\{.*\}\},"noValue":\[[^\]]*\],"seq":\d+\}$)"));
         }},
    };
    for (const char* id : {"alpha", "beta"}) {
        for (const auto& t : topics) {
            const std::string topic = std::string("ravenlink/") + id + "/" + t.leaf;
            const auto m = late.waitFor([&](const Message& each) { return each.topic == topic; });
            ASSERT_TRUE(m) << topic;
            EXPECT_TRUE(m->retained) << topic;
            EXPECT_EQ(m->qos, t.qos) << topic;
            EXPECT_TRUE(t.payload(m->payload)) << topic << " " << m->payload;
        }
    }
    stopBridge(*bridge);
}

TEST_F(BridgeTest, EveryEndLeavesOffline)
{
    // SIGTERM publishes it; a bridge killed outright leaves it as its last will.
    for (const int signal : {SIGTERM, SIGKILL}) {
        const auto alpha = station("alpha");
        const std::size_t mark = watcher->messages().size();
        auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}));
        ASSERT_TRUE(sawState("alpha", "online", mark)) << bridge->text();
        const auto sent = std::chrono::steady_clock::now();
        bridge->signal(signal);
        const auto result = bridge->finish(patience);
        const auto took = std::chrono::steady_clock::now() - sent;
        if (signal == SIGTERM) {
            EXPECT_EQ(result.exitStatus, 0) << result.output;
            EXPECT_LT(took, 2s);
            EXPECT_NE(result.output.find("stopping on SIGTERM"), std::string::npos) << result.output;
        }
        EXPECT_TRUE(sawState("alpha", "offline", mark)) << signal;
        TestClient late(broker.port, viewerAccount, "late");
        late.subscribe("ravenlink/alpha/state");
        EXPECT_TRUE(late.waitFor("ravenlink/alpha/state", "offline"));
    }
}

TEST_F(BridgeTest, SigtermDoesNotWaitForALongExchange)
{
    // A station that never answers the activation: the link would wait 30
    // timeouts (30 s here) for it.
    PtyStation station;
    station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":"1.20"}})" "\n"));
    station.respondWith([](const std::string& request) -> std::string {
        if (request.find("SET_ACTIVATION") != std::string::npos) {
            return "";
        }
        return R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"SN":"X1"},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1}}})" "\n";
    });
    auto bridge = startBridge(bridgeArguments(dir, broker, {"alpha=" + station.port()}, {"--commands", "on", "--timeout", "1000"}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    TestClient operatorClient(broker.port, operatorAccount, "console");
    operatorClient.publish("ravenlink/alpha/cmd", R"({"id":"slow","command":"activate"})");
    const auto deadline = std::chrono::steady_clock::now() + patience;
    const auto asked = [&] {
        const auto requests = station.requests();
        return std::any_of(requests.begin(), requests.end(),
                           [](const std::string& r) { return r.find("SET_ACTIVATION") != std::string::npos; });
    };
    while (!asked() && std::chrono::steady_clock::now() < deadline) {
        station.waitForRequests(station.requests().size() + 1, 1s);
    }
    ASSERT_TRUE(asked());
    const std::size_t mark = watcher->messages().size();
    const auto sent = std::chrono::steady_clock::now();
    bridge->signal(SIGTERM);
    const auto result = bridge->finish(patience);
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 10s);
    EXPECT_TRUE(sawState("alpha", "offline"));
    // The station has the command: it is answered with what is known.
    const auto answer = watcher->waitFor("ravenlink/alpha/cmd/result", "\"slow\"", mark);
    ASSERT_TRUE(answer) << result.output;
    EXPECT_EQ(answer->payload, R"({"id":"slow","ok":false,"error":"the bridge stopped before the station answered: the command may have been carried out"})");
}

TEST_F(BridgeTest, VersionThatIsNoNumberIsLoggedInWords)
{
    // std::stoi's own text would be the bare word "stoi".
    PtyStation station;
    station.respondWith([](const std::string&) -> std::string {
        return R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":"one"}})" "\n";
    });
    auto bridge = startBridge(bridgeArguments(dir, broker, {"alpha=" + station.port()}, {"--timeout", "500"}));
    EXPECT_TRUE(bridge->waitFor("station alpha: no link: openConnection: the station's protocol version is not a number"))
        << bridge->text();
    const auto check = watcher->waitFor("ravenlink/alpha/check", "\"state\":\"unknown\"");
    ASSERT_TRUE(check) << bridge->text();
    EXPECT_NE(check->payload.find("\"reason\":\"link lost: openConnection: the station's protocol version is not a number\""),
              std::string::npos) << check->payload;
}
