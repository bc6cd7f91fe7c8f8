/*!
 * \file StationPorts.h
 * \brief The serial ports of the machine, one record per port.
 *
 * StationLink::listPorts fills three lists in step; this form keeps what
 * belongs to one port together, so that a caller cannot pair a name with
 * another port's description.
 */
#ifndef RAVENLINK_STATION_PORTS_H
#define RAVENLINK_STATION_PORTS_H

#include "RavenlinkExport.h"

#include <string>
#include <vector>

namespace ravenlink {

/*! One serial port of the machine. */
struct PortInfo {
    std::string port;         //!< the name to open, e.g. "/dev/ttyUSB0"
    std::string description;  //!< what the system says the device is, e.g. "USB Serial"
    std::string hardwareId;   //!< e.g. the USB vendor and product ids, "USB VID:PID=0403:6001"
};

/*!
 * Every serial port that the system reports, in its order: the same ports,
 * names, descriptions and hardware ids as StationLink::listPorts, one record
 * each. Pseudo-terminals are not listed.
 * \throw HALVERN::IOException "listPorts: ..." the system's port list cannot be read
 */
RAVENLINK_EXPORT std::vector<PortInfo> listPorts();

} // namespace ravenlink

#endif // RAVENLINK_STATION_PORTS_H
