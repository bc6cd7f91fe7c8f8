// ravenlinkstation: a simulated ground station on a pseudo-terminal or a
// serial device, for trying the console and for the link tests; with
// --count, many stations from one process (a thread each) for fleet tests
// and benchmarks.
#include "StationArgs.h"
#include "StationPort.h"
#include "StationProtocol.h"
#include "StationServer.h"
#include "StationSignals.h"
#include "StationState.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

// One simulated station: its line, its link, its own state and protocol.
// Nothing is shared between two stations of one process, so a setting sent
// to one is never seen on another.
struct Station {
    Station(const StationOptions& options, std::uint32_t seed, const std::string& linkPath, int number)
        : port(options.portDevice.empty() ? openPseudoTerminal() : openSerialDevice(options.portDevice)),
          state(seed, StationState::Clock::now(), static_cast<std::uint32_t>(std::time(nullptr))),
          protocol(state, ProtocolOptions{options.comStatus, options.wrongId}),
          server(*port, protocol, options, seed + 1U, number)
    {
        if (!linkPath.empty()) {
            link.emplace(linkPath, port->path());
        }
        state.setExtended(options.extended);
        state.setSensorsFitted(options.sensors);
        if (options.activated) {
            state.setActivation(16);
        }
    }

    std::unique_ptr<StationPort> port;
    std::optional<PortLink> link;
    StationState state;
    StationProtocol protocol;
    StationServer server;
};

// Station I's link: PATH-I under --count (even --count 1, so that a script
// that chooses the count never needs a case of its own), else PATH itself.
std::string linkOf(const StationOptions& options, int number)
{
    if (options.linkPath.empty() || !options.numberedLinks) {
        return options.linkPath;
    }
    return options.linkPath + "-" + std::to_string(number);
}

// Serves one station until a stop or its vanishing. A port that fails ends
// every station of the process, as it ends the one of a single station.
bool serveOne(Station& station, const StationOptions& options, int number)
{
    try {
        if (station.server.run() == StationServer::Outcome::Vanished) {
            station.link.reset();
            std::ostringstream text;
            text << "ravenlinkstation: ";
            if (options.count > 1) {
                text << "station " << number << ": ";
            }
            text << "port closed after " << options.vanishAfter << " request(s)\n";
            std::cerr << text.str() << std::flush;
        }
        return true;
    } catch (const std::exception& e) {
        std::ostringstream text;
        text << "ravenlinkstation: ";
        if (options.count > 1) {
            text << "station " << number << ": ";
        }
        text << e.what() << '\n';
        std::cerr << text.str() << std::flush;
        requestStop();
        return false;
    }
}

// Two descriptors per station and a few more: a soft limit below that is
// raised as far as the hard limit allows, so that --count 1024 needs no
// ulimit first.
void allowDescriptors(int stations)
{
    rlimit limit{};
    const rlim_t needed = static_cast<rlim_t>(stations) * 2 + 32;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < needed) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int serve(const StationOptions& options)
{
    allowDescriptors(options.count);
    const std::uint32_t seed = options.seed ? *options.seed : std::random_device{}();
    std::vector<std::unique_ptr<Station>> stations;
    for (int number = 1; number <= options.count; ++number) {
        // Two seeds per station: its drift and its line noise.
        const auto own = seed + 2U * static_cast<std::uint32_t>(number - 1);
        stations.push_back(std::make_unique<Station>(options, own, linkOf(options, number), number));
    }
    for (const auto& station : stations) {
        std::cout << "Station ready on " << station->port->path() << '\n';
    }
    std::cout << std::flush;

    if (stations.size() == 1) {
        return serveOne(*stations.front(), options, 1) ? 0 : 1;
    }
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        threads.emplace_back([&, i] {
            if (!serveOne(*stations[i], options, static_cast<int>(i + 1))) {
                failed = true;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    StationOptions options;
    try {
        options = parseStationArgs(argc, argv);
    } catch (const std::invalid_argument& e) {
        std::cerr << "ravenlinkstation: " << e.what() << "\nTry -h for the options.\n";
        return 2;
    }
    if (options.help) {
        std::cout << stationUsage(argc > 0 ? argv[0] : "ravenlinkstation");
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    if (!installStopHandlers()) {
        std::cerr << "ravenlinkstation: cannot install the signal handlers\n";
        return 1;
    }
    try {
        return serve(options);
    } catch (const std::exception& e) {
        std::cerr << "ravenlinkstation: " << e.what() << '\n';
        return 1;
    }
}
