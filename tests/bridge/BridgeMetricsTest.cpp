// The bridge's figures in-process: the exposition and the health JSON from
// given figures, the failure reasons of the library's own exceptions, the
// records under concurrent updates, the listen address, and the shipped
// dashboard against the names the bridge exports.
#include "BridgeHealth.h"
#include "BridgeMetrics.h"
#include "BridgePayloads.h"
#include "BridgeSettings.h"
#include "BridgeSupport.h"
#include "HealthyStatus.h"
#include "Outcome.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>
#include <set>
#include <thread>

using namespace bridge;
using ravenlinktest::failureOf;

namespace {

using SystemClock = std::chrono::system_clock;
using Seconds = std::chrono::duration<double>;

SystemClock::time_point at(long long ms) { return SystemClock::time_point(std::chrono::milliseconds(ms)); }

// The sample lines of \p name (with its labels), without the headers.
std::vector<std::string> samples(const std::string& text, const std::string& name)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name, 0) == 0 && (line[name.size()] == '{' || line[name.size()] == ' ')) {
            lines.push_back(line);
        }
    }
    return lines;
}

} // namespace

TEST(BridgeMetrics, ExpositionOfAStationUpAndOneThatNeverAnswered)
{
    StationFigures north;
    north.up = true;
    north.exchanges = 4;
    north.failures[static_cast<std::size_t>(FailureReason::timeout)] = 1;
    north.commands[static_cast<std::size_t>(CommandOutcome::done)] = 2;
    north.commands[static_cast<std::size_t>(CommandOutcome::refused)] = 1;
    north.durations[0] = 1;  // up to 5 ms
    north.durations[4] = 2;  // over 50 ms, up to 100 ms
    north.durations[6] = 1;  // over 250 ms, up to 500 ms
    north.durationSum = 0.5;
    north.status = ravenlinktest::measuredStatus();
    north.delivered.cab = true;
    north.lastReading = at(1765000000123);
    StationFigures south;
    south.exchanges = 2;
    south.failures[static_cast<std::size_t>(FailureReason::port)] = 2;
    south.durations.back() = 2;
    south.durationSum = 24;

    EXPECT_EQ(renderMetrics("1.0.23", at(1764999000000), {{"north", north}, {"south", south}}),
              "# HELP ravenlink_bridge_build_info The bridge's version; always 1.\n"
              "# TYPE ravenlink_bridge_build_info gauge\n"
              "ravenlink_bridge_build_info{version=\"1.0.23\"} 1\n"
              "# HELP ravenlink_bridge_start_time_seconds When the bridge started, in seconds since the epoch.\n"
              "# TYPE ravenlink_bridge_start_time_seconds gauge\n"
              "ravenlink_bridge_start_time_seconds 1764999000\n"
              "# HELP ravenlink_station_up 1 while the station answers the bridge, else 0.\n"
              "# TYPE ravenlink_station_up gauge\n"
              "ravenlink_station_up{station=\"north\"} 1\n"
              "ravenlink_station_up{station=\"south\"} 0\n"
              "# HELP ravenlink_exchanges_total Exchanges with the station: connects with their details reading, and "
              "status readings.\n"
              "# TYPE ravenlink_exchanges_total counter\n"
              "ravenlink_exchanges_total{station=\"north\"} 4\n"
              "ravenlink_exchanges_total{station=\"south\"} 2\n"
              "# HELP ravenlink_exchange_failures_total Exchanges with the station that failed, by reason.\n"
              "# TYPE ravenlink_exchange_failures_total counter\n"
              "ravenlink_exchange_failures_total{station=\"north\",reason=\"timeout\"} 1\n"
              "ravenlink_exchange_failures_total{station=\"north\",reason=\"malformed\"} 0\n"
              "ravenlink_exchange_failures_total{station=\"north\",reason=\"refused\"} 0\n"
              "ravenlink_exchange_failures_total{station=\"north\",reason=\"port\"} 0\n"
              "ravenlink_exchange_failures_total{station=\"north\",reason=\"other\"} 0\n"
              "ravenlink_exchange_failures_total{station=\"south\",reason=\"timeout\"} 0\n"
              "ravenlink_exchange_failures_total{station=\"south\",reason=\"malformed\"} 0\n"
              "ravenlink_exchange_failures_total{station=\"south\",reason=\"refused\"} 0\n"
              "ravenlink_exchange_failures_total{station=\"south\",reason=\"port\"} 2\n"
              "ravenlink_exchange_failures_total{station=\"south\",reason=\"other\"} 0\n"
              "# HELP ravenlink_exchange_duration_seconds Time of each exchange with the station, failed ones included.\n"
              "# TYPE ravenlink_exchange_duration_seconds histogram\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"0.005\"} 1\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"0.01\"} 1\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"0.025\"} 1\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"0.05\"} 1\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"0.1\"} 3\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"0.25\"} 3\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"0.5\"} 4\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"1\"} 4\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"2.5\"} 4\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"5\"} 4\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"10\"} 4\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"north\",le=\"+Inf\"} 4\n"
              "ravenlink_exchange_duration_seconds_sum{station=\"north\"} 0.5\n"
              "ravenlink_exchange_duration_seconds_count{station=\"north\"} 4\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"0.005\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"0.01\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"0.025\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"0.05\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"0.1\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"0.25\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"0.5\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"1\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"2.5\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"5\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"10\"} 0\n"
              "ravenlink_exchange_duration_seconds_bucket{station=\"south\",le=\"+Inf\"} 2\n"
              "ravenlink_exchange_duration_seconds_sum{station=\"south\"} 24\n"
              "ravenlink_exchange_duration_seconds_count{station=\"south\"} 2\n"
              "# HELP ravenlink_commands_total Commands from the cmd topic, by how they ended.\n"
              "# TYPE ravenlink_commands_total counter\n"
              "ravenlink_commands_total{station=\"north\",outcome=\"done\"} 2\n"
              "ravenlink_commands_total{station=\"north\",outcome=\"failed\"} 0\n"
              "ravenlink_commands_total{station=\"north\",outcome=\"not_run\"} 0\n"
              "ravenlink_commands_total{station=\"north\",outcome=\"refused\"} 1\n"
              "ravenlink_commands_total{station=\"south\",outcome=\"done\"} 0\n"
              "ravenlink_commands_total{station=\"south\",outcome=\"failed\"} 0\n"
              "ravenlink_commands_total{station=\"south\",outcome=\"not_run\"} 0\n"
              "ravenlink_commands_total{station=\"south\",outcome=\"refused\"} 0\n"
              "# HELP ravenlink_last_reading_timestamp_seconds When the last status reading came, in seconds since the "
              "epoch.\n"
              "# TYPE ravenlink_last_reading_timestamp_seconds gauge\n"
              "ravenlink_last_reading_timestamp_seconds{station=\"north\"} 1765000000.123\n"
              "# HELP ravenlink_cable_length_metres Cable unwound from the reel.\n"
              "# TYPE ravenlink_cable_length_metres gauge\n"
              "ravenlink_cable_length_metres{station=\"north\"} 23.1\n"
              "# HELP ravenlink_cable_speed_metres_per_second Speed of the cable on the reel.\n"
              "# TYPE ravenlink_cable_speed_metres_per_second gauge\n"
              "ravenlink_cable_speed_metres_per_second{station=\"north\"} -0.5\n"
              "# HELP ravenlink_cable_retraction_torque_ratio Torque of the cable retraction, as a ratio of its "
              "maximum (the station's percent / 100).\n"
              "# TYPE ravenlink_cable_retraction_torque_ratio gauge\n"
              "ravenlink_cable_retraction_torque_ratio{station=\"north\"} 0.55\n");
}

