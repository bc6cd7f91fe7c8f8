// Every check happens before a command is queued: the library clamps a
// torque of 150 to 100 and a start length of 0.1 to 0.3 without a word, so a
// value out of range must be refused here or the station would be given a
// setting nobody asked for.
#include "BridgeCommands.h"

#include "BridgeLog.h"

#include <StationJson.h>
#include <StationValues.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace bridge {

namespace {

using nlohmann::json;

constexpr std::size_t longestId = 200;
constexpr float longestStart = 10000.0F;

const char* const commandList = "activate, deactivate, torque, start-length, configure, groups";
const char* const groupKeys[5] = {"cab", "env", "energyGS", "energyUAV", "sysState"};

class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const std::pair<const char*, CommandKind> kinds[] = {
    {"activate", CommandKind::activate},   {"deactivate", CommandKind::deactivate},
    {"torque", CommandKind::torque},       {"start-length", CommandKind::startLength},
    {"configure", CommandKind::configure}, {"groups", CommandKind::groups},
};

bool numberIn(const json& value, float low, float high, float& out)
{
    if (!value.is_number()) {
        return false;
    }
    const double number = value.get<double>();
    if (!std::isfinite(number) || number > 1e9 || number < -1e9) {
        return false;
    }
    // Compared as the float that is sent, so that 0.3 itself passes.
    out = static_cast<float>(number);
    return out >= low && out <= high;
}

void configureValue(const json& value, Command& command)
{
    const std::string reason = "configure: value must be {\"activation\":true or false,\"retTorque\":0 to 100,"
                               "\"retStart\":0.3 to 10000}";
    if (!value.is_object() || value.size() != 3 || !value.contains("activation") ||
        !value["activation"].is_boolean() || !value.contains("retTorque") || !value.contains("retStart") ||
        !numberIn(value["retTorque"], 0.0F, 100.0F, command.config.retTorque) ||
        !numberIn(value["retStart"], 0.3F, longestStart, command.config.retStart)) {
        throw Refusal(reason);
    }
    command.config.activation = value["activation"].get<bool>();
}

void groupsValue(const json& value, Command& command)
{
    const std::string reason = "groups: value must be an object of cab, env, energyGS, energyUAV, sysState, "
                               "each 0 or 1, with at least one of them";
    if (!value.is_object() || value.empty()) {
        throw Refusal(reason);
    }
    for (const auto& [key, flag] : value.items()) {
        std::size_t index = 0;
        while (index < 5 && key != groupKeys[index]) {
            ++index;
        }
        if (index == 5 || !flag.is_number_integer() || (flag.get<long long>() != 0 && flag.get<long long>() != 1)) {
            throw Refusal(reason);
        }
        command.groups[index] = static_cast<int>(flag.get<long long>());
    }
}

void readValue(const json& document, Command& command)
{
    const json value = document.contains("value") ? document["value"] : json();
    const std::string name = commandName(command.kind);
    switch (command.kind) {
    case CommandKind::activate:
    case CommandKind::deactivate:
        if (!value.is_null()) {
            throw Refusal(name + " takes no value");
        }
        return;
    case CommandKind::torque:
        if (!numberIn(value, 0.0F, 100.0F, command.number)) {
            throw Refusal("torque: value must be a number from 0 to 100");
        }
        return;
    case CommandKind::startLength:
        if (!numberIn(value, 0.3F, longestStart, command.number)) {
            throw Refusal("start-length: value must be a number of metres from 0.3 to 10000");
        }
        return;
    case CommandKind::configure:
        configureValue(value, command);
        return;
    case CommandKind::groups:
        groupsValue(value, command);
        return;
    }
}

CommandKind kindOf(const json& document)
{
    if (!document.contains("command") || !document["command"].is_string()) {
        throw Refusal(std::string("command must be one of ") + commandList);
    }
    const std::string name = document["command"].get<std::string>();
    for (const auto& [text, kind] : kinds) {
        if (name == text) {
            return kind;
        }
    }
    throw Refusal("unknown command '" + printable(name, 40) + "': must be one of " + commandList);
}

} // namespace

const char* commandName(CommandKind kind)
{
    for (const auto& [text, each] : kinds) {
        if (each == kind) {
            return text;
        }
    }
    return "?";
}

