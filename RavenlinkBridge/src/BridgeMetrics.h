// What the bridge counts and last read of every station, for the metrics
// endpoint (Prometheus text format) and the retained health topic. Station
// threads and broker network threads record; the endpoint's and the health
// publisher's threads read. Each station's figures have a lock of their own,
// so that stations never wait for one another, and a scrape holds each lock
// only to copy one station's figures.
#ifndef RAVENLINK_BRIDGE_METRICS_H
#define RAVENLINK_BRIDGE_METRICS_H

#include <StationLink.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace bridge {

// Why an exchange with a station failed; a closed set, so that the label
// stays small whatever the station or the line does.
enum class FailureReason : std::size_t {
    timeout,    // no reply, or not all of it, in time
    malformed,  // a reply that is no usable JSON or not the expected record
    refused,    // the station answered with a failure of its own
    port,       // the port cannot be opened, is gone or fails to read or write
    other,
};
constexpr std::size_t failureReasonCount = 5;
const char* reasonName(FailureReason reason);
// The reason of a failure the library threw.
FailureReason failureReason(const std::exception& failure);

// How a command on the cmd topic ended; a closed set as well.
enum class CommandOutcome : std::size_t {
    done,     // the station carried it out
    failed,   // it reached the station, which refused it or did not answer
    notRun,   // admitted but never sent: link lost, queue full, expired, stopping
    refused,  // never admitted: bad payload, retained, id used for another command
};
constexpr std::size_t commandOutcomeCount = 4;
const char* outcomeName(CommandOutcome outcome);

// The upper bounds of the exchange-duration histogram, in seconds: one
// status at 115200 baud takes about 75 ms, a timeout some hundred.
constexpr std::array<double, 11> exchangeBuckets{0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

// One station's figures at one moment.
struct StationFigures {
    bool up = false;
    std::uint64_t exchanges = 0;
    std::array<std::uint64_t, failureReasonCount> failures{};
    std::array<std::uint64_t, commandOutcomeCount> commands{};
    // Per bucket, the exchanges that took at most its bound (not summed up);
    // the last is beyond the largest bound.
    std::array<std::uint64_t, exchangeBuckets.size() + 1> durations{};
    double durationSum = 0.0;
    // The latest reading while the station is up: its groups as delivered.
    std::optional<SystemStatus> status;
    StatusGroups delivered;
    // When the last reading came, whatever became of the link since.
    std::optional<std::chrono::system_clock::time_point> lastReading;

    std::uint64_t failureTotal() const;
    std::uint64_t commandTotal() const;
};

// The record of one station, handed to its StationBridge.
class StationMetrics {
public:
    explicit StationMetrics(std::string id) : stationId(std::move(id)) {}

    // The link is up (the station answered) or lost. A lost link drops the
    // readings: they are no longer the station's present values.
    void setUp(bool up);
    // One exchange that succeeded, with the reading it brought, if any.
    void exchangeDone(std::chrono::duration<double> took);
    void reading(const SystemStatus& status, const StatusGroups& delivered,
                 std::chrono::system_clock::time_point at);
    void exchangeFailed(FailureReason reason, std::chrono::duration<double> took);
    void command(CommandOutcome outcome);

    const std::string& id() const { return stationId; }
    StationFigures figures() const;

private:
    void observe(std::chrono::duration<double> took);

    const std::string stationId;
    mutable std::mutex mutex;
    StationFigures current;
};

// Every station's record, in the order the stations were added.
class BridgeMetrics {
public:
    BridgeMetrics(std::string version, std::chrono::system_clock::time_point started);

    // \return the record of station \p id, made if there is none; whoever
    //         holds it may record into it after the registry let it go
    std::shared_ptr<StationMetrics> station(const std::string& id);
    // Drops station \p id from the exposition and the health, for a station
    // the bridge no longer serves.
    void forget(const std::string& id);

    // The whole exposition, in the stations' order.
    std::string render() const;
    // The health topic's JSON at \p now; \p state is "running" or "offline".
    std::string health(std::chrono::system_clock::time_point now, const char* state) const;

    const std::string& version() const { return bridgeVersion; }
    std::chrono::system_clock::time_point started() const { return startTime; }

private:
    std::vector<std::pair<std::string, StationFigures>> snapshot() const;

    const std::string bridgeVersion;
    const std::chrono::system_clock::time_point startTime;
    mutable std::mutex mutex;  // guards the list, not the stations' figures
    std::vector<std::shared_ptr<StationMetrics>> stations;
};

// The exposition of \p stations (id and figures), pure, so that tests can
// give it any figures. Families without a sample are left out, and so is a
// reading whose group was not delivered or whose sensor reports no value.
std::string renderMetrics(const std::string& version, std::chrono::system_clock::time_point started,
                          const std::vector<std::pair<std::string, StationFigures>>& stations);

// The health topic's JSON, pure as well:
// {"time":…,"state":…,"version":…,"uptime":S,"stations":N,"online":N,
//  "exchanges":N,"failures":N,"commands":N,"served":[{"id":…,"up":…,…},…]}
std::string healthJson(const std::string& version, std::chrono::system_clock::time_point started,
                       std::chrono::system_clock::time_point now, const char* state,
                       const std::vector<std::pair<std::string, StationFigures>>& stations);

// Every metric name the bridge can export, histogram series (_bucket, _sum,
// _count) included: what a dashboard may name.
std::vector<std::string> exportedMetricNames();

} // namespace bridge

#endif // RAVENLINK_BRIDGE_METRICS_H
