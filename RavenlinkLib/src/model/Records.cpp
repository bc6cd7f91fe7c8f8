#include "StationRecords.h"

#include <tuple>

// Field-wise equality keeps test failures readable; floats compare exactly,
// since decoding is deterministic.
bool ConfigStatus::operator==(const ConfigStatus& o) const
{
    return std::tie(cab, env, energyGS, energyUAV, sysState) ==
           std::tie(o.cab, o.env, o.energyGS, o.energyUAV, o.sysState);
}

bool CableStatus::operator==(const CableStatus& o) const
{
    return std::tie(length, speed, retStatus, retTorque, retStart, tetherStatus, guideStatus, reelStatus) ==
           std::tie(o.length, o.speed, o.retStatus, o.retTorque, o.retStart, o.tetherStatus, o.guideStatus,
                    o.reelStatus);
}

bool EnvStatus::operator==(const EnvStatus& o) const
{
    return std::tie(temp1, temp2, temp3, temp4, hum1, press1, envSensor1Status, envSensor2Status,
                    envSensor3Status, envSensor4Status, fan1Rpm, fan1Status, fan2Rpm, fan2Status) ==
           std::tie(o.temp1, o.temp2, o.temp3, o.temp4, o.hum1, o.press1, o.envSensor1Status,
                    o.envSensor2Status, o.envSensor3Status, o.envSensor4Status, o.fan1Rpm, o.fan1Status,
                    o.fan2Rpm, o.fan2Status);
}

bool EnergyGSStatus::operator==(const EnergyGSStatus& o) const
{
    return std::tie(mainsU, mainsI, mainsF, mainsStatus, ctrlSuplStatus, batU, batStatus) ==
           std::tie(o.mainsU, o.mainsI, o.mainsF, o.mainsStatus, o.ctrlSuplStatus, o.batU, o.batStatus);
}

bool EnergyUAVStatus::operator==(const EnergyUAVStatus& o) const
{
    return std::tie(uavSuplU, uavSuplI, uavPower, extSuplStatus, uavCellCount) ==
           std::tie(o.uavSuplU, o.uavSuplI, o.uavPower, o.extSuplStatus, o.uavCellCount);
}

bool SysState::operator==(const SysState& o) const
{
    return std::tie(activation, retStatus, batStatus, systemTime, operationTime, flightTime, flightTimeOpSum,
                    flightCountOpSum, error) ==
           std::tie(o.activation, o.retStatus, o.batStatus, o.systemTime, o.operationTime, o.flightTime,
                    o.flightTimeOpSum, o.flightCountOpSum, o.error);
}

bool SystemStatus::operator==(const SystemStatus& o) const
{
    return std::tie(configStatus, cab, env, energyGS, energyUAV, sysState) ==
           std::tie(o.configStatus, o.cab, o.env, o.energyGS, o.energyUAV, o.sysState);
}

bool SwVersions::operator==(const SwVersions& o) const
{
    return std::tie(mainCtrl, reelCtrl, lpwrCtrl, hpwrCtrl, envCtrl, netCtrl, bbatCtrl) ==
           std::tie(o.mainCtrl, o.reelCtrl, o.lpwrCtrl, o.hpwrCtrl, o.envCtrl, o.netCtrl, o.bbatCtrl);
}

bool SystemDetails::operator==(const SystemDetails& o) const
{
    return std::tie(productType, model, sn, dop, hwVersion, swVersion, protocolVersion, uavCellVoltages,
                    maxPower, cableType, maxCableLength, networkType, flightTimeSum, flightCount,
                    operationTimeSum, operationCount, systemTimeSum, systemUseCount, ttm,
                    maintenanceRequired) ==
           std::tie(o.productType, o.model, o.sn, o.dop, o.hwVersion, o.swVersion, o.protocolVersion,
                    o.uavCellVoltages, o.maxPower, o.cableType, o.maxCableLength, o.networkType,
                    o.flightTimeSum, o.flightCount, o.operationTimeSum, o.operationCount, o.systemTimeSum,
                    o.systemUseCount, o.ttm, o.maintenanceRequired);
}

bool SystemConfig::operator==(const SystemConfig& o) const
{
    return std::tie(activation, retTorque, retStart, retStatus) ==
           std::tie(o.activation, o.retTorque, o.retStart, o.retStatus);
}

StatusGroups StatusGroups::all()
{
    StatusGroups groups;
    groups.cab = groups.env = groups.energyGS = groups.energyUAV = groups.sysState = true;
    return groups;
}

bool StatusGroups::operator==(const StatusGroups& o) const
{
    return std::tie(cab, env, energyGS, energyUAV, sysState) ==
           std::tie(o.cab, o.env, o.energyGS, o.energyUAV, o.sysState);
}
