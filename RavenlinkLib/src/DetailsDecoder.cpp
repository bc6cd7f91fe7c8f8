#include "ProtocolKeys.h"
#include "StationLinkImpl.h"

#include <cstdint>

using ravenlink::json;
using ravenlink::readInteger;
using ravenlink::readString;

namespace {

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

} // namespace

void StationLinkImpl::processSystemDetails(const std::string& data, SystemDetails& details)
{
    json jData;
    if (!ravenlink::parseReply(data, jData)) {
        raiseData("processSystemDetails", ": system data malformed");
    }
    // A usable text with the wrong shape reads as "status" data, in the same
    // words as the status decoder; only a parse failure says "system".
    if (!jData.is_object()) {
        raiseData("processSystemDetails", ": status data malformed");
    }
    const json* sysData = ravenlink::findObject(jData, SC_KEY_SYSTEM_DETAILS);
    if (sysData == nullptr) {
        raiseData("processSystemDetails", ": invalid status data format");
    }

    readString(*sysData, SC_KEY_PRODUCT_TYPE, details.productType);
    readString(*sysData, SC_KEY_MODEL, details.model);
    readString(*sysData, SC_KEY_SN, details.sn);
    readString(*sysData, SC_KEY_DOP, details.dop);
    readString(*sysData, SC_KEY_HW_VERSION, details.hwVersion);
    if (const json* swVersionData = ravenlink::findObject(*sysData, SC_KEY_SW_VERSION)) {
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

void StationLinkImpl::processSystemConfig(const std::string& data, SystemConfig& config)
{
    // These texts belong to getSystemConfig, whose last step this is.
    json jData;
    if (!ravenlink::parseReply(data, jData) || !jData.is_object()) {
        raiseData("getSystemConfig", ": system configuration data malformed");
    }
    const json* sysConfig = ravenlink::findObject(jData, SC_KEY_SYSTEM_CONFIG);
    if (sysConfig == nullptr) {
        raiseData("getSystemConfig", ": invalid system configuration data format");
    }

    std::int32_t activation = 0;
    // 1: switched on by the power switch, 16: switched on over the serial
    // link; every other code means the system is off.
    if (readInteger(*sysConfig, SC_KEY_ACTIVATION, activation)) {
        config.activation = activation == 1 || activation == 16;
    }
    ravenlink::readScaled(*sysConfig, SC_KEY_RET_START, config.retStart, 100.0F);
    ravenlink::readScaled(*sysConfig, SC_KEY_RET_TORQUE, config.retTorque);
    readInteger(*sysConfig, SC_KEY_RET_STATUS, config.retStatus);
}
