// The device commands: each is one locked request/reply transaction with its
// own payload and wait, followed by the reply check and, for the reading
// commands, the decoder. The composites chain them.
#include "StationLinkImpl.h"
#include "SystemFindings.h"

#include "Decoders.h"
#include "Encodings.h"
#include "Reply.h"
#include "Requests.h"
#include "LineReader.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <mutex>

namespace protocol = ravenlink::protocol;

namespace {

// Receive waits in multiples of the connection timeout. Settings that move
// the reel or switch power take the station much longer to confirm.
constexpr int64_t readWait = 1;
constexpr int64_t detailsWait = 10;
constexpr int64_t actuationWait = 30;

} // namespace

int64_t ravenlink::longestExchangeMs(int timeoutMs, ExchangeKind kind)
{
    using ravenlink::transport::LineReader;
    const int64_t timeout = std::max(timeoutMs, 0);
    const int64_t wait = kind == ExchangeKind::actuation ? actuationWait
                         : kind == ExchangeKind::details ? detailsWait
                                                         : readWait;
    const auto collection = [](int64_t ms) {
        return std::max(LineReader::replyTimeFactor * ms, LineReader::minReplyTimeMs);
    };
    // The lock and the write; then the drain, bounded like a collection at
    // one timeout, and the collection of the reply itself.
    return 2 * timeout + collection(timeout) + collection(wait * timeout);
}

// ---- value encodings, payloads and decoders, for tests and fuzzers ----

int StationLinkImpl::encodeActivation(bool activate) { return ravenlink::encodeActivation(activate); }
int StationLinkImpl::encodeTorque(float percent) { return ravenlink::encodeTorque(percent); }
int StationLinkImpl::encodeStartLength(float metres) { return ravenlink::encodeStartLength(metres); }

std::string StationLinkImpl::readRequestPayload(sc_key request) { return protocol::readRequestPayload(request); }
std::string StationLinkImpl::activationPayload(bool activate) { return protocol::activationPayload(activate); }
std::string StationLinkImpl::torquePayload(float percent) { return protocol::torquePayload(percent); }
std::string StationLinkImpl::startLengthPayload(float metres) { return protocol::startLengthPayload(metres); }
std::string StationLinkImpl::systemConfigPayload(const SystemConfig& config)
{
    return protocol::systemConfigPayload(config);
}
std::string StationLinkImpl::statusConfigPayload(const ConfigStatus& config)
{
    return protocol::statusConfigPayload(config);
}
std::string StationLinkImpl::composeRequest(const std::string& payload, uint16_t msgID)
{
    return protocol::composeRequest(payload, msgID);
}

void StationLinkImpl::checkReply(const std::string& replyData, uint16_t msgID)
{
    protocol::checkReply(replyData, msgID);
}

void StationLinkImpl::processStatusData(const std::string& data, SystemStatus& status)
{
    protocol::decodeStatus(data, status);
}
void StationLinkImpl::processStatusData(const std::string& data, SystemStatus& status, StatusGroups& delivered)
{
    protocol::decodeStatus(data, status, delivered);
}
void StationLinkImpl::processSystemDetails(const std::string& data, SystemDetails& details)
{
    protocol::decodeDetails(data, details);
}
void StationLinkImpl::processSystemConfig(const std::string& data, SystemConfig& config)
{
    protocol::decodeConfig(data, config);
}
void StationLinkImpl::parseProtocolVersion(const std::string& replyData, int& major, int& minor, int& patch)
{
    protocol::decodeProtocolVersion(replyData, major, minor, patch);
}

// ---- reading commands ----

void StationLinkImpl::getSystemStatus(SystemStatus& status)
{
    const protocol::Reply reply =
        session.transact("getSystemStatus", protocol::readRequestPayload(SC_KEY_GET_SYSTEM_STATUS), readWait);
    protocol::decodeStatus(reply, status);
}

void StationLinkImpl::getSystemStatus(SystemStatus& status, StatusGroups& delivered)
{
    const protocol::Reply reply =
        session.transact("getSystemStatus", protocol::readRequestPayload(SC_KEY_GET_SYSTEM_STATUS), readWait);
    protocol::decodeStatus(reply, status, delivered);
}

void StationLinkImpl::getSystemDetails(SystemDetails& details)
{
    const protocol::Reply reply =
        session.transact("getSystemDetails", protocol::readRequestPayload(SC_KEY_GET_SYSTEM_DETAILS), detailsWait);
    protocol::decodeDetails(reply, details);
}

void StationLinkImpl::getSystemConfig(SystemConfig& config)
{
    const protocol::Reply reply =
        session.transact("getSystemConfig", protocol::readRequestPayload(SC_KEY_GET_SYSTEM_CONFIG), readWait);
    protocol::decodeConfig(reply, config);
}

// ---- writing commands ----

void StationLinkImpl::setSystemActivation(bool activate)
{
    session.transact("setSystemActivation", protocol::activationPayload(activate), actuationWait);
}

void StationLinkImpl::setCableRetractionTorque(float percent)
{
    session.transact("setCableRetractionTorque", protocol::torquePayload(percent), readWait);
}

void StationLinkImpl::setCableRetractionStartLength(float metres)
{
    session.transact("setCableRetractionStartLength", protocol::startLengthPayload(metres), readWait);
}

void StationLinkImpl::setSystemConfig(const SystemConfig& config)
{
    session.transact("setSystemConfig", protocol::systemConfigPayload(config), actuationWait);
}

void StationLinkImpl::setSystemStatusConfig(const ConfigStatus& config)
{
    session.transact("setSystemStatusConfig", protocol::statusConfigPayload(config), actuationWait);
}

// ---- composites ----

bool StationLinkImpl::evaluateSystemState(uint8_t& severity)
{
    // Read afresh, so the groups that did not come are known and are not
    // judged by the record's defaults.
    SystemStatus status;
    StatusGroups delivered;
    SystemDetails details;
    getSystemStatus(status, delivered);
    getSystemDetails(details);
    const std::vector<SystemFinding> findings = findSystemFindings(status, delivered, details, true);
    severity = severityOf(findings);
    return !findings.empty();
}

bool StationLinkImpl::evaluateSystemState(const SystemStatus& status, uint8_t& severity, bool checkMaintenance)
{
    SystemDetails details;
    if (checkMaintenance) {
        getSystemDetails(details);
    }
    return evaluateSystemState(status, details, severity, checkMaintenance);
}

bool StationLinkImpl::evaluateSystemState(const SystemStatus& status, const SystemDetails& details,
                                          uint8_t& severity, bool checkMaintenance)
{
    const std::vector<SystemFinding> findings = findSystemFindings(status, details, checkMaintenance);
    severity = severityOf(findings);
    return !findings.empty();
}

void StationLinkImpl::getSystemStatusConfig(ConfigStatus& config)
{
    SystemStatus status;
    getSystemStatus(status);
    config = status.configStatus;
}

void StationLinkImpl::printSystemInfo()
{
    SystemStatus status;
    SystemDetails details;
    getSystemStatus(status);
    getSystemDetails(details);
    printSystemStatus(status, std::cout);
    printSystemDetails(details, std::cout);
}
