#include "BrokerSession.h"

#include "WebLog.h"

#include <RavenlinkTools.h>
#include <StationJson.h>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <random>

namespace web {

namespace {

using namespace std::chrono_literals;

// Events kept for streams that read behind (at most this many, and at
// most this much text); a stream that falls further behind is ended and
// starts again from a snapshot. 64 stations at one status a second fill
// the text bound in about ten seconds.
constexpr std::size_t keptEvents = 4096;
constexpr std::size_t keptEventBytes = 1024 * 1024;
// How long the broker may take to acknowledge a command.
constexpr auto acknowledgeBound = 5s;
constexpr auto longestPause = 30s;

std::string randomHex(int digits)
{
    static std::mutex randomMutex;
    static std::random_device device;
    static std::mt19937_64 engine(device());
    const std::lock_guard<std::mutex> lock(randomMutex);
    std::string text;
    for (int i = 0; i < digits; ++i) {
        text += "0123456789abcdef"[engine() & 0xF];
    }
    return text;
}

// A login that the broker turned down (as opposed to one it could not
// judge): bad user name or password, not authorised, banned, bad
// authentication method.
bool isRefusal(int reason)
{
    return reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED ||
           reason == MQTT_RC_BANNED || reason == MQTT_RC_BAD_AUTHENTICATION_METHOD;
}

std::string reasonText(int reason)
{
    char code[8];
    std::snprintf(code, sizeof code, "0x%02x", reason);
    return std::string(mosquitto_reason_string(reason)) + " (reason code " + code + ")";
}

std::string dump(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string errorBody(const std::string& text)
{
    return dump(Json{{"error", text}});
}

} // namespace

BrokerSession::BrokerSession(const BrokerOptions& broker, std::string user, const std::string& password,
                             std::string probeTopic)
    : broker(broker), userName(std::move(user)), probeTopic(std::move(probeTopic))
{
    mosquitto_lib_init();
    // A client id of its own for every session: nobody can guess it to take
    // the connection over.
    const std::string clientId = "ravenlink-web-" + randomHex(16);
    mosq = mosquitto_new(clientId.c_str(), true, this);
    if (mosq == nullptr) {
        throw std::runtime_error("the broker client cannot be made (no memory)");
    }
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_username_pw_set(mosq, userName.c_str(), password.c_str());
    if (broker.tls) {
        const int rc = mosquitto_tls_set(mosq, broker.caFile.empty() ? nullptr : broker.caFile.c_str(),
                                         broker.caFile.empty() ? "/etc/ssl/certs" : nullptr,
                                         broker.certFile.empty() ? nullptr : broker.certFile.c_str(),
                                         broker.keyFile.empty() ? nullptr : broker.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            mosquitto_destroy(mosq);
            throw std::runtime_error(std::string("the broker's TLS files cannot be used: ") + mosquitto_strerror(rc));
        }
    }
    mosquitto_connect_v5_callback_set(mosq, &BrokerSession::onConnect);
    mosquitto_disconnect_v5_callback_set(mosq, &BrokerSession::onDisconnect);
    mosquitto_subscribe_v5_callback_set(mosq, &BrokerSession::onSubscribe);
    mosquitto_publish_v5_callback_set(mosq, &BrokerSession::onPublish);
    mosquitto_message_v5_callback_set(mosq, &BrokerSession::onMessage);
}

BrokerSession::~BrokerSession()
{
    close();
    if (network.joinable()) {
        network.join();
    }
    mosquitto_destroy(mosq);
}

void BrokerSession::start()
{
    network = std::thread([this] { networkLoop(); });
}

void BrokerSession::close()
{
    stopping = true;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        closing = true;
        if (current == State::connecting || current == State::ready) {
            current = State::ended;
        }
    }
    changed.notify_all();
}

BrokerSession::State BrokerSession::waitLogin(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_until(lock, deadline, [&] { return current != State::connecting; });
    return current;
}

BrokerSession::State BrokerSession::state() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return current;
}

std::string BrokerSession::failure() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return why;
}

