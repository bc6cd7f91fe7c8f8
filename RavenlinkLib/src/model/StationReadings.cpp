// The status codes that make a measurement meaningless, in one place, so
// that a report, a monitoring system and a dashboard never disagree about
// whether a station measured something.
#include "StationReadings.h"

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

} // namespace ravenlink
