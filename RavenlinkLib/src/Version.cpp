#include "StationLinkImpl.h"

#include <iostream>
#include <sstream>

namespace {
constexpr const char* libraryBuild = "23";
constexpr const char* libraryProtocolVersion = "1.20";
} // namespace

std::string StationLinkImpl::getLibraryBuild() { return libraryBuild; }
void StationLinkImpl::getLibraryBuild(std::string& out) { out = libraryBuild; }
std::string StationLinkImpl::getProtocolVersion() { return libraryProtocolVersion; }
void StationLinkImpl::getProtocolVersion(std::string& out) { out = libraryProtocolVersion; }

void StationLinkImpl::printLibraryInfo() { printLibraryInfo(std::cout); }

void StationLinkImpl::printLibraryInfo(std::ostream& os)
{
    // A buffer-less stream keeps a copy of the caller's format, so that the
    // width consumed by the insertion is given back too.
    std::ios state(nullptr);
    state.copyfmt(os);

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
    os << ossSysState.str();
    os.copyfmt(state);
}
