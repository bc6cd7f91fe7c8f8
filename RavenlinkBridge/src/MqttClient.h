// One connection to the broker, on its own network thread, that reconnects
// by itself with a growing pause for as long as it lives, unless another
// client keeps taking its client id (see takeOverRule in MqttClient.cpp).
// Publishing and subscribing may be called from any thread.
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
struct mqtt5__property;
struct x509_store_ctx_st;

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

    // Every TLS file is read and checked here, so that a file that cannot be
    // used ends the start instead of failing every connection attempt.
    // \throw std::runtime_error the client cannot be set up: a TLS file that
    //        cannot be used (what() names it), no memory
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

    // This connection gave up on its client id and connects no more.
    bool gaveUp() const { return givenUp; }
    // Some connection of this process gave up; the main thread is woken by
    // SIGUSR1 when the first one does.
    static bool anyGaveUp();
    // The process is ending because a connection gave up, and this one too
    // lost its client id to another client lately: the station is served by
    // another bridge, so this one must not publish its offline.
    bool yieldsToAnotherBridge() const;

private:
    static void onConnectCallback(mosquitto* mosq, void* self, int rc);
    static void onDisconnectCallback(mosquitto* mosq, void* self, int rc, const mqtt5__property* properties);
    static void onMessageCallback(mosquitto* mosq, void* self, const mosquitto_message* message);
    static void onPublishCallback(mosquitto* mosq, void* self, int mid, int reason, const mqtt5__property* properties);
    static void onSubscribeCallback(mosquitto* mosq, void* self, int mid, int count, const int* granted);
    static void onLogCallback(mosquitto* mosq, void* self, int level, const char* text);
    static int onVerifyCallback(int preverified, x509_store_ctx_st* store);

    void setUpTls();
    void brokerEnded(int reason);
    void lostSession(int rc);
    bool countTakeOver(bool named);
    void giveUp();
    void noteRefusal(const std::string& topic, int reason);
    std::string tlsCause();

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
    std::atomic<bool> givenUp{false};
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<int> acknowledged;  // the latest message ids the broker took
    bool ended = false;
    std::chrono::milliseconds backoff{0};
    std::string lastFailure;

    // The network thread's own: what the broker or the TLS check said about
    // the attempt or session that just ended, and the client id's history.
    int brokerReason = 0;         // the reason of the broker's DISCONNECT (MQTT 5), 0: none
    bool takeOverUnconfirmed = false;  // the last one counted may yet turn out a broker restart
    std::string verifyFailure;    // the first certificate check that failed
    std::string tlsError;         // the last TLS error the library logged
    Clock::time_point sessionStart;
    Clock::duration longestSession{0};
    std::deque<Clock::time_point> takeOvers;  // within the last window
    Clock::time_point lastTakeOver;
    bool everTakenOver = false;

    // Publications that wait for the broker's answer (QoS 1): message id and
    // topic, so that a refusal can name the topic; and the topics whose last
    // publication was refused, so that each refusal is logged once.
    std::mutex pendingMutex;
    std::deque<std::pair<int, std::string>> pending;
    std::deque<std::pair<std::string, int>> refusedTopics;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_MQTT_CLIENT_H
