// The commands that talk to the station once and end: everything but
// monitor and plot.
#ifndef RAVENLINKCTL_STATION_COMMANDS_H
#define RAVENLINKCTL_STATION_COMMANDS_H

#include "CtlArguments.h"

#include <StationLink.h>

#include <string>

namespace ctl {

// Sets the link up as \p invocation asks (timeout before the handshake, the
// reply end, the wire trace) and opens the port.
// \throw HALVERN::IOException, HALVERN::DataException as openConnection
// \throw std::runtime_error the port names no character device, or the
//        station's protocol version is no number
void openStation(StationLink& link, const Invocation& invocation);

// Runs \p invocation's command; returns the exit status.
int runStationCommand(const Invocation& invocation);

} // namespace ctl

#endif // RAVENLINKCTL_STATION_COMMANDS_H
