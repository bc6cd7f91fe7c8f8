// One connection to the broker, on its own network thread, that reconnects
// by itself with a growing pause for as long as it lives. Publishing and
// subscribing may be called from any thread.
#ifndef RAVENLINK_BRIDGE_MQTT_CLIENT_H
#define RAVENLINK_BRIDGE_MQTT_CLIENT_H

#include "BridgeSettings.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <deque>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;

namespace bridge {

class MqttClient {
public:
    using Clock = std::chrono::steady_clock;
    // Called on the network thread each time the broker accepts the
    // connection; publishing and subscribing from it is allowed.
    using ConnectHandler = std::function<void()>;
    // \p retained: the broker delivered it with the retain flag, as a
    // message kept from before rather than one just published.
    using MessageHandler = std::function<void(const std::string& topic, const std::string& payload, bool retained)>;

    struct Options {
        BrokerSettings broker;
        std::string password;  // empty: none
        std::string clientId;
        std::string willTopic;
        std::string willPayload;
        std::string name;  // who this connection serves, for the log
    };

    // \throw std::runtime_error the client cannot be set up (TLS files
    //        that cannot be used, no memory)
    explicit MqttClient(const Options& options);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts the network thread, which connects and keeps connecting.
    void start(ConnectHandler onConnect, MessageHandler onMessage);

    // \return the message id, or -1 when the library refused the message
    //         (for QoS 0: no connection)
    int publish(const std::string& topic, const std::string& payload, int qos, bool retain);
    bool subscribe(const std::string& topic, int qos);
    bool isConnected() const { return connected; }

    // Waits until the broker has acknowledged message \p mid (QoS 1).
    bool waitAcknowledged(int mid, Clock::time_point deadline);

    // Disconnects cleanly (so that the broker does not send the will) and
    // lets the network thread end.
    void requestStop();
    // Waits until \p deadline for the network thread to end.
    // \return true when it has ended and was joined
    bool waitStopped(Clock::time_point deadline);

private:
    static void onConnectCallback(mosquitto* mosq, void* self, int rc);
    static void onDisconnectCallback(mosquitto* mosq, void* self, int rc);
    static void onMessageCallback(mosquitto* mosq, void* self, const mosquitto_message* message);
    static void onPublishCallback(mosquitto* mosq, void* self, int mid);
    static void onSubscribeCallback(mosquitto* mosq, void* self, int mid, int count, const int* granted);

    void networkLoop();
    bool connectOnce(bool first);
    void pause(std::chrono::milliseconds length);
    std::chrono::milliseconds nextBackoff();
    void failed(const std::string& what);

    Options options;
    mosquitto* mosq = nullptr;
    std::thread network;
    ConnectHandler connectHandler;
    MessageHandler messageHandler;

    std::atomic<bool> connected{false};
    std::atomic<bool> stopping{false};
    std::atomic<bool> refused{false};    // the last attempt ended in a refusal, already logged
    std::atomic<bool> sessionUp{false};  // accepted since the last loss, for the log
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<int> acknowledged;  // the latest message ids the broker took
    bool ended = false;
    std::chrono::milliseconds backoff{0};
    std::string lastFailure;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_MQTT_CLIENT_H
