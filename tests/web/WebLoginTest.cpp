// Who may come in: nobody without a broker account, and each user with the
// rights the broker's ACL gives their account.
#include "WebSupport.h"

using namespace webtest;

namespace {

const char* const challenge = R"(Basic realm="ravenlink-web", charset="UTF-8")";

} // namespace

TEST_F(WebTest, WithoutALoginEveryApiPathIs401WithTheChallenge)
{
    const Account nobody{"", ""};
    auto http = client(nobody);
    for (const char* path : {"/api/stations", "/api/stations/alpha", "/api/events", "/api/me", "/api/settings"}) {
        const auto response = http.Get(path);
        ASSERT_TRUE(response) << path;
        EXPECT_EQ(response->status, 401) << path;
        EXPECT_EQ(response->get_header_value("WWW-Authenticate"), challenge) << path;
        EXPECT_EQ(response->body, R"x({"error":"log in with your broker account (HTTP Basic)"})x") << path;
    }
    const auto command = post(nobody, "alpha", R"({"command":"activate"})");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->status, 401);

    // A wrong password, an unknown account and a header that is no Basic
    // login are all refused the same way.
    for (const Account& wrong : {Account{"operator", "not-the-password"}, Account{"intruder", "x"}}) {
        const auto response = client(wrong).Get("/api/stations");
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 401);
        EXPECT_EQ(response->get_header_value("WWW-Authenticate"), challenge);
        EXPECT_EQ(response->body, R"({"error":"the broker refused the login of )" + wrong.user + "\"}");
    }
    for (const char* header : {"Basic !!!", "Bearer abc", "Basic b3BlcmF0b3I="}) {
        const auto response = http.Get("/api/me", {{"Authorization", header}});
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 401) << header;
    }
    // The page itself is public: it holds nothing but the login form.
    const auto page = http.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<html"), std::string::npos);
    EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
    // Nothing outside the page's folder is served.
    for (const char* path : {"/../CMakeLists.txt", "/%2e%2e/CMakeLists.txt", "/..%2fCMakeLists.txt"}) {
        const auto outside = http.Get(path);
        ASSERT_TRUE(outside) << path;
        EXPECT_NE(outside->status, 200) << path;
        EXPECT_EQ(outside->body.find("cmake_minimum_required"), std::string::npos) << path;
    }
    EXPECT_EQ(http.Get("/api/nothing")->status, 404);
}

TEST_F(WebTest, EachUserHasTheRightsOfTheirBrokerAccount)
{
    const auto viewer = client(viewerAccount).Get("/api/me");
    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->status, 200);
    EXPECT_EQ(viewer->body,
              R"({"user":"viewer","mayCommand":false,"mayRead":true,"connected":true,"topicPrefix":"ravenlink"})");
    const auto operatorMe = client(operatorAccount).Get("/api/me");
    ASSERT_TRUE(operatorMe);
    EXPECT_EQ(operatorMe->body,
              R"({"user":"operator","mayCommand":true,"mayRead":true,"connected":true,"topicPrefix":"ravenlink"})");
    // The page bounds its fields by the values the bridge takes.
    const auto settings = client(viewerAccount).Get("/api/settings");
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->body,
              R"([{"command":"torque","key":"retTorque","unit":"%","min":0.0,"max":100.0,"step":1.0,)"
              R"("range":"a number from 0 to 100"},)"
              R"({"command":"start-length","key":"retStart","unit":"m","min":0.3,"max":655.35,"step":0.01,)"
              R"("range":"a number of metres from 0.3 to 655.35"}])");
    // The bridge's account may command nothing, so the page offers it no
    // controls either.
    const auto bridgeMe = client(bridgeAccount).Get("/api/me");
    ASSERT_TRUE(bridgeMe);
    EXPECT_EQ(Json::parse(bridgeMe->body)["mayCommand"], false);

    // Both see every station: the ACL lets both read ravenlink/#.
    for (const Account& account : {viewerAccount, operatorAccount}) {
        const auto stations = client(account).Get("/api/stations");
        ASSERT_TRUE(stations);
        ASSERT_EQ(stations->status, 200);
        EXPECT_EQ(stations->get_header_value("Content-Type"), "application/json");
        const Json list = Json::parse(stations->body);
        ASSERT_EQ(list.size(), 2U) << stations->body;
        EXPECT_EQ(list[0]["id"], "alpha");
        EXPECT_EQ(list[1]["id"], "beta");
        for (const Json& station : list) {
            EXPECT_EQ(station["state"], "online");
            EXPECT_TRUE(station["status"]["status"]["cab"]["length"].is_number()) << station.dump();
            EXPECT_TRUE(station["details"]["details"]["sn"].is_string()) << station.dump();
            EXPECT_TRUE(station["check"]["state"].is_string()) << station.dump();
            EXPECT_TRUE(station["findings"].is_array()) << station.dump();
            EXPECT_EQ(station["updated"].get<std::string>().size(), 24U) << station.dump();
        }
    }
    const auto one = client(viewerAccount).Get("/api/stations/beta");
    ASSERT_TRUE(one);
    EXPECT_EQ(Json::parse(one->body)["id"], "beta");
    EXPECT_EQ(client(viewerAccount).Get("/api/stations/gamma")->body, R"({"error":"no station gamma on the broker"})");
}

TEST_F(WebTest, ALoginThatTheBrokerCannotJudgeIs503)
{
    broker.stop();
    const auto response = client(operatorAccount).Get("/api/stations");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 503);
    EXPECT_EQ(response->body, R"({"error":"the broker cannot be reached to check the login; try again"})");
    // Once it is back, the same login goes through.
    broker.start();
    const auto deadline = std::chrono::steady_clock::now() + patience;
    int status = 0;
    while ((status = client(operatorAccount).Get("/api/me")->status) != 200 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(status, 200);
}
