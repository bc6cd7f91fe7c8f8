#include "StationLink.h"

#include "StationLinkImpl.h"

#include <utility>

namespace {
// Guarded operations hand on a copy of the library's own exception, so its
// text reaches the client unchanged; anything else passes untouched.
template <typename Call>
auto guardBoth(Call&& call) -> decltype(call())
{
    try {
        return call();
    } catch (HALVERN::IOException& e) {
        throw HALVERN::IOException(e);
    } catch (HALVERN::DataException& e) {
        throw HALVERN::DataException(e);
    }
}

template <typename Call>
auto guardIO(Call&& call) -> decltype(call())
{
    try {
        return call();
    } catch (const HALVERN::IOException& e) {
        throw HALVERN::IOException(e);
    }
}
} // namespace

StationLink::StationLink() : impl(std::make_unique<StationLinkImpl>()) {}
StationLink::~StationLink() = default;
StationLink::StationLink(StationLink&& other) noexcept = default;
StationLink& StationLink::operator=(StationLink&& other) noexcept = default;

void StationLink::listPorts(std::vector<std::string>& ports, std::vector<std::string>& descriptions,
                            std::vector<std::string>& hardwareIds)
{
    impl->listPorts(ports, descriptions, hardwareIds);
}
void StationLink::printPorts() { impl->printPorts(); }
void StationLink::printPorts(std::ostream& os) { impl->printPorts(os); }

void StationLink::openConnection(const std::string& portName)
{
    guardIO([&] { impl->openConnection(portName); });
}
void StationLink::closeConnection() { guardIO([&] { impl->closeConnection(); }); }
int StationLink::getConnectionStatus() { return impl->getConnectionStatus(); }
bool StationLink::isConnected() { return impl->isConnected(); }
void StationLink::setConnectionTimeout(int ms) { impl->setConnectionTimeout(ms); }
int StationLink::getConnectionTimeout() { return impl->getConnectionTimeout(); }
void StationLink::setReplyEnd(ReplyEnd mode) { impl->setReplyEnd(mode); }
ReplyEnd StationLink::getReplyEnd() { return impl->getReplyEnd(); }
void StationLink::setLineObserver(LineObserver observer) { impl->setLineObserver(std::move(observer)); }

void StationLink::getSystemDetails(SystemDetails& details)
{
    guardBoth([&] { impl->getSystemDetails(details); });
}
void StationLink::getSystemStatus(SystemStatus& status) { guardBoth([&] { impl->getSystemStatus(status); }); }
bool StationLink::evaluateSystemState(uint8_t& severity)
{
    return guardBoth([&] { return impl->evaluateSystemState(severity); });
}
bool StationLink::evaluateSystemState(const SystemStatus& status, uint8_t& severity, bool checkMaintenance)
{
    return guardBoth([&] { return impl->evaluateSystemState(status, severity, checkMaintenance); });
}
bool StationLink::evaluateSystemState(const SystemStatus& status, const SystemDetails& details,
                                      uint8_t& severity, bool checkMaintenance)
{
    return StationLinkImpl::evaluateSystemState(status, details, severity, checkMaintenance);
}
void StationLink::getSystemConfig(SystemConfig& config) { guardBoth([&] { impl->getSystemConfig(config); }); }
void StationLink::setSystemConfig(const SystemConfig& config)
{
    guardBoth([&] { impl->setSystemConfig(config); });
}
void StationLink::setSystemActivation(bool activate)
{
    guardBoth([&] { impl->setSystemActivation(activate); });
}
void StationLink::setCableRetractionTorque(float percent)
{
    guardBoth([&] { impl->setCableRetractionTorque(percent); });
}
void StationLink::setCableRetractionStartLength(float metres)
{
    guardBoth([&] { impl->setCableRetractionStartLength(metres); });
}
void StationLink::getSystemStatusConfig(ConfigStatus& config)
{
    guardBoth([&] { impl->getSystemStatusConfig(config); });
}
void StationLink::setSystemStatusConfig(const ConfigStatus& config)
{
    guardBoth([&] { impl->setSystemStatusConfig(config); });
}
void StationLink::printSystemInfo() { guardBoth([&] { impl->printSystemInfo(); }); }

void StationLink::printSystemStatus(const SystemStatus& status, std::ostream& os)
{
    StationLinkImpl::printSystemStatus(status, os);
}
void StationLink::printSystemDetails(const SystemDetails& details, std::ostream& os)
{
    StationLinkImpl::printSystemDetails(details, os);
}

std::string StationLink::getLibraryBuild() { return StationLinkImpl::getLibraryBuild(); }
void StationLink::getLibraryBuild(std::string& out) { StationLinkImpl::getLibraryBuild(out); }
std::string StationLink::getProtocolVersion() { return StationLinkImpl::getProtocolVersion(); }
void StationLink::getProtocolVersion(std::string& out) { StationLinkImpl::getProtocolVersion(out); }
void StationLink::printLibraryInfo() { StationLinkImpl::printLibraryInfo(); }
void StationLink::printLibraryInfo(std::ostream& os) { StationLinkImpl::printLibraryInfo(os); }
