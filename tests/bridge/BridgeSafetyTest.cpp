// A command runs only when an operator has just sent it, once: never from a
// retained message, never under an id that belongs to another command, and
// a retry of one that never reached the station runs. What the bridge says
// of a station it cannot reach, and what it logs of hostile ids.
#include "BridgeSupport.h"

using namespace bridgetest;

namespace {

const std::string retainedRefusal = "retained command refused: commands must not be published retained";

} // namespace

class BridgeSafety : public BridgeTest {
protected:
    void startWith(const std::vector<std::string>& more = {})
    {
        alpha = station("alpha");
        std::vector<std::string> options = {"--commands", "on"};
        options.insert(options.end(), more.begin(), more.end());
        bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}, options));
        ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    }

    void TearDown() override
    {
        if (bridge) {
            stopBridge(*bridge);
        }
    }

    // The activation flag of the first reading from message \p from on that
    // was taken after a command \p id ran (the bridge reads one at once).
    std::string activationAfter(const std::string& id)
    {
        const std::size_t mark = watcher->messages().size();
        EXPECT_EQ(command(operatorClient, "alpha", id, R"({"id":")" + id + R"(","command":"torque","value":33})"),
                  R"({"id":")" + id + R"(","ok":true,"error":"","sent":33})");
        const auto status = watcher->waitFor("ravenlink/alpha/status", "\"retTorque\":33,", mark);
        if (!status) {
            return "no status";
        }
        const std::smatch match = [&] {
            std::smatch m;
            std::regex_search(status->payload, m, std::regex(R"("activation":(\d+),)"));
            return m;
        }();
        return match.empty() ? "no activation in " + status->payload : match[1].str();
    }

    std::unique_ptr<ravenlinktest::Simulator> alpha;
    std::unique_ptr<ravenlinktest::InteractiveChild> bridge;
    TestClient operatorClient{broker.port, operatorAccount, "console"};
};

TEST_F(BridgeSafety, RetainedCommandNeverRuns)
{
    // Left on the broker from before the bridge started, as after a restart.
    operatorClient.publish("ravenlink/alpha/cmd", R"({"id":"kept","command":"activate"})", true);
    const std::size_t mark = watcher->messages().size();
    startWith();
    const auto result = watcher->waitFor("ravenlink/alpha/cmd/result", "\"kept\"", mark);
    ASSERT_TRUE(result) << bridge->text();
    EXPECT_EQ(result->payload, R"({"id":"kept","ok":false,"error":")" + retainedRefusal + "\"}");
    EXPECT_EQ(activationAfter("probe"), "0");
    EXPECT_TRUE(bridge->waitFor("command kept refused: " + retainedRefusal));
}

TEST_F(BridgeSafety, RetainedCommandPublishedUnderMqtt5IsRefusedAtOnce)
{
    // Under MQTT 5 the flag reaches a live subscriber too.
    startWith({"--protocol", "5"});
    const std::size_t mark = watcher->messages().size();
    operatorClient.publish("ravenlink/alpha/cmd", R"({"id":"live","command":"activate"})", true);
    const auto result = watcher->waitFor("ravenlink/alpha/cmd/result", "\"live\"", mark);
    ASSERT_TRUE(result) << bridge->text();
    EXPECT_EQ(result->payload, R"({"id":"live","ok":false,"error":")" + retainedRefusal + "\"}");
    EXPECT_EQ(activationAfter("probe"), "0");
}

TEST_F(BridgeSafety, IdOfAnotherCommandIsRefusedAndNeverRuns)
{
    startWith();
    EXPECT_EQ(command(operatorClient, "alpha", "op-1", R"({"id":"op-1","command":"activate"})"),
              R"({"id":"op-1","ok":true,"error":""})");
    EXPECT_EQ(command(operatorClient, "alpha", "op-1", R"({"id":"op-1","command":"deactivate"})"),
              R"({"id":"op-1","ok":false,"error":"id already used for another command"})");
    EXPECT_EQ(activationAfter("probe"), "16");
    // The first command itself, sent again, is still a repeat.
    EXPECT_EQ(command(operatorClient, "alpha", "op-1", R"({"id":"op-1","command":"activate"})"),
              R"({"id":"op-1","ok":true,"error":""})");
    EXPECT_TRUE(bridge->waitFor("command op-1 (deactivate) refused: id already used for another command"));
}

