// The event stream: a snapshot of every station, then every change as it
// comes from the bridge, a lost station link among them.
#include "WebSupport.h"

using namespace webtest;

TEST_F(WebTest, EventsStartWithEveryStationAndFollowTheBridge)
{
    EventReader events(server->port, viewerAccount);
    EXPECT_EQ(events.responseStatus(), 200);
    const auto first = events.waitForStation("alpha", [](const Json&) { return true; });
    ASSERT_TRUE(first) << events.raw();
    ASSERT_TRUE(events.waitForStation("beta", [](const Json&) { return true; })) << events.raw();
    EXPECT_EQ(events.raw().rfind("retry: 2000\n\nevent: station\ndata: {\"id\":\"", 0), 0U) << events.raw();
    const auto seq = (*first)["status"]["seq"].get<unsigned long long>();
    const auto later = events.waitForStation("alpha", [&](const Json& s) { return s["status"]["seq"] > seq; });
    ASSERT_TRUE(later) << events.raw();
    EXPECT_EQ((*later)["state"], "online");

    // A command's effect arrives as an event of its own.
    const std::size_t mark = events.count();
    ASSERT_EQ(post(operatorAccount, "alpha", R"({"command":"torque","value":12})")->status, 200);
    EXPECT_TRUE(events.waitForStation("alpha", [](const Json& s) { return s["status"]["status"]["cab"]["retTorque"] == 12; },
                                      mark))
        << events.raw();
}

TEST_F(WebTest, ALostBrokerIsToldOnTheStreamWhichGoesOn)
{
    EventReader events(server->port, viewerAccount);
    ASSERT_TRUE(events.waitForStation("alpha", [](const Json&) { return true; })) << events.raw();
    watcher.reset();
    broker.stop();
    const auto lost = events.waitFor([](const Event& e) { return e.name == "broker"; });
    ASSERT_TRUE(lost) << events.raw();
    EXPECT_EQ(lost->data, R"({"connected":false})");
    const std::size_t mark = events.count();
    broker.start();
    const auto back = events.waitFor([](const Event& e) { return e.name == "broker"; }, mark);
    ASSERT_TRUE(back) << events.raw();
    EXPECT_EQ(back->data, R"({"connected":true})");
    // The bridge comes back as well, and its readings flow again (the
    // broker kept nothing: whatever comes now is new).
    EXPECT_TRUE(events.waitForStation("alpha", [](const Json& s) { return s["status"].is_object(); }, mark))
        << events.raw();
}

class WebLinkLostTest : public WebTest {
protected:
    // Gone after its first readings: a few requests to spare, so that a
    // handshake repeated on a loaded machine still leaves a reading out.
    std::vector<std::string> betaOptions() override { return {"--vanish-after", "6"}; }
};

TEST_F(WebLinkLostTest, AStationThatGoesLinkLostShowsIt)
{
    EventReader events(server->port, operatorAccount);
    const auto lost = events.waitForStation("beta", [](const Json& s) { return s["state"] == "link-lost"; });
    ASSERT_TRUE(lost) << events.raw();
    // Its check turns unknown with the link's failure; alpha goes on.
    const auto unknown = events.waitForStation("beta", [](const Json& s) { return s["check"]["state"] == "unknown"; });
    ASSERT_TRUE(unknown) << events.raw();
    EXPECT_EQ((*unknown)["check"]["reason"].get<std::string>().rfind("link lost: ", 0), 0U);
    EXPECT_EQ((*unknown)["findings"], Json::array());
    const Json list = Json::parse(client(viewerAccount).Get("/api/stations")->body);
    EXPECT_EQ(list[0]["state"], "online");
    EXPECT_EQ(list[1]["state"], "link-lost");
}
