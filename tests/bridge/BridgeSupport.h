// A real broker with the site's access control, test clients on it, and the
// built bridge as a child process: what every bridge test starts from.
#ifndef RAVENLINK_TESTS_BRIDGE_SUPPORT_H
#define RAVENLINK_TESTS_BRIDGE_SUPPORT_H

#include "ChildProcess.h"
#include "InteractiveChild.h"
#include "Loopback.h"
#include "Outcome.h"

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <pwd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace bridgetest {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// Generous: the suite runs beside others on a loaded machine.
constexpr Ms patience{30000};

struct Account {
    std::string user;
    std::string password;
};

const Account bridgeAccount{"ravenlink-bridge", "bridge-secret-4711"};
const Account operatorAccount{"operator", "operator-pass-0815"};
const Account viewerAccount{"viewer", "viewer-pass-1234"};
const Account homeAutomationAccount{"homeassistant", "home-pass-2468"};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A folder of its own under /tmp that the broker (which may drop to its own
// user) can read, removed with everything in it.
class ScratchDir {
public:
    ScratchDir()
    {
        char name[] = "/tmp/ravenlink-bridge-test-XXXXXX";
        if (::mkdtemp(name) == nullptr) {
            throw std::runtime_error("mkdtemp");
        }
        path = name;
        ::chmod(name, 0755);
    }
    ~ScratchDir() { ravenlinktest::runChildProcess("/bin/rm", {"-rf", path}, ""); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

using ravenlinktest::freePort;
using ravenlinktest::portAccepts;

// mosquitto on 127.0.0.1 with packaging/mosquitto/ravenlink.conf and its
// ACL as shipped, moved to the scratch folder: only the two file paths and
// the listener's port in the configuration are changed. Its log
// (everything) goes to broker.log.
class Broker {
public:
    explicit Broker(const ScratchDir& dir) : dir(dir), port(freePort())
    {
        const std::string passwordFile = dir.file("ravenlink.passwd");
        bool first = true;
        for (const Account& account : {bridgeAccount, operatorAccount, viewerAccount, homeAutomationAccount}) {
            std::vector<std::string> args = {"-b", passwordFile, account.user, account.password};
            if (first) {
                args.insert(args.begin(), "-c");
                first = false;
            }
            const auto made = ravenlinktest::runChildProcess(MOSQUITTO_PASSWD_PATH, args, "");
            EXPECT_EQ(made.exitStatus, 0) << made.errors;
        }
        writeFile(dir.file("ravenlink.acl"), readFile(packagingFile("ravenlink.acl")));
        std::string site = readFile(packagingFile("ravenlink.conf"));
        site = std::regex_replace(site, std::regex("(\n|^)password_file [^\n]*"), "$1password_file " + passwordFile);
        site = std::regex_replace(site, std::regex("(\n|^)acl_file [^\n]*"), "$1acl_file " + dir.file("ravenlink.acl"));
        site = std::regex_replace(site, std::regex("(\n|^)listener 1883 [^\n]*"),
                                  "$1listener " + std::to_string(port) + " 127.0.0.1");
        ::mkdir(dir.file("conf.d").c_str(), 0755);
        writeFile(dir.file("conf.d/ravenlink.conf"), site);
        const struct passwd* me = ::getpwuid(::getuid());
        writeFile(dir.file("broker.conf"), "persistence false\n"
                                           "log_dest stderr\nlog_type all\nuser " + std::string(me->pw_name) +
                                               "\ninclude_dir " + dir.file("conf.d") + "\n");
        start();
    }

    ~Broker() { stop(); }

    static std::string packagingFile(const std::string& name)
    {
        return std::string(RAVENLINK_PROJECT_DIR) + "/packaging/mosquitto/" + name;
    }

    void start()
    {
        const int logFd = ::open(dir.file("broker.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        pid = ravenlinktest::detail::spawnChild(MOSQUITTO_PATH, "", {"-c", dir.file("broker.conf")}, nullFd, logFd, logFd);
        ::close(logFd);
        ::close(nullFd);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!portAccepts(port) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(portAccepts(port)) << log();
    }

    void stop()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

    std::string log() const { return readFile(dir.file("broker.log")); }

    const ScratchDir& dir;
    int port;
    pid_t pid = -1;
};

struct Message {
    std::string topic;
    std::string payload;
    int qos = 0;
    bool retained = false;
    std::chrono::steady_clock::time_point at;  // when it was received
};

// A subscriber or publisher on the broker, with everything it received kept
// in order.
class TestClient {
public:
    enum class Protocol { v311, v5 };

    TestClient(int port, const Account& account, const std::string& id, Protocol protocol = Protocol::v311)
    {
        mosquitto_lib_init();
        mosq = mosquitto_new(id.c_str(), true, this);
        if (protocol == Protocol::v5) {
            mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        }
        if (!account.user.empty()) {
            mosquitto_username_pw_set(mosq, account.user.c_str(), account.password.c_str());
        }
        mosquitto_connect_callback_set(mosq, [](mosquitto*, void* self, int rc) {
            static_cast<TestClient*>(self)->record([&](TestClient& c) { c.connack = rc; });
        });
        mosquitto_subscribe_callback_set(mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<TestClient*>(self)->record([](TestClient& c) { ++c.subacks; });
        });
        mosquitto_publish_callback_set(mosq, [](mosquitto*, void* self, int mid) {
            static_cast<TestClient*>(self)->record([&](TestClient& c) { c.acked.push_back(mid); });
        });
        mosquitto_publish_v5_callback_set(mosq, [](mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
            static_cast<TestClient*>(self)->record([&](TestClient& c) { c.reasons.emplace_back(mid, reason); });
        });
        mosquitto_message_callback_set(mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
            Message message{m->topic, std::string(static_cast<const char*>(m->payload), m->payloadlen), m->qos, m->retain,
                            std::chrono::steady_clock::now()};
            static_cast<TestClient*>(self)->record([&](TestClient& c) { c.received.push_back(message); });
        });
        mosquitto_connect(mosq, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq);
    }

    ~TestClient()
    {
        mosquitto_disconnect(mosq);
        mosquitto_loop_stop(mosq, false);
        mosquitto_destroy(mosq);
    }

    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    // The broker's answer to the login: 0 accepted, 5 not authorised, -1 none.
    int connectResult()
    {
        return waitUntil([&] { return connack != -1; }) ? connack : -1;
    }

    void subscribe(const std::string& topic)
    {
        ASSERT_EQ(connectResult(), 0);
        const int before = locked([&] { return subacks; });
        mosquitto_subscribe(mosq, nullptr, topic.c_str(), 1);
        ASSERT_TRUE(waitUntil([&] { return subacks > before; }));
    }

    // Publishes at QoS 1 and waits for the broker to take it.
    void publish(const std::string& topic, const std::string& payload, bool retain = false)
    {
        ASSERT_EQ(connectResult(), 0);
        int mid = 0;
        mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
        ASSERT_TRUE(waitUntil([&] { return std::find(acked.begin(), acked.end(), mid) != acked.end(); }));
    }

    // Publishes at QoS 1 and gives the reason code of the broker's PUBACK
    // (MQTT 5), or -1 when none came.
    int publishedReason(const std::string& topic, const std::string& payload, bool retain)
    {
        if (connectResult() != 0) {
            return -1;
        }
        int mid = 0;
        mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
        int reason = -1;
        waitUntil([&] {
            for (const auto& [m, r] : reasons) {
                if (m == mid) {
                    reason = r;
                }
            }
            return reason != -1;
        });
        return reason;
    }

    // Publishes at QoS 1 without waiting, for a burst.
    void send(const std::string& topic, const std::string& payload)
    {
        ASSERT_EQ(connectResult(), 0);
        mosquitto_publish(mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
    }

    // The first message received from \p from on that matches.
    std::optional<Message> waitFor(const std::function<bool(const Message&)>& match, std::size_t from = 0,
                                   Ms timeout = patience)
    {
        std::optional<Message> found;
        waitUntil([&] {
            for (std::size_t i = from; i < received.size() && !found; ++i) {
                if (match(received[i])) {
                    found = received[i];
                }
            }
            return found.has_value();
        }, timeout);
        return found;
    }

    std::optional<Message> waitFor(const std::string& topic, const std::string& payloadPart, std::size_t from = 0)
    {
        return waitFor([&](const Message& m) { return m.topic == topic && m.payload.find(payloadPart) != std::string::npos; },
                       from);
    }

    std::vector<Message> messages() { return locked([&] { return received; }); }

private:
    template <typename F> auto locked(F f) -> decltype(f())
    {
        std::lock_guard<std::mutex> lock(mutex);
        return f();
    }
    template <typename F> void record(F f)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            f(*this);
        }
        changed.notify_all();
    }
    bool waitUntil(const std::function<bool()>& done, Ms timeout = patience)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, done);
    }

    mosquitto* mosq = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    int connack = -1;
    int subacks = 0;
    std::vector<int> acked;
    std::vector<std::pair<int, int>> reasons;  // message id, PUBACK reason code
    std::vector<Message> received;
};

// The built bridge, its standard output and error in one pipe.
inline std::unique_ptr<ravenlinktest::InteractiveChild> startBridge(const std::vector<std::string>& arguments)
{
    return std::make_unique<ravenlinktest::InteractiveChild>(RAVENLINK_BRIDGE_PATH, arguments);
}

// The quick-start command line for \p stations ("ID=PORT") on \p broker.
inline std::vector<std::string> bridgeArguments(const ScratchDir& dir, const Broker& broker,
                                                const std::vector<std::string>& stations,
                                                const std::vector<std::string>& more = {})
{
    writeFile(dir.file("bridge.password"), bridgeAccount.password + "\n");
    std::vector<std::string> args = {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port), "--username",
                                     bridgeAccount.user, "--password-file", dir.file("bridge.password"),
                                     "--client-id", "bridge", "--interval", "0.2"};
    for (const std::string& station : stations) {
        args.push_back("--station");
        args.push_back(station);
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The "id" of a result payload ("null" when it has none), or "".
inline std::string resultId(const Message& result)
{
    static const std::regex id(R"re(^\{"id":(null|"([^"\\]*)"),)re");
    std::smatch match;
    if (!std::regex_search(result.payload, match, id)) {
        return "";
    }
    return match[1] == "null" ? "null" : match[2].str();
}

// The "seq" of a status payload, or 0.
inline unsigned long long seqOf(const Message& status)
{
    const std::size_t at = status.payload.rfind(",\"seq\":");
    return at == std::string::npos ? 0 : std::stoull(status.payload.substr(at + 7));
}

} // namespace bridgetest

#endif // RAVENLINK_TESTS_BRIDGE_SUPPORT_H

#include "SimulatorProcess.h"

namespace bridgetest {

// A broker with the site configuration and a viewer watching ravenlink/#.
class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        watcher = std::make_unique<TestClient>(broker.port, viewerAccount, "watcher");
        watcher->subscribe("ravenlink/#");
    }

    // A simulated station reachable as dir/NAME.
    std::unique_ptr<ravenlinktest::Simulator> station(const std::string& name, std::vector<std::string> extra = {})
    {
        extra.insert(extra.begin(), {"--link", dir.file(name)});
        auto simulator = std::make_unique<ravenlinktest::Simulator>(extra);
        EXPECT_FALSE(simulator->readyPath().empty());
        return simulator;
    }

    std::string stationArg(const std::string& id) { return id + "=" + dir.file(id); }

    // Waits until the watcher has seen \p state on station \p id, from
    // message \p from on.
    bool sawState(const std::string& id, const std::string& state, std::size_t from = 0)
    {
        return watcher->waitFor([&](const Message& m) { return m.topic == "ravenlink/" + id + "/state" && m.payload == state; },
                                from).has_value();
    }

    // Sends \p payload to station \p id's cmd topic and returns the result
    // that carries \p id.
    std::string command(TestClient& from, const std::string& station, const std::string& id, const std::string& payload)
    {
        const std::size_t mark = watcher->messages().size();
        from.publish("ravenlink/" + station + "/cmd", payload);
        const auto result = watcher->waitFor("ravenlink/" + station + "/cmd/result", "{\"id\":\"" + id + "\"", mark);
        return result ? result->payload : "no result";
    }

    // SIGTERM, then the end: status 0, and the password in no line.
    ravenlinktest::ChildResult stopBridge(ravenlinktest::InteractiveChild& bridge)
    {
        bridge.signal(SIGTERM);
        const ravenlinktest::ChildResult result = bridge.finish(patience);
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_EQ(result.output.find(bridgeAccount.password), std::string::npos) << result.output;
        return result;
    }

    ScratchDir dir;
    Broker broker{dir};
    std::unique_ptr<TestClient> watcher;
};

} // namespace bridgetest
