#include "StationLink.h"

#include "StationLinkImpl.h"
#include "StationPorts.h"

#include <type_traits>
#include <utility>

namespace {
// No exception of the serial or the JSON library leaves the facade: the
// library's own code turns them into its two classes where it knows what
// failed, and this net catches whatever slipped past, naming the operation.
// The port and the session each catch their own library's exceptions, so
// the facade needs neither library's header.
template <typename Call>
auto shielded(const char* operation, Call&& call) -> decltype(call())
{
    using ravenlink::protocol::Session;
    using ravenlink::transport::SerialPort;
    if constexpr (std::is_void_v<decltype(call())>) {
        SerialPort::shield(operation, [&] { Session::shield(operation, call); });
    } else {
        decltype(call()) result{};
        SerialPort::shield(operation, [&] { Session::shield(operation, [&] { result = call(); }); });
        return result;
    }
}

// Guarded operations hand on a copy of the library's own exception, so its
// text reaches the client unchanged.
template <typename Call>
auto guardBoth(const char* operation, Call&& call) -> decltype(call())
{
    try {
        return shielded(operation, call);
    } catch (HALVERN::IOException& e) {
        throw HALVERN::IOException(e);
    } catch (HALVERN::DataException& e) {
        throw HALVERN::DataException(e);
    }
}

template <typename Call>
auto guardIO(const char* operation, Call&& call) -> decltype(call())
{
    try {
        return shielded(operation, call);
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
    shielded("listPorts", [&] { impl->listPorts(ports, descriptions, hardwareIds); });
}
std::vector<ravenlink::PortInfo> ravenlink::listPorts()
{
    return shielded("listPorts", [] { return transport::listPorts(); });
}

void StationLink::printPorts() { shielded("printPorts", [&] { impl->printPorts(); }); }
void StationLink::printPorts(std::ostream& os) { shielded("printPorts", [&] { impl->printPorts(os); }); }

void StationLink::openConnection(const std::string& portName)
{
    guardIO("openConnection", [&] { impl->openConnection(portName); });
}
void StationLink::closeConnection() { guardIO("closeConnection", [&] { impl->closeConnection(); }); }
int StationLink::getConnectionStatus() { return impl->getConnectionStatus(); }
bool StationLink::isConnected() { return impl->isConnected(); }
void StationLink::setConnectionTimeout(int ms)
{
    shielded("setConnectionTimeout", [&] { impl->setConnectionTimeout(ms); });
}
int StationLink::getConnectionTimeout() { return impl->getConnectionTimeout(); }
void StationLink::setReplyEnd(ReplyEnd mode) { impl->setReplyEnd(mode); }
ReplyEnd StationLink::getReplyEnd() { return impl->getReplyEnd(); }
void StationLink::setReplyGathering(int ms) { impl->setReplyGathering(ms); }
void StationLink::setLineObserver(LineObserver observer) { impl->setLineObserver(std::move(observer)); }

void StationLink::getSystemDetails(SystemDetails& details)
{
    guardBoth("getSystemDetails", [&] { impl->getSystemDetails(details); });
}
void StationLink::getSystemStatus(SystemStatus& status)
{
    guardBoth("getSystemStatus", [&] { impl->getSystemStatus(status); });
}
void StationLink::getSystemStatus(SystemStatus& status, StatusGroups& delivered)
{
    guardBoth("getSystemStatus", [&] { impl->getSystemStatus(status, delivered); });
}
uint64_t StationLink::getDroppedReplyCount() { return impl->getDroppedReplyCount(); }
bool StationLink::evaluateSystemState(uint8_t& severity)
{
    return guardBoth("evaluateSystemState", [&] { return impl->evaluateSystemState(severity); });
}
bool StationLink::evaluateSystemState(const SystemStatus& status, uint8_t& severity, bool checkMaintenance)
{
    return guardBoth("evaluateSystemState",
                     [&] { return impl->evaluateSystemState(status, severity, checkMaintenance); });
}
bool StationLink::evaluateSystemState(const SystemStatus& status, const SystemDetails& details,
                                      uint8_t& severity, bool checkMaintenance)
{
    return StationLinkImpl::evaluateSystemState(status, details, severity, checkMaintenance);
}
void StationLink::getSystemConfig(SystemConfig& config)
{
    guardBoth("getSystemConfig", [&] { impl->getSystemConfig(config); });
}
void StationLink::setSystemConfig(const SystemConfig& config)
{
    guardBoth("setSystemConfig", [&] { impl->setSystemConfig(config); });
}
void StationLink::setSystemActivation(bool activate)
{
    guardBoth("setSystemActivation", [&] { impl->setSystemActivation(activate); });
}
void StationLink::setCableRetractionTorque(float percent)
{
    guardBoth("setCableRetractionTorque", [&] { impl->setCableRetractionTorque(percent); });
}
void StationLink::setCableRetractionStartLength(float metres)
{
    guardBoth("setCableRetractionStartLength", [&] { impl->setCableRetractionStartLength(metres); });
}
void StationLink::getSystemStatusConfig(ConfigStatus& config)
{
    guardBoth("getSystemStatusConfig", [&] { impl->getSystemStatusConfig(config); });
}
void StationLink::setSystemStatusConfig(const ConfigStatus& config)
{
    guardBoth("setSystemStatusConfig", [&] { impl->setSystemStatusConfig(config); });
}
void StationLink::printSystemInfo() { guardBoth("printSystemInfo", [&] { impl->printSystemInfo(); }); }

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
