// The test's own account of what the station composes and what the library
// decodes from it: the values a store holds, row by row of the composer's
// table, where each of them lands in the decoded records and how it is
// converted there, and which members every reply must carry.
#ifndef RAVENLINK_TEST_ROUND_TRIP_ORACLE_H
#define RAVENLINK_TEST_ROUND_TRIP_ORACLE_H

#include "ProtocolKeys.h"
#include "StationComposer.h"
#include "StationLink.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace roundtrip {

using ravenlink::json;

/// What one row of the table holds: its number as the slot keeps it, or its text.
struct Value {
    std::int64_t number = 0;
    std::string text;
};

/// The row of \p key in \p group, or -1 when the table has none.
inline int findRow(sc_key group, sc_key key)
{
    static const std::vector<int> rows = [] {
        std::vector<int> table(static_cast<std::size_t>(SC_KEY_COUNT) * SC_KEY_COUNT, -1);
        for (std::size_t row = 0; row < sc_value_count; ++row) {
            table[static_cast<std::size_t>(sc_values[row].group) * SC_KEY_COUNT + sc_values[row].key] =
                static_cast<int>(row);
        }
        return table;
    }();
    return rows[static_cast<std::size_t>(group) * SC_KEY_COUNT + key];
}

/// The row of \p key in \p group; a name the table lacks is a fault of the caller.
inline std::size_t rowOf(sc_key group, sc_key key)
{
    const int row = findRow(group, key);
    if (row < 0) {
        throw std::logic_error(std::string("no station value ") + sc_key_text[group] + "." + sc_key_text[key]);
    }
    return static_cast<std::size_t>(row);
}

/// A number cut to a slot of \p width bytes, as a conversion to the slot's type cuts it.
inline std::int64_t cutToWidth(const sc_value& value, std::int64_t number)
{
    const int bits = static_cast<int>(value.width) * 8;
    const std::uint64_t low = static_cast<std::uint64_t>(number) & ((std::uint64_t{1} << bits) - 1U);
    const bool negative = value.kind == SC_KIND_SIGNED && (low >> (bits - 1)) != 0U;
    return negative ? static_cast<std::int64_t>(low) - (std::int64_t{1} << bits) : static_cast<std::int64_t>(low);
}

/// The store as the test expects it, indexed like sc_values.
class StoreModel {
public:
    /// The store as it is now, read through the table (after sc_reset_store(): the defaults).
    static StoreModel current()
    {
        StoreModel model;
        model.values.resize(sc_value_count);
        for (std::size_t row = 0; row < sc_value_count; ++row) {
            if (sc_values[row].kind == SC_KIND_TEXT) {
                model.values[row].text = sc_get_text(&sc_values[row]);
            } else {
                sc_get_number(&sc_values[row], &model.values[row].number);
            }
        }
        return model;
    }

    /// Sets a number row through the table and notes what its slot keeps.
    void setNumber(std::size_t row, std::int64_t number)
    {
        sc_set_number(&sc_values[row], number);
        values[row].number = cutToWidth(sc_values[row], number);
    }

    /// Sets a text row through the table; \p kept is what the slot keeps of it.
    void setText(std::size_t row, const char* text, std::string kept)
    {
        sc_set_text(&sc_values[row], text);
        values[row].text = std::move(kept);
    }

    const Value& at(std::size_t row) const { return values[row]; }
    const Value& at(sc_key group, sc_key key) const { return values[rowOf(group, key)]; }
    std::int64_t number(sc_key group, sc_key key) const { return at(group, key).number; }

private:
    std::vector<Value> values;
};

// ---- where each value lands in the decoded records ----

/// The field at the end of a chain of member pointers.
template <auto First, auto... Rest, typename Record>
auto& fieldOf(Record& record)
{
    if constexpr (sizeof...(Rest) == 0) {
        return record.*First;
    } else {
        return fieldOf<Rest...>(record.*First);
    }
}