TEST(BridgeMetrics, ReadingsOfGroupsAndSensorsNotDeliveredAreAbsent)
{
    StationFigures figures;
    figures.up = true;
    figures.status = ravenlinktest::measuredStatus();
    figures.delivered = StatusGroups::all();
    const auto render = [&] { return renderMetrics("v", at(0), {{"a", figures}}); };

    std::string text = render();
    EXPECT_EQ(samples(text, "ravenlink_temperature_celsius"),
              (std::vector<std::string>{"ravenlink_temperature_celsius{station=\"a\",sensor=\"1\"} 33",
                                        "ravenlink_temperature_celsius{station=\"a\",sensor=\"2\"} -20",
                                        "ravenlink_temperature_celsius{station=\"a\",sensor=\"3\"} 26",
                                        "ravenlink_temperature_celsius{station=\"a\",sensor=\"4\"} 29"}));
    EXPECT_EQ(samples(text, "ravenlink_humidity_ratio"), std::vector<std::string>{"ravenlink_humidity_ratio{station=\"a\"} 0.44"});
    EXPECT_EQ(samples(text, "ravenlink_pressure_pascals"),
              std::vector<std::string>{"ravenlink_pressure_pascals{station=\"a\"} 101300"});
    EXPECT_EQ(samples(text, "ravenlink_mains_current_amperes"),
              std::vector<std::string>{"ravenlink_mains_current_amperes{station=\"a\"} 0.362"});
    EXPECT_EQ(samples(text, "ravenlink_uav_power_watts"), std::vector<std::string>{"ravenlink_uav_power_watts{station=\"a\"} 960"});
    EXPECT_EQ(samples(text, "ravenlink_system_error"), std::vector<std::string>{"ravenlink_system_error{station=\"a\"} 0"});

    // A failed sensor 2 and a missing sensor 4; sensor 1 failed takes
    // humidity and pressure with it.
    figures.status->env.envSensor2Status = 1;
    figures.status->env.envSensor4Status = 255;
    text = render();
    EXPECT_EQ(samples(text, "ravenlink_temperature_celsius"),
              (std::vector<std::string>{"ravenlink_temperature_celsius{station=\"a\",sensor=\"1\"} 33",
                                        "ravenlink_temperature_celsius{station=\"a\",sensor=\"3\"} 26"}));
    figures.status->env.envSensor1Status = 2;
    text = render();
    EXPECT_TRUE(samples(text, "ravenlink_humidity_ratio").empty());
    EXPECT_TRUE(samples(text, "ravenlink_pressure_pascals").empty());

    // A station without a mains measurement.
    figures.status->energyGS.mainsStatus = 255;
    text = render();
    EXPECT_TRUE(samples(text, "ravenlink_mains_voltage_volts").empty());
    EXPECT_EQ(text.find("# HELP ravenlink_mains_voltage_volts"), std::string::npos);

    // Groups switched off: their fields hold the defaults, which are no reading.
    figures.delivered = StatusGroups{};
    figures.delivered.sysState = true;
    text = render();
    for (const char* name : {"ravenlink_cable_length_metres", "ravenlink_cable_speed_metres_per_second",
                             "ravenlink_cable_retraction_torque_ratio", "ravenlink_temperature_celsius",
                             "ravenlink_uav_supply_voltage_volts", "ravenlink_uav_supply_current_amperes",
                             "ravenlink_uav_power_watts", "ravenlink_mains_frequency_hertz"}) {
        EXPECT_EQ(text.find(name), std::string::npos) << name;
    }
    EXPECT_EQ(samples(text, "ravenlink_system_error"), std::vector<std::string>{"ravenlink_system_error{station=\"a\"} 0"});
}

