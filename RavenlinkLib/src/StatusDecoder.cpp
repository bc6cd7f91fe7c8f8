#include "ProtocolKeys.h"
#include "StationLinkImpl.h"

#include <cstdint>

using ravenlink::json;
using ravenlink::readInteger;
using ravenlink::readScaled;

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

} // namespace

void StationLinkImpl::processStatusData(const std::string& data, SystemStatus& status)
{
    StatusGroups delivered;
    processStatusData(data, status, delivered);
}

void StationLinkImpl::processStatusData(const std::string& data, SystemStatus& status, StatusGroups& delivered)
{
    json jData;
    if (!ravenlink::parseReply(data, jData) || !jData.is_object()) {
        raiseData("processStatusData", ": status data malformed");
    }
    const json* statusData = ravenlink::findObject(jData, SC_KEY_SYSTEM_STATUS);
    if (statusData == nullptr) {
        raiseData("processStatusData", ": invalid status data format");
    }
    const json* statusConfig = ravenlink::findObject(*statusData, SC_KEY_CONFIG_STATUS);
    if (statusConfig == nullptr) {
        raiseData("processStatusData", ": incomplete status data");
    }

    // Nothing below can fail, so a rejected reply never leaves a half-written
    // record. The flags do not decide which groups are read: a group that
    // arrives is decoded, one that does not leaves its sub-record alone and
    // is marked as not delivered.
    readConfigStatus(*statusConfig, status.configStatus);
    delivered = StatusGroups();
    if (const json* cabData = ravenlink::findObject(*statusData, SC_KEY_CAB)) {
        readCable(*cabData, status.cab);
        delivered.cab = true;
    }
    if (const json* envData = ravenlink::findObject(*statusData, SC_KEY_ENV)) {
        readEnvironment(*envData, status.env);
        delivered.env = true;
    }
    if (const json* energyGSData = ravenlink::findObject(*statusData, SC_KEY_ENERGY_GS)) {
        readEnergyGS(*energyGSData, status.energyGS);
        delivered.energyGS = true;
    }
    if (const json* energyUAVData = ravenlink::findObject(*statusData, SC_KEY_ENERGY_UAV)) {
        readEnergyUAV(*energyUAVData, status.energyUAV);
        delivered.energyUAV = true;
    }
    if (const json* stateData = ravenlink::findObject(*statusData, SC_KEY_SYS_STATE)) {
        readSysState(*stateData, status.sysState);
        delivered.sysState = true;
    }
}
