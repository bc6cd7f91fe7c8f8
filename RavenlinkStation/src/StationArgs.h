// Command line of the station simulator: where to listen and which faults
// to put on the line.
#ifndef RAVENLINK_STATION_ARGS_H
#define RAVENLINK_STATION_ARGS_H

#include <cstdint>
#include <optional>
#include <string>

struct StationOptions {
    std::string linkPath;    // symlink to the pseudo-terminal, empty for none
    std::string portDevice;  // real serial device instead of a pseudo-terminal
    int count = 1;           // stations served by this process, one pseudo-terminal each
    bool numberedLinks = false;  // --count given: links PATH-1 .. PATH-N, also for one
    bool activated = false;  // start remotely activated, the UAV about to take off
    bool extended = false;   // "AUTH_ENABLE" on: extended status keys
    int sensors = 4;         // environment sensors fitted; the others report 255
    std::optional<std::uint32_t> seed;  // fixed seed for the simulated drift
    bool verbose = false;    // log requests and replies on standard error

    // Faults.
    bool noReply = false;
    int delayMs = 0;
    int comStatus = -1;      // -1: the honest status of each reply
    bool garbage = false;
    bool flood = false;
    bool paced = false;
    long vanishAfter = -1;   // -1: never
    bool late = false;
    int stallMs = 0;
    bool wrongId = false;
    bool noise = false;

    bool help = false;
};

/// Reads the command line. Throws std::invalid_argument with a message for
/// the user on an unknown option or a missing or malformed value.
StationOptions parseStationArgs(int argc, const char* const* argv);

/// The -h text, every option with its meaning.
std::string stationUsage(const std::string& program);

#endif // RAVENLINK_STATION_ARGS_H