TEST(BridgeMetrics, StationRecordFollowsTheLinkAndCountsEveryExchangeOnce)
{
    StationMetrics record("a");
    record.exchangeDone(Seconds(0.005));  // on the bound: in its bucket
    record.setUp(true);
    record.exchangeDone(Seconds(0.0051));
    record.reading(ravenlinktest::measuredStatus(), StatusGroups::all(), at(5000));
    record.exchangeFailed(FailureReason::timeout, Seconds(20));  // beyond every bound
    record.command(CommandOutcome::notRun);
    record.setUp(false);
    StationFigures figures = record.figures();
    EXPECT_FALSE(figures.up);
    EXPECT_EQ(figures.exchanges, 3U);
    EXPECT_EQ(figures.failureTotal(), 1U);
    EXPECT_EQ(figures.commandTotal(), 1U);
    EXPECT_EQ(figures.durations[0], 1U);
    EXPECT_EQ(figures.durations[1], 1U);
    EXPECT_EQ(figures.durations.back(), 1U);
    EXPECT_DOUBLE_EQ(figures.durationSum, 20.0101);
    // The lost link drops the readings, not when the last one came.
    EXPECT_FALSE(figures.status.has_value());
    ASSERT_TRUE(figures.lastReading.has_value());
    EXPECT_EQ(*figures.lastReading, at(5000));
    const std::string text = renderMetrics("v", at(0), {{"a", figures}});
    EXPECT_EQ(text.find("ravenlink_cable_length_metres"), std::string::npos);
    EXPECT_NE(text.find("ravenlink_last_reading_timestamp_seconds{station=\"a\"} 5\n"), std::string::npos);
}

