// The library's own version texts and its framed banner.
#ifndef RAVENLINK_LIBRARY_VERSION_TEXT_H
#define RAVENLINK_LIBRARY_VERSION_TEXT_H

#include <string>

namespace ravenlink::report {

/// The library build, "23".
std::string libraryBuild();
/// The communication protocol version the library speaks, "1.20".
std::string protocolVersion();
/// The framed banner that printLibraryInfo writes.
std::string libraryBanner();

} // namespace ravenlink::report

#endif // RAVENLINK_LIBRARY_VERSION_TEXT_H
