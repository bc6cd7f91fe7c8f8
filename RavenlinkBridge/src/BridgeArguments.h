// The command line of ravenlink-bridge: a configuration file, or the quick
// start with --station and --broker, or both (the command line wins).
#ifndef RAVENLINK_BRIDGE_ARGUMENTS_H
#define RAVENLINK_BRIDGE_ARGUMENTS_H

#include "BridgeSettings.h"

#include <optional>

namespace bridge {

enum ExitStatus : int {
    exitDone = 0,
    exitFailed = 1,  // a file, the library or the system failed at start
    exitUsage = 2,   // the command line or the configuration is wrong
    exitGaveUp = 3,  // another bridge took a station's client id again and again
};

// Parses argv (reading --config's file) into \p settings. Returns an exit
// status when the program is to end at once: --help, --version, or a usage
// or configuration error, whose text is already on standard error.
std::optional<int> parseArguments(int argc, char** argv, BridgeSettings& settings);

} // namespace bridge

#endif // RAVENLINK_BRIDGE_ARGUMENTS_H
