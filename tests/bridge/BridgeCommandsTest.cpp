// Commands end to end: refused ones never reach the station, and an id
// delivered again is answered again without running again.
#include "BridgeSupport.h"

using namespace bridgetest;

class BridgeCommands : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        alpha = station("alpha");
        bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}, {"--commands", "on"}));
        ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
        operatorClient = std::make_unique<TestClient>(broker.port, operatorAccount, "console");
    }

    void TearDown() override { stopBridge(*bridge); }

    // The first status from message \p from on that holds \p part; the
    // bridge reads one right after a command that ran.
    std::string statusAfter(const std::string& part, std::size_t from)
    {
        const auto status = watcher->waitFor("ravenlink/alpha/status", part, from);
        return status ? status->payload : "no status with " + part;
    }

    std::unique_ptr<ravenlinktest::Simulator> alpha;
    std::unique_ptr<ravenlinktest::InteractiveChild> bridge;
    std::unique_ptr<TestClient> operatorClient;
};

TEST_F(BridgeCommands, RefusedCommandsNeverReachTheStation)
{
    // Away from the simulator's own 40 % and 1.5 m.
    std::size_t mark = watcher->messages().size();
    ASSERT_EQ(command(*operatorClient, "alpha", "base", R"({"id":"base","command":"configure","value":{"activation":false,"retTorque":25,"retStart":2}})"),
              R"({"id":"base","ok":true,"error":"","sent":{"activation":false,"retTorque":25,"retStart":200}})");
    statusAfter("\"retTorque\":25,\"retStart\":2,", mark);
    // The library would clamp these and send 100 %, 0.3 m and 0 % to the station.
    const struct {
        std::string id;
        std::string payload;
        std::string error;
    } cases[] = {
        {"t1", R"({"id":"t1","command":"torque","value":150})", "torque: value must be a number from 0 to 100"},
        {"t2", R"({"id":"t2","command":"start-length","value":0.1})", "start-length: value must be a number of metres from 0.3 to 655.35"},
        {"t3", R"({"id":"t3","command":"torque","value":"5"})", "torque: value must be a number from 0 to 100"},
        {"t4", R"({"id":"t4","command":"launch"})", "unknown command 'launch': must be one of activate, deactivate, torque, start-length, configure, groups"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(command(*operatorClient, "alpha", c.id, c.payload), "{\"id\":\"" + c.id + "\",\"ok\":false,\"error\":\"" + c.error + "\"}");
    }
    // Without a usable id the result carries null.
    mark = watcher->messages().size();
    operatorClient->publish("ravenlink/alpha/cmd", "{\"id\":\"x\",\"command\":");
    const auto unparsed = watcher->waitFor("ravenlink/alpha/cmd/result", "\"id\":null", mark);
    ASSERT_TRUE(unparsed);
    EXPECT_EQ(unparsed->payload, R"({"id":null,"ok":false,"error":"malformed JSON"})");

    mark = watcher->messages().size();
    ASSERT_EQ(command(*operatorClient, "alpha", "after", R"({"id":"after","command":"activate"})"),
              R"({"id":"after","ok":true,"error":""})");
    // The first status with the activation still holds the earlier settings.
    const std::string status = statusAfter("\"activation\":16,", mark);
    EXPECT_NE(status.find("\"retTorque\":25,\"retStart\":2,"), std::string::npos) << status;
}

TEST_F(BridgeCommands, RepeatedIdIsAnsweredAgainWithoutRunning)
{
    const std::string first = R"({"id":"r1","command":"torque","value":30})";
    std::size_t mark = watcher->messages().size();
    EXPECT_EQ(command(*operatorClient, "alpha", "r1", first), R"({"id":"r1","ok":true,"error":"","sent":30})");
    EXPECT_EQ(command(*operatorClient, "alpha", "r2", R"({"id":"r2","command":"torque","value":60})"),
              R"({"id":"r2","ok":true,"error":"","sent":60})");
    statusAfter("\"retTorque\":60,", mark);
    // The broker delivering r1 a second time must not set 30 % again.
    EXPECT_EQ(command(*operatorClient, "alpha", "r1", first), R"({"id":"r1","ok":true,"error":"","sent":30})");
    mark = watcher->messages().size();
    EXPECT_EQ(command(*operatorClient, "alpha", "r3", R"({"id":"r3","command":"start-length","value":2.5})"),
              R"({"id":"r3","ok":true,"error":"","sent":250})");
    const std::string status = statusAfter("\"retStart\":2.5,", mark);
    EXPECT_NE(status.find("\"retTorque\":60,"), std::string::npos) << status;
    EXPECT_TRUE(bridge->waitFor("command r1: a repeat, answered without running it again"));
}

TEST_F(BridgeCommands, GroupNotDeliveredIsNullAndYieldsNoFinding)
{
    const std::size_t mark = watcher->messages().size();
    ASSERT_EQ(command(*operatorClient, "alpha", "g", R"({"id":"g","command":"groups","value":{"cab":0}})"),
              R"({"id":"g","ok":true,"error":""})");
    const auto status = watcher->waitFor("ravenlink/alpha/status", "\"cab\":null", mark);
    ASSERT_TRUE(status) << bridge->text();
    EXPECT_NE(status->payload.find("\"configStatus\":{\"cab\":0,"), std::string::npos) << status->payload;
    // A tether that was not reported is no tether failure.
    ASSERT_TRUE(watcher->waitFor([&](const Message& m) {
        return m.topic == "ravenlink/alpha/status" && seqOf(m) >= seqOf(*status) + 2;
    }, mark)) << bridge->text();
    TestClient late(broker.port, viewerAccount, "late");
    late.subscribe("ravenlink/alpha/check");
    const auto check = late.waitFor([](const Message& m) { return m.topic == "ravenlink/alpha/check"; });
    ASSERT_TRUE(check);
    EXPECT_NE(check->payload.find("\"state\":\"ok\",\"findings\":[]}"), std::string::npos) << check->payload;
}
