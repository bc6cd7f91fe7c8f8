#include "StationState.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Steps of the simulation; a long idle gap is caught up in these.
constexpr double kStep = 0.2;
// Beyond this gap only the clocks move: a day of drift is plenty.
constexpr double kMaxSimulatedGap = 24.0 * 3600.0;

constexpr double kClimbSpeed = 60.0;    // cm/s unwinding
constexpr double kWindSpeed = -45.0;    // cm/s winding in
constexpr double kTakeOffDelay = 8.0;   // s on the ground after activation or landing
constexpr double kSupplyNominal = 25200.0;  // mV, a full 6S pack

template <typename T>
T toSlot(double value)
{
    const double lo = static_cast<double>(std::numeric_limits<T>::min());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    return static_cast<T>(std::clamp(std::round(value), lo, hi));
}

double approach(double value, double target, double dt, double tau)
{
    return value + (target - value) * std::min(1.0, dt / tau);
}

} // namespace

StationState::StationState(std::uint32_t seed, Clock::time_point start, std::uint32_t wallClock)
    : rng(seed), last(start), systemTime(wallClock)
{
}

double StationState::noise(double sigma)
{
    return std::normal_distribution<double>(0.0, sigma)(rng);
}

void StationState::advanceTo(Clock::time_point now)
{
    if (now <= last) {
        return;
    }
    double gap = std::chrono::duration<double>(now - last).count();
    last = now;
    systemTime += gap;
    systemTimeSum += gap;
    if (activationCode != 0) {
        // Operation clocks count in full even when the drift is cut short.
        operationTime += std::max(0.0, gap - kMaxSimulatedGap);
    }
    for (gap = std::min(gap, kMaxSimulatedGap); gap > 0.0; gap -= kStep) {
        step(std::min(gap, kStep));
    }
}

void StationState::step(double dt)
{
    if (activationCode != 0) {
        sinceActivation += dt;
        operationTime += dt;
        operationTimeSum += dt;
        ttm = std::max(0.0, ttm - dt);
    }
    stepFlight(dt);
    if (phase != Phase::Landed) {
        flightTime += dt;
        flightTimeOpSum += dt;
        flightTimeSum += dt;
    }
    stepSupply(dt);
    stepClimate(dt);
}

void StationState::takeOff()
{
    phase = Phase::Ascending;
    phaseTime = 0.0;
    flightTime = 0.0;
    ++flightCountOpSum;
    ++flightCount;
    const double highest = kMaxCableLength * 100.0 - 300.0;
    hoverTarget = std::min(highest, std::uniform_real_distribution<double>(3000.0, 8000.0)(rng));
}

void StationState::stepFlight(double dt)
{
    phaseTime += dt;
    if (activationCode == 0 && (phase == Phase::Ascending || phase == Phase::Hovering)) {
        // Deactivated in the air: the reel winds the UAV home.
        phase = Phase::Descending;
    }
    switch (phase) {
    case Phase::Landed:
        speedCmS = 0.0;
        if (activationCode != 0 && phaseTime >= kTakeOffDelay) {
            takeOff();
        }
        return;
    case Phase::Ascending:
        speedCmS = kClimbSpeed + noise(3.0);
        if (lengthCm >= hoverTarget) {
            phase = Phase::Hovering;
            phaseTime = 0.0;
            hoverDuration = std::uniform_real_distribution<double>(40.0, 90.0)(rng);
        }
        break;
    case Phase::Hovering:
        // Gusts pull on the tether; the reel follows and settles back.
        speedCmS = 0.6 * speedCmS + 0.3 * (hoverTarget - lengthCm) + noise(6.0);
        if (phaseTime >= hoverDuration) {
            phase = Phase::Descending;
        }
        break;
    case Phase::Descending:
        speedCmS = kWindSpeed + noise(2.0);
        break;
    }
    lengthCm = std::clamp(lengthCm + speedCmS * dt, 0.0, kMaxCableLength * 100.0);
    if (phase == Phase::Descending && lengthCm <= 0.0) {
        phase = Phase::Landed;
        phaseTime = 0.0;
        speedCmS = 0.0;
    }
}