TEST(BridgeMetrics, ConcurrentRecordsAndScrapesLoseNothing)
{
    BridgeMetrics metrics("v", at(0));
    const std::shared_ptr<StationMetrics> a = metrics.station("a");
    const std::shared_ptr<StationMetrics> b = metrics.station("b");
    EXPECT_EQ(metrics.station("a"), a);
    constexpr int rounds = 2000;
    std::vector<std::thread> threads;
    for (StationMetrics* record : {a.get(), b.get()}) {
        threads.emplace_back([record] {
            for (int i = 0; i < rounds; ++i) {
                record->setUp(i % 2 == 0);
                record->exchangeDone(Seconds(0.01));
                record->reading(ravenlinktest::measuredStatus(), StatusGroups::all(), at(i));
            }
        });
        threads.emplace_back([record] {
            for (int i = 0; i < rounds; ++i) {
                record->command(CommandOutcome::refused);
            }
        });
    }
    std::size_t scrapes = 0;
    for (int i = 0; i < 50; ++i) {
        scrapes += metrics.render().empty() ? 0 : 1;
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(scrapes, 50U);
    const std::string text = metrics.render();
    EXPECT_NE(text.find("ravenlink_exchanges_total{station=\"a\"} 2000\n"), std::string::npos);
    EXPECT_NE(text.find("ravenlink_exchange_duration_seconds_count{station=\"b\"} 2000\n"), std::string::npos);
    EXPECT_NE(text.find("ravenlink_commands_total{station=\"b\",outcome=\"refused\"} 2000\n"), std::string::npos);

    // A station no longer served leaves the exposition; its holder may
    // still record.
    metrics.forget("a");
    a->command(CommandOutcome::done);
    const std::string after = metrics.render();
    EXPECT_EQ(after.find("station=\"a\""), std::string::npos);
    EXPECT_NE(after.find("ravenlink_station_up{station=\"b\"}"), std::string::npos);
    EXPECT_NE(metrics.health(at(0), "running").find("\"stations\":1,"), std::string::npos);
}

TEST(BridgeMetrics, LibraryFailuresFallIntoTheirReasons)
{
    using HALVERN::DataException;
    using HALVERN::IOException;
    EXPECT_EQ(failureReason(IOException("receiveData: Data Receiver Timeout!")), FailureReason::timeout);
    EXPECT_EQ(failureReason(IOException("receiveData: reply did not end in time")), FailureReason::timeout);
    EXPECT_EQ(failureReason(IOException("getSystemStatus: Communication timeout")), FailureReason::timeout);
    EXPECT_EQ(failureReason(IOException("receiveData: reply exceeds 65536 bytes")), FailureReason::malformed);
    EXPECT_EQ(failureReason(IOException("openConnection: No such file or directory: /dev/ttyUSB7")), FailureReason::port);
    EXPECT_EQ(failureReason(IOException("receiveData: Input/output error")), FailureReason::port);
    EXPECT_EQ(failureReason(DataException("checkReply: malformed buffer data")), FailureReason::malformed);
    EXPECT_EQ(failureReason(DataException("checkReply: reply carries another request's message id")),
              FailureReason::malformed);
    EXPECT_EQ(failureReason(DataException("processStatusData: incomplete status data")), FailureReason::malformed);
    EXPECT_EQ(failureReason(DataException("checkReply: command not supported")), FailureReason::refused);
    EXPECT_EQ(failureReason(std::runtime_error("no memory")), FailureReason::other);
    EXPECT_STREQ(reasonName(FailureReason::refused), "refused");
    EXPECT_STREQ(outcomeName(CommandOutcome::notRun), "not_run");
}

TEST(BridgeMetrics, HealthCarriesVersionUptimeStationsAndCounters)
{
    StationFigures north;
    north.up = true;
    north.exchanges = 10;
    north.failures[0] = 1;
    north.commands[0] = 2;
    StationFigures south;
    south.exchanges = 3;
    south.failures[3] = 3;
    EXPECT_EQ(healthJson("1.0.23", at(1765000000000), at(1765000090500), "running", {{"north", north}, {"south", south}}),
              "{\"time\":\"2025-12-06T05:48:10.500Z\",\"state\":\"running\",\"version\":\"1.0.23\",\"uptime\":90,"
              "\"stations\":2,\"online\":1,\"exchanges\":13,\"failures\":4,\"commands\":2,\"served\":["
              "{\"id\":\"north\",\"up\":true,\"exchanges\":10,\"failures\":1,\"commands\":2},"
              "{\"id\":\"south\",\"up\":false,\"exchanges\":3,\"failures\":3,\"commands\":0}]}");
}

TEST(BridgeMetrics, HealthTopicNamesTheBridgeAsOneTopicLevel)
{
    BrokerSettings broker;
    broker.clientId = "ravenlink-bridge-hangar1";
    EXPECT_EQ(healthTopic(broker), "ravenlink/bridge/ravenlink-bridge-hangar1/health");
    broker.clientId = "site/1 #2";
    broker.topicPrefix = "fleet/eu";
    EXPECT_EQ(healthTopic(broker), "fleet/eu/bridge/site_1__2/health");
    // A made-up client id changes at every start; the host name does not.
    broker.clientId = "ravenlink-bridge-host-0123456789abcdef";
    broker.clientIdMadeUp = true;
    const std::string topic = healthTopic(broker);
    EXPECT_EQ(topic.find("0123456789abcdef"), std::string::npos) << topic;
    EXPECT_TRUE(std::regex_match(topic, std::regex("fleet/eu/bridge/[A-Za-z0-9._-]+/health"))) << topic;
}

TEST(BridgeMetrics, ListenAddressDefaultsToLoopback)
{
    const auto listen = [](const std::string& text) {
        const ListenAddress address = listenValue(text, "--metrics-listen");
        return address.host + " " + std::to_string(address.port);
    };
    EXPECT_EQ(listen("9464"), "127.0.0.1 9464");
    EXPECT_EQ(listen(":9464"), "127.0.0.1 9464");
    EXPECT_EQ(listen("0.0.0.0:9464"), "0.0.0.0 9464");
    EXPECT_EQ(listen("[::1]:9464"), "::1 9464");
    EXPECT_EQ(listen("monitor.local:80"), "monitor.local 80");
    const std::string shape = "' is not ADDRESS:PORT or PORT (an IPv6 address in brackets)";
    EXPECT_EQ(failureOf<SettingsError>([&] { listen("::1:9464"); }), "--metrics-listen: '::1:9464" + shape);
    EXPECT_EQ(failureOf<SettingsError>([&] { listen("host:"); }), "--metrics-listen: 'host:" + shape);
    EXPECT_EQ(failureOf<SettingsError>([&] { listen(""); }), "--metrics-listen: '" + shape);
    EXPECT_EQ(failureOf<SettingsError>([&] { listen("127.0.0.1:65536"); }),
              "--metrics-listen: '65536' is not a whole number from 1 to 65535");

    const auto file = [](const std::string& text) {
        return resolve(parseConfig(text, "test.conf"), StationDefaults{}, {}).metricsListen;
    };
    EXPECT_FALSE(file("[station a]\nport = /dev/a\n").has_value());
    const auto configured = file("[bridge]\nmetrics-listen = 9100\n[station a]\nport = /dev/a\n");
    ASSERT_TRUE(configured.has_value());
    EXPECT_EQ(configured->host + ":" + std::to_string(configured->port), "127.0.0.1:9100");
    EXPECT_EQ(failureOf<SettingsError>([&] { file("[bridge]\nmetrics-listen = 9100\nmetrics-listen = 9101\n"); }),
              "test.conf:3: metrics-listen: given twice in [bridge], on lines 2 and 3");
    EXPECT_EQ(failureOf<SettingsError>([&] { file("[bridge]\nlisten = 9100\n"); }),
              "test.conf:2: unknown key 'listen' in [bridge]");
    EXPECT_EQ(failureOf<SettingsError>([&] { file("[bridge]\nmetrics-listen = x:y\n"); }),
              "test.conf:2: metrics-listen: 'y' is not a whole number from 1 to 65535");
    const auto example =
        readConfigFile(std::string(RAVENLINK_PROJECT_DIR) + "/RavenlinkBridge/bridge.conf.example").metricsListen;
    ASSERT_TRUE(example.has_value());
    EXPECT_EQ(example->host + ":" + std::to_string(example->port), "127.0.0.1:9740");
}

TEST(BridgeMetrics, ShippedDashboardNamesOnlyExportedMetricsAndFiltersByStation)
{
    const std::vector<std::string> exported = exportedMetricNames();
    const std::set<std::string> known(exported.begin(), exported.end());
    for (const char* required :
         {"ravenlink_station_up", "ravenlink_exchanges_total", "ravenlink_exchange_failures_total",
          "ravenlink_exchange_duration_seconds_bucket", "ravenlink_commands_total", "ravenlink_cable_length_metres",
          "ravenlink_cable_speed_metres_per_second", "ravenlink_cable_retraction_torque_ratio",
          "ravenlink_temperature_celsius", "ravenlink_uav_supply_voltage_volts", "ravenlink_uav_supply_current_amperes",
          "ravenlink_uav_power_watts", "ravenlink_mains_voltage_volts", "ravenlink_last_reading_timestamp_seconds",
          "ravenlink_bridge_build_info"}) {
        EXPECT_EQ(known.count(required), 1U) << required;
    }

    const std::string path = std::string(RAVENLINK_PROJECT_DIR) + "/packaging/grafana/ravenlink-fleet.json";
    const nlohmann::json dashboard = nlohmann::json::parse(bridgetest::readFile(path), nullptr, false);
    ASSERT_FALSE(dashboard.is_discarded()) << path << " is no JSON";
    const nlohmann::json& variables = dashboard.at("templating").at("list");
    const auto station = std::find_if(variables.begin(), variables.end(),
                                      [](const nlohmann::json& v) { return v.value("name", "") == "station"; });
    ASSERT_NE(station, variables.end()) << "no $station variable";
    EXPECT_NE(station->dump().find("ravenlink_station_up"), std::string::npos);

    const std::regex metricName("ravenlink_[a-z_]+");
    std::set<std::string> named;
    std::size_t expressions = 0;
    for (const nlohmann::json& panel : dashboard.at("panels")) {
        for (const nlohmann::json& target : panel.at("targets")) {
            const std::string expr = target.at("expr");
            ++expressions;
            for (auto it = std::sregex_iterator(expr.begin(), expr.end(), metricName); it != std::sregex_iterator(); ++it) {
                named.insert(it->str());
                EXPECT_EQ(known.count(it->str()), 1U) << panel.value("title", "") << ": " << it->str();
            }
            // A panel about stations follows the selection.
            if (expr.find("station") != std::string::npos) {
                EXPECT_NE(expr.find("station=~\"$station\""), std::string::npos) << expr;
            }
        }
    }
    EXPECT_GE(expressions, 15U);
    EXPECT_GE(named.size(), 15U);
}

TEST(BridgePayloads, StatusNamesTheFieldsThatHoldNoValue)
{
    // A dashboard that reads the payload must not show a missing sensor's
    // number as a temperature: the payload says which fields hold none.
    SystemStatus status = ravenlinktest::measuredStatus();
    status.env.envSensor3Status = 255;
    status.energyGS.batStatus = 127;
    StatusGroups delivered;
    delivered.env = true;
    const std::string payload = bridge::statusPayload(at(1500), status, delivered, 7);
    EXPECT_EQ(payload.rfind(R"({"time":"1970-01-01T00:00:01.500Z","status":{"configStatus":)", 0), 0U) << payload;
    EXPECT_EQ(payload.substr(payload.find("},\"noValue\"")), R"(},"noValue":["env.temp3"],"seq":7})");
    delivered.energyGS = true;
    EXPECT_NE(bridge::statusPayload(at(1500), status, delivered, 8).find(R"("noValue":["env.temp3","energyGS.batU"])"),
              std::string::npos);
}
