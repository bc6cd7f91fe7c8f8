// Commands waiting for a station: a bounded queue, an age after which a
// command is no longer run, readings that keep their interval however many
// commands wait, and an answer for every one of them when the bridge stops.
#include "BridgeSupport.h"
#include "PtyStation.h"

#include <map>

using namespace bridgetest;

namespace {

const char* const handshakeReply = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":"1.20"}})" "\n";
const char* const plainReply =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"SN":"X1"},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1}}})" "\n";

// A station that holds its answer to an activation for \p hold.
void holdActivations(PtyStation& station, Ms hold)
{
    station.then(PtyStation::reply(handshakeReply));
    station.respondWith([hold](const std::string& request) -> std::string {
        if (request.find("SET_ACTIVATION") != std::string::npos) {
            std::this_thread::sleep_for(hold);
        }
        return plainReply;
    });
}

bool asked(const PtyStation& station, const std::string& key)
{
    const auto requests = station.requests();
    return std::any_of(requests.begin(), requests.end(),
                       [&](const std::string& r) { return r.find(key) != std::string::npos; });
}

bool waitAsked(const PtyStation& station, const std::string& key)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!asked(station, key) && std::chrono::steady_clock::now() < deadline) {
        station.waitForRequests(station.requests().size() + 1, 1s);
    }
    return asked(station, key);
}

// Every result on \p station's result topic from message \p from on, by id.
std::map<std::string, std::vector<std::string>> resultsById(TestClient& watcher, const std::string& station,
                                                            std::size_t from)
{
    std::map<std::string, std::vector<std::string>> results;
    const auto messages = watcher.messages();
    for (std::size_t i = from; i < messages.size(); ++i) {
        if (messages[i].topic == "ravenlink/" + station + "/cmd/result") {
            results[resultId(messages[i])].push_back(messages[i].payload);
        }
    }
    return results;
}

std::string torque(const std::string& id, int percent)
{
    return R"({"id":")" + id + R"(","command":"torque","value":)" + std::to_string(percent) + "}";
}

} // namespace

TEST_F(BridgeTest, FloodOfCommandsKeepsReadingsAndIsAnsweredInFull)
{
    const auto alpha = station("alpha", {"--delay", "20"});
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}, {"--commands", "on"}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    TestClient operatorClient(broker.port, operatorAccount, "console");
    const std::size_t mark = watcher->messages().size();
    const int flood = 300;
    for (int i = 0; i < flood; ++i) {
        operatorClient.send("ravenlink/alpha/cmd", torque("f" + std::to_string(i), 20 + i % 50));
    }
    operatorClient.publish("ravenlink/alpha/cmd", R"({"id":"late","command":"deactivate"})");
    const auto sent = std::chrono::steady_clock::now();
    // Reading the bridge's log as it comes keeps it from blocking on a full pipe.
    std::map<std::string, std::vector<std::string>> results;
    while (results.size() < static_cast<std::size_t>(flood) + 1 && std::chrono::steady_clock::now() < sent + patience) {
        bridge->waitFor("\x01", 1, 100ms);
        results = resultsById(*watcher, "alpha", mark);
    }
    ASSERT_EQ(results.size(), static_cast<std::size_t>(flood) + 1) << bridge->text();
    int full = 0;
    for (int i = 0; i < flood; ++i) {
        const std::string id = "f" + std::to_string(i);
        ASSERT_EQ(results[id].size(), 1U) << id;
        if (results[id][0] == R"({"id":")" + id + R"(","ok":false,"error":"queue full"})") {
            ++full;
        } else {
            EXPECT_EQ(results[id][0], R"({"id":")" + id + R"(","ok":true,"error":"","sent":)" + std::to_string(20 + i % 50) + "}");
        }
    }
    EXPECT_GT(full, 0);
    EXPECT_GE(flood - full, 16);
    ASSERT_EQ(results["late"].size(), 1U);
    EXPECT_TRUE(results["late"][0] == R"({"id":"late","ok":true,"error":""})" ||
                results["late"][0] == R"({"id":"late","ok":false,"error":"queue full"})")
        << results["late"][0];

    // While commands ran, readings kept their interval (0.2 s, generous
    // bounds): never long without one, never many commands in a row.
    const auto messages = watcher->messages();
    std::chrono::steady_clock::time_point lastReading = messages[mark].at;
    std::chrono::steady_clock::duration longestGap{};
    int ranInARow = 0;
    int mostInARow = 0;
    for (std::size_t i = mark; i < messages.size(); ++i) {
        const Message& m = messages[i];
        if (m.topic == "ravenlink/alpha/status") {
            longestGap = std::max(longestGap, m.at - lastReading);
            lastReading = m.at;
            ranInARow = 0;
        } else if (m.topic == "ravenlink/alpha/cmd/result" && m.payload.find("\"ok\":true") != std::string::npos) {
            mostInARow = std::max(mostInARow, ++ranInARow);
            longestGap = std::max(longestGap, m.at - lastReading);
        }
    }
    EXPECT_LT(longestGap, 2s);
    EXPECT_LE(mostInARow, 30);
    const auto result = stopBridge(*bridge);
    EXPECT_NE(result.output.find("command f299 (torque) failed: queue full"), std::string::npos) << result.output;
}