void StationState::stepSupply(double dt)
{
    static constexpr double kCurrent[] = {1.5, 34.0, 26.0, 18.0};  // A by phase
    const bool supplied = activationCode != 0 || phase != Phase::Landed;
    const double target = supplied ? kCurrent[static_cast<int>(phase)] : 0.0;
    uavI = supplied ? std::max(0.0, approach(uavI, target, dt, 1.0) + noise(0.3)) : 0.0;
    uavU = supplied ? kSupplyNominal - uavI * 35.0 + noise(15.0) : 0.0;

    const double uavPower = uavU / 1000.0 * uavI;
    mainsU = approach(mainsU, 230.0, dt, 20.0) + noise(0.4 * std::sqrt(dt));
    mainsF = approach(mainsF, 50000.0, dt, 10.0) + noise(6.0 * std::sqrt(dt));
    // Conversion losses and the station's own 85 W.
    mainsI = (uavPower / 0.92 + 85.0) / mainsU * 1000.0 + noise(5.0);
    ctrlDrift = approach(ctrlDrift, 0.0, dt, 30.0) + noise(0.0004 * std::sqrt(dt));
}

void StationState::stepClimate(double dt)
{
    const double power = uavU / 1000.0 * uavI;
    ambient = approach(ambient, 21.0, dt, 600.0) + noise(0.02 * std::sqrt(dt));
    temps[0] = approach(temps[0], ambient + 12.0 + power / 150.0, dt, 120.0);
    temps[1] = approach(temps[1], ambient, dt, 30.0);
    temps[2] = approach(temps[2], ambient + 5.0 + std::abs(speedCmS) * 0.15, dt, 90.0);
    temps[3] = approach(temps[3], ambient + 8.0 + power / 60.0, dt, 150.0);
    humidity = std::clamp(approach(humidity, 44.0, dt, 900.0) + noise(0.05 * std::sqrt(dt)), 10.0, 95.0);
    pressure = approach(pressure, 1013.0, dt, 1800.0) + noise(0.05 * std::sqrt(dt));
    const double fanTarget = std::clamp(1400.0 + (temps[3] - 30.0) * 90.0, 1400.0, 5200.0);
    fanRpm[0] = approach(fanRpm[0], fanTarget, dt, 5.0) + noise(4.0);
    fanRpm[1] = approach(fanRpm[1], fanTarget * 0.96, dt, 5.0) + noise(4.0);
}

void StationState::setActivation(std::uint8_t code)
{
    if (code != 0 && activationCode == 0) {
        // A new operation starts.
        operationTime = 0.0;
        flightTimeOpSum = 0.0;
        flightCountOpSum = 0;
        sinceActivation = 0.0;
        ++operationCount;
        if (phase == Phase::Landed) {
            phaseTime = 0.0;
        }
    }
    activationCode = code;
}

void StationState::setGroupFlag(sc_key group, std::uint8_t flag)
{
    static constexpr sc_key kGroups[] = {SC_KEY_CAB, SC_KEY_ENV, SC_KEY_ENERGY_GS, SC_KEY_ENERGY_UAV,
                                         SC_KEY_SYS_STATE};
    for (std::size_t i = 0; i < groupFlags.size(); ++i) {
        if (kGroups[i] == group) {
            groupFlags[i] = flag;
        }
    }
}

void StationState::publish() const
{
    publishDetails();
    publishStatus();
}

void StationState::publishDetails() const
{
    ::setProductType("Loftward TGS");
    ::setModel("LW-GS 200");
    ::setSn("LW2-0451-22817");
    ::setDop("2023-03-14");
    ::setHwVersion("3.1.0");
    ::setMainCtrl("2.4.1");
    ::setReelCtrl("1.9.3");
    ::setLpwrCtrl("1.2.0");
    ::setHpwrCtrl("1.2.2");
    ::setEnvCtrl("1.0.7");
    ::setNetCtrl("1.0.4");
    ::setBbatCtrl("1.1.2");
    ::setUavCellVoltages("6S LiPo 3.7 V");
    ::setMaxPower(1500);
    ::setCableType("2-wire 400 V DC 1.5 mm2");
    ::setMaxCableLength(kMaxCableLength);
    ::setNetworkType(1);
    ::setFlightTimeSum(toSlot<std::uint32_t>(flightTimeSum));
    ::setFlightCount(flightCount);
    ::setOperationTimeSum(toSlot<std::uint32_t>(operationTimeSum));
    ::setOperationCount(operationCount);
    ::setSystemTimeSum(toSlot<std::uint32_t>(systemTimeSum));
    ::setSystemUseCount(systemUseCount);
    ::setTtm(toSlot<std::uint32_t>(ttm));
    ::setMaintenanceRequired(ttm <= 0.0 ? 1 : 0);
}

