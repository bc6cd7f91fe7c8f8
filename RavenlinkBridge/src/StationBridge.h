// One station on the broker: its own thread with its own StationLink, and
// its own broker connection whose last will is the station's "offline", so
// that a slow or dead station never holds up another.
#ifndef RAVENLINK_BRIDGE_STATION_BRIDGE_H
#define RAVENLINK_BRIDGE_STATION_BRIDGE_H

#include "BridgeCommands.h"
#include "BridgeLog.h"
#include "BridgeSettings.h"
#include "MqttClient.h"

#include <StationLink.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace bridge {

class StationBridge {
public:
    using Clock = std::chrono::steady_clock;

    // \throw std::runtime_error the broker client cannot be set up
    StationBridge(const StationSettings& station, const BrokerSettings& broker, const std::string& password);
    // Only after waitWorker() has returned true (or the worker never ran).
    ~StationBridge();
    StationBridge(const StationBridge&) = delete;
    StationBridge& operator=(const StationBridge&) = delete;

    void start();

    // Stops readings and commands and publishes "offline"; nothing but
    // command results is published after it.
    // \return the message id of "offline", or -1
    int beginStop();
    bool waitOfflineAcknowledged(int mid, Clock::time_point deadline);
    void requestBrokerStop();
    bool waitBrokerStopped(Clock::time_point deadline);
    // \return true when the station thread has ended and was joined; false
    //         while an exchange with the station still runs
    bool waitWorker(Clock::time_point deadline);

    const std::string& id() const { return settings.id; }

private:
    void run();
    bool openLink();
    void closeLink();
    void readStatus();
    bool serveUntil(Clock::time_point next);
    bool execute(const Command& command);
    void linkLost(const std::string& why);
    void refuseQueued(const std::string& why);

    void setState(const char* state);
    bool publishRetained(const std::string& topic, const std::string& payload);
    void onBrokerConnected();
    void onMessage(const std::string& topic, const std::string& payload);
    void answer(const std::optional<std::string>& id, bool ok, const std::string& error);
    void log(LogLevel level, const std::string& text) const;

    StationSettings settings;
    std::string stateTopic;
    std::string statusTopic;
    std::string detailsTopic;
    std::string checkTopic;
    std::string cmdTopic;
    std::string resultTopic;
    MqttClient client;
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
    bool closing = false;
    bool workerDone = false;
    std::deque<Command> queue;
    std::string state;
    std::string detailsPayload;
    std::string checkText;
    std::string checkFindingsText;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_STATION_BRIDGE_H
