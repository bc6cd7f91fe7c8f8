// The metrics endpoint of the running bridge, on a real broker with a
// simulated station: what it serves and refuses, promtool's verdict on it, a
// real Prometheus scraping it, and the retained health topic.
#include "BridgeSupport.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace bridgetest {

namespace {

std::string listenArg(int port) { return "127.0.0.1:" + std::to_string(port); }

// GET \p path on 127.0.0.1:\p port; status -1 when nothing answered.
struct Reply {
    int status = -1;
    std::string contentType;
    std::string body;
};

Reply get(int port, const std::string& path)
{
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2, 0);
    client.set_read_timeout(5, 0);
    const httplib::Result result = client.Get(path.c_str());
    Reply reply;
    if (result) {
        reply.status = result->status;
        reply.contentType = result->get_header_value("Content-Type");
        reply.body = result->body;
    }
    return reply;
}

// Polls \p done every 100 ms until it holds or \p timeout has passed: each
// look is a request to Prometheus.
bool eventually(const std::function<bool()>& done, Ms timeout = patience)
{
    return ravenlinktest::eventually(done, timeout, 100ms);
}

// Prometheus on 127.0.0.1 with its own configuration and storage in the
// scratch folder, scraping \p target every second; its log goes to
// prometheus.log.
class Prometheus {
public:
    Prometheus(const ScratchDir& dir, int target) : dir(dir), port(freePort())
    {
        writeFile(dir.file("prometheus.yml"), "global:\n"
                                              "  scrape_interval: 1s\n"
                                              "  scrape_timeout: 1s\n"
                                              "  evaluation_interval: 1s\n"
                                              "scrape_configs:\n"
                                              "  - job_name: ravenlink-bridge\n"
                                              "    static_configs:\n"
                                              "      - targets: ['" + listenArg(target) + "']\n");
        const int logFd = ::open(dir.file("prometheus.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        pid = ravenlinktest::detail::spawnChild(
            PROMETHEUS_PATH, "",
            {"--config.file=" + dir.file("prometheus.yml"), "--storage.tsdb.path=" + dir.file("tsdb"),
             "--web.listen-address=" + listenArg(port), "--log.level=warn"},
            nullFd, logFd, logFd);
        ::close(logFd);
        ::close(nullFd);
    }

    ~Prometheus()
    {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }

    Prometheus(const Prometheus&) = delete;
    Prometheus& operator=(const Prometheus&) = delete;

    bool ready()
    {
        return eventually([&] { return get(port, "/-/ready").status == 200; });
    }

    // The value of the one series \p query gives now, or "" with none.
    std::string value(const std::string& query)
    {
        const Reply reply = get(port, "/api/v1/query?query=" + httplib::detail::encode_query_param(query));
        const nlohmann::json answer = nlohmann::json::parse(reply.body, nullptr, false);
        if (answer.is_discarded() || answer.value("status", "") != "success") {
            return "";
        }
        const nlohmann::json& result = answer.at("data").at("result");
        return result.size() == 1 ? result[0].at("value")[1].get<std::string>() : "";
    }

    std::string log() const { return readFile(dir.file("prometheus.log")); }

private:
    const ScratchDir& dir;
    int port;
    pid_t pid = -1;
};

class BridgeScrapeTest : public BridgeTest {
protected:
    std::unique_ptr<ravenlinktest::InteractiveChild> startWithMetrics(const std::vector<std::string>& stations)
    {
        auto bridge = startBridge(bridgeArguments(dir, broker, stations, {"--metrics-listen", listenArg(metricsPort)}));
        EXPECT_TRUE(eventually([&] { return get(metricsPort, "/metrics").status == 200; })) << bridge->finish().output;
        return bridge;
    }

    int metricsPort = freePort();
};

} // namespace

