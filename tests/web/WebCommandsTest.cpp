// Commands through the page's API: the broker decides who may send them,
// the bridge answers them, and the answer comes back to the sender.
#include "WebSupport.h"

using namespace webtest;

TEST_F(WebTest, OperatorCommandsAndGetsTheBridgesResult)
{
    const auto torque = post(operatorAccount, "alpha", R"({"id":"t-1","command":"torque","value":40.7})");
    ASSERT_TRUE(torque);
    EXPECT_EQ(torque->status, 200);
    EXPECT_EQ(torque->body, R"({"id":"t-1","ok":true,"error":"","sent":40})");
    EXPECT_EQ(torque->get_header_value("Content-Type"), "application/json");

    // Without an id the server gives the command one of its own.
    const auto start = post(operatorAccount, "alpha", R"({"command":"start-length","value":2.5})");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->status, 200);
    const Json result = Json::parse(start->body);
    EXPECT_EQ(result["id"].get<std::string>().rfind("web-", 0), 0U) << start->body;
    EXPECT_EQ(result["ok"], true);
    EXPECT_EQ(result["sent"], 250);

    // The bridge's refusal is its answer too.
    const auto tooMuch = post(operatorAccount, "alpha", R"({"id":"t-2","command":"torque","value":150})");
    ASSERT_TRUE(tooMuch);
    EXPECT_EQ(tooMuch->status, 200);
    EXPECT_EQ(Json::parse(tooMuch->body)["ok"], false) << tooMuch->body;

    // The new settings show in the station's status.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    Json cab;
    while (std::chrono::steady_clock::now() < deadline) {
        cab = Json::parse(client(operatorAccount).Get("/api/stations/alpha")->body)["status"]["status"]["cab"];
        if (cab["retTorque"] == 40 && cab["retStart"] == 2.5) {
            break;
        }
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(cab["retTorque"], 40) << cab.dump();
    EXPECT_EQ(cab["retStart"], 2.5) << cab.dump();
}

TEST_F(WebTest, ViewerIsRefusedByTheBrokerAndNothingRuns)
{
    const std::size_t mark = watcher->messages().size();
    const auto refused = post(viewerAccount, "alpha", R"({"id":"v-1","command":"activate"})");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    EXPECT_EQ(refused->body,
              R"x({"error":"the broker refused the command: Not authorized (reason code 0x87)","reason":135})x");
    // The bridge answers one station's commands in order: once the
    // operator's later one is answered, the viewer's never came.
    const auto later = post(operatorAccount, "alpha", R"({"id":"o-1","command":"deactivate"})");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->body, R"({"id":"o-1","ok":true,"error":""})");
    for (const Message& message : watcher->messages()) {
        EXPECT_EQ(message.payload.find("v-1"), std::string::npos) << message.topic << " " << message.payload;
    }
    EXPECT_GT(watcher->messages().size(), mark);
    EXPECT_NE(broker.log().find("Denied PUBLISH"), std::string::npos);
}

TEST_F(WebTest, CommandsThatCannotBeSentAreRefusedBeforeTheBroker)
{
    const std::pair<std::string, std::string> bad[] = {
        {"not json", R"({"error":"the body is the bridge's command object, such as {\"command\":\"torque\",\"value\":40}"})"},
        {R"({"value":40})", R"({"error":"the body is the bridge's command object, such as {\"command\":\"torque\",\"value\":40}"})"},
        {R"({"id":7,"command":"activate"})", R"x({"error":"id: a text of 1 to 128 characters, or none (the server makes one up)"})x"},
        {R"({"id":"","command":"activate"})", R"x({"error":"id: a text of 1 to 128 characters, or none (the server makes one up)"})x"},
    };
    for (const auto& [body, error] : bad) {
        const auto response = post(operatorAccount, "alpha", body);
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 400) << body;
        EXPECT_EQ(response->body, error) << body;
    }
    // A page of another site cannot command with a login that the browser
    // remembers; the server's own page and scripts (no Origin) can.
    auto http = client(operatorAccount);
    const auto foreign = http.Post("/api/stations/alpha/commands", {{"Origin", "http://evil.example"}},
                                   R"({"command":"activate"})", "text/plain");
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->status, 403);
    EXPECT_EQ(foreign->body, R"({"error":"a command from the page of another site is refused"})");
    const std::string own = "http://127.0.0.1:" + std::to_string(server->port);
    const auto same = http.Post("/api/stations/alpha/commands", {{"Origin", own}},
                                R"({"id":"same-1","command":"deactivate"})", "application/json");
    ASSERT_TRUE(same);
    EXPECT_EQ(same->body, R"({"id":"same-1","ok":true,"error":""})");
    const auto form = http.Post("/api/stations/alpha/commands", R"({"id":"form-1","command":"deactivate"})",
                                "application/x-www-form-urlencoded");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->body, R"({"id":"form-1","ok":true,"error":""})");
    for (const char* station : {"gamma", "al+pha", "%23"}) {
        const auto response = post(operatorAccount, station, R"({"command":"activate"})");
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 404) << station;
    }
    EXPECT_EQ(post(operatorAccount, "gamma", R"({"command":"activate"})")->body,
              R"({"error":"no station gamma on the broker"})");

    // A station whose bridge is gone takes no commands: answered at once.
    stopBridge(*bridge);
    ASSERT_TRUE(sawState("alpha", "offline"));
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (Json::parse(client(operatorAccount).Get("/api/stations/alpha")->body)["state"] != "offline" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    const auto begin = std::chrono::steady_clock::now();
    const auto offline = post(operatorAccount, "alpha", R"({"command":"activate"})");
    ASSERT_TRUE(offline);
    EXPECT_EQ(offline->status, 409);
    EXPECT_EQ(offline->body, R"({"error":"station alpha is offline: no bridge takes its commands"})");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
}
