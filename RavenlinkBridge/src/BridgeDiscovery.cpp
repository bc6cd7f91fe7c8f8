// The entities read the bridge's own topics: the readings from the status
// payload (a group the station did not deliver is null there, and its
// entities show unknown rather than a stale or made-up number), the state
// and the check as they are. Every entity but the state itself is available
// only while the station is online: "link-lost" and "offline" both mean
// that its numbers are not current.
#include "BridgeDiscovery.h"

#include <StationVocabulary.h>

#include <nlohmann/json.hpp>

#include <cctype>

namespace bridge {

namespace {

using nlohmann::json;

using namespace ravenlink::vocab;

// A reading in the status payload and what it is to the server. The group
// and setting keys are the vocabulary's, as the payload's JSON has them.
struct Reading {
    const char* object;       // object id, and the last part of the unique id
    const char* name;
    const Group& group;       // its status group
    std::string_view key;     // its key in the group
    const char* unit;         // empty: none
    const char* deviceClass;  // empty: none fits
};

const Reading readings[] = {
    {"cable_length", "Cable length", cabGroup, "length", "m", "distance"},
    {"cable_speed", "Cable speed", cabGroup, "speed", "m/s", "speed"},
    {"retraction_torque", "Retraction torque", cabGroup, retractionTorque.jsonKey, "%", ""},
    {"retraction_start", "Retraction start length", cabGroup, retractionStart.jsonKey, "m", "distance"},
    {"temperature_1", "Temperature 1", envGroup, "temp1", "\u00b0C", "temperature"},
    {"temperature_2", "Temperature 2", envGroup, "temp2", "\u00b0C", "temperature"},
    {"temperature_3", "Temperature 3", envGroup, "temp3", "\u00b0C", "temperature"},
    {"temperature_4", "Temperature 4", envGroup, "temp4", "\u00b0C", "temperature"},
    {"humidity", "Humidity", envGroup, "hum1", "%", "humidity"},
    {"pressure", "Pressure", envGroup, "press1", "hPa", "atmospheric_pressure"},
    {"fan_1_speed", "Fan 1 speed", envGroup, "fan1Rpm", "rpm", ""},
    {"fan_2_speed", "Fan 2 speed", envGroup, "fan2Rpm", "rpm", ""},
    {"mains_voltage", "Mains voltage", energyGSGroup, "mainsU", "V", "voltage"},
    {"mains_current", "Mains current", energyGSGroup, "mainsI", "A", "current"},
    {"mains_frequency", "Mains frequency", energyGSGroup, "mainsF", "Hz", "frequency"},
    {"backup_battery_voltage", "Backup battery voltage", energyGSGroup, "batU", "%", "battery"},
    {"uav_voltage", "UAV voltage", energyUAVGroup, "uavSuplU", "V", "voltage"},
    {"uav_current", "UAV current", energyUAVGroup, "uavSuplI", "A", "current"},
    {"uav_power", "UAV power", energyUAVGroup, "uavPower", "W", "power"},
    {"activation", "Activation", sysStateGroup, "activation", "", ""},
    {"error", "System error", sysStateGroup, "error", "", ""},
    {"flight_time", "Flight time", sysStateGroup, "flightTime", "s", "duration"},
};

// A node id is letters, digits, '_' and '-'; a station id may also hold '.'
// and a topic prefix '/'.
std::string nodePart(const std::string& text)
{
    std::string part;
    for (const char c : text) {
        part += std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' ? c : '_';
    }
    return part;
}

// Unknown when the group did not come or the payload names the field as
// holding no value (its part failed or is missing).
std::string valueOf(const Group& group, std::string_view key)
{
    const std::string path = "value_json.status." + std::string(group.jsonKey);
    const std::string field = std::string(group.jsonKey) + "." + std::string(key);
    return "{{ " + path + "." + std::string(key) + " if " + path + " and '" + field +
           "' not in value_json.get('noValue', []) else None }}";
}

// A command payload as the cmd topic takes it, with an id of its own at
// every press: the bridge runs a command once per id.
std::string commandTemplate(const char* command, const char* value)
{
    return std::string("{\"id\":\"homeassistant-{{ now().timestamp() }}\",\"command\":\"") + command + "\"" +
           (value[0] == '\0' ? "" : std::string(",\"value\":") + value) + "}";
}

} // namespace

std::vector<DiscoveryMessage> discoveryMessages(const StationSettings& station, const BrokerSettings& broker)
{
    std::vector<DiscoveryMessage> messages;
    if (station.discovery == Discovery::off) {
        return messages;
    }
    const std::string base = broker.topicPrefix + "/" + station.id + "/";
    const std::string node = nodePart(broker.topicPrefix + "_" + station.id);
    const json device = {{"identifiers", json::array({node})},
                         {"name", "Ground station " + station.id},
                         {"manufacturer", "Halvern"},
                         {"model", "Loftward"},
                         {"sw_version", "ravenlink-bridge " RAVENLINK_BRIDGE_VERSION}};
    const auto add = [&](const char* component, const std::string& object, json config, bool available) {
        config["unique_id"] = node + "_" + object;
        config["device"] = device;
        if (available) {
            config["availability_topic"] = base + "state";
            config["availability_template"] = "{{ 'online' if value == 'online' else 'offline' }}";
            config["payload_available"] = "online";
            config["payload_not_available"] = "offline";
        }
        messages.push_back({std::string("homeassistant/") + component + "/" + node + "/" + object + "/config",
                            config.dump()});
    };
    add("sensor", "state", {{"name", "State"}, {"state_topic", base + "state"}, {"icon", "mdi:lan-connect"}}, false);
    add("sensor", "check",
        {{"name", "Check"}, {"state_topic", base + "check"}, {"value_template", "{{ value_json.state }}"}}, true);
    for (const Reading& reading : readings) {
        json config = {{"name", reading.name},
                       {"state_topic", base + "status"},
                       {"value_template", valueOf(reading.group, reading.key)}};
        if (reading.unit[0] != '\0') {
            config["unit_of_measurement"] = reading.unit;
            config["state_class"] = "measurement";
        }
        if (reading.deviceClass[0] != '\0') {
            config["device_class"] = reading.deviceClass;
        }
        add("sensor", reading.object, config, true);
    }
    if (!station.commands) {
        return messages;
    }
    for (const char* command : {"activate", "deactivate"}) {
        add("button", command,
            {{"name", std::string(command[0] == 'a' ? "Activate" : "Deactivate")},
             {"command_topic", base + "cmd"},
             {"command_template", commandTemplate(command, "")}},
            true);
    }
    const auto number = [&](const char* object, const char* name, const Setting& setting,
                            double step) {
        add("number", object,
            {{"name", name},
             {"command_topic", base + "cmd"},
             {"command_template", commandTemplate(std::string(setting.name).c_str(), "{{ value }}")},
             {"state_topic", base + "status"},
             {"value_template", valueOf(cabGroup, setting.jsonKey)},
             {"min", setting.low},
             {"max", setting.high},
             {"step", step},
             {"mode", "box"},
             {"unit_of_measurement", std::string(setting.unit)}},
            true);
    };
    number("set_retraction_torque", "Set retraction torque", retractionTorque, 1.0);
    number("set_retraction_start", "Set retraction start length", retractionStart, 0.01);
    return messages;
}

} // namespace bridge
