#include "StationSet.h"

#include "BridgeLog.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

namespace bridge {

namespace {

using Clock = std::chrono::steady_clock;

// The whole stop takes at most stopBound. Offline first on every station's
// connection, with every waiting command answered; then the running
// commands get until runningBound to end and publish their results (an
// activation may wait 30 timeouts; one that is still running then is
// answered as such); then the broker is given until acknowledgedBound to
// take all of it before the disconnects. Each step waits for all stations
// at once.
constexpr std::chrono::milliseconds runningBound{4000};
constexpr std::chrono::milliseconds acknowledgedBound{4500};
constexpr std::chrono::milliseconds stopBound{5000};

std::string joined(const std::vector<std::string>& ids)
{
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : ", ") + id;
    }
    return text;
}

// Left for what the bridge opens beside its stations: the metrics
// endpoint's connections, the configuration and password files on a reload.
constexpr int descriptorsKeptFree = 32;

int lowestFreeDescriptor()
{
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd;
}

} // namespace

std::string descriptorShortage(int lowestFree, std::size_t added)
{
    const long long room = FD_SETSIZE - descriptorsKeptFree - static_cast<long long>(lowestFree);
    const long long fit = std::max(0LL, room / stationDescriptors);
    if (static_cast<long long>(added) <= fit) {
        return "";
    }
    return std::to_string(added) + (added == 1 ? " station" : " stations") + " to start, but this bridge has room for " +
           std::to_string(fit) + " more: each station holds " + std::to_string(stationDescriptors) +
           " descriptors and the broker library cannot wait on one numbered " + std::to_string(FD_SETSIZE) +
           " or above; give the others to a second bridge with a client id of its own";
}

StationPlan planStations(const BridgeSettings& running, const std::string& runningPassword,
                         const BridgeSettings& wanted, const std::string& wantedPassword)
{
    // The broker and the password belong to every station's connection.
    const bool sameConnection = running.broker == wanted.broker && runningPassword == wantedPassword;
    std::map<std::string, const StationSettings*> before;
    for (const StationSettings& station : running.stations) {
        before[station.id] = &station;
    }
    StationPlan plan;
    std::set<std::string> named;
    for (const StationSettings& station : wanted.stations) {
        named.insert(station.id);
        const auto found = before.find(station.id);
        if (found == before.end()) {
            plan.start.push_back(station.id);
        } else if (!sameConnection || *found->second != station) {
            plan.restart.push_back(station.id);
        } else {
            plan.keep.push_back(station.id);
        }
    }
    for (const StationSettings& station : running.stations) {
        if (named.count(station.id) == 0) {
            plan.stop.push_back(station.id);
        }
    }
    return plan;
}

std::string describePlan(const StationPlan& plan)
{
    std::string text;
    const std::pair<const char*, const std::vector<std::string>*> parts[] = {
        {"started ", &plan.start}, {"stopped ", &plan.stop}, {"restarted ", &plan.restart}};
    for (const auto& [verb, ids] : parts) {
        if (!ids->empty()) {
            text += (text.empty() ? "" : "; ") + std::string(verb) + joined(*ids);
        }
    }
    if (text.empty()) {
        return "nothing changed";
    }
    return plan.keep.empty() ? text : text + "; unchanged " + joined(plan.keep);
}

