#include "ConsoleTexts.h"

#include <ostream>

std::string libraryBuild;
std::string protocolVersion;

void printAppBanner(std::ostream& os)
{
    const std::string title = "# Halvern RavenlinkApp #";
    const std::string frame(title.size(), '#');
    os << frame << '\n' << title << '\n' << frame << '\n' << '\n';
}

void printLibraryVersion(std::ostream& os)
{
    // Printed from the copies taken at start-up; the library is not asked again.
    os << "Halvern Loftward Ravenlink Library" << '\n'
       << "Library build: " << libraryBuild << '\n'
       << "Communication protocol version: " << protocolVersion << '\n'
       << '\n';
}

void printUsage(std::ostream& os)
{
    printAppBanner(os);
    printLibraryVersion(os);
    os << "Usage of Halvern RavenlinkApp:" << '\n'
       << '\n'
       << "General call: ravenlinkapp" << '\n'
       << '\n'
       << "    -h ... this help" << '\n';
}

void printOptions(std::ostream& os)
{
    // One-digit numbers carry a leading blank so that the "..." columns line up.
    printAppBanner(os);
    os << "Options to control Halvern Loftward ground station." << '\n'
       << '\n'
       << " 1 ... Get current system status." << '\n'
       << " 2 ... Get system details." << '\n'
       << " 3 ... Activate system." << '\n'
       << " 4 ... Deactivate system." << '\n'
       << " 5 ... Set tether cable retraction torque." << '\n'
       << " 6 ... Set tether cable retraction start length." << '\n'
       << " 7 ... Set system configuration parameters." << '\n'
       << '\n'
       << " 9 ... Set connection timeouts." << '\n'
       << "10 ... Print Ravenlink Library version information." << '\n'
       << "11 ... Exit Halvern RavenlinkApp." << '\n';
}
