// The serial link to the ground station: opening, closing, state queries,
// the connection timeout and the machine's port list. This is the only file
// besides the exchange that touches the port object.
#include "StationLinkImpl.h"

#include "ReportFormat.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <sstream>

StationLinkImpl::StationLinkImpl()
    : serialPort("", 9600, serial::Timeout(0, 0, 0, 0, 0), serial::eightbits, serial::parity_none,
                 serial::stopbits_one, serial::flowcontrol_none)
{
}

StationLinkImpl::~StationLinkImpl()
{
    // A close that fails while the object goes away has nobody left to tell;
    // the serial library's own destructor releases the descriptor anyway.
    try {
        closeConnection();
    } catch (...) {
    }
}

void StationLinkImpl::openConnection(const std::string& portName)
{
    if (portOpen) {
        if (serialPort.getPort() == portName && !linkLost) {
            // Same station, same line: keep it as it is and do not disturb
            // the station with a second handshake.
            connectionState = 255;
            return;
        }
        // Another port, or this one after its device went away: the old
        // descriptor is of no use any more, whatever closing it says.
        dropPort();
        connectionState = 0;
    }

    // The lock comes first, so that a port in another program's hands is
    // not even reconfigured.
    if (!lockPort(portName)) {
        raiseIO("openConnection", ": " + openFailureReason("Device or resource busy", portName));
    }

    serialPort.setPort(portName);
    serialPort.setBaudrate(static_cast<uint32_t>(baudRate));
    serial::Timeout timeout = serial::Timeout::simpleTimeout(static_cast<uint32_t>(connectionTimeout));
    serialPort.setTimeout(timeout);

    try {
        serialPort.open();
    } catch (const std::exception& e) {
        unlockPort();
        raiseIO("openConnection", ": " + openFailureReason(e.what(), portName));
    }
    portOpen = serialPort.isOpen();
    linkLost = false;

    updateConnectionState();
    if (connectionState != 1 || portLockFd < 0) {
        dropPort();
        connectionState = 255;
        raiseIO("openConnection", ": Failed to open specified port " + portName + ".");
    }
    // Other programs that honour the tty's exclusive mode now cannot open it.
    ::ioctl(portLockFd, TIOCEXCL);

    try {
        // Whatever the station sent before we listened belongs to nobody.
        serialPort.flush();
        std::string inBuffer;
        serialPort.read(inBuffer, serialPort.available());
    } catch (const std::exception& e) {
        dropPort();
        raiseIO("openConnection", ": " + openFailureReason(e.what(), portName));
    }

    connectionState = 1;
    initConnection();
}

void StationLinkImpl::closeConnection()
{
    if (portOpen) {
        try {
            serialPort.close();
        } catch (const serial::IOException& e) {
            connectionState = 255;
            portOpen = serialPort.isOpen();
            unlockPort();
            raiseIO("closeConnection", std::string(": ") + e.what());
        }
    }
    portOpen = false;
    linkLost = false;
    unlockPort();
    connectionState = 0;
}

void StationLinkImpl::dropPort() noexcept
{
    try {
        serialPort.close();
    } catch (...) {
        // The device is gone or the descriptor is dead; either way it is
        // closed now as far as anyone can tell.
    }
    portOpen = false;
    unlockPort();
}

bool StationLinkImpl::lockPort(const std::string& portName)
{
    unlockPort();
    const int fd = ::open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A port in exclusive mode refuses every further open. Anything else
        // (no such device, no permission) is for the serial library to
        // report in its own words when it tries the same.
        return errno != EBUSY;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    portLockFd = fd;
    return true;
}

void StationLinkImpl::unlockPort()
{
    if (portLockFd >= 0) {
        ::ioctl(portLockFd, TIOCNXCL);
        ::close(portLockFd);  // releases the flock too
        portLockFd = -1;
    }
}

void StationLinkImpl::updateConnectionState() { connectionState = (portOpen && !linkLost) ? 1 : 0; }

int StationLinkImpl::getConnectionStatus()
{
    updateConnectionState();
    return connectionState;
}

bool StationLinkImpl::isConnected()
{
    updateConnectionState();
    return connectionState == 1;
}

void StationLinkImpl::setConnectionTimeout(int ms)
{
    connectionTimeout = ms;
    // The serial library takes the new value at once on an open port and
    // keeps it for the next open otherwise.
    serial::Timeout timeout = serial::Timeout::simpleTimeout(static_cast<uint32_t>(ms));
    serialPort.setTimeout(timeout);
}

int StationLinkImpl::getConnectionTimeout() const { return connectionTimeout; }

void StationLinkImpl::listPorts(std::vector<std::string>& ports, std::vector<std::string>& descriptions,
                                std::vector<std::string>& hardwareIds)
{
    const std::vector<serial::PortInfo> devicesFound = serial::list_ports();
    for (const serial::PortInfo& device : devicesFound) {
        ports.push_back(device.port);
        descriptions.push_back(device.description);
        hardwareIds.push_back(device.hardware_id);
    }
}

void StationLinkImpl::printPorts() { printPorts(std::cout); }

void StationLinkImpl::printPorts(std::ostream& os)
{
    std::vector<std::string> serialDevListPort;
    std::vector<std::string> serialDevListDesc;
    std::vector<std::string> serialDevListHwID;
    listPorts(serialDevListPort, serialDevListDesc, serialDevListHwID);

    std::ostringstream ossSysState;
    for (std::size_t i = 0; i < serialDevListPort.size(); ++i) {
        if (i > 0) {
            ossSysState << '\n';
        }
        ossSysState << "Port: " << serialDevListPort[i] << '\n'
                    << "Description: " << serialDevListDesc[i] << '\n'
                    << "Hardware ID: " << serialDevListHwID[i] << '\n';
    }

    ravenlink::writeText(os, ossSysState.str());
}

std::string StationLinkImpl::serialReason(const std::string& serialText)
{
    const std::string reason = trimSerialMessage(serialText);
    return reason.empty() ? std::string("Serial connection exception") : reason;
}

std::string StationLinkImpl::openFailureReason(const std::string& serialText, const std::string& portName)
{
    const std::string reason = serialReason(serialText);
    // Two programs on one station interleave their requests and both read
    // garbage; say plainly why this one may not have the line.
    if (reason == "Device or resource busy") {
        return "Port " + portName + " is busy: another program is using it";
    }
    return reason;
}

std::string StationLinkImpl::trimSerialMessage(const std::string& text)
{
    // The serial library's texts read "<kind>: <description>, file <source>,
    // line <n>." Only the description helps the operator.
    std::string rest = text;
    const std::size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        const std::size_t start = colon + 2;
        rest = start < rest.size() ? rest.substr(start) : std::string();
    }
    // The location suffix is the last ", file "; a description may itself
    // contain the word (as in "No such file or directory").
    const std::size_t suffix = rest.rfind(", file ");
    if (suffix != std::string::npos) {
        rest.erase(suffix);
    }
    return rest;
}
