// What the service manager is told: ready once every station thread runs,
// reloading and ready again around a reload, stopping at the end, and the
// watchdog's pings. Without NOTIFY_SOCKET (not started by systemd) every
// call does nothing.
#ifndef RAVENLINK_BRIDGE_SERVICE_NOTIFY_H
#define RAVENLINK_BRIDGE_SERVICE_NOTIFY_H

#include <chrono>
#include <optional>
#include <string>

namespace bridge {

class ServiceNotify {
public:
    using Clock = std::chrono::steady_clock;

    // Reads the watchdog's period from the environment (WATCHDOG_USEC, for
    // this process).
    ServiceNotify();

    void ready(const std::string& status);
    void reloading();
    void stopping();
    // How often to ping: half the watchdog's period; none without a watchdog.
    std::optional<Clock::duration> pingEvery() const { return pingPeriod; }
    void ping();

private:
    std::optional<Clock::duration> pingPeriod;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_SERVICE_NOTIFY_H
