/*!
 * \file main.cpp
 * \brief Entry of the Halvern RavenlinkApp console: start-up, port choice,
 * connection, then the menu until option 11, a stop signal or the end of input.
 */
#include "ConsoleTexts.h"
#include "OperatorInput.h"
#include "Options.h"
#include "Prompts.h"
#include "StationControl.h"
#include "StopSignals.h"

#include <StationLink.h>

#include <exception>
#include <iostream>
#include <istream>
#include <string>
#include <string_view>

#include <unistd.h>

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

    // The operator's answers come through a buffer that stops waiting on a
    // stop signal; like std::cin it shows pending output before it waits.
    OperatorInput operatorBuffer(STDIN_FILENO);
    std::istream operatorInput(&operatorBuffer);
    operatorInput.tie(&std::cout);

    std::string portName;
    if (!promptPortName(operatorInput, std::cout, portName)) {
        // No port was named before the input ended or the operator asked to
        // stop: nothing to open or close.
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
    // A stop asked for while the port was being opened lets the handshake
    // finish, but no further command follows it.
    if (exitRequested == 0) {
        reportStartupStatus(station, tetherStatus, std::cout);
    }
    runMenuLoop(station, tetherStatus, operatorInput, std::cout);
    return shutDown(station, std::cout);
}
} // namespace

int main(int argc, char* argv[])
{
    installStopHandlers();
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
