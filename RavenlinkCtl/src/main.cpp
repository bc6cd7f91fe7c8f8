/*!
 * \file main.cpp
 * \brief Entry of ravenlinkctl: every station operation from the command
 * line, for scripts, health checks and logged runs.
 */
#include "CtlArguments.h"
#include "Monitor.h"
#include "Plot.h"
#include "StationCommands.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    try {
        ctl::Invocation invocation;
        if (const auto done = ctl::parseArguments(argc, argv, invocation)) {
            return *done;
        }
        if (invocation.command == "monitor") {
            return ctl::runMonitor(invocation);
        }
        if (invocation.command == "plot") {
            return ctl::runPlot(invocation);
        }
        return ctl::runStationCommand(invocation);
    } catch (const std::exception& e) {
        // Reached only by failures without a handler of their own, such as
        // running out of memory.
        std::cerr << "ravenlinkctl: " << e.what() << '\n';
        return ctl::exitFailed;
    }
}
