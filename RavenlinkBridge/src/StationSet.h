// The stations a bridge serves, and what a new configuration changes in
// them: a reload starts the added, stops the removed, restarts the changed
// and leaves the others and their connections alone.
#ifndef RAVENLINK_BRIDGE_STATION_SET_H
#define RAVENLINK_BRIDGE_STATION_SET_H

#include "BridgeMetrics.h"
#include "BridgeSettings.h"
#include "StationBridge.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bridge {

// Station ids by what a new configuration does to them, each in the order
// of the configuration that names them (the running one for stop).
struct StationPlan {
    std::vector<std::string> start;    // added
    std::vector<std::string> stop;     // removed
    std::vector<std::string> restart;  // any of its settings, the broker's or the password differs
    std::vector<std::string> keep;     // the same in every respect
};

// Compares what runs (\p running with the password read for it) with what
// is wanted.
StationPlan planStations(const BridgeSettings& running, const std::string& runningPassword,
                         const BridgeSettings& wanted, const std::string& wantedPassword);

// Why \p added more stations cannot be served when the lowest free
// descriptor is \p lowestFree, or "" when they can. Each station holds
// stationDescriptors, and the broker library waits on its connections with
// select(), which cannot watch a descriptor numbered FD_SETSIZE or above:
// the C library ends the whole process at the first one.
constexpr int stationDescriptors = 5;
std::string descriptorShortage(int lowestFree, std::size_t added);

// "started a, b; stopped c; restarted d; unchanged e", leaving out what is
// empty; "nothing changed" when only stations are kept.
std::string describePlan(const StationPlan& plan);

class StationSet {
public:
    using Clock = std::chrono::steady_clock;

    // \p metrics: the registry that each station's figures go to; none: no one reads them.
    explicit StationSet(BridgeMetrics* metrics = nullptr) : metrics(metrics) {}
    StationSet(const StationSet&) = delete;
    StationSet& operator=(const StationSet&) = delete;

    // Makes the set what \p settings names. The new and changed stations are
    // all set up before any station is touched, so that a failure leaves the
    // running set as it was; then the removed and changed ones are stopped
    // (their "offline" published), then the new ones started.
    // \throw std::runtime_error a station's broker client cannot be set up
    StationPlan apply(const BridgeSettings& settings, const std::string& password);

    // Stops every station as the bridge ends.
    // \return false when a station thread or connection could not be waited for
    bool stopAll();

    // The first station whose thread has been silent for longer than its
    // bound at \p now, and for how long; stations being stopped do not count.
    std::optional<std::pair<std::string, Clock::duration>> silentStation(Clock::time_point now) const;

    std::size_t size() const { return stations.size(); }
    const BridgeSettings& settings() const { return current; }

private:
    using Stations = std::vector<std::unique_ptr<StationBridge>>;
    // The whole stop, bounded (see stopBound in StationSet.cpp), for all of
    // \p stopping at once. \return the ones that could not be waited for
    static Stations stop(Stations stopping);
    void reapLingering();

    BridgeMetrics* metrics;
    BridgeSettings current;
    std::string password;
    Stations stations;   // in the order of the configuration
    Stations lingering;  // stopped while an exchange still ran; kept until it ends
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_STATION_SET_H