StationPlan StationSet::apply(const BridgeSettings& settings, const std::string& newPassword)
{
    reapLingering();
    const StationPlan plan = planStations(current, password, settings, newPassword);
    std::set<std::string> fresh(plan.start.begin(), plan.start.end());
    fresh.insert(plan.restart.begin(), plan.restart.end());
    // Refused before anything is set up: past the broker library's limit the
    // whole bridge would end, every station with it. A restarted station
    // gives its descriptors back only later, so it counts as new here.
    if (const std::string shortage = descriptorShortage(lowestFreeDescriptor(), fresh.size()); !shortage.empty()) {
        throw std::runtime_error(shortage);
    }
    // Set up first: a TLS file that cannot be used must not cost the
    // running stations anything.
    std::map<std::string, std::unique_ptr<StationBridge>> made;
    for (const StationSettings& station : settings.stations) {
        if (fresh.count(station.id) != 0) {
            made[station.id] = std::make_unique<StationBridge>(station, settings.broker, newPassword,
                                                               metrics ? metrics->station(station.id) : nullptr);
        }
    }
    std::set<std::string> goneIds(plan.stop.begin(), plan.stop.end());
    goneIds.insert(plan.restart.begin(), plan.restart.end());
    std::map<std::string, std::unique_ptr<StationBridge>> kept;
    Stations stopping;
    for (auto& station : stations) {
        if (goneIds.count(station->id()) == 0) {
            kept[station->id()] = std::move(station);
            continue;
        }
        // Entities the new station no longer announces (all of them for a
        // station removed) are withdrawn from the home-automation server.
        const auto replacement = made.find(station->id());
        station->withdrawDiscovery(replacement == made.end() ? std::set<std::string>{}
                                                             : replacement->second->discoveryTopics());
        stopping.push_back(std::move(station));
    }
    Stations stuck = stop(std::move(stopping));
    // A station no longer served leaves the metrics; a thread still in an
    // exchange keeps its own share of the record.
    for (const std::string& id : plan.stop) {
        if (metrics) {
            metrics->forget(id);
        }
    }
    for (auto& station : stuck) {
        lingering.push_back(std::move(station));
    }
    stations.clear();
    for (const StationSettings& station : settings.stations) {
        auto& from = fresh.count(station.id) != 0 ? made : kept;
        stations.push_back(std::move(from[station.id]));
    }
    current = settings;
    password = newPassword;
    for (auto& station : stations) {
        if (fresh.count(station->id()) != 0) {
            station->start();
        }
    }
    return plan;
}

StationSet::Stations StationSet::stop(Stations stopping)
{
    const auto begin = Clock::now();
    std::vector<int> offline;
    for (auto& station : stopping) {
        offline.push_back(station->beginStop());
    }
    for (auto& station : stopping) {
        station->finishRunningCommand(begin + runningBound);
    }
    for (std::size_t i = 0; i < stopping.size(); ++i) {
        stopping[i]->waitPublishedAcknowledged(offline[i], begin + acknowledgedBound);
    }
    for (auto& station : stopping) {
        station->requestBrokerStop();
    }
    Stations stuck;
    for (auto& station : stopping) {
        const bool brokerStopped = station->waitBrokerStopped(begin + stopBound);
        if (!station->waitWorker(begin + stopBound)) {
            logLine(LogLevel::warning, "station " + station->id() + ": still in an exchange; not waited for");
        } else if (brokerStopped) {
            continue;
        }
        stuck.push_back(std::move(station));
    }
    return stuck;
}

void StationSet::reapLingering()
{
    const auto now = Clock::now();
    const auto ended = std::remove_if(lingering.begin(), lingering.end(), [&](std::unique_ptr<StationBridge>& station) {
        return station->waitBrokerStopped(now) && station->waitWorker(now);
    });
    lingering.erase(ended, lingering.end());
}

bool StationSet::stopAll()
{
    reapLingering();
    Stations stuck = stop(std::move(stations));
    stations.clear();
    current.stations.clear();
    reapLingering();
    if (!stuck.empty() || !lingering.empty()) {
        // Their threads still use them: they must outlive the set.
        for (auto& station : stuck) {
            station.release();
        }
        for (auto& station : lingering) {
            station.release();
        }
        lingering.clear();
        return false;
    }
    return true;
}

std::optional<std::pair<std::string, StationSet::Clock::duration>> StationSet::silentStation(Clock::time_point now) const
{
    for (const auto& station : stations) {
        const Clock::duration silent = now - station->lastSign();
        if (silent > station->silenceBound()) {
            return std::make_pair(station->id(), silent);
        }
    }
    return std::nullopt;
}

} // namespace bridge