TEST_F(BridgeSafety, PayloadWithANulByteIsRefused)
{
    startWith();
    ASSERT_EQ(command(operatorClient, "alpha", "on", R"({"id":"on","command":"activate"})"),
              R"({"id":"on","ok":true,"error":""})");
    const std::size_t mark = watcher->messages().size();
    operatorClient.publish("ravenlink/alpha/cmd", std::string("{\"id\":\"z\",\"command\":\"deactivate\"}\0junk", 38));
    const auto result = watcher->waitFor("ravenlink/alpha/cmd/result", "\"id\":null", mark);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->payload, R"({"id":null,"ok":false,"error":"malformed JSON: the command holds a NUL byte"})");
    EXPECT_EQ(activationAfter("probe"), "16");
}

TEST_F(BridgeSafety, ControlCharactersOfAnIdAreEscapedInTheLog)
{
    startWith();
    // U+009B is a terminal's CSI, as ESC [ is.
    const std::size_t mark = watcher->messages().size();
    operatorClient.publish("ravenlink/alpha/cmd", R"({"id":"c1\u009b31m\u001b[2J","command":"activate"})");
    const auto result = watcher->waitFor("ravenlink/alpha/cmd/result", "{\"id\":\"c1", mark);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->payload, "{\"id\":\"c1\xc2\x9b" "31m\\u001b[2J\",\"ok\":true,\"error\":\"\"}");
    ASSERT_TRUE(bridge->waitFor("command c1\\x9b31m\\x1b[2J (activate) done")) << bridge->text();
    const std::string log = bridge->text();
    EXPECT_EQ(log.find("\xc2\x9b"), std::string::npos);
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

TEST_F(BridgeTest, StationAwayIsUnknownWithItsReasonAndARefusedCommandMayBeSentAgain)
{
    auto alpha = station("alpha", {"--vanish-after", "6"});
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}, {"--commands", "on"}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    ASSERT_TRUE(watcher->waitFor("ravenlink/alpha/check", "\"state\":\"ok\"")) << bridge->text();
    ASSERT_TRUE(sawState("alpha", "link-lost")) << bridge->text();
    EXPECT_EQ(alpha->waitExit(patience), 0);

    // The check says that nothing is known, and why, as the log does.
    const auto unknown = watcher->waitFor("ravenlink/alpha/check", "\"state\":\"unknown\"");
    ASSERT_TRUE(unknown) << bridge->text();
    EXPECT_TRUE(std::regex_match(unknown->payload,
                                 std::regex(R"(\{"time":"[^"]+","state":"unknown","reason":"link lost: [^"]+","findings":\[\]\})")))
        << unknown->payload;
    const std::string reason = unknown->payload.substr(unknown->payload.find("\"reason\":\"link lost: ") + 21);
    EXPECT_TRUE(bridge->waitFor("station alpha: link lost: " + reason.substr(0, reason.find('"'))))
        << unknown->payload << "\n" << bridge->text();
    TestClient late(broker.port, viewerAccount, "late");
    late.subscribe("ravenlink/alpha/check");
    EXPECT_TRUE(late.waitFor("ravenlink/alpha/check", "\"state\":\"unknown\""));

    TestClient operatorClient(broker.port, operatorAccount, "console");
    const std::string payload = R"({"id":"again","command":"activate"})";
    EXPECT_EQ(command(operatorClient, "alpha", "again", payload), R"({"id":"again","ok":false,"error":"link lost"})");

    const std::size_t mark = watcher->messages().size();
    alpha = station("alpha");
    ASSERT_TRUE(sawState("alpha", "online", mark)) << bridge->text();
    EXPECT_TRUE(watcher->waitFor("ravenlink/alpha/check", "\"state\":\"ok\"", mark)) << bridge->text();
    // The refusal was no run: the same command under the same id now runs.
    const std::size_t before = watcher->messages().size();
    EXPECT_EQ(command(operatorClient, "alpha", "again", payload), R"({"id":"again","ok":true,"error":""})");
    EXPECT_TRUE(watcher->waitFor("ravenlink/alpha/status", "\"activation\":16,", before));
    stopBridge(*bridge);
}