ParsedCommand parseCommand(const std::string& payload)
{
    ParsedCommand parsed;
    if (payload.size() > longestCommand) {
        parsed.error = "the command is longer than " + std::to_string(longestCommand) + " bytes";
        return parsed;
    }
    // The JSON reader takes a NUL for the end of its input, so a command
    // with bytes after one would pass as the JSON in front of it.
    if (payload.find('\0') != std::string::npos) {
        parsed.error = "malformed JSON: the command holds a NUL byte";
        return parsed;
    }
    const json document = json::parse(payload, nullptr, false);
    if (document.is_discarded()) {
        parsed.error = "malformed JSON";
        return parsed;
    }
    if (!document.is_object()) {
        parsed.error = "the command must be a JSON object";
        return parsed;
    }
    const auto id = document.find("id");
    if (id == document.end() || !id->is_string() || id->get<std::string>().empty() ||
        id->get<std::string>().size() > longestId) {
        parsed.error = "id must be a non-empty string of at most " + std::to_string(longestId) + " bytes";
        return parsed;
    }
    parsed.id = id->get<std::string>();
    try {
        for (const auto& member : document.items()) {
            if (member.key() != "id" && member.key() != "command" && member.key() != "value") {
                throw Refusal("unknown member '" + printable(member.key(), 40) + "': a command has id, command and value");
            }
        }
        Command command;
        command.id = *parsed.id;
        command.kind = kindOf(document);
        readValue(document, command);
        parsed.command = command;
    } catch (const Refusal& e) {
        parsed.error = e.what();
    }
    return parsed;
}

std::string resultJson(const std::optional<std::string>& id, bool ok, const std::string& error,
                       const std::string& sent)
{
    return "{\"id\":" + (id ? toJsonString(*id) : std::string("null")) + ",\"ok\":" + (ok ? "true" : "false") +
           ",\"error\":" + toJsonString(error) + (sent.empty() ? "" : ",\"sent\":" + sent) + "}";
}

std::string sentValue(const Command& command)
{
    switch (command.kind) {
    case CommandKind::torque:
        return std::to_string(sentRetractionTorque(command.number));
    case CommandKind::startLength:
        return std::to_string(sentRetractionStartLength(command.number));
    case CommandKind::configure:
        return std::string("{\"activation\":") + (command.config.activation ? "true" : "false") +
               ",\"retTorque\":" + std::to_string(sentRetractionTorque(command.config.retTorque)) +
               ",\"retStart\":" + std::to_string(sentRetractionStartLength(command.config.retStart)) + "}";
    default:
        return "";
    }
}

bool sameCommand(const Command& a, const Command& b)
{
    if (a.id != b.id || a.kind != b.kind || a.number != b.number || !(a.config == b.config)) {
        return false;
    }
    for (std::size_t i = 0; i < 5; ++i) {
        if (a.groups[i] != b.groups[i]) {
            return false;
        }
    }
    return true;
}

void runCommand(StationLink& link, const Command& command)
{
    switch (command.kind) {
    case CommandKind::activate:
    case CommandKind::deactivate:
        link.setSystemActivation(command.kind == CommandKind::activate);
        return;
    case CommandKind::torque:
        link.setCableRetractionTorque(command.number);
        return;
    case CommandKind::startLength:
        link.setCableRetractionStartLength(command.number);
        return;
    case CommandKind::configure:
        link.setSystemConfig(command.config);
        return;
    case CommandKind::groups: {
        // Groups not named keep what the station has now.
        ConfigStatus groups;
        link.getSystemStatusConfig(groups);
        int* const flags[5] = {&groups.cab, &groups.env, &groups.energyGS, &groups.energyUAV, &groups.sysState};
        for (std::size_t i = 0; i < 5; ++i) {
            if (command.groups[i]) {
                *flags[i] = *command.groups[i];
            }
        }
        link.setSystemStatusConfig(groups);
        return;
    }
    }
}

CommandMemory::Seen CommandMemory::admit(const Command& command, std::string& answer)
{
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = entries.find(command.id);
    if (found != entries.end()) {
        if (!sameCommand(found->second.command, command)) {
            return Seen::otherCommand;
        }
        if (found->second.done) {
            answer = found->second.answer;
            return Seen::done;
        }
        ++found->second.owed;
        return Seen::running;
    }
    Entry entry;
    entry.command = command;
    entries.emplace(command.id, entry);
    order.push_back(command.id);
    // Forget the oldest answered ids; one still running stays until it ends.
    while (order.size() > capacity && entries.at(order.front()).done) {
        entries.erase(order.front());
        order.pop_front();
    }
    return Seen::fresh;
}

int CommandMemory::finish(const std::string& id, const std::string& answer, bool reachedStation)
{
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = entries.find(id);
    if (found == entries.end()) {
        return 1;
    }
    const int owed = found->second.owed;
    if (!reachedStation) {
        entries.erase(found);
        order.erase(std::find(order.begin(), order.end(), id));
        return owed;
    }
    found->second.done = true;
    found->second.answer = answer;
    found->second.owed = 0;
    return owed;
}

} // namespace bridge
