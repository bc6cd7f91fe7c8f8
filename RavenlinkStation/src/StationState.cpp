#include "StationState.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

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

// Who the station is; it never changes.
const StationState::Reading kIdentity[] = {
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_PRODUCT_TYPE, "Loftward TGS"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_MODEL, "LW-GS 200"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_SN, "LW2-0451-22817"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_DOP, "2023-03-14"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_HW_VERSION, "3.1.0"},
    {SC_KEY_SW_VERSION, SC_KEY_MAIN_CTRL, "2.4.1"},
    {SC_KEY_SW_VERSION, SC_KEY_REEL_CTRL, "1.9.3"},
    {SC_KEY_SW_VERSION, SC_KEY_LPWR_CTRL, "1.2.0"},
    {SC_KEY_SW_VERSION, SC_KEY_HPWR_CTRL, "1.2.2"},
    {SC_KEY_SW_VERSION, SC_KEY_ENV_CTRL, "1.0.7"},
    {SC_KEY_SW_VERSION, SC_KEY_NET_CTRL, "1.0.4"},
    {SC_KEY_SW_VERSION, SC_KEY_BBAT_CTRL, "1.1.2"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_UAV_CELL_VOLTAGES, "6S LiPo 3.7 V"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_MAX_POWER, 1500},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_CABLE_TYPE, "2-wire 400 V DC 1.5 mm2"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_NETWORK_TYPE, 1},
};

// Sets each value through the composer's table; a value the store lacks is
// a fault of this program.
template <typename Readings>
void applyReadings(const Readings& readings)
{
    for (const StationState::Reading& reading : readings) {
        const sc_value* value = sc_find_value(reading.group, reading.key);
        const sc_result result = reading.text != nullptr ? sc_set_text(value, reading.text)
                                                         : sc_set_number(value, reading.number);
        if (result != SC_OK) {
            throw std::logic_error(std::string("the station store has no value ") + sc_key_text[reading.group] +
                                   "." + sc_key_text[reading.key] + " of that kind");
        }
    }
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

std::optional<sc_key> StationState::statusGroup(const std::string& name)
{
    // The flags of "CONFIG_STATUS" are named after the groups they switch.
    for (std::size_t row = 0; row < sc_value_count; ++row) {
        if (sc_values[row].group == SC_KEY_CONFIG_STATUS && name == sc_key_text[sc_values[row].key]) {
            return sc_values[row].key;
        }
    }
    return std::nullopt;
}

void StationState::publish() const
{
    sc_reset_store();
    applyReadings(kIdentity);
    applyReadings(details());
    applyReadings(status());
}

std::vector<StationState::Reading> StationState::details() const
{
    return {
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_MAX_CABLE_LENGTH, kMaxCableLength},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_FLIGHT_TIME_SUM, toSlot<std::uint32_t>(flightTimeSum)},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_FLIGHT_COUNT, flightCount},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_OPERATION_TIME_SUM, toSlot<std::uint32_t>(operationTimeSum)},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_OPERATION_COUNT, operationCount},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_SYSTEM_TIME_SUM, toSlot<std::uint32_t>(systemTimeSum)},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_SYSTEM_USE_COUNT, systemUseCount},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_TTM, toSlot<std::uint32_t>(ttm)},
        {SC_KEY_SYSTEM_DETAILS, SC_KEY_MAINTENANCE_REQUIRED, ttm <= 0.0 ? 1 : 0},
    };
}

