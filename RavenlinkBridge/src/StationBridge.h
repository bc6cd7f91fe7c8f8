// One station on the broker: its own thread with its own StationLink, and
// its own broker connection whose last will is the station's "offline", so
// that a slow or dead station never holds up another.
#ifndef RAVENLINK_BRIDGE_STATION_BRIDGE_H
#define RAVENLINK_BRIDGE_STATION_BRIDGE_H

#include "BridgeCommands.h"
#include "BridgeDiscovery.h"
#include "BridgeLog.h"
#include "BridgePayloads.h"
#include "BridgeMetrics.h"
#include "BridgeSettings.h"
#include "MqttClient.h"

#include <StationLink.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace bridge {

// At most this many commands wait for one station; one more is refused with
// "queue full". A command that waited longer than commandMaxAge is answered
// "expired, not run": whoever sent it has long stopped waiting.
constexpr std::size_t commandQueueSize = 16;
constexpr std::chrono::seconds commandMaxAge{10};

// How long a station thread may go without a sign of life and still be
// working: a wait for the next reading, then the longest step between two
// signs, a command of two exchanges of which one waits for the station to
// move the reel (many timeouts), with room to spare on a loaded machine.
std::chrono::milliseconds stationSilenceBound(const StationSettings& station);

class StationBridge {
public:
    using Clock = std::chrono::steady_clock;

    // \p metrics: where the station's figures go (the bridge's registry);
    // none: a record of its own that nobody reads.
    // \throw std::runtime_error the broker client cannot be set up
    StationBridge(const StationSettings& station, const BrokerSettings& broker, const std::string& password,
                  std::shared_ptr<StationMetrics> metrics = nullptr);
    // Only after waitWorker() has returned true (or the worker never ran).
    ~StationBridge();
    StationBridge(const StationBridge&) = delete;
    StationBridge& operator=(const StationBridge&) = delete;

    void start();

    // Stops readings and commands, answers every waiting command "not run:
    // the bridge is stopping" and publishes "offline"; nothing but command
    // results is published after it. The running command goes on.
    // \return the message id of "offline", or -1
    int beginStop();
    // Waits until \p deadline for the running command to end and its result
    // to be published; a command still running then is answered that the
    // bridge stopped before the station answered.
    void finishRunningCommand(Clock::time_point deadline);
    // Waits until the broker has taken "offline" (\p mid) and every result
    // published since beginStop().
    bool waitPublishedAcknowledged(int mid, Clock::time_point deadline);
    void requestBrokerStop();
    bool waitBrokerStopped(Clock::time_point deadline);
    // \return true when the station thread has ended and was joined; false
    //         while an exchange with the station still runs
    bool waitWorker(Clock::time_point deadline);

    const std::string& id() const { return settings.id; }
    const StationSettings& stationSettings() const { return settings; }

    // When the station thread last showed that it works, and how long it
    // may stay silent (stationSilenceBound).
    Clock::time_point lastSign() const { return Clock::time_point(Clock::duration(sign.load())); }
    std::chrono::milliseconds silenceBound() const { return stationSilenceBound(settings); }

    // The topics of the retained discovery configs this station publishes.
    std::set<std::string> discoveryTopics() const;
    // Clears (empty and retained) every discovery config of this station
    // that is not in \p keep, so that the server forgets those entities;
    // before beginStop(), for a station that is removed or loses entities.
    void withdrawDiscovery(const std::set<std::string>& keep);

private:
    void run();
    void showLife() { sign.store(Clock::now().time_since_epoch().count()); }
    void publishDiscovery();
    bool openLink();
    void closeLink();
    struct Waiting {
        Command command;
        Clock::time_point arrived;
    };

    void readStatus();
    std::optional<Waiting> nextCommand(Clock::time_point until, bool readAfter);
    bool execute(const Waiting& waiting);
    void linkLost(const std::string& why);
    void refuseQueued(const std::string& why);

    void setState(const char* state);
    bool publishRetained(const std::string& topic, const std::string& payload);
    void onBrokerConnected();
    void onMessage(const std::string& topic, const std::string& payload, bool retained);
    // Publishes the result of \p id (once more for every repeat owed) and
    // keeps it for repeats when \p reachedStation, else forgets the id.
    void answer(const std::optional<std::string>& id, bool ok, const std::string& error, bool reachedStation,
                const std::string& sent = "");
    // Answers a command that was never admitted; the memory is left alone.
    void refuse(const std::optional<std::string>& id, const std::string& why);
    void publishResult(const std::string& result);
    void log(LogLevel level, const std::string& text) const;

    StationSettings settings;
    std::string stateTopic;
    std::string statusTopic;
    std::string detailsTopic;
    std::string checkTopic;
    std::string cmdTopic;
    std::string resultTopic;
    std::vector<DiscoveryMessage> discovery;
    MqttClient client;
    std::shared_ptr<StationMetrics> metrics;  // thread-safe itself
    CommandMemory memory;
    std::thread worker;

    // The station thread's own.
    StationLink link;
    bool linkUp = false;
    SystemDetails details;
    unsigned long long seq = 0;
    std::string lastLinkError;

    // Shared with the broker's network thread and the main thread. Retained
    // topics are published under the lock, so that they reach the broker in
    // the order they changed.
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stopping{false};
    std::atomic<Clock::rep> sign{Clock::now().time_since_epoch().count()};
    bool closing = false;
    bool workerDone = false;
    std::deque<Waiting> queue;
    std::optional<Command> running;  // the command with the station now
    bool runningAnswered = false;    // the stop has answered it already
    std::string state;
    std::string detailsPayload;
    std::string checkText;
    CheckFindings checkFindingsText;

    // The results published while stopping, to be acknowledged before the
    // disconnect.
    std::mutex resultsMutex;
    std::vector<int> stopResults;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_STATION_BRIDGE_H
