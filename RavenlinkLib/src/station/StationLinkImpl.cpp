// The link's port: opening (with the protocol handshake), closing, state,
// timeout and the machine's port list; the port itself is the transport's.
// And the printers, which write the presentation's texts.
#include "StationLinkImpl.h"

#include "ReportFormat.h"
#include "Reports.h"
#include "Version.h"

#include <iostream>
#include <sstream>

StationLinkImpl::StationLinkImpl() = default;

// The port closes itself when it goes away, and never throws doing so.
StationLinkImpl::~StationLinkImpl() = default;

void StationLinkImpl::openConnection(const std::string& portName)
{
    if (port.open(portName)) {
        initConnection();
    }
}

void StationLinkImpl::closeConnection() { port.close(); }

int StationLinkImpl::getConnectionStatus() { return port.connectionStatus(); }

bool StationLinkImpl::isConnected() { return port.isConnected(); }

void StationLinkImpl::setConnectionTimeout(int ms) { port.setTimeout(ms); }

int StationLinkImpl::getConnectionTimeout() const { return port.timeout(); }

void StationLinkImpl::listPorts(std::vector<std::string>& ports, std::vector<std::string>& descriptions,
                                std::vector<std::string>& hardwareIds)
{
    for (const ravenlink::transport::PortInfo& device : ravenlink::transport::listPorts()) {
        ports.push_back(device.port);
        descriptions.push_back(device.description);
        hardwareIds.push_back(device.hardwareId);
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

// ---- reports and version: the presentation's texts, written in one insertion ----

void StationLinkImpl::printSystemStatus(const SystemStatus& status, std::ostream& out)
{
    ravenlink::writeText(out, ravenlink::report::statusReport(status));
}

void StationLinkImpl::printSystemDetails(const SystemDetails& details, std::ostream& out)
{
    ravenlink::writeText(out, ravenlink::report::detailsReport(details));
}

std::string StationLinkImpl::getLibraryBuild() { return ravenlink::report::libraryBuild(); }
void StationLinkImpl::getLibraryBuild(std::string& out) { out = ravenlink::report::libraryBuild(); }
std::string StationLinkImpl::getProtocolVersion() { return ravenlink::report::protocolVersion(); }
void StationLinkImpl::getProtocolVersion(std::string& out) { out = ravenlink::report::protocolVersion(); }

void StationLinkImpl::printLibraryInfo() { printLibraryInfo(std::cout); }

void StationLinkImpl::printLibraryInfo(std::ostream& os)
{
    ravenlink::writeText(os, ravenlink::report::libraryBanner());
}