TEST_F(BridgeTest, CommandThatWaitedTooLongIsNotRun)
{
    PtyStation station;
    // Well beyond the 10 s a command may wait; an activation may take 30
    // timeouts, 15 s here.
    holdActivations(station, 13000ms);
    auto bridge = startBridge(bridgeArguments(dir, broker, {"alpha=" + station.port()}, {"--commands", "on", "--timeout", "500"}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    TestClient operatorClient(broker.port, operatorAccount, "console");
    const std::size_t mark = watcher->messages().size();
    operatorClient.publish("ravenlink/alpha/cmd", R"({"id":"slow","command":"activate"})");
    ASSERT_TRUE(waitAsked(station, "SET_ACTIVATION"));
    operatorClient.publish("ravenlink/alpha/cmd", torque("stale", 70));
    const auto resultOf = [](const std::string& id) {
        return [id](const Message& m) { return m.topic == "ravenlink/alpha/cmd/result" && resultId(m) == id; };
    };
    const auto stale = watcher->waitFor(resultOf("stale"), mark, Ms(40000));
    ASSERT_TRUE(stale) << bridge->text();
    EXPECT_EQ(stale->payload, R"({"id":"stale","ok":false,"error":"expired, not run"})");
    const auto slow = watcher->waitFor(resultOf("slow"), mark);
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->payload, R"({"id":"slow","ok":true,"error":""})");
    EXPECT_FALSE(asked(station, "SET_RET_TORQUE"));
    // Never having reached the station, it may be sent again, and then runs.
    EXPECT_EQ(command(operatorClient, "alpha", "stale", torque("stale", 70)),
              R"({"id":"stale","ok":true,"error":"","sent":70})");
    stopBridge(*bridge);
}

TEST_F(BridgeTest, SigtermAnswersEveryCommandBeforeItDisconnects)
{
    PtyStation station;
    holdActivations(station, 2500ms);
    auto bridge = startBridge(bridgeArguments(dir, broker, {"alpha=" + station.port()}, {"--commands", "on"}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    TestClient operatorClient(broker.port, operatorAccount, "console");
    const std::size_t mark = watcher->messages().size();
    operatorClient.publish("ravenlink/alpha/cmd", R"({"id":"running","command":"activate"})");
    ASSERT_TRUE(waitAsked(station, "SET_ACTIVATION"));
    for (int i = 0; i < 10; ++i) {
        operatorClient.publish("ravenlink/alpha/cmd", torque("q" + std::to_string(i), 50));
    }
    // The broker has them; the bridge takes them within moments, and the
    // station holds the activation for seconds yet.
    std::this_thread::sleep_for(300ms);
    const auto signalled = std::chrono::steady_clock::now();
    const auto result = stopBridge(*bridge);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 6s);
    const auto results = resultsById(*watcher, "alpha", mark);
    ASSERT_EQ(results.count("running"), 1U) << result.output;
    EXPECT_EQ(results.at("running"), std::vector<std::string>{R"({"id":"running","ok":true,"error":""})"});
    for (int i = 0; i < 10; ++i) {
        const std::string id = "q" + std::to_string(i);
        ASSERT_EQ(results.count(id), 1U) << id << "\n" << result.output;
        EXPECT_EQ(results.at(id), std::vector<std::string>{R"({"id":")" + id + R"(","ok":false,"error":"not run: the bridge is stopping"})"});
    }
    EXPECT_FALSE(asked(station, "SET_RET_TORQUE"));
    EXPECT_TRUE(sawState("alpha", "offline", mark));
}
