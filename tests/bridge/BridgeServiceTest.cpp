// The bridge under a service manager: the notifications it sends over
// NOTIFY_SOCKET (here a datagram socket of the test's own), the watchdog's
// bound for a station thread, and the shipped units as systemd reads them.
#include "BridgeSupport.h"

#include "StationBridge.h"
#include "StationSet.h"

#include <poll.h>
#include <sys/un.h>

#include <cstring>

using namespace bridgetest;

namespace {

// A datagram socket where the bridge's notifications arrive, named to the
// bridge in NOTIFY_SOCKET (and WATCHDOG_USEC) while it lives.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path, const std::string& watchdogUsec) : path(path)
    {
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
        ::setenv("WATCHDOG_USEC", watchdogUsec.c_str(), 1);
    }
    ~NotifySocket()
    {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::close(fd);
        ::unlink(path.c_str());
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // Reads datagrams until one holds the line \p line; false after patience.
    // Everything read is kept in \p seen.
    bool waitFor(const std::string& line, Ms timeout = patience)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                continue;
            }
            const std::string datagram(buffer, static_cast<std::size_t>(n));
            seen.push_back(datagram);
            if (("\n" + datagram + "\n").find("\n" + line + "\n") != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    std::string all() const
    {
        std::string text;
        for (const std::string& datagram : seen) {
            text += "[" + datagram + "]";
        }
        return text;
    }

    std::vector<std::string> seen;

private:
    std::string path;
    int fd = -1;
};

} // namespace

TEST_F(BridgeTest, ServiceManagerIsToldReadyReloadingWatchdogAndStopping)
{
    const auto alpha = station("alpha");
    const std::string config = dir.file("bridge.conf");
    writeFile(dir.file("bridge.password"), bridgeAccount.password + "\n");
    const std::string text = "[broker]\nurl = mqtt://127.0.0.1:" + std::to_string(broker.port) +
                             "\nusername = " + bridgeAccount.user + "\npassword-file = " + dir.file("bridge.password") +
                             "\nclient-id = bridge\n[station alpha]\nport = " + dir.file("alpha") + "\n";
    writeFile(config, text);
    NotifySocket notify(dir.file("notify"), "200000");
    auto bridge = startBridge({"--config", config});
    ASSERT_TRUE(notify.waitFor("READY=1")) << notify.all() << bridge->text();
    EXPECT_NE(notify.seen.back().find("STATUS=serving 1 station"), std::string::npos) << notify.all();
    // Pings every 100 ms, half the watchdog's period.
    ASSERT_TRUE(notify.waitFor("WATCHDOG=1")) << notify.all();
    notify.seen.clear();
    ASSERT_TRUE(notify.waitFor("WATCHDOG=1")) << notify.all();
    ASSERT_TRUE(notify.waitFor("WATCHDOG=1")) << notify.all();
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();

    writeFile(config, text + "interval = 0.5\n");
    bridge->signal(SIGHUP);
    ASSERT_TRUE(notify.waitFor("RELOADING=1")) << notify.all();
    EXPECT_NE(notify.seen.back().find("\nMONOTONIC_USEC="), std::string::npos) << notify.all();
    ASSERT_TRUE(notify.waitFor("READY=1")) << notify.all();
    ASSERT_TRUE(bridge->waitFor("reloaded " + config + ": restarted alpha", 1, patience)) << bridge->text();
    ASSERT_TRUE(notify.waitFor("WATCHDOG=1")) << notify.all();

    bridge->signal(SIGTERM);
    ASSERT_TRUE(notify.waitFor("STOPPING=1")) << notify.all();
    const auto result = bridge->finish(patience);
    EXPECT_EQ(result.exitStatus, 0) << result.output;
}

TEST_F(BridgeTest, WithoutNotifySocketNothingIsSent)
{
    // A socket the bridge is not told of: it must stay empty, and the bridge
    // run as without a service manager.
    const std::string path = dir.file("notify");
    NotifySocket notify(path, "200000");
    ::unsetenv("NOTIFY_SOCKET");
    const auto alpha = station("alpha");
    auto bridge = startBridge(bridgeArguments(dir, broker, {stationArg("alpha")}));
    ASSERT_TRUE(sawState("alpha", "online")) << bridge->text();
    stopBridge(*bridge);
    EXPECT_FALSE(notify.waitFor("READY=1", Ms(500))) << notify.all();
    EXPECT_TRUE(notify.seen.empty()) << notify.all();
}