void BrokerSession::decide(State outcome, const std::string& reason)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (current == State::connecting || (current == State::ready && outcome == State::ended)) {
            current = outcome;
            why = reason;
        }
        if (outcome != State::ready) {
            closing = true;
        }
    }
    if (outcome != State::ready) {
        stopping = true;
    }
    changed.notify_all();
}

void BrokerSession::pause(std::chrono::milliseconds length)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, length, [&] { return stopping.load(); });
}

void BrokerSession::networkLoop()
{
    std::chrono::milliseconds backoff = 1s;
    bool first = true;
    while (!stopping) {
        const int rc = first ? mosquitto_connect_async(mosq, broker.host.c_str(), broker.effectivePort(),
                                                       broker.keepaliveSeconds)
                             : mosquitto_reconnect_async(mosq);
        first = false;
        int loop = rc;
        while (!stopping && loop == MOSQ_ERR_SUCCESS) {
            loop = mosquitto_loop(mosq, 200, 1);
        }
        const bool wasUp = brokerUp.exchange(false);
        if (stopping) {
            if (loop == MOSQ_ERR_SUCCESS) {
                // Still connected: a clean goodbye.
                mosquitto_disconnect(mosq);
                mosquitto_loop(mosq, 100, 1);
            }
            break;
        }
        if (state() == State::connecting) {
            // The first attempt decides the login: a broker that cannot be
            // reached cannot say whether the account is good.
            decide(State::unreachable, loop == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(loop));
            break;
        }
        if (wasUp) {
            logLine(LogLevel::warning, "user " + userName + ": the broker connection was lost; connecting again");
            {
                const std::lock_guard<std::mutex> lock(mutex);
                pushEvent("broker", R"({"connected":false})");
            }
            changed.notify_all();
        }
        pause(backoff);
        backoff = std::min<std::chrono::milliseconds>(backoff * 2, longestPause);
        if (wasUp) {
            backoff = 1s;
        }
    }
}

void BrokerSession::onConnect(mosquitto* mosq, void* self, int rc, int, const mqtt5__property*)
{
    auto* session = static_cast<BrokerSession*>(self);
    if (rc != 0) {
        const bool refusal = isRefusal(rc);
        const bool atLogin = session->state() == State::connecting;
        if (!atLogin) {
            logLine(LogLevel::warning, "user " + session->userName + ": the broker refused the connection again: " +
                                           reasonText(rc) + (refusal ? "; the user logs in anew" : ""));
        }
        if (refusal || atLogin) {
            session->decide(atLogin ? (refusal ? State::refused : State::unreachable) : State::ended, reasonText(rc));
        }
        mosquitto_disconnect(mosq);
        return;
    }
    session->brokerUp = true;
    mosquitto_subscribe_v5(mosq, &session->subscribeMid, (session->broker.topicPrefix + "/#").c_str(), 1, 0, nullptr);
}

void BrokerSession::onDisconnect(mosquitto*, void*, int, const mqtt5__property*)
{
    // The network loop ends with the connection and tells of the loss.
}

void BrokerSession::onSubscribe(mosquitto* mosq, void* self, int mid, int count, const int* granted,
                                const mqtt5__property*)
{
    auto* session = static_cast<BrokerSession*>(self);
    if (mid != session->subscribeMid) {
        return;
    }
    session->readAllowed = count > 0 && granted[0] < 0x80;
    // The retained messages come before this probe's answer on the one
    // connection, so once it is answered the stations are all known.
    mosquitto_publish_v5(mosq, &session->probeMid, session->probeTopic.c_str(), 0, nullptr, 1, false, nullptr);
}

