// The status codes that make a measurement meaningless, in one place, so
// that a report, a monitoring system and a dashboard never disagree about
// whether a station measured something.
#include "StationReadings.h"
#include "StationFields.h"

#include <optional>
#include <type_traits>
#include <utility>

namespace ravenlink {

namespace {

constexpr int partOk = 0;
constexpr int fanFailed = 1;
constexpr int batteryFailed = 127;
constexpr int notFitted = 255;

} // namespace

Presence temperaturePresence(const EnvStatus& env, int sensor)
{
    const int codes[] = {env.envSensor1Status, env.envSensor2Status, env.envSensor3Status, env.envSensor4Status};
    if (sensor < 1 || sensor > 4) {
        return Presence::absent;
    }
    const int code = codes[sensor - 1];
    if (code == partOk) {
        return Presence::value;
    }
    // The board sensor has no "not fitted": its 255 is a failure like any other code.
    return code == notFitted && sensor != 1 ? Presence::absent : Presence::failed;
}

Presence climatePresence(const EnvStatus& env) { return temperaturePresence(env, 1); }

Presence fanPresence(const EnvStatus& env, int fan)
{
    if (fan != 1 && fan != 2) {
        return Presence::absent;
    }
    const int code = fan == 1 ? env.fan1Status : env.fan2Status;
    return code == partOk ? Presence::value : code == fanFailed ? Presence::failed : Presence::absent;
}

Presence mainsPresence(const EnergyGSStatus& energyGS)
{
    return energyGS.mainsStatus == notFitted ? Presence::absent : Presence::value;
}

Presence batteryPresence(const EnergyGSStatus& energyGS)
{
    switch (energyGS.batStatus) {
    case batteryFailed:
        return Presence::failed;
    case notFitted:
        return Presence::absent;
    default:
        return Presence::value;
    }
}

namespace {

using Gate = Presence (*)(const SystemStatus& status);

// Every leaf of a status by its dotted path, with the name of its group.
template <typename F>
void eachPath(F&& f)
{
    RecordFields<SystemStatus>::each([&](const char* groupName, auto groupMember) {
        using Group = std::remove_reference_t<decltype(std::declval<SystemStatus&>().*groupMember)>;
        RecordFields<Group>::each(
            [&](const char* field, auto) { f(std::string_view(groupName), std::string(groupName) + "." + field); });
    });
}

// The name that RecordFields gives \p member of \p Record.
template <typename Record, typename T>
std::string nameOf(T Record::*member)
{
    std::string name;
    RecordFields<Record>::each([&](const char* field, auto candidate) {
        if constexpr (std::is_same_v<decltype(candidate), T Record::*>) {
            if (candidate == member) {
                name = field;
            }
        }
    });
    return name;
}

// The path of \p member of the group \p group, by the records' own names.
template <typename Group, typename T>
std::string pathOf(Group SystemStatus::*group, T Group::*member)
{
    return nameOf(group) + "." + nameOf(member);
}

struct Rule {
    std::string path;
    Gate gate;
};

// The measurements that a part's code governs; every other field is a value.
const std::vector<Rule>& rules()
{
    static const std::vector<Rule> all = [] {
        const auto env = [](auto EnvStatus::*member, Gate gate) {
            return Rule{pathOf(&SystemStatus::env, member), gate};
        };
        const auto mains = [](float EnergyGSStatus::*member) {
            const Gate gate = [](const SystemStatus& s) { return mainsPresence(s.energyGS); };
            return Rule{pathOf(&SystemStatus::energyGS, member), gate};
        };
        const Gate climate = [](const SystemStatus& s) { return climatePresence(s.env); };
        return std::vector<Rule>{
            env(&EnvStatus::temp1, [](const SystemStatus& s) { return temperaturePresence(s.env, 1); }),
            env(&EnvStatus::temp2, [](const SystemStatus& s) { return temperaturePresence(s.env, 2); }),
            env(&EnvStatus::temp3, [](const SystemStatus& s) { return temperaturePresence(s.env, 3); }),
            env(&EnvStatus::temp4, [](const SystemStatus& s) { return temperaturePresence(s.env, 4); }),
            env(&EnvStatus::hum1, climate),
            env(&EnvStatus::press1, climate),
            env(&EnvStatus::fan1Rpm, [](const SystemStatus& s) { return fanPresence(s.env, 1); }),
            env(&EnvStatus::fan2Rpm, [](const SystemStatus& s) { return fanPresence(s.env, 2); }),
            mains(&EnergyGSStatus::mainsU),
            mains(&EnergyGSStatus::mainsI),
            mains(&EnergyGSStatus::mainsF),
            Rule{pathOf(&SystemStatus::energyGS, &EnergyGSStatus::batU),
                 [](const SystemStatus& s) { return batteryPresence(s.energyGS); }},
        };
    }();
    return all;
}

// Whether the group named \p groupName came; the flags come with every reply.
bool groupDelivered(const StatusGroups& delivered, std::string_view groupName)
{
    bool sent = true;
    RecordFields<StatusGroups>::each([&](const char* name, bool StatusGroups::*flag) {
        if (groupName == name) {
            sent = delivered.*flag;
        }
    });
    return sent;
}

Presence ruledPresence(const SystemStatus& status, std::string_view path)
{
    for (const Rule& rule : rules()) {
        if (rule.path == path) {
            return rule.gate(status);
        }
    }
    return Presence::value;
}

} // namespace

Presence presenceAt(const SystemStatus& status, const StatusGroups& delivered, std::string_view path)
{
    std::optional<std::string_view> groupName;
    eachPath([&](std::string_view group, const std::string& leaf) {
        if (leaf == path) {
            groupName = group;
        }
    });
    if (!groupName || !groupDelivered(delivered, *groupName)) {
        return Presence::absent;
    }
    return ruledPresence(status, path);
}

std::vector<std::string> fieldsWithoutValue(const SystemStatus& status, const StatusGroups& delivered)
{
    std::vector<std::string> paths;
    eachPath([&](std::string_view group, const std::string& leaf) {
        if (groupDelivered(delivered, group) && ruledPresence(status, leaf) != Presence::value) {
            paths.push_back(leaf);
        }
    });
    return paths;
}

} // namespace ravenlink
