// Discovery for a home-automation server: the config messages a station's
// entities get, that the command entities send what the bridge takes, and
// the bridge publishing them retained on a real broker under the shipped
// ACL, again when the server says it is back, and withdrawn on a reload.
#include "BridgeSupport.h"

#include "BridgeCommands.h"
#include "BridgeDiscovery.h"

#include <nlohmann/json.hpp>

#include <map>

using namespace bridgetest;
using nlohmann::json;

namespace {

std::map<std::string, json> configsOf(const bridge::StationSettings& station, const bridge::BrokerSettings& broker)
{
    std::map<std::string, json> configs;
    for (const bridge::DiscoveryMessage& message : bridge::discoveryMessages(station, broker)) {
        configs[message.topic] = json::parse(message.payload);
    }
    return configs;
}

bridge::StationSettings discovered(const std::string& id, bool commands)
{
    bridge::StationSettings station;
    station.id = id;
    station.port = "/dev/ttyUSB0";
    station.commands = commands;
    station.discovery = bridge::Discovery::homeAssistant;
    return station;
}

// What the server sends for a command entity: its template with the press
// time and the number put in.
std::string rendered(std::string text)
{
    text = std::regex_replace(text, std::regex(R"(\{\{ now\(\)\.timestamp\(\) \}\})"), "1765276200.123456");
    return std::regex_replace(text, std::regex(R"(\{\{ value \}\})"), "42.0");
}

// Polls \p done until it holds or patience runs out.
bool eventually(const std::function<bool()>& done) { return ravenlinktest::eventually(done, patience); }

} // namespace

TEST(BridgeDiscoveryConfigs, EntitiesOfAStationOnItsOwnTopics)
{
    bridge::BrokerSettings broker;
    broker.topicPrefix = "site/ravenlink";
    bridge::StationSettings station = discovered("north.1", false);
    station.discovery = bridge::Discovery::off;
    EXPECT_TRUE(bridge::discoveryMessages(station, broker).empty());

    station.discovery = bridge::Discovery::homeAssistant;
    const auto configs = configsOf(station, broker);
    const std::regex form(R"(homeassistant/sensor/site_ravenlink_north_1/[a-z0-9_]+/config)");
    std::set<std::string> uniqueIds;
    for (const auto& [topic, config] : configs) {
        EXPECT_TRUE(std::regex_match(topic, form)) << topic;
        EXPECT_TRUE(config.contains("name")) << topic;
        EXPECT_EQ(config["device"]["identifiers"], json::array({"site_ravenlink_north_1"})) << topic;
        EXPECT_EQ(config["state_topic"].get<std::string>().rfind("site/ravenlink/north.1/", 0), 0U) << topic;
        uniqueIds.insert(config["unique_id"].get<std::string>());
    }
    EXPECT_EQ(uniqueIds.size(), configs.size());
    // A reading: the status payload's number, unknown while its group is null.
    const json& length = configs.at("homeassistant/sensor/site_ravenlink_north_1/cable_length/config");
    EXPECT_EQ(length["state_topic"], "site/ravenlink/north.1/status");
    EXPECT_EQ(length["value_template"], "{{ value_json.status.cab.length if value_json.status.cab and 'cab.length' not in "
              "value_json.get('noValue', []) else None }}");
    EXPECT_EQ(length["unit_of_measurement"], "m");
    EXPECT_EQ(length["device_class"], "distance");
    // Available only while online: link-lost and offline both map to offline.
    EXPECT_EQ(length["availability_topic"], "site/ravenlink/north.1/state");
    EXPECT_EQ(length["payload_available"], "online");
    EXPECT_EQ(length["payload_not_available"], "offline");
    EXPECT_EQ(length["availability_template"], "{{ 'online' if value == 'online' else 'offline' }}");
    const json& power = configs.at("homeassistant/sensor/site_ravenlink_north_1/uav_power/config");
    EXPECT_EQ(power["value_template"], "{{ value_json.status.energyUAV.uavPower if value_json.status.energyUAV and 'energyUAV.uavPower' not in "
              "value_json.get('noValue', []) else None }}");
    EXPECT_EQ(power["unit_of_measurement"], "W");
    EXPECT_EQ(configs.at("homeassistant/sensor/site_ravenlink_north_1/temperature_3/config")["unit_of_measurement"],
              "\u00b0C");
    // The state itself is always shown, whatever it is.
    const json& state = configs.at("homeassistant/sensor/site_ravenlink_north_1/state/config");
    EXPECT_EQ(state["state_topic"], "site/ravenlink/north.1/state");
    EXPECT_FALSE(state.contains("availability_topic"));
    for (const auto& [topic, config] : configs) {
        EXPECT_FALSE(config.contains("command_topic")) << topic;
    }
}

