// The decoders: each reads one group of a reply that passed the reply check
// into its record. Every read is type-tested, so a reply of the wrong shape
// is refused in the decoder's own words or leaves a field as it was.
#include "Decoders.h"

#include "Failure.h"
#include "ProtocolKeys.h"
#include "ReplyTree.h"

#include <cstdint>
#include <string>

namespace ravenlink::protocol {

namespace {

void readConfigStatus(const json& group, ConfigStatus& flags)
{
    readInteger(group, SC_KEY_CAB, flags.cab);
    readInteger(group, SC_KEY_ENV, flags.env);
    readInteger(group, SC_KEY_ENERGY_GS, flags.energyGS);
    readInteger(group, SC_KEY_ENERGY_UAV, flags.energyUAV);
    readInteger(group, SC_KEY_SYS_STATE, flags.sysState);
}

void readCable(const json& cabData, CableStatus& cab)
{
    readScaled(cabData, SC_KEY_LENGTH, cab.length, 100.0F);
    readScaled(cabData, SC_KEY_SPEED, cab.speed, 100.0F);
    readInteger(cabData, SC_KEY_RET_STATUS, cab.retStatus);
    readScaled(cabData, SC_KEY_RET_TORQUE, cab.retTorque);
    readScaled(cabData, SC_KEY_RET_START, cab.retStart, 100.0F);
    readInteger(cabData, SC_KEY_TETHER_STATUS, cab.tetherStatus);
    readInteger(cabData, SC_KEY_GUIDE_STATUS, cab.guideStatus);
    readInteger(cabData, SC_KEY_REEL_STATUS, cab.reelStatus);
}

void readEnvironment(const json& envData, EnvStatus& env)
{
    readScaled(envData, SC_KEY_TEMP1, env.temp1);
    readScaled(envData, SC_KEY_TEMP2, env.temp2);
    readScaled(envData, SC_KEY_TEMP3, env.temp3);
    readScaled(envData, SC_KEY_TEMP4, env.temp4);
    readScaled(envData, SC_KEY_HUM1, env.hum1);
    readScaled(envData, SC_KEY_PRESS1, env.press1);
    readInteger(envData, SC_KEY_ENVSENSOR1_STATUS, env.envSensor1Status);
    readInteger(envData, SC_KEY_ENVSENSOR2_STATUS, env.envSensor2Status);
    readInteger(envData, SC_KEY_ENVSENSOR3_STATUS, env.envSensor3Status);
    readInteger(envData, SC_KEY_ENVSENSOR4_STATUS, env.envSensor4Status);
    readInteger(envData, SC_KEY_FAN1_RPM, env.fan1Rpm);
    readInteger(envData, SC_KEY_FAN1_STATUS, env.fan1Status);
    readInteger(envData, SC_KEY_FAN2_RPM, env.fan2Rpm);
    readInteger(envData, SC_KEY_FAN2_STATUS, env.fan2Status);
}

void readEnergyGS(const json& energyGSData, EnergyGSStatus& gs)
{
    readScaled(energyGSData, SC_KEY_MAINS_U, gs.mainsU);
    readScaled(energyGSData, SC_KEY_MAINS_I, gs.mainsI, 1000.0F);
    readScaled(energyGSData, SC_KEY_MAINS_F, gs.mainsF, 1000.0F);
    readInteger(energyGSData, SC_KEY_MAINS_STATUS, gs.mainsStatus);
    readInteger(energyGSData, SC_KEY_CTRL_SUPL_STATUS, gs.ctrlSuplStatus);
    readScaled(energyGSData, SC_KEY_BAT_U, gs.batU);
    readInteger(energyGSData, SC_KEY_BAT_STATUS, gs.batStatus);
}

void readEnergyUAV(const json& energyUAVData, EnergyUAVStatus& uav)
{
    readInteger(energyUAVData, SC_KEY_EXT_SUPL_STATUS, uav.extSuplStatus);
    readScaled(energyUAVData, SC_KEY_UAV_SUPL_U, uav.uavSuplU, 1000.0F);
    readScaled(energyUAVData, SC_KEY_UAV_SUPL_I, uav.uavSuplI);
    readInteger(energyUAVData, SC_KEY_UAV_CELL_COUNT, uav.uavCellCount);
    // The power follows whatever the record holds now, so a reply that
    // updates only one of voltage and current still yields a matching power.
    uav.uavPower = uav.uavSuplU * uav.uavSuplI;
}

void readSysState(const json& stateData, SysState& sys)
{
    readInteger(stateData, SC_KEY_ACTIVATION, sys.activation);
    readInteger(stateData, SC_KEY_RET_STATUS, sys.retStatus);
    readInteger(stateData, SC_KEY_BAT_STATUS, sys.batStatus);
    readInteger(stateData, SC_KEY_SYSTEM_TIME, sys.systemTime);
    readInteger(stateData, SC_KEY_OPERATION_TIME, sys.operationTime);
    readInteger(stateData, SC_KEY_FLIGHT_TIME, sys.flightTime);
    readInteger(stateData, SC_KEY_FLIGHT_TIME_OP_SUM, sys.flightTimeOpSum);
    readInteger(stateData, SC_KEY_FLIGHT_COUNT_OP_SUM, sys.flightCountOpSum);
    readInteger(stateData, SC_KEY_ERROR, sys.error);
}

void readSwVersions(const json& swVersionData, SwVersions& sw)
{
    readString(swVersionData, SC_KEY_MAIN_CTRL, sw.mainCtrl);
    readString(swVersionData, SC_KEY_REEL_CTRL, sw.reelCtrl);
    readString(swVersionData, SC_KEY_LPWR_CTRL, sw.lpwrCtrl);
    readString(swVersionData, SC_KEY_HPWR_CTRL, sw.hpwrCtrl);
    readString(swVersionData, SC_KEY_ENV_CTRL, sw.envCtrl);
    readString(swVersionData, SC_KEY_NET_CTRL, sw.netCtrl);
    readString(swVersionData, SC_KEY_BBAT_CTRL, sw.bbatCtrl);
}

void readCounters(const json& sysData, SystemDetails& details)
{
    readInteger(sysData, SC_KEY_FLIGHT_TIME_SUM, details.flightTimeSum);
    readInteger(sysData, SC_KEY_FLIGHT_COUNT, details.flightCount);
    readInteger(sysData, SC_KEY_OPERATION_TIME_SUM, details.operationTimeSum);
    readInteger(sysData, SC_KEY_OPERATION_COUNT, details.operationCount);
    readInteger(sysData, SC_KEY_SYSTEM_TIME_SUM, details.systemTimeSum);
    readInteger(sysData, SC_KEY_SYSTEM_USE_COUNT, details.systemUseCount);
    readInteger(sysData, SC_KEY_TTM, details.ttm);
    readInteger(sysData, SC_KEY_MAINTENANCE_REQUIRED, details.maintenanceRequired);
}

// Takes the number at the front of \p version (std::stoi rules, so its
// std::invalid_argument and std::out_of_range reach the caller) and removes
// everything up to and including the first "." when there is one.
int takeVersionPart(std::string& version)
{
    const int part = std::stoi(version);
    const std::size_t dot = version.find('.');
    if (dot != std::string::npos) {
        version.erase(0, dot + 1);
    }
    return part;
}

} // namespace

void decodeStatus(const std::string& data, SystemStatus& status)
{
    StatusGroups delivered;
    decodeStatus(Reply(data), status, delivered);
}

void decodeStatus(const std::string& data, SystemStatus& status, StatusGroups& delivered)
{
    decodeStatus(Reply(data), status, delivered);
}

void decodeStatus(const Reply& reply, SystemStatus& status)
{
    StatusGroups delivered;
    decodeStatus(reply, status, delivered);
}

void decodeStatus(const Reply& reply, SystemStatus& status, StatusGroups& delivered)
{
    const json& jData = treeOf(reply);
    if (!reply.wellFormed() || !jData.is_object()) {
        throwData("processStatusData", ": status data malformed");
    }
    const json* statusData = findObject(jData, SC_KEY_SYSTEM_STATUS);
    if (statusData == nullptr) {
        throwData("processStatusData", ": invalid status data format");
    }
    const json* statusConfig = findObject(*statusData, SC_KEY_CONFIG_STATUS);
    if (statusConfig == nullptr) {
        throwData("processStatusData", ": incomplete status data");
    }

    // Nothing below can fail, so a rejected reply never leaves a half-written
    // record. The flags do not decide which groups are read: a group that
    // arrives is decoded, one that does not leaves its sub-record alone and
    // is marked as not delivered.
    readConfigStatus(*statusConfig, status.configStatus);
    delivered = StatusGroups();
    if (const json* cabData = findObject(*statusData, SC_KEY_CAB)) {
        readCable(*cabData, status.cab);
        delivered.cab = true;
    }
    if (const json* envData = findObject(*statusData, SC_KEY_ENV)) {
        readEnvironment(*envData, status.env);
        delivered.env = true;
    }
    if (const json* energyGSData = findObject(*statusData, SC_KEY_ENERGY_GS)) {
        readEnergyGS(*energyGSData, status.energyGS);
        delivered.energyGS = true;
    }
    if (const json* energyUAVData = findObject(*statusData, SC_KEY_ENERGY_UAV)) {
        readEnergyUAV(*energyUAVData, status.energyUAV);
        delivered.energyUAV = true;
    }
    if (const json* stateData = findObject(*statusData, SC_KEY_SYS_STATE)) {
        readSysState(*stateData, status.sysState);
        delivered.sysState = true;
    }
}

void decodeDetails(const std::string& data, SystemDetails& details) { decodeDetails(Reply(data), details); }

void decodeDetails(const Reply& reply, SystemDetails& details)
{
    if (!reply.wellFormed()) {
        throwData("processSystemDetails", ": system data malformed");
    }
    const json& jData = treeOf(reply);
    // A usable text with the wrong shape reads as "status" data, in the same
    // words as the status decoder; only a parse failure says "system".
    if (!jData.is_object()) {
        throwData("processSystemDetails", ": status data malformed");
    }
    const json* sysData = findObject(jData, SC_KEY_SYSTEM_DETAILS);
    if (sysData == nullptr) {
        throwData("processSystemDetails", ": invalid status data format");
    }

    readString(*sysData, SC_KEY_PRODUCT_TYPE, details.productType);
    readString(*sysData, SC_KEY_MODEL, details.model);
    readString(*sysData, SC_KEY_SN, details.sn);
    readString(*sysData, SC_KEY_DOP, details.dop);
    readString(*sysData, SC_KEY_HW_VERSION, details.hwVersion);
    if (const json* swVersionData = findObject(*sysData, SC_KEY_SW_VERSION)) {
        readSwVersions(*swVersionData, details.swVersion);
    }
    readString(*sysData, SC_KEY_PROTOCOL_VERSION, details.protocolVersion);
    readString(*sysData, SC_KEY_UAV_CELL_VOLTAGES, details.uavCellVoltages);
    readInteger(*sysData, SC_KEY_MAX_POWER, details.maxPower);
    readString(*sysData, SC_KEY_CABLE_TYPE, details.cableType);
    readInteger(*sysData, SC_KEY_MAX_CABLE_LENGTH, details.maxCableLength);
    readInteger(*sysData, SC_KEY_NETWORK_TYPE, details.networkType);
    readCounters(*sysData, details);
}

void decodeConfig(const std::string& data, SystemConfig& config) { decodeConfig(Reply(data), config); }

void decodeConfig(const Reply& reply, SystemConfig& config)
{
    // These texts belong to getSystemConfig, whose last step this is.
    const json& jData = treeOf(reply);
    if (!reply.wellFormed() || !jData.is_object()) {
        throwData("getSystemConfig", ": system configuration data malformed");
    }
    const json* sysConfig = findObject(jData, SC_KEY_SYSTEM_CONFIG);
    if (sysConfig == nullptr) {
        throwData("getSystemConfig", ": invalid system configuration data format");
    }

    std::int32_t activation = 0;
    // 1: switched on by the power switch, 16: switched on over the serial
    // link; every other code means the system is off.
    if (readInteger(*sysConfig, SC_KEY_ACTIVATION, activation)) {
        config.activation = activation == 1 || activation == 16;
    }
    readScaled(*sysConfig, SC_KEY_RET_START, config.retStart, 100.0F);
    readScaled(*sysConfig, SC_KEY_RET_TORQUE, config.retTorque);
    readInteger(*sysConfig, SC_KEY_RET_STATUS, config.retStatus);
}

void decodeProtocolVersion(const std::string& replyData, int& major, int& minor, int& patch)
{
    decodeProtocolVersion(Reply(replyData), major, minor, patch);
}

void decodeProtocolVersion(const Reply& reply, int& major, int& minor, int& patch)
{
    if (!reply.wellFormed()) {
        throwData("getDeviceProtocolVersion", ": communication protocol information malformed");
    }
    const json& jData = treeOf(reply);
    std::string version;
    if (!jData.empty()) {
        const json* details = findObject(jData, SC_KEY_SYSTEM_DETAILS);
        if (details != nullptr) {
            readString(*details, SC_KEY_PROTOCOL_VERSION, version);
        }
    }
    if (version.empty()) {
        throwData("getDeviceProtocolVersion", ": unable to determine communication protocol version");
    }

    // "1.20" has no third part: the last number read stands for the rest.
    // Each number is stored as soon as it is read, so a part that fails
    // leaves the earlier ones set.
    major = takeVersionPart(version);
    minor = takeVersionPart(version);
    patch = takeVersionPart(version);
}

} // namespace ravenlink::protocol
