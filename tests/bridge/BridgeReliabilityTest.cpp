// A station unplugged and plugged in again, and a broker restarted: the
// bridge carries on with both.
#include "BridgeSupport.h"

using namespace bridgetest;

TEST_F(BridgeTest, StationThatVanishesAndReturns)
{
    auto alpha = station("alpha", {"--vanish-after", "6"});
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}, {"--commands", "on"}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    ASSERT_TRUE(sawState("alpha", "link-lost")) << bridge->text();
    EXPECT_EQ(alpha->waitExit(patience), 0);
    const auto before = watcher->waitFor("ravenlink/alpha/status", "\"seq\":");
    ASSERT_TRUE(before);

    // Fails at once: nothing is queued for a station that is away.
    TestClient operatorClient(broker.port, operatorAccount, "console");
    EXPECT_EQ(command(operatorClient, "alpha", "away", R"({"id":"away","command":"activate"})"),
              R"({"id":"away","ok":false,"error":"link lost"})");

    const std::size_t mark = watcher->messages().size();
    alpha = station("alpha");
    ASSERT_TRUE(sawState("alpha", "online", mark)) << bridge->text();
    const auto after = watcher->waitFor("ravenlink/alpha/status", "\"seq\":", mark);
    ASSERT_TRUE(after);
    // The readings are numbered on, not from 1 again: however many went
    // out before the station vanished (a loaded machine may take fewer).
    unsigned long long lastBefore = 0;
    const std::vector<Message> seen = watcher->messages();
    for (std::size_t i = 0; i < mark && i < seen.size(); ++i) {
        if (seen[i].topic == "ravenlink/alpha/status") {
            lastBefore = std::max(lastBefore, seqOf(seen[i]));
        }
    }
    EXPECT_GE(lastBefore, 1U);
    EXPECT_GT(seqOf(*after), lastBefore);
    EXPECT_TRUE(watcher->waitFor("ravenlink/alpha/details", "\"details\":", mark));
    const auto result = stopBridge(*bridge);
    EXPECT_NE(result.output.find("station alpha: link lost: "), std::string::npos) << result.output;
}

TEST_F(BridgeTest, BrokerRestartIsSurvived)
{
    const auto alpha = station("alpha");
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}));
    const auto before = watcher->waitFor("ravenlink/alpha/status", "\"seq\":");
    ASSERT_TRUE(before) << bridge->text();

    watcher.reset();
    broker.stop();
    ASSERT_TRUE(bridge->waitFor("station alpha: lost the broker connection", 1, patience)) << bridge->text();
    broker.start();
    // Nothing persisted: what a new subscriber finds was published anew.
    TestClient late(broker.port, viewerAccount, "late");
    late.subscribe("ravenlink/#");
    EXPECT_TRUE(late.waitFor("ravenlink/alpha/state", "online"));
    EXPECT_TRUE(late.waitFor("ravenlink/alpha/details", "\"details\":"));
    const auto after = late.waitFor([&](const Message& m) { return m.topic == "ravenlink/alpha/status" && !m.retained; });
    ASSERT_TRUE(after) << bridge->text();
    EXPECT_GT(seqOf(*after), seqOf(*before));
    stopBridge(*bridge);
}
