/*!
 * \file StationPorts.h
 * \brief The machine's serial ports, one record per port.
 */
#ifndef RAVENLINK_STATION_PORTS_H
#define RAVENLINK_STATION_PORTS_H

#include "RavenlinkExport.h"

#include <string>
#include <vector>

namespace ravenlink {

/*! One serial port of the machine, as StationLink::listPorts lists it. */
struct RAVENLINK_EXPORT PortInfo {
    std::string port;         //!< the name to open, e.g. "/dev/ttyUSB0"
    std::string description;  //!< what the system says the device is
    std::string hardwareId;   //!< e.g. the USB vendor and product ids
    bool operator==(const PortInfo& o) const;
};

/*!
 * \return every serial port of the machine, in the order of
 * StationLink::listPorts
 * \throw HALVERN::IOException the ports cannot be listed ("listPorts: ...")
 */
RAVENLINK_EXPORT std::vector<PortInfo> listPorts();

} // namespace ravenlink

#endif // RAVENLINK_STATION_PORTS_H
