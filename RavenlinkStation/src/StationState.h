// The simulated ground station: identity, settings, the tethered flight and
// the slowly drifting measurements. It evolves lazily: advanceTo() catches
// up with the clock whenever a reply is due, so an idle station costs nothing.
#ifndef RAVENLINK_STATION_STATE_H
#define RAVENLINK_STATION_STATE_H

#include "StationComposer.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

class StationState {
public:
    using Clock = std::chrono::steady_clock;

    /// \param seed seed of the drift
    /// \param start the station's power-on time
    /// \param wallClock seconds since 1970 at power-on, the start of "SYSTEM_TIME"
    StationState(std::uint32_t seed, Clock::time_point start, std::uint32_t wallClock);

    /// Runs the simulation up to \p now (no effect for a time in the past).
    void advanceTo(Clock::time_point now);
    /// Writes the whole state into the composer's store; what the station
    /// does not model keeps the store's default.
    void publish() const;

    // Settings as the link changes them; the values are checked by the caller.
    /// 0 deactivates, 16 activates remotely.
    void setActivation(std::uint8_t code);
    void setRetTorque(std::uint16_t percent) { retTorque = percent; }
    void setRetStart(std::uint16_t centimetres) { retStart = centimetres; }
    /// \param group a status group, as statusGroup() names it
    void setGroupFlag(sc_key group, std::uint8_t flag) { groupFlags[group] = flag; }
    void setSystemTime(std::uint32_t seconds) { systemTime = seconds; }
    void setExtended(bool on) { extended = on; }
    /// Sensors 1 to \p count (1 to 4) are fitted; the others report 255.
    void setSensorsFitted(int count) { sensorsFitted = count; }

    /// Longest retraction start the reel accepts, in centimetres.
    std::uint16_t maxRetStart() const { return static_cast<std::uint16_t>(kMaxCableLength * 100); }
    /// The status group called \p name ("CAB", "ENV", ...), one of those that
    /// "CONFIG_STATUS" switches; none for any other name.
    static std::optional<sc_key> statusGroup(const std::string& name);

    static constexpr int kMaxCableLength = 100;  // metres

    /// One value the station reports, by its place in the composer's table.
    struct Reading {
        template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
        Reading(sc_key groupIn, sc_key keyIn, Number numberIn) : group(groupIn), key(keyIn), number(numberIn)
        {
        }
        Reading(sc_key groupIn, sc_key keyIn, const char* textIn) : group(groupIn), key(keyIn), text(textIn) {}
        sc_key group;
        sc_key key;
        std::int64_t number = 0;
        const char* text = nullptr;
    };

private:
    enum class Phase { Landed, Ascending, Hovering, Descending };

    void step(double dt);
    void stepFlight(double dt);
    void stepSupply(double dt);
    void stepClimate(double dt);
    void takeOff();
    double noise(double sigma);
    std::vector<Reading> details() const;
    std::vector<Reading> status() const;

    std::mt19937 rng;
    Clock::time_point last;

    // Settings.
    std::uint8_t activationCode = 0;
    std::uint16_t retTorque = 40;
    std::uint16_t retStart = 150;
    std::map<sc_key, std::uint8_t> groupFlags;  // changed flags; the others stay 1
    bool extended = false;
    int sensorsFitted = 4;

    // Flight and operation.
    Phase phase = Phase::Landed;
    double phaseTime = 0.0;
    double hoverTarget = 0.0;    // cm
    double hoverDuration = 0.0;  // s
    double lengthCm = 0.0;
    double speedCmS = 0.0;
    double sinceActivation = 0.0;
    double flightTime = 0.0;
    double flightTimeOpSum = 0.0;
    std::uint32_t flightCountOpSum = 0;
    double operationTime = 0.0;
    double systemTime = 0.0;

    // Lifetime counters of the details.
    double flightTimeSum = 1284300.0;
    std::uint32_t flightCount = 842;
    double operationTimeSum = 2156400.0;
    std::uint32_t operationCount = 311;
    double systemTimeSum = 3895200.0;
    std::uint32_t systemUseCount = 403;
    double ttm = 360000.0;

    // Supply.
    double mainsU = 230.0;
    double mainsF = 50000.0;  // mHz
    double mainsI = 370.0;    // mA
    double uavU = 0.0;        // mV
    double uavI = 0.0;        // A
    double ctrlDrift = 0.0;   // relative drift of the control supplies

    // Climate.
    double ambient = 21.0;
    std::array<double, 4> temps{{33.0, 21.0, 26.0, 29.0}};
    double humidity = 44.0;
    double pressure = 1013.0;
    std::array<double, 2> fanRpm{{1400.0, 1350.0}};
};

#endif // RAVENLINK_STATION_STATE_H
