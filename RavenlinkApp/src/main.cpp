/*!
 * \file main.cpp
 * \brief Entry of the Halvern RavenlinkApp console: start-up, port choice,
 * connection, then the menu until option 11, an interrupt or the end of input.
 */
#include "ConsoleTexts.h"
#include "Options.h"
#include "Prompts.h"
#include "StationControl.h"

#include <StationLink.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

namespace {
// Scans every argument, the program path included, for the exact text "-h".
// Returns true when the usage was printed and the program is to end.
bool parseArguments(int argc, char* argv[])
{
    for (int i = 0; i < argc; ++i) {
        if (argv[i] != nullptr && std::string_view(argv[i]) == "-h") {
            printUsage(std::cout);
            return true;
        }
    }
    return false;
}

int runConsole(StationLink& ravenlink, int argc, char* argv[])
{
    ravenlink.getLibraryBuild(libraryBuild);
    ravenlink.getProtocolVersion(protocolVersion);
    if (parseArguments(argc, argv)) {
        return 0;
    }

    printAppBanner(std::cout);
    printLibraryVersion(std::cout);
    std::cout << "Selectable serial ports:" << '\n';
    ravenlink.printPorts();

    std::string portName;
    if (!promptPortName(std::cin, std::cout, portName)) {
        // No port was named before the input ended: nothing to open or close.
        return 0;
    }
    try {
        ravenlink.openConnection(portName);
    } catch (const std::exception& e) {
        std::cout << e.what();
        return 1;
    }

    StationLinkControl station(ravenlink);
    SystemStatus tetherStatus;
    reportStartupStatus(station, tetherStatus, std::cout);
    runMenuLoop(station, tetherStatus, std::cin, std::cout);
    return shutDown(station, std::cout);
}
} // namespace

int main(int argc, char* argv[])
{
    std::signal(SIGINT, handleInterrupt);
    try {
        StationLink ravenlink;
        return runConsole(ravenlink, argc, argv);
    } catch (const std::exception& e) {
        // Reached only by failures that have no handler of their own: the
        // argument scan, creating the link, listing the ports.
        std::cout << e.what() << '\n';
        return 1;
    }
}
