#include "StationLinkImpl.h"

#include <iostream>

// Placeholder until the serial link lands.
StationLinkImpl::StationLinkImpl() = default;
StationLinkImpl::~StationLinkImpl() = default;
void StationLinkImpl::openConnection(const std::string&) { throw HALVERN::IOException("openConnection: not available"); }
void StationLinkImpl::closeConnection() {}
int StationLinkImpl::getConnectionStatus() { return 0; }
bool StationLinkImpl::isConnected() { return false; }
void StationLinkImpl::updateConnectionState() {}
void StationLinkImpl::setConnectionTimeout(int ms) { connectionTimeout = ms; }
int StationLinkImpl::getConnectionTimeout() const { return connectionTimeout; }
void StationLinkImpl::listPorts(std::vector<std::string>&, std::vector<std::string>&, std::vector<std::string>&) {}
void StationLinkImpl::printPorts() {}
void StationLinkImpl::printPorts(std::ostream&) {}
std::string StationLinkImpl::trimSerialMessage(const std::string& text) { return text; }
