// One user's connection to the broker, logged in with their own account:
// it checks the login, keeps the stations that the account may read, hands
// every change to the user's event streams, and publishes the user's
// commands, so that the broker's access control alone decides what each
// user sees and commands.
//
// The connection speaks MQTT 5, the version in which the broker answers a
// publication that its ACL refuses with a reason code instead of dropping
// it without a word.
#ifndef RAVENLINK_WEB_BROKER_SESSION_H
#define RAVENLINK_WEB_BROKER_SESSION_H

#include "WebSettings.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace web {

// Payloads keep the order of their members as the bridge wrote them.
using Json = nlohmann::ordered_json;

class BrokerSession {
public:
    using Clock = std::chrono::steady_clock;

    enum class State {
        connecting,   // the login is being checked
        ready,        // logged in, subscribed, rights known
        refused,      // the broker refused the account
        unreachable,  // the broker could not be asked
        ended,        // closed, or refused later (an account removed)
    };

    // An answer for the HTTP side: status code and JSON body.
    struct Answer {
        int status = 200;
        std::string body;
    };

    BrokerSession(const BrokerOptions& broker, std::string user, const std::string& password, std::string probeTopic);
    ~BrokerSession();
    BrokerSession(const BrokerSession&) = delete;
    BrokerSession& operator=(const BrokerSession&) = delete;

    // Starts the network thread, which logs in and, once in, stays connected.
    void start();
    // Waits until the login is decided, at most until \p deadline.
    State waitLogin(Clock::time_point deadline);
    State state() const;
    // Why the login was refused or the broker not reached, for the log.
    std::string failure() const;

    const std::string& user() const { return userName; }
    bool mayCommand() const { return commandAllowed; }
    bool mayRead() const { return readAllowed; }
    bool connected() const { return brokerUp; }

    // {"user":…,"mayCommand":…,"mayRead":…,"connected":…}
    std::string describe() const;
    // Every station as a JSON array, sorted by id.
    std::string stationsJson() const;
    std::optional<std::string> stationJson(const std::string& id) const;

    // Publishes \p payload (a command object whose "id" is \p commandId) to
    // the station's cmd topic and waits for the bridge's result with that id.
    Answer command(const std::string& station, const Json& payload, const std::string& commandId,
                   std::chrono::milliseconds timeout);

    // Event streams. A stream starts with the snapshot (every station as an
    // event) and reads on from the position it returns.
    std::string snapshot(std::uint64_t& position) const;
    enum class Read { events, timeout, lagged, closed };
    // Waits until there are events after \p position (appended to \p out,
    // \p position moved past them) or \p deadline. lagged: the stream fell
    // so far behind that events it has not read are gone.
    Read readEvents(std::uint64_t& position, std::string& out, Clock::time_point deadline) const;

    // Ends the streams and the connection; the session is not used again.
    void close();

    // The cache's bookkeeping.
    const Clock::time_point created = Clock::now();
    void touch() { lastUse = Clock::now().time_since_epoch().count(); }
    Clock::time_point lastUsed() const { return Clock::time_point(Clock::duration(lastUse.load())); }
    std::atomic<int> streams{0};

private:
    struct Station {
        std::optional<std::string> state;
        Json status;  // null until seen
        Json details;
        Json check;
        std::chrono::system_clock::time_point updated;
    };

    static void onConnect(mosquitto* mosq, void* self, int rc, int flags, const mqtt5__property* properties);
    static void onDisconnect(mosquitto* mosq, void* self, int rc, const mqtt5__property* properties);
    static void onSubscribe(mosquitto* mosq, void* self, int mid, int count, const int* granted,
                            const mqtt5__property* properties);
    static void onPublish(mosquitto* mosq, void* self, int mid, int reason, const mqtt5__property* properties);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message,
                          const mqtt5__property* properties);

    void networkLoop();
    void pause(std::chrono::milliseconds length);
    void decide(State outcome, const std::string& why);
    void handleMessage(const std::string& topic, const std::string& payload);
    void pushEvent(const std::string& name, const std::string& data);  // with mutex held
    std::string stationText(const std::string& id, const Station& station) const;

    BrokerOptions broker;
    const std::string userName;
    const std::string probeTopic;
    mosquitto* mosq = nullptr;
    std::thread network;

    std::atomic<bool> stopping{false};
    std::atomic<bool> brokerUp{false};
    std::atomic<bool> commandAllowed{false};
    std::atomic<bool> readAllowed{false};
    std::atomic<Clock::rep> lastUse{Clock::now().time_since_epoch().count()};
    int subscribeMid = 0;  // the network thread's own
    int probeMid = 0;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    State current = State::connecting;
    std::string why;
    std::map<std::string, Station> stations;
    std::map<int, int> acknowledged;  // message id -> the broker's reason code
    // Commands that wait for their result: "station\ncommand id" -> result.
    std::map<std::string, std::optional<std::string>> results;
    std::deque<std::pair<std::uint64_t, std::string>> events;  // the latest, in order
    std::uint64_t nextEvent = 0;
    std::size_t eventBytes = 0;
    bool closing = false;
};

} // namespace web

#endif // RAVENLINK_WEB_BROKER_SESSION_H
