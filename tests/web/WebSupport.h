// A real broker with the site's access control, the built bridge with
// simulated stations on it, and the built ravenlink-web in front: what
// every test of the web server starts from.
#ifndef RAVENLINK_TESTS_WEB_SUPPORT_H
#define RAVENLINK_TESTS_WEB_SUPPORT_H

#include "BridgeSupport.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>

namespace webtest {

using namespace bridgetest;
using Json = nlohmann::ordered_json;

// The built server as a child process; the port it chose is read from its
// log ("listening on http://127.0.0.1:PORT/").
class WebProcess {
public:
    explicit WebProcess(const std::vector<std::string>& arguments)
        : child(std::make_unique<ravenlinktest::InteractiveChild>(RAVENLINK_WEB_PATH, arguments))
    {
        if (child->waitFor("listening on http://127.0.0.1:", 1, patience)) {
            const std::string rest = child->nextLine(patience);
            port = std::atoi(rest.c_str());
        }
    }

    // SIGTERM, then the end: status 0.
    ravenlinktest::ChildResult stop()
    {
        child->signal(SIGTERM);
        return child->finish(patience);
    }

    std::unique_ptr<ravenlinktest::InteractiveChild> child;
    int port = 0;
};

inline std::vector<std::string> webArguments(const Broker& broker, const std::vector<std::string>& more = {})
{
    std::vector<std::string> args = {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port), "--listen",
                                     "127.0.0.1:0", "--web-root", std::string(RAVENLINK_PROJECT_DIR) + "/RavenlinkWeb/web",
                                     "--command-timeout", "10"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// One event of the stream: its name and its data.
struct Event {
    std::string name;
    std::string data;
};

// An event stream read on a thread of its own, every event kept in order.
class EventReader {
public:
    EventReader(int port, const Account& account) : client("127.0.0.1", port)
    {
        client.set_basic_auth(account.user, account.password);
        client.set_read_timeout(60, 0);
        reader = std::thread([this] {
            const auto result = client.Get(
                "/api/events",
                [this](const httplib::Response& response) {
                    record([&] { status = response.status; });
                    return true;
                },
                [this](const char* data, std::size_t length) {
                    record([&] { take(std::string(data, length)); });
                    return !stopping;
                });
            record([&] { ended = true; });
        });
    }

    ~EventReader()
    {
        stopping = true;
        client.stop();
        reader.join();
    }

    EventReader(const EventReader&) = delete;
    EventReader& operator=(const EventReader&) = delete;

    // The first event from \p from on that matches, within patience.
    std::optional<Event> waitFor(const std::function<bool(const Event&)>& match, std::size_t from = 0)
    {
        std::unique_lock<std::mutex> lock(mutex);
        std::optional<Event> found;
        changed.wait_for(lock, patience, [&] {
            for (std::size_t i = from; i < events.size() && !found; ++i) {
                if (match(events[i])) {
                    found = events[i];
                }
            }
            return found.has_value() || ended;
        });
        return found;
    }

    // The first "station" event of \p id from \p from on whose record
    // satisfies \p match.
    std::optional<Json> waitForStation(const std::string& id, const std::function<bool(const Json&)>& match,
                                       std::size_t from = 0)
    {
        const auto event = waitFor([&](const Event& e) {
            if (e.name != "station") {
                return false;
            }
            const Json record = Json::parse(e.data, nullptr, false);
            return record.is_object() && record["id"] == id && match(record);
        }, from);
        return event ? std::optional<Json>(Json::parse(event->data)) : std::nullopt;
    }

    std::size_t count()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    }

    int responseStatus()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, patience, [&] { return status != 0 || ended; });
        return status;
    }

    std::string raw()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return text;
    }

private:
    template <typename F> void record(F f)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            f();
        }
        changed.notify_all();
    }

    // Splits the stream into events at blank lines (the text arrives in
    // pieces of any size).
    void take(const std::string& piece)
    {
        text += piece;
        pending += piece;
        std::size_t end = 0;
        while ((end = pending.find("\n\n")) != std::string::npos) {
            const std::string block = pending.substr(0, end);
            pending.erase(0, end + 2);
            Event event;
            std::istringstream lines(block);
            std::string line;
            while (std::getline(lines, line)) {
                if (line.rfind("event: ", 0) == 0) {
                    event.name = line.substr(7);
                } else if (line.rfind("data: ", 0) == 0) {
                    event.data += line.substr(6);
                }
            }
            if (!event.name.empty()) {
                events.push_back(event);
            }
        }
    }

    httplib::Client client;
    std::thread reader;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Event> events;
    std::string pending;
    std::string text;
    int status = 0;
    bool ended = false;
};

// Two simulated stations, alpha and beta, on a bridge that takes commands,
// and the web server on the same broker.
class WebTest : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        alpha = station("alpha");
        beta = station("beta", betaOptions());
        bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha"), stationArg("beta")}, {"--commands", "on"}));
        ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
        ASSERT_TRUE(sawState("beta", "online")) << bridge->text();
        ASSERT_TRUE(watcher->waitFor("ravenlink/beta/check", "\"state\":"));
        ASSERT_TRUE(watcher->waitFor("ravenlink/alpha/check", "\"state\":"));
        ASSERT_TRUE(watcher->waitFor("ravenlink/alpha/status", "\"seq\":"));
        ASSERT_TRUE(watcher->waitFor("ravenlink/beta/status", "\"seq\":"));
        server = std::make_unique<WebProcess>(webArguments(broker));
        ASSERT_NE(server->port, 0) << server->child->text();
    }

    void TearDown() override
    {
        if (server) {
            const auto result = server->stop();
            EXPECT_EQ(result.exitStatus, 0) << result.output;
            // No password ever reaches the log.
            for (const Account& account : {operatorAccount, viewerAccount}) {
                EXPECT_EQ(result.output.find(account.password), std::string::npos) << result.output;
            }
        }
    }

    virtual std::vector<std::string> betaOptions() { return {}; }

    httplib::Client client(const Account& account)
    {
        httplib::Client http("127.0.0.1", server->port);
        if (!account.user.empty()) {
            http.set_basic_auth(account.user, account.password);
        }
        http.set_read_timeout(60, 0);
        return http;
    }

    httplib::Result post(const Account& account, const std::string& station, const std::string& body)
    {
        return client(account).Post(("/api/stations/" + station + "/commands").c_str(), body, "application/json");
    }

    std::unique_ptr<ravenlinktest::Simulator> alpha;
    std::unique_ptr<ravenlinktest::Simulator> beta;
    std::unique_ptr<ravenlinktest::InteractiveChild> bridge;
    std::unique_ptr<WebProcess> server;
};

} // namespace webtest

#endif // RAVENLINK_TESTS_WEB_SUPPORT_H
