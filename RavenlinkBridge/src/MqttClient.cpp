// The network thread is our own rather than the library's: the library's
// thread gives up for good after some refusals (an MQTT 5 broker refusing
// the login, a TLS failure), and a bridge left unattended must keep trying.
// Pauses between attempts double from one second up to thirty, with some
// jitter so that the connections of many stations do not return in step.
#include "MqttClient.h"

#include "BridgeLog.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <random>

namespace bridge {

namespace {

constexpr std::chrono::milliseconds firstBackoff{1000};
constexpr std::chrono::milliseconds longestBackoff{30000};
constexpr std::size_t acknowledgedKept = 1024;

std::once_flag libraryStarted;

std::string errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO) {
        return std::strerror(errno);
    }
    return mosquitto_strerror(rc);
}

} // namespace

MqttClient::MqttClient(const Options& opts) : options(opts)
{
    std::call_once(libraryStarted, [] { mosquitto_lib_init(); });
    mosq = mosquitto_new(options.clientId.c_str(), true, this);
    if (mosq == nullptr) {
        throw std::runtime_error(options.name + ": cannot create a broker client: " + std::strerror(errno));
    }
    const BrokerSettings& broker = options.broker;
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION,
                         broker.protocol == MqttProtocol::v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    // A status is a few hundred bytes; without this it may wait for the
    // broker's acknowledgement of the one before (Nagle), tens of ms.
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (!broker.username.empty()) {
        mosquitto_username_pw_set(mosq, broker.username.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str());
    }
    if (!options.willTopic.empty()) {
        mosquitto_will_set(mosq, options.willTopic.c_str(), static_cast<int>(options.willPayload.size()),
                           options.willPayload.data(), 1, true);
    }
    if (broker.tls) {
        const int rc = mosquitto_tls_set(mosq, broker.caFile.empty() ? nullptr : broker.caFile.c_str(),
                                         broker.caFile.empty() ? "/etc/ssl/certs" : nullptr,
                                         broker.certFile.empty() ? nullptr : broker.certFile.c_str(),
                                         broker.keyFile.empty() ? nullptr : broker.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            mosquitto_destroy(mosq);
            throw std::runtime_error(options.name + ": cannot use the TLS files (ca-file, cert-file, key-file): " +
                                     errorText(rc));
        }
    }
    mosquitto_connect_callback_set(mosq, onConnectCallback);
    mosquitto_disconnect_callback_set(mosq, onDisconnectCallback);
    mosquitto_message_callback_set(mosq, onMessageCallback);
    mosquitto_publish_callback_set(mosq, onPublishCallback);
    mosquitto_subscribe_callback_set(mosq, onSubscribeCallback);
}

MqttClient::~MqttClient()
{
    if (network.joinable()) {
        requestStop();
        if (!waitStopped(Clock::now() + std::chrono::seconds(2))) {
            network.detach();
            return;  // the thread still uses the client; the process is ending
        }
    }
    mosquitto_destroy(mosq);
}

void MqttClient::start(ConnectHandler onConnect, MessageHandler onMessage)
{
    connectHandler = std::move(onConnect);
    messageHandler = std::move(onMessage);
    network = std::thread([this] { networkLoop(); });
}

int MqttClient::publish(const std::string& topic, const std::string& payload, int qos, bool retain)
{
    int mid = 0;
    const int rc = mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos,
                                     retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

bool MqttClient::subscribe(const std::string& topic, int qos)
{
    // Under MQTT 5 the broker keeps the retain flag as it was published, so
    // that a message published retained is known as such on live delivery
    // too; under 3.1.1 only a message kept from before carries it.
    if (options.broker.protocol == MqttProtocol::v5) {
        return mosquitto_subscribe_v5(mosq, nullptr, topic.c_str(), qos, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr) ==
               MOSQ_ERR_SUCCESS;
    }
    return mosquitto_subscribe(mosq, nullptr, topic.c_str(), qos) == MOSQ_ERR_SUCCESS;
}

bool MqttClient::waitAcknowledged(int mid, Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_until(lock, deadline, [&] {
        return std::find(acknowledged.begin(), acknowledged.end(), mid) != acknowledged.end();
    });
}

void MqttClient::requestStop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    mosquitto_disconnect(mosq);
}

bool MqttClient::waitStopped(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_until(lock, deadline, [&] { return ended; })) {
        return false;
    }
    lock.unlock();
    if (network.joinable()) {
        network.join();
    }
    return true;
}