void BrokerSession::onPublish(mosquitto*, void* self, int mid, int reason, const mqtt5__property*)
{
    auto* session = static_cast<BrokerSession*>(self);
    if (mid == session->probeMid) {
        session->commandAllowed = reason < 0x80;
        bool wasReady = false;
        {
            const std::lock_guard<std::mutex> lock(session->mutex);
            wasReady = session->current == State::ready;
            if (wasReady) {
                session->pushEvent("broker", R"({"connected":true})");
            }
        }
        if (wasReady) {
            session->changed.notify_all();
        } else {
            session->decide(State::ready, "");
        }
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(session->mutex);
        session->acknowledged[mid] = reason;
        // Answers that nobody waits for any more (the wait ended first).
        while (session->acknowledged.size() > 256) {
            session->acknowledged.erase(session->acknowledged.begin());
        }
    }
    session->changed.notify_all();
}

void BrokerSession::onMessage(mosquitto*, void* self, const mosquitto_message* message, const mqtt5__property*)
{
    if (message->topic == nullptr) {
        return;
    }
    const std::string payload(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
    static_cast<BrokerSession*>(self)->handleMessage(message->topic, payload);
}

void BrokerSession::handleMessage(const std::string& topic, const std::string& payload)
{
    const std::string head = broker.topicPrefix + "/";
    if (topic.rfind(head, 0) != 0) {
        return;
    }
    const std::string rest = topic.substr(head.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos) {
        return;
    }
    const std::string id = rest.substr(0, slash);
    const std::string kind = rest.substr(slash + 1);
    if (!isStationId(id)) {
        return;
    }
    if (kind == "cmd/result") {
        const Json result = Json::parse(payload, nullptr, false);
        if (!result.is_object() || !result.contains("id") || !result["id"].is_string()) {
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            const auto waiting = results.find(id + "\n" + result["id"].get<std::string>());
            if (waiting == results.end() || waiting->second) {
                return;
            }
            waiting->second = payload;
        }
        changed.notify_all();
        return;
    }
    if (kind != "state" && kind != "status" && kind != "details" && kind != "check") {
        return;
    }
    Json value;  // null: the retained message was deleted
    if (!payload.empty()) {
        if (kind == "state") {
            // A state is one short plain word; anything else is not the bridge's.
            if (payload.size() > 64 || ravenlink::tools::printable(payload, 64) != payload) {
                return;
            }
            value = payload;
        } else {
            value = Json::parse(payload, nullptr, false);
            if (!value.is_object()) {
                return;
            }
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        Station& station = stations[id];
        if (kind == "state") {
            station.state = value.is_null() ? std::nullopt : std::optional<std::string>(payload);
        } else if (kind == "status") {
            station.status = std::move(value);
        } else if (kind == "details") {
            station.details = std::move(value);
        } else {
            station.check = std::move(value);
        }
        station.updated = std::chrono::system_clock::now();
        pushEvent("station", stationText(id, station));
    }
    changed.notify_all();
}

void BrokerSession::pushEvent(const std::string& name, const std::string& data)
{
    events.emplace_back(nextEvent++, "event: " + name + "\ndata: " + data + "\n\n");
    eventBytes += events.back().second.size();
    while (events.size() > keptEvents || (eventBytes > keptEventBytes && events.size() > 1)) {
        eventBytes -= events.front().second.size();
        events.pop_front();
    }
}

std::string BrokerSession::stationText(const std::string& id, const Station& station) const
{
    Json findings = Json::array();
    if (station.check.is_object() && station.check.contains("findings") && station.check["findings"].is_array()) {
        findings = station.check["findings"];
    }
    const Json record = {
        {"id", id},
        {"state", station.state ? Json(*station.state) : Json()},
        {"status", station.status},
        {"details", station.details},
        {"check", station.check},
        {"findings", findings},
        {"updated", toIsoTime(station.updated)},
    };
    return dump(record);
}

std::string BrokerSession::describe() const
{
    return dump(Json{{"user", userName},
                               {"mayCommand", commandAllowed.load()},
                               {"mayRead", readAllowed.load()},
                               {"connected", brokerUp.load()},
                               {"topicPrefix", broker.topicPrefix}});
}

std::string BrokerSession::stationsJson() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    std::string text = "[";
    for (const auto& [id, station] : stations) {
        text += (text.size() > 1 ? "," : "") + stationText(id, station);
    }
    return text + "]";
}

std::optional<std::string> BrokerSession::stationJson(const std::string& id) const
{
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = stations.find(id);
    if (found == stations.end()) {
        return std::nullopt;
    }
    return stationText(id, found->second);
}

std::string BrokerSession::snapshot(std::uint64_t& position) const
{
    const std::lock_guard<std::mutex> lock(mutex);
    std::string text;
    for (const auto& [id, station] : stations) {
        text += "event: station\ndata: " + stationText(id, station) + "\n\n";
    }
    position = nextEvent;
    return text;
}

BrokerSession::Read BrokerSession::readEvents(std::uint64_t& position, std::string& out, Clock::time_point deadline) const
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_until(lock, deadline, [&] { return closing || nextEvent > position; });
    if (closing) {
        return Read::closed;
    }
    if (nextEvent <= position) {
        return Read::timeout;
    }
    if (events.empty() || events.front().first > position) {
        return Read::lagged;
    }
    for (auto event = events.begin() + static_cast<std::ptrdiff_t>(position - events.front().first); event != events.end();
         ++event) {
        out += event->second;
    }
    position = nextEvent;
    return Read::events;
}