TEST_F(BridgeScrapeTest, EndpointServesTheExpositionThatPromtoolAccepts)
{
    auto a = station("a");
    auto bridge = startWithMetrics({stationArg("a")});
    ASSERT_TRUE(sawState("a", "online"));
    Reply metrics;
    ASSERT_TRUE(eventually([&] {
        metrics = get(metricsPort, "/metrics");
        return metrics.body.find("\nravenlink_cable_length_metres{station=\"a\"} ") != std::string::npos;
    })) << metrics.body;
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.contentType, "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_NE(metrics.body.find("\nravenlink_station_up{station=\"a\"} 1\n"), std::string::npos);
    EXPECT_NE(metrics.body.find("ravenlink_bridge_build_info{version=\"" RAVENLINK_VERSION "\"} 1\n"), std::string::npos);
    EXPECT_NE(metrics.body.find("\nravenlink_temperature_celsius{station=\"a\",sensor=\"1\"} "), std::string::npos);

    const auto checked = ravenlinktest::runChildProcess(PROMTOOL_PATH, {"check", "metrics"}, metrics.body);
    EXPECT_EQ(checked.exitStatus, 0) << checked.output << checked.errors;
    EXPECT_EQ(checked.output + checked.errors, "");

    EXPECT_EQ(get(metricsPort, "/").status, 404);
    EXPECT_EQ(get(metricsPort, "/metrics/x").status, 404);
    EXPECT_EQ(get(metricsPort, "/health").status, 404);
    stopBridge(*bridge);
}

TEST_F(BridgeScrapeTest, PrometheusSeesTheStationUpThenDown)
{
    auto a = station("a");
    auto bridge = startWithMetrics({stationArg("a")});
    Prometheus prometheus(dir, metricsPort);
    ASSERT_TRUE(prometheus.ready()) << prometheus.log();
    const std::string query = "ravenlink_station_up{station=\"a\"}";
    ASSERT_TRUE(eventually([&] { return prometheus.value(query) == "1"; })) << prometheus.log();
    // Killed, the simulator leaves its link behind, and the pseudo-terminal
    // it names may soon be another test's station: the link goes first.
    ::unlink(dir.file("a").c_str());
    a->stop(SIGKILL);
    EXPECT_TRUE(eventually([&] { return prometheus.value(query) == "0"; })) << prometheus.log();
    // Once down, its readings are gone, not frozen at their last values.
    EXPECT_TRUE(eventually([&] { return prometheus.value("ravenlink_cable_length_metres{station=\"a\"}").empty(); }));
    EXPECT_NE(prometheus.value("sum(ravenlink_exchange_failures_total{station=\"a\"}) > 0"), "");
    stopBridge(*bridge);
}

TEST_F(BridgeScrapeTest, RetainedHealthTellsWhatTheBridgeServes)
{
    auto a = station("a");
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("a"), stationArg("b")}));
    ASSERT_TRUE(sawState("a", "online"));
    const std::string topic = "ravenlink/bridge/bridge/health";
    const auto running = watcher->waitFor(topic, "\"state\":\"running\"");
    ASSERT_TRUE(running.has_value()) << broker.log();
    EXPECT_EQ(running->qos, 1);
    const nlohmann::json health = nlohmann::json::parse(running->payload);
    EXPECT_EQ(health.at("version"), RAVENLINK_VERSION);
    EXPECT_EQ(health.at("stations"), 2);
    EXPECT_GE(health.at("uptime").get<int>(), 0);
    ASSERT_EQ(health.at("served").size(), 2U);
    EXPECT_EQ(health.at("served")[1].at("id"), "b");
    EXPECT_EQ(health.at("served")[1].at("up"), false);

    // A late subscriber gets it retained.
    TestClient late(broker.port, viewerAccount, "late");
    late.subscribe(topic);
    EXPECT_TRUE(late.waitFor([](const Message& m) { return m.retained && m.payload.find("\"version\"") != std::string::npos; })
                    .has_value());

    const std::size_t mark = watcher->messages().size();
    stopBridge(*bridge);
    const auto offline = watcher->waitFor(topic, "\"state\":\"offline\"", mark);
    ASSERT_TRUE(offline.has_value());
    EXPECT_NE(offline->payload.find("\"served\":[{\"id\":\"a\","), std::string::npos) << offline->payload;
}

// Also by a listener that would share its port (SO_REUSEPORT, as the HTTP
// library sets by default): two bridges on one port would split the scrapes.
TEST_F(BridgeScrapeTest, PortInUseEndsTheStart)
{
    httplib::Server holder;
    ASSERT_TRUE(holder.bind_to_port("127.0.0.1", metricsPort));
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("a")}, {"--metrics-listen", listenArg(metricsPort)}));
    const ravenlinktest::ChildResult result = bridge->finish(patience);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.output.find("metrics-listen 127.0.0.1:" + std::to_string(metricsPort) + ": Address already in use\n"),
              std::string::npos)
        << result.output;
}

} // namespace bridgetest