// Status codes that the simulation does not name keep the store's default,
// 0: no fault.
std::vector<StationState::Reading> StationState::status() const
{
    static constexpr double kCtrlNominal[] = {24000.0, 12000.0, 5000.0, 3300.0, 15000.0, -15000.0};
    static constexpr sc_key kCtrlSupplies[] = {SC_KEY_CTRL_SUPL1, SC_KEY_CTRL_SUPL2, SC_KEY_CTRL_SUPL3,
                                               SC_KEY_CTRL_SUPL4, SC_KEY_CTRL_SUPL5, SC_KEY_CTRL_SUPL6};
    const bool supplied = activationCode != 0 || phase != Phase::Landed;
    const int extStatus = !supplied ? 0 : activationCode == 0 ? 4 : sinceActivation < 3.0 ? 1 : 2;
    std::vector<Reading> readings = {
        {SC_KEY_SYSTEM_CONFIG, SC_KEY_ACTIVATION, activationCode},
        {SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_STATUS, activationCode != 0 ? 16 : 0},
        {SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_TORQUE, retTorque},
        {SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_START, retStart},
        {SC_KEY_CAB, SC_KEY_LENGTH, toSlot<int16_t>(lengthCm)},
        {SC_KEY_CAB, SC_KEY_SPEED, toSlot<int16_t>(speedCmS)},
        {SC_KEY_CAB, SC_KEY_TETHER_STATUS, lengthCm >= kMaxCableLength * 100.0 - 10.0 ? 2 : 0},
        // Sensor 1 measures the system board and is always fitted.
        {SC_KEY_ENV, SC_KEY_ENVSENSOR1_STATUS, 0},
        {SC_KEY_ENV, SC_KEY_ENVSENSOR2_STATUS, sensorsFitted >= 2 ? 0 : 255},
        {SC_KEY_ENV, SC_KEY_ENVSENSOR3_STATUS, sensorsFitted >= 3 ? 0 : 255},
        {SC_KEY_ENV, SC_KEY_ENVSENSOR4_STATUS, sensorsFitted >= 4 ? 0 : 255},
        {SC_KEY_ENV, SC_KEY_TEMP1, toSlot<int8_t>(temps[0])},
        {SC_KEY_ENV, SC_KEY_TEMP2, toSlot<int8_t>(temps[1])},
        {SC_KEY_ENV, SC_KEY_TEMP3, toSlot<int8_t>(temps[2])},
        {SC_KEY_ENV, SC_KEY_TEMP4, toSlot<int8_t>(temps[3])},
        {SC_KEY_ENV, SC_KEY_HUM1, toSlot<int8_t>(humidity)},
        {SC_KEY_ENV, SC_KEY_PRESS1, toSlot<uint16_t>(pressure)},
        {SC_KEY_ENV, SC_KEY_FAN1_RPM, toSlot<uint16_t>(fanRpm[0])},
        {SC_KEY_ENV, SC_KEY_FAN2_RPM, toSlot<uint16_t>(fanRpm[1])},
        {SC_KEY_ENERGY_GS, SC_KEY_MAINS_U, toSlot<int16_t>(mainsU)},
        {SC_KEY_ENERGY_GS, SC_KEY_MAINS_I, toSlot<int16_t>(mainsI)},
        {SC_KEY_ENERGY_GS, SC_KEY_MAINS_F, toSlot<uint16_t>(mainsF)},
        {SC_KEY_ENERGY_GS, SC_KEY_BAT_U, 100},
        {SC_KEY_ENERGY_GS, SC_KEY_BAT_STATUS, 0},
        {SC_KEY_ENERGY_UAV, SC_KEY_UAV_SUPL_U, toSlot<int16_t>(uavU)},
        {SC_KEY_ENERGY_UAV, SC_KEY_UAV_SUPL_I, toSlot<int16_t>(uavI)},
        {SC_KEY_ENERGY_UAV, SC_KEY_EXT_SUPL_U, supplied ? 400 : 0},
        {SC_KEY_ENERGY_UAV, SC_KEY_EXT_SUPL_I, toSlot<int16_t>(uavU / 1000.0 * uavI / 400.0 * 1000.0)},
        {SC_KEY_ENERGY_UAV, SC_KEY_EXT_SUPL_STATUS, extStatus},
        {SC_KEY_ENERGY_UAV, SC_KEY_UAV_SUPL_STATUS, supplied ? 2 : 0},
        {SC_KEY_ENERGY_UAV, SC_KEY_UAV_CELL_COUNT, 6},
        {SC_KEY_SYS_STATE, SC_KEY_FLIGHT_TIME, toSlot<std::uint32_t>(flightTime)},
        {SC_KEY_SYS_STATE, SC_KEY_FLIGHT_TIME_OP_SUM, toSlot<std::uint32_t>(flightTimeOpSum)},
        {SC_KEY_SYS_STATE, SC_KEY_FLIGHT_COUNT_OP_SUM, flightCountOpSum},
        {SC_KEY_SYS_STATE, SC_KEY_OPERATION_TIME, toSlot<std::uint32_t>(operationTime)},
        {SC_KEY_SYS_STATE, SC_KEY_SYSTEM_TIME, toSlot<std::uint32_t>(systemTime)},
        {SC_KEY_SYS_STATE, SC_KEY_AUTH_ENABLE, extended ? 1 : 0},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        readings.emplace_back(SC_KEY_ENERGY_GS, kCtrlSupplies[i], toSlot<int16_t>(kCtrlNominal[i] * (1.0 + ctrlDrift)));
    }
    for (const auto& [group, flag] : groupFlags) {
        readings.emplace_back(SC_KEY_CONFIG_STATUS, group, flag);
    }
    return readings;
}
