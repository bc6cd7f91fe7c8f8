// The bridge's retained health topic, for sites that watch the broker rather
// than scrape metrics: PREFIX/bridge/BRIDGE/health with the version, the
// uptime, the stations served and the counters, published on every connect
// and every healthInterval, on a connection of its own under the bridge's
// client id (a station's is that id with -ID added, so none can clash).
// Its last will, and the stop, replace it with "state":"offline".
#ifndef RAVENLINK_BRIDGE_HEALTH_H
#define RAVENLINK_BRIDGE_HEALTH_H

#include "BridgeMetrics.h"
#include "BridgeSettings.h"
#include "MqttClient.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace bridge {

constexpr std::chrono::seconds healthInterval{30};

// PREFIX/bridge/BRIDGE/health: BRIDGE is the configured client id, or the
// host name when the client id is made up at every start, so that the topic
// stays the same across restarts; a character that is no letter, digit,
// '-', '_' or '.' becomes '_', so that it is one plain topic level.
std::string healthTopic(const BrokerSettings& broker);

class BridgeHealth {
public:
    using Clock = std::chrono::steady_clock;

    // \throw std::runtime_error the broker client cannot be set up
    BridgeHealth(const BridgeMetrics& metrics, const BrokerSettings& broker, const std::string& password);
    ~BridgeHealth();
    BridgeHealth(const BridgeHealth&) = delete;
    BridgeHealth& operator=(const BridgeHealth&) = delete;

    void start();
    // Publishes "offline" with the last counters, waits until \p deadline for
    // the broker to take it, and disconnects.
    void stop(Clock::time_point deadline);

    const std::string& topic() const { return healthTopicName; }

private:
    void run();
    int publish(const char* state);

    const BridgeMetrics& metrics;
    const std::string healthTopicName;
    MqttClient client;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_HEALTH_H