TEST(BridgeWatchdog, StationThreadMayBeSilentLongerThanItsLongestExchange)
{
    // An activation waits 30 timeouts for its reply, which the library
    // collects for up to four times that; a reading and a pause come on top.
    bridge::StationSettings station;
    const auto longest = [](const bridge::StationSettings& s) {
        return std::chrono::milliseconds(static_cast<long long>(s.intervalSeconds * 1000.0) + 4LL * 30 * s.timeoutMs +
                                         4LL * s.timeoutMs);
    };
    EXPECT_GT(bridge::stationSilenceBound(station), longest(station));
    EXPECT_GT(bridge::stationSilenceBound(station), std::chrono::seconds(36));
    station.timeoutMs = 3600000;
    station.intervalSeconds = 86400.0;
    EXPECT_GT(bridge::stationSilenceBound(station), longest(station));
    // A short timeout still gets the library's least collection time.
    station.timeoutMs = 1;
    station.intervalSeconds = 0.001;
    EXPECT_GE(bridge::stationSilenceBound(station), std::chrono::seconds(4));
}

TEST(BridgeWatchdog, StationThreadKeepsShowingLifeWhileItsStationIsAway)
{
    // No station on the port and no broker on the address: the thread tries
    // the port at every interval, and each try is a sign of life.
    bridge::BridgeSettings settings;
    settings.broker.host = "127.0.0.1";
    settings.broker.port = freePort();
    settings.broker.clientId = "watchdog";
    bridge::StationSettings station;
    station.id = "away";
    station.port = "/nonexistent/ravenlink-station";
    station.intervalSeconds = 0.05;
    settings.stations = {station};
    bridge::StationSet stations;
    stations.apply(settings, "");
    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    const auto bound = bridge::stationSilenceBound(station);
    EXPECT_EQ(stations.silentStation(Clock::now()), std::nullopt);
    std::this_thread::sleep_for(400ms);
    // Signs came after begin + 300 ms: silent for the bound from then on is
    // not yet too long, but from now on it would be.
    EXPECT_EQ(stations.silentStation(begin + 300ms + bound), std::nullopt);
    const auto silent = stations.silentStation(Clock::now() + bound + 200ms);
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->first, "away");
    EXPECT_TRUE(stations.stopAll());
    EXPECT_EQ(stations.size(), 0U);
}

TEST(BridgeUnits, SystemdFindsNothingToSayAboutTheShippedUnits)
{
    // systemd checks that a command exists: the installed paths are those of
    // the built programs here.
    ScratchDir dir;
    const std::string units = std::string(RAVENLINK_PROJECT_DIR) + "/packaging/systemd/";
    const auto stage = [&](const std::string& name, const std::string& as) {
        std::string text = readFile(units + name);
        text = std::regex_replace(text, std::regex("/usr/bin/ravenlink-bridge"), RAVENLINK_BRIDGE_PATH);
        text = std::regex_replace(text, std::regex("/usr/bin/ravenlinkctl"), RAVENLINKCTL_PATH);
        text = std::regex_replace(text, std::regex("/usr/bin/ravenlink-web"), RAVENLINK_WEB_PATH);
        writeFile(dir.file(as), text);
        return dir.file(as);
    };
    const std::vector<std::string> args = {"verify", "--man=no", stage("ravenlink-bridge@.service", "ravenlink-bridge@site.service"),
                                           stage("ravenlink-check.service", "ravenlink-check.service"),
                                           stage("ravenlink-check.timer", "ravenlink-check.timer"),
                                           stage("ravenlink-web.service", "ravenlink-web.service")};
    const auto verified = ravenlinktest::runChildProcess(SYSTEMD_ANALYZE_PATH, args, "");
    EXPECT_EQ(verified.exitStatus, 0) << verified.output << verified.errors;
    EXPECT_EQ(verified.output + verified.errors, "");
    // And it would say something of a mistake.
    writeFile(dir.file("broken@site.service"),
              std::regex_replace(readFile(dir.file("ravenlink-bridge@site.service")), std::regex("Type=notify"),
                                 "Type=notified"));
    const auto broken = ravenlinktest::runChildProcess(SYSTEMD_ANALYZE_PATH, {"verify", "--man=no", dir.file("broken@site.service")}, "");
    EXPECT_NE(broken.output + broken.errors, "");
}