BrokerSession::Answer BrokerSession::command(const std::string& station, const Json& payload,
                                             const std::string& commandId, std::chrono::milliseconds timeout)
{
    const std::string key = station + "\n" + commandId;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (stations.find(station) == stations.end()) {
            return {404, errorBody("no station " + station + " on the broker")};
        }
        if (!results.emplace(key, std::nullopt).second) {
            return {409, errorBody("a command with the id " + commandId + " is already waiting for its result")};
        }
    }
    const auto forget = [&] {
        const std::lock_guard<std::mutex> lock(mutex);
        results.erase(key);
    };
    if (!brokerUp) {
        forget();
        return {503, errorBody("no connection to the broker at the moment; try again")};
    }
    const std::string topic = broker.topicPrefix + "/" + station + "/cmd";
    const std::string text = dump(payload);
    // A command that the broker cannot hand on within the wait is dropped
    // there, so that it never runs long after its sender gave up on it.
    mosquitto_property* properties = nullptr;
    const auto expiry = static_cast<uint32_t>(std::max<long long>(1, (timeout.count() + 999) / 1000));
    mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, expiry);
    int mid = 0;
    const int rc = mosquitto_publish_v5(mosq, &mid, topic.c_str(), static_cast<int>(text.size()), text.data(), 1, false,
                                        properties);
    mosquitto_property_free_all(&properties);
    if (rc != MOSQ_ERR_SUCCESS) {
        forget();
        return {503, errorBody(std::string("the command could not be sent: ") + mosquitto_strerror(rc))};
    }
    std::unique_lock<std::mutex> lock(mutex);
    const bool answered = changed.wait_for(lock, acknowledgeBound, [&] {
        return closing || acknowledged.count(mid) != 0;
    });
    if (!answered || closing) {
        results.erase(key);
        return {504, errorBody("the broker did not acknowledge the command")};
    }
    const int reason = acknowledged[mid];
    acknowledged.erase(mid);
    if (reason >= 0x80) {
        results.erase(key);
        lock.unlock();
        logLine(LogLevel::info, "user " + userName + ": the broker refused a command to " + station + ": " +
                                    reasonText(reason));
        return {403, dump(Json{{"error", "the broker refused the command: " + reasonText(reason)},
                                         {"reason", reason}})};
    }
    const Station& known = stations[station];
    if (known.state && *known.state == "offline") {
        results.erase(key);
        return {409, errorBody("station " + station + " is offline: no bridge takes its commands")};
    }
    const bool done = changed.wait_for(lock, timeout, [&] { return closing || results[key].has_value(); });
    std::optional<std::string> result = results[key];
    results.erase(key);
    if (!done || !result) {
        return {504, dump(Json{{"error", "no result from the bridge within " +
                                                       std::to_string((timeout.count() + 999) / 1000) + " s"},
                                         {"id", commandId}})};
    }
    return {200, *result};
}

} // namespace web