void MqttClient::onConnectCallback(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<MqttClient*>(self);
    const BrokerSettings& broker = client->options.broker;
    if (rc != 0) {
        const char* reason = broker.protocol == MqttProtocol::v5 ? mosquitto_reason_string(rc)
                                                                 : mosquitto_connack_string(rc);
        client->refused = true;
        client->failed("the broker refused the connection: " + std::string(reason));
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(client->mutex);
        client->backoff = std::chrono::milliseconds(0);
        client->lastFailure.clear();
    }
    client->connected = true;
    client->sessionUp = true;
    logLine(LogLevel::info, client->options.name + ": connected to the broker at " + broker.host + ":" +
                                std::to_string(broker.effectivePort()) + " as " + client->options.clientId);
    if (client->connectHandler) {
        client->connectHandler();
    }
}

void MqttClient::onDisconnectCallback(mosquitto*, void* self, int)
{
    static_cast<MqttClient*>(self)->connected = false;
}

void MqttClient::onMessageCallback(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<MqttClient*>(self);
    if (client->messageHandler && message->topic != nullptr) {
        const std::string payload(static_cast<const char*>(message->payload),
                                  message->payload == nullptr ? 0U : static_cast<std::size_t>(message->payloadlen));
        client->messageHandler(message->topic, payload, message->retain);
    }
}

void MqttClient::onPublishCallback(mosquitto*, void* self, int mid)
{
    auto* client = static_cast<MqttClient*>(self);
    {
        const std::lock_guard<std::mutex> lock(client->mutex);
        client->acknowledged.push_back(mid);
        if (client->acknowledged.size() > acknowledgedKept) {
            client->acknowledged.pop_front();
        }
    }
    client->changed.notify_all();
}

// A broker whose ACL denies the subscription still answers it, with a
// failure code instead of a QoS; without this line commands would just never
// arrive.
void MqttClient::onSubscribeCallback(mosquitto*, void* self, int, int count, const int* granted)
{
    auto* client = static_cast<MqttClient*>(self);
    for (int i = 0; i < count; ++i) {
        if (granted[i] < 0 || granted[i] > 2) {
            logLine(LogLevel::error, client->options.name + ": the broker refused the subscription to the commands "
                                     "(code " + std::to_string(granted[i]) + "): check its ACL");
        }
    }
}

// A failure is logged when it differs from the one before, so that a broker
// that stays away for hours leaves two lines, not thousands.
void MqttClient::failed(const std::string& what)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (what == lastFailure) {
            return;
        }
        lastFailure = what;
    }
    logLine(LogLevel::warning, options.name + ": " + what);
}

std::chrono::milliseconds MqttClient::nextBackoff()
{
    static thread_local std::minstd_rand jitter(std::random_device{}());
    const std::lock_guard<std::mutex> lock(mutex);
    backoff = std::clamp(backoff * 2, firstBackoff, longestBackoff);
    return backoff * (75 + static_cast<int>(jitter() % 51)) / 100;
}

void MqttClient::pause(std::chrono::milliseconds length)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, length, [&] { return stopping.load(); });
}

bool MqttClient::connectOnce(bool first)
{
    const BrokerSettings& broker = options.broker;
    const int rc = first ? mosquitto_connect_async(mosq, broker.host.c_str(), broker.effectivePort(),
                                                   broker.keepaliveSeconds)
                         : mosquitto_reconnect_async(mosq);
    if (rc != MOSQ_ERR_SUCCESS) {
        failed("cannot reach the broker at " + broker.host + ":" + std::to_string(broker.effectivePort()) + ": " +
               errorText(rc));
        return false;
    }
    return true;
}

void MqttClient::networkLoop()
{
    bool first = true;
    bool haveSocket = false;
    while (!stopping) {
        if (!haveSocket) {
            haveSocket = connectOnce(first);
            first = first && !haveSocket;
            if (!haveSocket) {
                pause(nextBackoff());
                continue;
            }
        }
        const int rc = mosquitto_loop(mosq, 100, 1);
        if (rc != MOSQ_ERR_SUCCESS && !stopping) {
            connected = false;
            const bool wasConnected = sessionUp.exchange(false);
            haveSocket = false;
            if (!refused.exchange(false)) {
                failed((wasConnected ? "lost the broker connection: " : "no connection to the broker: ") +
                       errorText(rc));
            }
            pause(nextBackoff());
        }
    }
    // Let the disconnect request and what was queued before it go out.
    const auto drainEnd = Clock::now() + std::chrono::milliseconds(500);
    while (haveSocket && Clock::now() < drainEnd && mosquitto_loop(mosq, 50, 1) == MOSQ_ERR_SUCCESS) {
    }
    connected = false;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ended = true;
    }
    changed.notify_all();
}

} // namespace bridge
