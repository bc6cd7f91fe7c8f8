#include "Version.h"

#include "RavenlinkVersion.h"

#include <sstream>

namespace ravenlink::report {

namespace {
// Both come from the project's version, set once in CMake.
constexpr const char* libraryBuildText = RAVENLINK_LIBRARY_BUILD;
constexpr const char* libraryProtocolVersion = RAVENLINK_PROTOCOL_VERSION;
} // namespace

std::string libraryBuild() { return libraryBuildText; }

std::string protocolVersion() { return libraryProtocolVersion; }

std::string libraryBanner()
{
    const std::string title = "# Halvern Ravenlink #";
    const std::string frame(title.size(), '#');
    std::ostringstream ossSysState;
    ossSysState << frame << '\n'
                << title << '\n'
                << frame << '\n'
                << '\n'
                << "Halvern Loftward Ravenlink Library" << '\n'
                << "Library build: " << libraryBuild() << '\n'
                << "Communication protocol version: " << protocolVersion() << '\n'
                << '\n';
    return ossSysState.str();
}

} // namespace ravenlink::report
