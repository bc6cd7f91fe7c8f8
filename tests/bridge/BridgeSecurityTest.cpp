// The site's broker configuration as shipped: nobody without an account,
// viewers only read, operators command, and the bridge subscribes only to
// the commands of stations that take them.
#include "BridgeSupport.h"

using namespace bridgetest;

TEST_F(BridgeTest, ClientsWithoutAValidLoginAreRefused)
{
    const struct {
        Account account;
        int connack;
    } cases[] = {
        {{"", ""}, 5},                          // anonymous: not authorised
        {{"viewer", "not-the-password"}, 5},    // wrong password
        {{"intruder", "whatever"}, 5},          // unknown user
        {viewerAccount, 0},
    };
    for (const auto& c : cases) {
        TestClient client(broker.port, c.account, "login-" + c.account.user);
        EXPECT_EQ(client.connectResult(), c.connack) << c.account.user;
    }
}

TEST_F(BridgeTest, ViewerCommandIsDroppedOperatorCommandRuns)
{
    const auto alpha = station("alpha");
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}, {"--commands", "on"}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();

    TestClient viewer(broker.port, viewerAccount, "phone");
    viewer.publish("ravenlink/alpha/cmd", R"({"id":"from-viewer","command":"activate"})");
    TestClient operatorClient(broker.port, operatorAccount, "console");
    // The broker took the viewer's command first; had it passed, its result
    // would come before this one.
    EXPECT_EQ(command(operatorClient, "alpha", "from-operator", R"({"id":"from-operator","command":"torque","value":42})"),
              R"({"id":"from-operator","ok":true,"error":"","sent":42})");
    for (const Message& m : watcher->messages()) {
        EXPECT_EQ(m.payload.find("from-viewer"), std::string::npos) << m.topic << " " << m.payload;
    }
    // The operator's setting shows in the status; the viewer's activation does not.
    const auto status = watcher->waitFor("ravenlink/alpha/status", "\"retTorque\":42");
    ASSERT_TRUE(status);
    EXPECT_NE(status->payload.find("\"activation\":0,"), std::string::npos) << status->payload;

    const auto result = stopBridge(*bridge);
    EXPECT_EQ(result.output.find("from-viewer"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("command from-operator (torque) done"), std::string::npos) << result.output;
}

TEST_F(BridgeTest, OnlyStationsWithCommandsOnSubscribe)
{
    const auto alpha = station("alpha");
    const auto beta = station("beta");
    writeFile(dir.file("bridge.conf"), "[broker]\nurl = mqtt://127.0.0.1:" + std::to_string(broker.port) +
                                           "\nusername: ravenlink-bridge\npassword-file = " + dir.file("bridge.password") +
                                           "\nclient-id = bridge\n\n[defaults]\ninterval = 0.2\n\n[station alpha]\nport = " +
                                           dir.file("alpha") + "\ncommands: on\n\n[station beta]\nport = " + dir.file("beta") + "\n");
    writeFile(dir.file("bridge.password"), bridgeAccount.password + "\n");
    auto bridge = startBridge({"--config", dir.file("bridge.conf")});
    // Anything beta's connection subscribed to was sent before its later
    // readings, and the broker logs it before passing those on.
    for (const char* id : {"alpha", "beta"}) {
        ASSERT_TRUE(watcher->waitFor([&](const Message& m) {
            return m.topic == std::string("ravenlink/") + id + "/status" && seqOf(m) >= 3;
        })) << bridge->text();
    }
    const std::string log = broker.log();
    EXPECT_NE(log.find("Received SUBSCRIBE from bridge-alpha"), std::string::npos) << log;
    EXPECT_NE(log.find("ravenlink/alpha/cmd (QoS 1)"), std::string::npos) << log;
    EXPECT_EQ(log.find("Received SUBSCRIBE from bridge-beta"), std::string::npos) << log;
    stopBridge(*bridge);
}
