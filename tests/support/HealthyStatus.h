// A status record as a sound station reports it: the defaults of the fields
// that would otherwise read as faults (a status never received is one) set
// to their healthy codes, so that a test can add exactly one finding.
#ifndef RAVENLINK_TESTS_HEALTHY_STATUS_H
#define RAVENLINK_TESTS_HEALTHY_STATUS_H

#include <StationLink.h>

namespace ravenlinktest {

inline SystemStatus healthyStatus()
{
    SystemStatus status;
    status.sysState.error = 0;
    status.cab.tetherStatus = 0;
    status.energyUAV.extSuplStatus = 0;
    return status;
}

// A healthy status in which every part is fitted and working and every
// measurement holds a value of its own, so that a reading shown for the
// wrong field shows the wrong number.
inline SystemStatus measuredStatus()
{
    SystemStatus status = healthyStatus();
    CableStatus& cab = status.cab;
    cab.length = 23.1F;
    cab.speed = -0.5F;
    cab.retTorque = 55.0F;
    cab.retStart = 2.5F;
    EnvStatus& env = status.env;
    env.temp1 = 33.0F;
    env.temp2 = -20.0F;
    env.temp3 = 26.0F;
    env.temp4 = 29.0F;
    env.hum1 = 44.0F;
    env.press1 = 1013.0F;
    env.envSensor1Status = env.envSensor2Status = env.envSensor3Status = env.envSensor4Status = 0;
    env.fan1Status = env.fan2Status = 0;
    env.fan1Rpm = 2400;
    env.fan2Rpm = 1800;
    EnergyGSStatus& gs = status.energyGS;
    gs.mainsU = 230.0F;
    gs.mainsI = 0.362F;
    gs.mainsF = 50.0F;
    gs.mainsStatus = gs.batStatus = 0;
    gs.batU = 80.0F;
    EnergyUAVStatus& uav = status.energyUAV;
    uav.uavSuplU = 48.0F;
    uav.uavSuplI = 20.0F;
    uav.uavPower = uav.uavSuplU * uav.uavSuplI;  // as the library derives it
    SysState& sys = status.sysState;
    sys.operationTime = 3600;
    sys.flightTime = 600;
    sys.flightTimeOpSum = 1200;
    sys.flightCountOpSum = 3;
    return status;
}

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_HEALTHY_STATUS_H
