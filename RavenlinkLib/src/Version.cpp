#include "RavenlinkVersion.h"
#include "ReportFormat.h"
#include "StationLinkImpl.h"

#include <iostream>
#include <sstream>

namespace {
// Both come from the project's version, set once in CMake.
constexpr const char* libraryBuild = RAVENLINK_LIBRARY_BUILD;
constexpr const char* libraryProtocolVersion = RAVENLINK_PROTOCOL_VERSION;
} // namespace

std::string StationLinkImpl::getLibraryBuild() { return libraryBuild; }
void StationLinkImpl::getLibraryBuild(std::string& out) { out = libraryBuild; }
std::string StationLinkImpl::getProtocolVersion() { return libraryProtocolVersion; }
void StationLinkImpl::getProtocolVersion(std::string& out) { out = libraryProtocolVersion; }

void StationLinkImpl::printLibraryInfo() { printLibraryInfo(std::cout); }

void StationLinkImpl::printLibraryInfo(std::ostream& os)
{
    const std::string title = "# Halvern Ravenlink #";
    const std::string frame(title.size(), '#');
    std::ostringstream ossSysState;
    ossSysState << frame << '\n'
                << title << '\n'
                << frame << '\n'
                << '\n'
                << "Halvern Loftward Ravenlink Library" << '\n'
                << "Library build: " << getLibraryBuild() << '\n'
                << "Communication protocol version: " << getProtocolVersion() << '\n'
                << '\n';
    ravenlink::writeText(os, ossSysState.str());
}