/// "As received": the integer itself (times and counters unsigned 32-bit).
template <auto... Path, typename Record>
void received(Record& record, const Value& value)
{
    auto& field = fieldOf<Path...>(record);
    field = static_cast<std::remove_reference_t<decltype(field)>>(value.number);
}

/// "To float": the signed 32-bit integer as a float, divided in single precision.
template <int Divisor, auto... Path, typename Record>
void scaled(Record& record, const Value& value)
{
    fieldOf<Path...>(record) = static_cast<float>(static_cast<std::int32_t>(value.number)) / static_cast<float>(Divisor);
}

template <auto... Path, typename Record>
void asText(Record& record, const Value& value)
{
    fieldOf<Path...>(record) = value.text;
}

/// One decoded field: the reply group it is read from, the row it comes from
/// (another group's row where the value is shared) and its conversion.
template <typename Record>
struct Landing {
    sc_key wireGroup;
    sc_key group;
    sc_key key;
    void (*land)(Record&, const Value&);
};

#define ROUNDTRIP_LAND(wire, group, key, how) {SC_KEY_##wire, SC_KEY_##group, SC_KEY_##key, how}

inline const std::vector<Landing<SystemStatus>>& statusLandings()
{
    using S = SystemStatus;
    static const std::vector<Landing<SystemStatus>> landings = {
        ROUNDTRIP_LAND(CONFIG_STATUS, CONFIG_STATUS, CAB, (received<&S::configStatus, &ConfigStatus::cab>)),
        ROUNDTRIP_LAND(CONFIG_STATUS, CONFIG_STATUS, ENV, (received<&S::configStatus, &ConfigStatus::env>)),
        ROUNDTRIP_LAND(CONFIG_STATUS, CONFIG_STATUS, ENERGY_GS, (received<&S::configStatus, &ConfigStatus::energyGS>)),
        ROUNDTRIP_LAND(CONFIG_STATUS, CONFIG_STATUS, ENERGY_UAV, (received<&S::configStatus, &ConfigStatus::energyUAV>)),
        ROUNDTRIP_LAND(CONFIG_STATUS, CONFIG_STATUS, SYS_STATE, (received<&S::configStatus, &ConfigStatus::sysState>)),
        ROUNDTRIP_LAND(CAB, CAB, LENGTH, (scaled<100, &S::cab, &CableStatus::length>)),
        ROUNDTRIP_LAND(CAB, CAB, SPEED, (scaled<100, &S::cab, &CableStatus::speed>)),
        ROUNDTRIP_LAND(CAB, CAB, TETHER_STATUS, (received<&S::cab, &CableStatus::tetherStatus>)),
        ROUNDTRIP_LAND(CAB, CAB, GUIDE_STATUS, (received<&S::cab, &CableStatus::guideStatus>)),
        ROUNDTRIP_LAND(CAB, CAB, REEL_STATUS, (received<&S::cab, &CableStatus::reelStatus>)),
        ROUNDTRIP_LAND(CAB, SYSTEM_CONFIG, RET_STATUS, (received<&S::cab, &CableStatus::retStatus>)),
        ROUNDTRIP_LAND(CAB, SYSTEM_CONFIG, RET_TORQUE, (scaled<1, &S::cab, &CableStatus::retTorque>)),
        ROUNDTRIP_LAND(CAB, SYSTEM_CONFIG, RET_START, (scaled<100, &S::cab, &CableStatus::retStart>)),
        ROUNDTRIP_LAND(ENV, ENV, TEMP1, (scaled<1, &S::env, &EnvStatus::temp1>)),
        ROUNDTRIP_LAND(ENV, ENV, TEMP2, (scaled<1, &S::env, &EnvStatus::temp2>)),
        ROUNDTRIP_LAND(ENV, ENV, TEMP3, (scaled<1, &S::env, &EnvStatus::temp3>)),
        ROUNDTRIP_LAND(ENV, ENV, TEMP4, (scaled<1, &S::env, &EnvStatus::temp4>)),
        ROUNDTRIP_LAND(ENV, ENV, HUM1, (scaled<1, &S::env, &EnvStatus::hum1>)),
        ROUNDTRIP_LAND(ENV, ENV, PRESS1, (scaled<1, &S::env, &EnvStatus::press1>)),
        ROUNDTRIP_LAND(ENV, ENV, ENVSENSOR1_STATUS, (received<&S::env, &EnvStatus::envSensor1Status>)),
        ROUNDTRIP_LAND(ENV, ENV, ENVSENSOR2_STATUS, (received<&S::env, &EnvStatus::envSensor2Status>)),
        ROUNDTRIP_LAND(ENV, ENV, ENVSENSOR3_STATUS, (received<&S::env, &EnvStatus::envSensor3Status>)),
        ROUNDTRIP_LAND(ENV, ENV, ENVSENSOR4_STATUS, (received<&S::env, &EnvStatus::envSensor4Status>)),
        ROUNDTRIP_LAND(ENV, ENV, FAN1_RPM, (received<&S::env, &EnvStatus::fan1Rpm>)),
        ROUNDTRIP_LAND(ENV, ENV, FAN2_RPM, (received<&S::env, &EnvStatus::fan2Rpm>)),
        ROUNDTRIP_LAND(ENV, ENV, FAN1_STATUS, (received<&S::env, &EnvStatus::fan1Status>)),
        ROUNDTRIP_LAND(ENV, ENV, FAN2_STATUS, (received<&S::env, &EnvStatus::fan2Status>)),
        ROUNDTRIP_LAND(ENERGY_GS, ENERGY_GS, MAINS_U, (scaled<1, &S::energyGS, &EnergyGSStatus::mainsU>)),
        ROUNDTRIP_LAND(ENERGY_GS, ENERGY_GS, MAINS_I, (scaled<1000, &S::energyGS, &EnergyGSStatus::mainsI>)),
        ROUNDTRIP_LAND(ENERGY_GS, ENERGY_GS, MAINS_F, (scaled<1000, &S::energyGS, &EnergyGSStatus::mainsF>)),
        ROUNDTRIP_LAND(ENERGY_GS, ENERGY_GS, MAINS_STATUS, (received<&S::energyGS, &EnergyGSStatus::mainsStatus>)),
        ROUNDTRIP_LAND(ENERGY_GS, ENERGY_GS, CTRL_SUPL_STATUS, (received<&S::energyGS, &EnergyGSStatus::ctrlSuplStatus>)),
        ROUNDTRIP_LAND(ENERGY_GS, ENERGY_GS, BAT_U, (scaled<1, &S::energyGS, &EnergyGSStatus::batU>)),
        ROUNDTRIP_LAND(ENERGY_GS, ENERGY_GS, BAT_STATUS, (received<&S::energyGS, &EnergyGSStatus::batStatus>)),
        ROUNDTRIP_LAND(ENERGY_UAV, ENERGY_UAV, UAV_SUPL_U, (scaled<1000, &S::energyUAV, &EnergyUAVStatus::uavSuplU>)),
        ROUNDTRIP_LAND(ENERGY_UAV, ENERGY_UAV, UAV_SUPL_I, (scaled<1, &S::energyUAV, &EnergyUAVStatus::uavSuplI>)),
        ROUNDTRIP_LAND(ENERGY_UAV, ENERGY_UAV, EXT_SUPL_STATUS, (received<&S::energyUAV, &EnergyUAVStatus::extSuplStatus>)),
        ROUNDTRIP_LAND(ENERGY_UAV, ENERGY_UAV, UAV_CELL_COUNT, (received<&S::energyUAV, &EnergyUAVStatus::uavCellCount>)),
        ROUNDTRIP_LAND(SYS_STATE, SYSTEM_CONFIG, ACTIVATION, (received<&S::sysState, &SysState::activation>)),
        ROUNDTRIP_LAND(SYS_STATE, SYSTEM_CONFIG, RET_STATUS, (received<&S::sysState, &SysState::retStatus>)),
        ROUNDTRIP_LAND(SYS_STATE, ENERGY_GS, BAT_STATUS, (received<&S::sysState, &SysState::batStatus>)),
        ROUNDTRIP_LAND(SYS_STATE, SYS_STATE, FLIGHT_TIME, (received<&S::sysState, &SysState::flightTime>)),
        ROUNDTRIP_LAND(SYS_STATE, SYS_STATE, FLIGHT_TIME_OP_SUM, (received<&S::sysState, &SysState::flightTimeOpSum>)),
        ROUNDTRIP_LAND(SYS_STATE, SYS_STATE, FLIGHT_COUNT_OP_SUM, (received<&S::sysState, &SysState::flightCountOpSum>)),
        ROUNDTRIP_LAND(SYS_STATE, SYS_STATE, OPERATION_TIME, (received<&S::sysState, &SysState::operationTime>)),
        ROUNDTRIP_LAND(SYS_STATE, SYS_STATE, SYSTEM_TIME, (received<&S::sysState, &SysState::systemTime>)),
        ROUNDTRIP_LAND(SYS_STATE, SYS_STATE, ERROR, (received<&S::sysState, &SysState::error>)),
    };
    return landings;
}

