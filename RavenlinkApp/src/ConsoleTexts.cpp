#include "ConsoleTexts.h"

#include <StationVocabulary.h>

#include <limits>
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

// The console's dialogue is its own: only the torque takes the bounds that
// ravenlinkctl and the bridge take. The start length and the timeout keep
// the console's wider bounds, which its operators have always had.
namespace prompts {

const ConsolePrompt<float> torque = {"Set tether cable retraction torque in % [0 ... 100]: ",
                                     static_cast<float>(ravenlink::vocab::retractionTorque.low),
                                     static_cast<float>(ravenlink::vocab::retractionTorque.high)};
// The 0.3 m minimum is the station's rule and is applied by the library; the
// console takes any length from 0 upwards.
const ConsolePrompt<float> startLength = {"Set tether cable retraction start length in m (Minimum 0.3m): ", 0.0F,
                                          std::numeric_limits<float>::infinity()};
const ConsolePrompt<int> activation = {"Set tether activation [0 => Off / 1 => On]: ", 0, 1};
const ConsolePrompt<int> timeout = {"Set new connection timeout in ms: ", 0, std::numeric_limits<int>::max()};

} // namespace prompts
