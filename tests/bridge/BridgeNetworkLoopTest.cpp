// The broker connection's network thread: idle, it sleeps for seconds at a
// time, and yet a message from the broker, a publication from another
// thread and a stop are each taken at once.
#include "BridgeSupport.h"
#include "MqttClient.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

using namespace bridgetest;

namespace {

// Sleeps of one thread of this process so far (each one a wake-up later).
long long sleepsOf(long tid)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
            return std::stoll(line.substr(24));
        }
    }
    return -1;
}

long long msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
}

class NetworkLoop : public BridgeTest {
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        bridge::MqttClient::Options options;
        options.broker.host = "127.0.0.1";
        options.broker.port = broker.port;
        options.broker.username = bridgeAccount.user;
        options.password = bridgeAccount.password;
        options.clientId = "loop-test";
        options.name = "station alpha";
        client = std::make_unique<bridge::MqttClient>(options);
        client->start(
            [this] {
                networkThread = ::syscall(SYS_gettid);
                client->subscribe("ravenlink/alpha/cmd", 1);
            },
            [this](const std::string& topic, const std::string& payload, bool) {
                if (topic == "ravenlink/alpha/cmd") {
                    std::lock_guard<std::mutex> lock(mutex);
                    commands.push_back({payload, std::chrono::steady_clock::now()});
                    arrived.notify_all();
                }
            });
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!client->isConnected() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(Ms(10));
        }
        ASSERT_TRUE(client->isConnected());
        // Let the subscription's acknowledgement come in before anything is measured.
        std::this_thread::sleep_for(Ms(200));
    }

    void TearDown() override
    {
        if (client) {
            client->requestStop();
            client->waitStopped(std::chrono::steady_clock::now() + Ms(2000));
        }
    }

    struct Command {
        std::string payload;
        std::chrono::steady_clock::time_point at;
    };

    std::unique_ptr<bridge::MqttClient> client;
    std::atomic<long> networkThread{0};
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Command> commands;
};

} // namespace

TEST_F(NetworkLoop, IdleConnectionSleepsAndStillAnswersAtOnce)
{
    // Idle for 1.5 s: the old loop woke 15 times in that time.
    const long tid = networkThread.load();
    ASSERT_GT(tid, 0);
    const long long before = sleepsOf(tid);
    std::this_thread::sleep_for(Ms(1500));
    EXPECT_LE(sleepsOf(tid) - before, 3);

    // A command from the broker reaches the handler at once.
    TestClient console(broker.port, operatorAccount, "console");
    ASSERT_EQ(console.connectResult(), 0);
    const auto sent = std::chrono::steady_clock::now();
    console.send("ravenlink/alpha/cmd", R"({"id":"now","command":"activate"})");
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, patience, [&] { return !commands.empty(); }));
        EXPECT_EQ(commands[0].payload, R"({"id":"now","command":"activate"})");
        EXPECT_LT(std::chrono::duration_cast<Ms>(commands[0].at - sent).count(), 500);
    }

    // A publication from this thread does not wait for the loop's sleep to end.
    std::this_thread::sleep_for(Ms(300));
    const std::size_t mark = watcher->messages().size();
    const auto published = std::chrono::steady_clock::now();
    ASSERT_GE(client->publish("ravenlink/alpha/state", "online", 1, false), 0);
    const auto seen = watcher->waitFor("ravenlink/alpha/state", "online", mark);
    ASSERT_TRUE(seen);
    EXPECT_LT(std::chrono::duration_cast<Ms>(seen->at - published).count(), 500);

    // And neither does a stop.
    std::this_thread::sleep_for(Ms(300));
    const auto stop = std::chrono::steady_clock::now();
    client->requestStop();
    EXPECT_TRUE(client->waitStopped(stop + Ms(5000)));
    EXPECT_LT(msSince(stop), 500);
    client.reset();
}
