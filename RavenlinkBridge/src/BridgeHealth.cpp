#include "BridgeHealth.h"

#include <cctype>
#include <unistd.h>

namespace bridge {

namespace {

std::string topicLevel(const std::string& text)
{
    std::string level = text.empty() ? "localhost" : text;
    for (char& c : level) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-' && c != '_' && c != '.') {
            c = '_';
        }
    }
    return level;
}

std::string hostName()
{
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

MqttClient::Options healthOptions(const BrokerSettings& broker, const std::string& password)
{
    MqttClient::Options options;
    options.broker = broker;
    // Whether another bridge holds the same client id is for the stations'
    // connections to find out and answer (by giving up theirs and stopping);
    // this one only reconnects, so that it never stops a bridge by itself.
    options.broker.clientIdMadeUp = true;
    options.password = password;
    options.clientId = broker.clientId;
    options.willTopic = healthTopic(broker);
    options.willPayload = "{\"state\":\"offline\"}";
    options.name = "bridge health";
    return options;
}

} // namespace

std::string healthTopic(const BrokerSettings& broker)
{
    return broker.topicPrefix + "/bridge/" + topicLevel(broker.clientIdMadeUp ? hostName() : broker.clientId) +
           "/health";
}

BridgeHealth::BridgeHealth(const BridgeMetrics& metrics, const BrokerSettings& broker, const std::string& password)
    : metrics(metrics), healthTopicName(healthTopic(broker)), client(healthOptions(broker, password))
{
}

BridgeHealth::~BridgeHealth()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (worker.joinable()) {
        worker.join();
    }
}

int BridgeHealth::publish(const char* state)
{
    return client.isConnected()
               ? client.publish(healthTopicName, metrics.health(std::chrono::system_clock::now(), state), 1, true)
               : -1;
}

void BridgeHealth::start()
{
    // A restarted broker may have lost what was retained.
    client.start([this] { publish("running"); }, [](const std::string&, const std::string&, bool) {});
    worker = std::thread([this] { run(); });
}

void BridgeHealth::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_for(lock, healthInterval, [this] { return stopping; })) {
        lock.unlock();
        publish("running");
        lock.lock();
    }
}

void BridgeHealth::stop(Clock::time_point deadline)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (worker.joinable()) {
        worker.join();
    }
    if (!client.yieldsToAnotherBridge()) {
        const int mid = publish("offline");
        if (mid >= 0) {
            client.waitAcknowledged(mid, deadline);
        }
    }
    client.requestStop();
    client.waitStopped(deadline);
}

} // namespace bridge
