// ravenlinkstation: a simulated ground station on a pseudo-terminal or a
// serial device, for trying the console and for the link tests.
#include "StationArgs.h"
#include "StationPort.h"
#include "StationProtocol.h"
#include "StationServer.h"
#include "StationSignals.h"
#include "StationState.h"

#include <csignal>
#include <ctime>
#include <iostream>
#include <optional>
#include <random>
#include <stdexcept>

namespace {

int serve(const StationOptions& options)
{
    const std::uint32_t seed = options.seed ? *options.seed : std::random_device{}();
    auto port = options.portDevice.empty() ? openPseudoTerminal() : openSerialDevice(options.portDevice);
    std::optional<PortLink> link;
    if (!options.linkPath.empty()) {
        link.emplace(options.linkPath, port->path());
    }
    StationState state(seed, StationState::Clock::now(), static_cast<std::uint32_t>(std::time(nullptr)));
    state.setExtended(options.extended);
    if (options.activated) {
        state.setActivation(16);
    }
    StationProtocol protocol(state, ProtocolOptions{options.comStatus, options.wrongId});
    StationServer server(*port, protocol, options, seed + 1U);

    std::cout << "Station ready on " << port->path() << std::endl;
    if (server.run() == StationServer::Outcome::Vanished) {
        std::cerr << "ravenlinkstation: port closed after " << options.vanishAfter << " request(s)\n";
    }
    return 0;
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
