// The command line of ravenlink-bridge: a configuration file, or the quick
// start with --station and --broker, or both (the command line wins).
#ifndef RAVENLINK_BRIDGE_ARGUMENTS_H
#define RAVENLINK_BRIDGE_ARGUMENTS_H

#include "BridgeSettings.h"

#include <memory>
#include <optional>

namespace bridge {

enum ExitStatus : int {
    exitDone = 0,
    exitFailed = 1,  // a file, the library or the system failed at start
    exitUsage = 2,   // the command line or the configuration is wrong
    exitGaveUp = 3,  // another bridge took a station's client id again and again
};

struct RawArguments;

// The command line as it was given, kept so that a reload reads the
// configuration file again under the same options (which still win).
class CommandLine {
public:
    // --config named a file: only then is there anything to read again.
    bool namesConfigFile() const;
    const std::string& configFile() const;
    // Reads the configuration file again and lays the command line over it.
    // A client id that \p running made up is kept, so that the stations
    // that did not change keep their connections.
    // \throw SettingsError the file cannot be read or is wrong
    BridgeSettings reread(const BridgeSettings& running) const;

private:
    friend std::optional<int> parseArguments(int argc, char** argv, BridgeSettings& settings, CommandLine* kept);
    std::shared_ptr<const RawArguments> raw;
};

// Parses argv (reading --config's file) into \p settings, and keeps the
// command line in \p kept when one is given. Returns an exit status when
// the program is to end at once: --help, --version, or a usage or
// configuration error, whose text is already on standard error.
std::optional<int> parseArguments(int argc, char** argv, BridgeSettings& settings, CommandLine* kept = nullptr);

} // namespace bridge

#endif // RAVENLINK_BRIDGE_ARGUMENTS_H
