// The serial link to the ground station: opening, closing, state queries,
// the connection timeout and the machine's port list. This is the only file
// besides the exchange that touches the port object.
#include "StationLinkImpl.h"

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
    if (serialPort.isOpen()) {
        if (serialPort.getPort() == portName) {
            // Same station, same line: keep it as it is and do not disturb
            // the station with a second handshake.
            connectionState = 255;
            return;
        }
        serialPort.close();
        connectionState = 0;
    }

    serialPort.setPort(portName);
    serialPort.setBaudrate(static_cast<uint32_t>(baudRate));
    serial::Timeout timeout = serial::Timeout::simpleTimeout(static_cast<uint32_t>(connectionTimeout));
    serialPort.setTimeout(timeout);

    try {
        serialPort.open();
    } catch (const std::exception& e) {
        std::string reason = trimSerialMessage(e.what());
        if (reason.empty()) {
            reason = "Serial connection exception";
        }
        raiseIO("openConnection", ": " + reason);
    }

    updateConnectionState();
    if (connectionState != 1) {
        connectionState = 255;
        raiseIO("openConnection", ": Failed to open specified port " + portName + ".");
    }

    // Whatever the station sent before we listened belongs to nobody.
    serialPort.flush();
    std::string inBuffer;
    serialPort.read(inBuffer, serialPort.available());

    connectionState = 1;
    initConnection();
}

void StationLinkImpl::closeConnection()
{
    if (serialPort.isOpen()) {
        try {
            serialPort.close();
        } catch (const serial::IOException& e) {
            connectionState = 255;
            raiseIO("closeConnection", std::string(": ") + e.what());
        }
    }
    connectionState = 0;
}

void StationLinkImpl::updateConnectionState() { connectionState = serialPort.isOpen() ? 1 : 0; }

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

    std::ios state(nullptr);
    state.copyfmt(os);
    os << ossSysState.str();
    os.copyfmt(state);
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