inline const std::vector<Landing<SystemDetails>>& detailsLandings()
{
    using D = SystemDetails;
    using V = SwVersions;
    static const std::vector<Landing<SystemDetails>> landings = {
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, PRODUCT_TYPE, (asText<&D::productType>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, MODEL, (asText<&D::model>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, SN, (asText<&D::sn>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, DOP, (asText<&D::dop>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, HW_VERSION, (asText<&D::hwVersion>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, UAV_CELL_VOLTAGES, (asText<&D::uavCellVoltages>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, MAX_POWER, (received<&D::maxPower>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, CABLE_TYPE, (asText<&D::cableType>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, MAX_CABLE_LENGTH, (received<&D::maxCableLength>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, NETWORK_TYPE, (received<&D::networkType>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, FLIGHT_TIME_SUM, (received<&D::flightTimeSum>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, FLIGHT_COUNT, (received<&D::flightCount>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, OPERATION_TIME_SUM, (received<&D::operationTimeSum>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, OPERATION_COUNT, (received<&D::operationCount>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, SYSTEM_TIME_SUM, (received<&D::systemTimeSum>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, SYSTEM_USE_COUNT, (received<&D::systemUseCount>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, TTM, (received<&D::ttm>)),
        ROUNDTRIP_LAND(SYSTEM_DETAILS, SYSTEM_DETAILS, MAINTENANCE_REQUIRED, (received<&D::maintenanceRequired>)),
        ROUNDTRIP_LAND(SW_VERSION, SW_VERSION, MAIN_CTRL, (asText<&D::swVersion, &V::mainCtrl>)),
        ROUNDTRIP_LAND(SW_VERSION, SW_VERSION, REEL_CTRL, (asText<&D::swVersion, &V::reelCtrl>)),
        ROUNDTRIP_LAND(SW_VERSION, SW_VERSION, LPWR_CTRL, (asText<&D::swVersion, &V::lpwrCtrl>)),
        ROUNDTRIP_LAND(SW_VERSION, SW_VERSION, HPWR_CTRL, (asText<&D::swVersion, &V::hpwrCtrl>)),
        ROUNDTRIP_LAND(SW_VERSION, SW_VERSION, ENV_CTRL, (asText<&D::swVersion, &V::envCtrl>)),
        ROUNDTRIP_LAND(SW_VERSION, SW_VERSION, NET_CTRL, (asText<&D::swVersion, &V::netCtrl>)),
        ROUNDTRIP_LAND(SW_VERSION, SW_VERSION, BBAT_CTRL, (asText<&D::swVersion, &V::bbatCtrl>)),
    };
    return landings;
}

/// "ACTIVATION" decodes to true for 1 (power switch) and 16 (remote) only.
inline void activated(SystemConfig& config, const Value& value)
{
    config.activation = value.number == 1 || value.number == 16;
}

inline const std::vector<Landing<SystemConfig>>& configLandings()
{
    static const std::vector<Landing<SystemConfig>> landings = {
        ROUNDTRIP_LAND(SYSTEM_CONFIG, SYSTEM_CONFIG, ACTIVATION, activated),
        ROUNDTRIP_LAND(SYSTEM_CONFIG, SYSTEM_CONFIG, RET_STATUS, (received<&SystemConfig::retStatus>)),
        ROUNDTRIP_LAND(SYSTEM_CONFIG, SYSTEM_CONFIG, RET_TORQUE, (scaled<1, &SystemConfig::retTorque>)),
        ROUNDTRIP_LAND(SYSTEM_CONFIG, SYSTEM_CONFIG, RET_START, (scaled<100, &SystemConfig::retStart>)),
    };
    return landings;
}

#undef ROUNDTRIP_LAND

/// Whether the station sends \p wireGroup: a status data group only while
/// its "CONFIG_STATUS" flag is exactly 1, every other group always.
inline bool isSent(const StoreModel& model, sc_key wireGroup)
{
    return findRow(SC_KEY_CONFIG_STATUS, wireGroup) < 0 || model.number(SC_KEY_CONFIG_STATUS, wireGroup) == 1;
}

template <typename Record>
Record expected(const StoreModel& model, const std::vector<Landing<Record>>& landings, Record record = {})
{
    for (const Landing<Record>& landing : landings) {
        if (isSent(model, landing.wireGroup)) {
            landing.land(record, model.at(landing.group, landing.key));
        }
    }
    return record;
}

/// The record a status reply of \p model decodes to, from a fresh record.
inline SystemStatus expectedStatus(const StoreModel& model)
{
    SystemStatus status = expected(model, statusLandings());
    if (isSent(model, SC_KEY_ENERGY_UAV)) {
        status.energyUAV.uavPower = status.energyUAV.uavSuplU * status.energyUAV.uavSuplI;
    }
    return status;
}

inline SystemDetails expectedDetails(const StoreModel& model)
{
    SystemDetails details = expected(model, detailsLandings());
    details.protocolVersion = "1.20";
    return details;
}

inline SystemConfig expectedConfig(const StoreModel& model)
{
    return expected(model, configLandings(), SystemConfig{});
}

// ---- the members of a reply ----

/// "" when \p member holds \p value of \p row, else what it holds instead.
inline std::string valueMismatch(const json& member, std::size_t row, const StoreModel& model)
{
    const Value& value = model.at(row);
    const bool same = sc_values[row].kind == SC_KIND_TEXT
                          ? member.is_string() && member.get_ref<const std::string&>() == value.text
                          : member.is_number_integer() && member.get<std::int64_t>() == value.number;
    if (same) {
        return "";
    }
    const std::string want = sc_values[row].kind == SC_KIND_TEXT ? json(value.text).dump() : std::to_string(value.number);
    return std::string("\"") + sc_key_text[sc_values[row].key] + "\" is " + member.dump() + ", the store holds " + want;
}

/// Compares the object \p group of \p parent with the model: every value of
/// the group that is due (extended ones only in extended mode), every value
/// shared into it, and \p others members more that the caller checks.
inline std::string groupMismatch(const json& parent, sc_key group, const StoreModel& model, std::size_t others = 0)
{
    const json* object = ravenlink::findObject(parent, group);
    if (object == nullptr) {
        return std::string("no object \"") + sc_key_text[group] + "\"";
    }
    const bool extended = model.number(SC_KEY_SYS_STATE, SC_KEY_AUTH_ENABLE) != 0;
    std::vector<std::pair<sc_key, std::size_t>> due;
    for (std::size_t row = 0; row < sc_value_count; ++row) {
        if (sc_values[row].group == group && (extended || !sc_values[row].extended)) {
            due.emplace_back(sc_values[row].key, row);
        }
    }
    for (const Landing<SystemStatus>& landing : statusLandings()) {
        if (landing.wireGroup == group && landing.group != group) {
            due.emplace_back(landing.key, rowOf(landing.group, landing.key));
        }
    }
    for (const auto& [key, row] : due) {
        const auto member = object->find(sc_key_text[key]);
        const std::string mismatch = member == object->end() ? std::string("missing \"") + sc_key_text[key] + "\""
                                                             : valueMismatch(*member, row, model);
        if (!mismatch.empty()) {
            return std::string(sc_key_text[group]) + ": " + mismatch;
        }
    }
    if (object->size() != due.size() + others) {
        return std::string(sc_key_text[group]) + ": " + std::to_string(object->size()) + " members, " +
               std::to_string(due.size() + others) + " expected";
    }
    return "";
}

/// "SYSTEM_STATUS": "CONFIG_STATUS" and the data groups its flags switch on.
inline std::string statusMismatch(const json& root, const StoreModel& model)
{
    const json* status = ravenlink::findObject(root, SC_KEY_SYSTEM_STATUS);
    if (status == nullptr) {
        return "no object \"SYSTEM_STATUS\"";
    }
    std::string mismatch = groupMismatch(*status, SC_KEY_CONFIG_STATUS, model);
    std::size_t groups = 1;
    for (std::size_t row = 0; row < sc_value_count && mismatch.empty(); ++row) {
        if (sc_values[row].group == SC_KEY_CONFIG_STATUS && isSent(model, sc_values[row].key)) {
            ++groups;
            mismatch = groupMismatch(*status, sc_values[row].key, model);
        }
    }
    if (mismatch.empty() && status->size() != groups) {
        mismatch = "SYSTEM_STATUS: " + std::to_string(status->size()) + " groups, " + std::to_string(groups) +
                   " expected";
    }
    return mismatch;
}

/// "SYSTEM_DETAILS": its own values, the nested "SW_VERSION" and the
/// constant "PROTOCOL_VERSION".
inline std::string detailsMismatch(const json& root, const StoreModel& model)
{
    std::string mismatch = groupMismatch(root, SC_KEY_SYSTEM_DETAILS, model, 2);
    if (!mismatch.empty()) {
        return mismatch;
    }
    const json& details = *ravenlink::findObject(root, SC_KEY_SYSTEM_DETAILS);
    if (details.value(sc_key_text[SC_KEY_PROTOCOL_VERSION], json()) != "1.20") {
        return "SYSTEM_DETAILS: \"PROTOCOL_VERSION\" is not \"1.20\"";
    }
    return groupMismatch(details, SC_KEY_SW_VERSION, model);
}

/// Checks a parsed reply: "COM" and the one member \p part ("SYSTEM_STATUS",
/// "SYSTEM_DETAILS" or "SYSTEM_CONFIG"), in full. Returns "" or the first
/// difference.
inline std::string replyMismatch(const json& root, sc_key part, const StoreModel& model)
{
    if (!root.is_object() || root.size() != 2) {
        return "the reply is not an object of two members";
    }
    std::string mismatch = groupMismatch(root, SC_KEY_COM, model);
    if (!mismatch.empty()) {
        return mismatch;
    }
    return part == SC_KEY_SYSTEM_STATUS    ? statusMismatch(root, model)
           : part == SC_KEY_SYSTEM_DETAILS ? detailsMismatch(root, model)
                                           : groupMismatch(root, part, model);
}

} // namespace roundtrip

#endif // RAVENLINK_TEST_ROUND_TRIP_ORACLE_H