void StationState::publishStatus() const
{
    static constexpr double kCtrlNominal[] = {24000.0, 12000.0, 5000.0, 3300.0, 15000.0, -15000.0};
    using SlotSetter = void (*)(int16_t);
    static constexpr SlotSetter kCtrlSetters[] = {::setCtrlSupl1, ::setCtrlSupl2, ::setCtrlSupl3,
                                                  ::setCtrlSupl4, ::setCtrlSupl5, ::setCtrlSupl6};
    const bool supplied = activationCode != 0 || phase != Phase::Landed;

    ::setConfigCab(groupFlags[0]);
    ::setConfigEnv(groupFlags[1]);
    ::setConfigEnergyGS(groupFlags[2]);
    ::setConfigEnergyUAV(groupFlags[3]);
    ::setConfigSysState(groupFlags[4]);

    ::setActivation(activationCode);
    ::setRetStatus(activationCode != 0 ? 16 : 0);
    ::setRetTorque(retTorque);
    ::setRetStart(retStart);
    ::setLength(toSlot<int16_t>(lengthCm));
    ::setSpeed(toSlot<int16_t>(speedCmS));
    ::setTetherStatus(lengthCm >= kMaxCableLength * 100.0 - 10.0 ? 2 : 0);
    ::setGuideStatus(0);
    ::setReelStatus(0);

    ::setTemp1(toSlot<int8_t>(temps[0]));
    ::setTemp2(toSlot<int8_t>(temps[1]));
    ::setTemp3(toSlot<int8_t>(temps[2]));
    ::setTemp4(toSlot<int8_t>(temps[3]));
    ::setHum1(toSlot<int8_t>(humidity));
    ::setPress1(toSlot<uint16_t>(pressure));
    ::setEnvSensor1Status(0);
    ::setEnvSensor2Status(0);
    ::setEnvSensor3Status(0);
    ::setEnvSensor4Status(0);
    ::setFan1Rpm(toSlot<uint16_t>(fanRpm[0]));
    ::setFan2Rpm(toSlot<uint16_t>(fanRpm[1]));
    ::setFan1Status(0);
    ::setFan2Status(0);

    ::setMainsU(toSlot<int16_t>(mainsU));
    ::setMainsI(toSlot<int16_t>(mainsI));
    ::setMainsF(toSlot<uint16_t>(mainsF));
    ::setMainsStatus(0);
    for (std::size_t i = 0; i < 6; ++i) {
        kCtrlSetters[i](toSlot<int16_t>(kCtrlNominal[i] * (1.0 + ctrlDrift)));
    }
    ::setCtrlSuplStatus(0);
    ::setCtrlSupl1Status(0);
    ::setCtrlSupl2Status(0);
    ::setCtrlSupl3Status(0);
    ::setCtrlSupl4Status(0);
    ::setCtrlSupl5Status(0);
    ::setCtrlSupl6Status(0);
    ::setBatU(100);
    ::setBatStatus(0);

    ::setUavSuplU(toSlot<int16_t>(uavU));
    ::setUavSuplI(toSlot<int16_t>(uavI));
    ::setExtSuplU(supplied ? 400 : 0);
    ::setExtSuplI(toSlot<int16_t>(uavU / 1000.0 * uavI / 400.0 * 1000.0));
    ::setExtSuplStatus(!supplied ? 0 : activationCode == 0 ? 4 : sinceActivation < 3.0 ? 1 : 2);
    ::setUavSuplStatus(supplied ? 2 : 0);
    ::setUavCellCount(6);

    ::setFlightTime(toSlot<std::uint32_t>(flightTime));
    ::setFlightTimeOpSum(toSlot<std::uint32_t>(flightTimeOpSum));
    ::setFlightCountOpSum(flightCountOpSum);
    ::setOperationTime(toSlot<std::uint32_t>(operationTime));
    ::setSystemTime(toSlot<std::uint32_t>(systemTime));
    ::setError(0);
    ::setNetworkStatus(0);
    ::setMemoryStatus(0);
    ::setAuthEnable(extended ? 1 : 0);
}
