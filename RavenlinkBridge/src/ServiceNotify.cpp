#include "ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <ctime>

namespace bridge {

ServiceNotify::ServiceNotify()
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        pingPeriod = std::chrono::duration_cast<Clock::duration>(std::chrono::microseconds(usec / 2));
    }
}

void ServiceNotify::ready(const std::string& status)
{
    sd_notify(0, ("READY=1\nSTATUS=" + status).c_str());
}

void ServiceNotify::reloading()
{
    // The time tells the manager which reload this is about.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long usec =
        static_cast<unsigned long long>(now.tv_sec) * 1000000ULL + static_cast<unsigned long long>(now.tv_nsec) / 1000ULL;
    sd_notify(0, ("RELOADING=1\nSTATUS=reloading the configuration\nMONOTONIC_USEC=" + std::to_string(usec)).c_str());
}

void ServiceNotify::stopping() { sd_notify(0, "STOPPING=1\nSTATUS=stopping"); }

void ServiceNotify::ping() { sd_notify(0, "WATCHDOG=1"); }

} // namespace bridge