TEST(BridgeDiscoveryConfigs, CommandEntitiesSendWhatTheBridgeTakes)
{
    const bridge::BrokerSettings broker;
    const auto configs = configsOf(discovered("a", true), broker);
    std::map<std::string, std::string> sent;
    for (const auto& [topic, config] : configs) {
        if (!config.contains("command_topic")) {
            continue;
        }
        EXPECT_EQ(config["command_topic"], "ravenlink/a/cmd") << topic;
        const std::string payload = rendered(config["command_template"].get<std::string>());
        const bridge::ParsedCommand parsed = bridge::parseCommand(payload);
        ASSERT_TRUE(parsed.command) << topic << ": " << payload << ": " << parsed.error;
        sent[topic] = bridge::commandName(parsed.command->kind) + " " + bridge::sentValue(*parsed.command);
        // Every press is a command of its own, not a repeat of the last.
        EXPECT_NE(config["command_template"].get<std::string>().find("{{ now().timestamp() }}"), std::string::npos);
    }
    const std::map<std::string, std::string> expected = {
        {"homeassistant/button/ravenlink_a/activate/config", "activate "},
        {"homeassistant/button/ravenlink_a/deactivate/config", "deactivate "},
        {"homeassistant/number/ravenlink_a/set_retraction_torque/config", "torque 42"},
        {"homeassistant/number/ravenlink_a/set_retraction_start/config", "start-length 4200"},
    };
    EXPECT_EQ(sent, expected);
    const json& torque = configs.at("homeassistant/number/ravenlink_a/set_retraction_torque/config");
    EXPECT_EQ(torque["min"], 0.0);
    EXPECT_EQ(torque["max"], 100.0);
    EXPECT_EQ(torque["unit_of_measurement"], "%");
    EXPECT_EQ(torque["value_template"], "{{ value_json.status.cab.retTorque if value_json.status.cab and 'cab.retTorque' not in "
              "value_json.get('noValue', []) else None }}");
}

TEST_F(BridgeTest, DiscoveryIsRetainedResentAndWithdrawn)
{
    const auto a = station("a");
    const auto b = station("b");
    writeFile(dir.file("bridge.password"), bridgeAccount.password + "\n");
    const std::string head = "[broker]\nurl = mqtt://127.0.0.1:" + std::to_string(broker.port) + "\nusername = " +
                             bridgeAccount.user + "\npassword-file = " + dir.file("bridge.password") +
                             "\nclient-id = bridge\n[defaults]\ninterval = 0.2\ndiscovery = homeassistant\n"
                             "[station a]\nport = " + dir.file("a") + "\ncommands = on\n";
    const std::string config = dir.file("bridge.conf");
    writeFile(config, head + "[station b]\nport = " + dir.file("b") + "\n");
    auto bridge = startBridge({"--config", config});
    ASSERT_TRUE(sawState("a", "online")) << bridge->text();
    ASSERT_TRUE(sawState("b", "online")) << bridge->text();

    // The server, started after the bridge, finds the configs kept.
    TestClient server(broker.port, homeAutomationAccount, "server");
    server.subscribe("homeassistant/#");
    server.subscribe("ravenlink/#");
    const std::regex configTopic("homeassistant/[a-z_]+/[^/]+/[^/]+/config");
    const auto configsSeen = [&](std::size_t from, bool retained) {
        std::set<std::string> topics;
        const std::vector<Message> all = server.messages();
        for (std::size_t i = from; i < all.size(); ++i) {
            if (all[i].retained == retained && std::regex_match(all[i].topic, configTopic) && !all[i].payload.empty()) {
                topics.insert(all[i].topic);
            }
        }
        return topics;
    };
    const std::size_t entities = bridge::discoveryMessages(bridge::StationSettings{"a", "", 1, 300, true,
                                                                                   bridge::Discovery::homeAssistant},
                                                           bridge::BrokerSettings{})
                                     .size();
    const std::size_t sensors = bridge::discoveryMessages(bridge::StationSettings{"b", "", 1, 300, false,
                                                                                  bridge::Discovery::homeAssistant},
                                                          bridge::BrokerSettings{})
                                    .size();
    ASSERT_TRUE(eventually([&] { return configsSeen(0, true).size() == entities + sensors; })) << bridge->text();
    std::set<std::string> kept = configsSeen(0, true);
    EXPECT_EQ(kept.count("homeassistant/button/ravenlink_a/activate/config"), 1U);
    EXPECT_EQ(kept.count("homeassistant/sensor/ravenlink_b/cable_length/config"), 1U);
    for (const std::string& topic : kept) {
        // No command entity for the station that takes no commands.
        EXPECT_FALSE(topic.find("/ravenlink_b/") != std::string::npos &&
                     topic.rfind("homeassistant/sensor/", 0) != 0) << topic;
    }
    // The server reads what its entities show.
    EXPECT_TRUE(server.waitFor("ravenlink/b/status", "\"seq\":"));

    // Back after a restart, the server asks for everything again.
    std::size_t mark = server.messages().size();
    server.publish(bridge::discoveryStatusTopic, "online");
    ASSERT_TRUE(eventually([&] { return configsSeen(mark, false).size() == entities + sensors; })) << bridge->text()
        << bridge->text();
    // "offline" asks for nothing.
    mark = server.messages().size();
    server.publish(bridge::discoveryStatusTopic, "offline");
    EXPECT_FALSE(server.waitFor([](const Message& m) { return m.topic.rfind("homeassistant/sensor/", 0) == 0; }, mark,
                                Ms(1000)));

    // A station removed takes its entities along; the other keeps its own.
    writeFile(config, head);
    mark = server.messages().size();
    bridge->signal(SIGHUP);
    ASSERT_TRUE(bridge->waitFor("reloaded " + config + ": stopped b; unchanged a", 1, patience)) << bridge->text();
    ASSERT_TRUE(server.waitFor("homeassistant/sensor/ravenlink_b/cable_length/config", "", mark));
    TestClient late(broker.port, homeAutomationAccount, "late");
    late.subscribe("homeassistant/#");
    ASSERT_TRUE(late.waitFor("homeassistant/button/ravenlink_a/activate/config", "\"command_topic\""));
    EXPECT_FALSE(late.waitFor([](const Message& m) { return m.topic.find("/ravenlink_b/") != std::string::npos; }, 0,
                              Ms(500)));
    stopBridge(*bridge);
    // Nothing was refused on the way.
    EXPECT_EQ(broker.log().find("Denied PUBLISH from bridge"), std::string::npos) << broker.log();
}
