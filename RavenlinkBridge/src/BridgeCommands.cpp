// Every check happens before a command is queued: the library clamps a
// torque of 150 to 100 and a start length of 0.1 to 0.3 without a word, so a
// value out of range must be refused here or the station would be given a
// setting nobody asked for.
#include "BridgeCommands.h"

#include "BridgeLog.h"

#include <StationJson.h>
#include <StationValues.h>
#include <StationVocabulary.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace bridge {

namespace {

using nlohmann::json;
using namespace ravenlink::vocab;

constexpr std::size_t longestId = 200;

class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A JSON number as \p setting takes it: compared as the float that is sent.
bool numberIn(const json& value, const Setting& setting, float& out)
{
    if (!value.is_number()) {
        return false;
    }
    const std::optional<float> taken = accept(setting, value.get<double>());
    out = taken.value_or(0.0F);
    return taken.has_value();
}

std::string key(const Setting& setting) { return std::string(setting.jsonKey); }

void configureValue(const json& value, Command& command)
{
    const auto range = [](const Setting& s) {
        return "\"" + key(s) + "\":" + numberText(s.low) + " to " + numberText(s.high);
    };
    const std::string reason = "configure: value must be {\"activation\":true or false," + range(retractionTorque) +
                               "," + range(retractionStart) + "}";
    if (!value.is_object() || value.size() != 3 || !value.contains("activation") ||
        !value["activation"].is_boolean() || !value.contains(key(retractionTorque)) ||
        !value.contains(key(retractionStart)) ||
        !numberIn(value[key(retractionTorque)], retractionTorque, command.config.retTorque) ||
        !numberIn(value[key(retractionStart)], retractionStart, command.config.retStart)) {
        throw Refusal(reason);
    }
    command.config.activation = value["activation"].get<bool>();
}

void groupsValue(const json& value, Command& command)
{
    const std::string reason = "groups: value must be an object of " + groupList(true) +
                               ", each 0 or 1, with at least one of them";
    if (!value.is_object() || value.empty()) {
        throw Refusal(reason);
    }
    for (const auto& [name, flag] : value.items()) {
        // The JSON keys; configurations in the field have always used them.
        const int index = groupByJsonKey(name);
        if (index < 0 || !flag.is_number_integer() || (flag.get<long long>() != 0 && flag.get<long long>() != 1)) {
            throw Refusal(reason);
        }
        command.groups[static_cast<std::size_t>(index)] = static_cast<int>(flag.get<long long>());
    }
}

void readValue(const json& document, Command& command)
{
    const json value = document.contains("value") ? document["value"] : json();
    const std::string name(commandName(command.kind));
    switch (command.kind) {
    case CommandKind::activate:
    case CommandKind::deactivate:
        if (!value.is_null()) {
            throw Refusal(name + " takes no value");
        }
        return;
    case CommandKind::torque:
    case CommandKind::startLength: {
        const Setting& setting = command.kind == CommandKind::torque ? retractionTorque : retractionStart;
        if (!numberIn(value, setting, command.number)) {
            throw Refusal(name + ": value must be " + rangeText(setting));
        }
        return;
    }
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
        throw Refusal("command must be one of " + ravenlink::tools::commandList());
    }
    const std::string name = document["command"].get<std::string>();
    const std::optional<CommandKind> kind = ravenlink::tools::commandByWord(name);
    if (!kind) {
        throw Refusal("unknown command '" + printable(name, 40) + "': must be one of " +
                      ravenlink::tools::commandList());
    }
    return *kind;
}

} // namespace

std::string commandName(CommandKind kind) { return std::string(ravenlink::tools::commandWord(kind)); }

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
    ravenlink::JsonObject result;
    if (id) {
        result.add("id", *id);
    } else {
        result.addNull("id");
    }
    result.add("ok", ok).add("error", error);
    if (!sent.empty()) {
        result.addJson("sent", sent);
    }
    return result.str();
}

std::string sentValue(const Command& command)
{
    switch (command.kind) {
    case CommandKind::torque:
        return std::to_string(sentRetractionTorque(command.number));
    case CommandKind::startLength:
        return std::to_string(sentRetractionStartLength(command.number));
    case CommandKind::configure:
        return ravenlink::JsonObject()
            .add("activation", command.config.activation)
            .add(key(retractionTorque), sentRetractionTorque(command.config.retTorque))
            .add(key(retractionStart), sentRetractionStartLength(command.config.retStart))
            .str();
    default:
        return "";
    }
}

bool sameCommand(const Command& a, const Command& b)
{
    return a.id == b.id && static_cast<const ravenlink::tools::StationCommand&>(a) == b;
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
