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

// A reading in the status payload and what it is to the server.
struct Reading {
    const char* object;       // object id, and the last part of the unique id
    const char* name;
    const char* group;        // JSON key of its status group
    const char* key;          // its key in the group
    const char* unit;         // empty: none
    const char* deviceClass;  // empty: none fits
};

const Reading readings[] = {
    {"cable_length", "Cable length", "cab", "length", "m", "distance"},
    {"cable_speed", "Cable speed", "cab", "speed", "m/s", "speed"},
    {"retraction_torque", "Retraction torque", "cab", "retTorque", "%", ""},
    {"retraction_start", "Retraction start length", "cab", "retStart", "m", "distance"},
    {"temperature_1", "Temperature 1", "env", "temp1", "\u00b0C", "temperature"},
    {"temperature_2", "Temperature 2", "env", "temp2", "\u00b0C", "temperature"},
    {"temperature_3", "Temperature 3", "env", "temp3", "\u00b0C", "temperature"},
    {"temperature_4", "Temperature 4", "env", "temp4", "\u00b0C", "temperature"},
    {"humidity", "Humidity", "env", "hum1", "%", "humidity"},
    {"pressure", "Pressure", "env", "press1", "hPa", "atmospheric_pressure"},
    {"fan_1_speed", "Fan 1 speed", "env", "fan1Rpm", "rpm", ""},
    {"fan_2_speed", "Fan 2 speed", "env", "fan2Rpm", "rpm", ""},
    {"mains_voltage", "Mains voltage", "energyGS", "mainsU", "V", "voltage"},
    {"mains_current", "Mains current", "energyGS", "mainsI", "A", "current"},
    {"mains_frequency", "Mains frequency", "energyGS", "mainsF", "Hz", "frequency"},
    {"backup_battery_voltage", "Backup battery voltage", "energyGS", "batU", "V", "voltage"},
    {"uav_voltage", "UAV voltage", "energyUAV", "uavSuplU", "V", "voltage"},
    {"uav_current", "UAV current", "energyUAV", "uavSuplI", "A", "current"},
    {"uav_power", "UAV power", "energyUAV", "uavPower", "W", "power"},
    {"activation", "Activation", "sysState", "activation", "", ""},
    {"error", "System error", "sysState", "error", "", ""},
    {"flight_time", "Flight time", "sysState", "flightTime", "s", "duration"},
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

std::string valueOf(const char* group, const char* key)
{
    return std::string("{{ value_json.status.") + group + "." + key + " if value_json.status." + group +
           " else None }}";
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
    using ravenlink::vocab::retractionStart;
    using ravenlink::vocab::retractionTorque;
    for (const char* command : {"activate", "deactivate"}) {
        add("button", command,
            {{"name", std::string(command[0] == 'a' ? "Activate" : "Deactivate")},
             {"command_topic", base + "cmd"},
             {"command_template", commandTemplate(command, "")}},
            true);
    }
    const auto number = [&](const char* object, const char* name, const ravenlink::vocab::Setting& setting,
                            double step) {
        add("number", object,
            {{"name", name},
             {"command_topic", base + "cmd"},
             {"command_template", commandTemplate(std::string(setting.name).c_str(), "{{ value }}")},
             {"state_topic", base + "status"},
             {"value_template", valueOf("cab", std::string(setting.jsonKey).c_str())},
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
