// The device commands: each is one locked request/reply transaction with its
// own payload and wait, followed by the reply check and, for the reading
// commands, the decoder. The composites chain them.
#include "StationLinkImpl.h"
#include "SystemFindings.h"

#include "Encodings.h"
#include "ProtocolKeys.h"

#include <chrono>
#include <iostream>
#include <mutex>

using ravenlink::key;

namespace {

// Receive waits in multiples of the connection timeout. Settings that move
// the reel or switch power take the station much longer to confirm.
constexpr int64_t readWait = 1;
constexpr int64_t detailsWait = 10;
constexpr int64_t actuationWait = 30;

std::string member(sc_key k, const std::string& value) { return std::string("\"") + key(k) + "\":" + value; }

std::string member(sc_key k, int value) { return member(k, std::to_string(value)); }

std::string command(const std::string& members) { return member(SC_KEY_COMMAND, "{" + members + "}"); }

} // namespace

// ---- value encodings and payloads ----

int StationLinkImpl::encodeActivation(bool activate) { return ravenlink::encodeActivation(activate); }

int StationLinkImpl::encodeTorque(float percent) { return ravenlink::encodeTorque(percent); }

int StationLinkImpl::encodeStartLength(float metres) { return ravenlink::encodeStartLength(metres); }

std::string StationLinkImpl::readRequestPayload(sc_key request) { return command(member(request, 1)); }

std::string StationLinkImpl::activationPayload(bool activate)
{
    return command(member(SC_KEY_SET_ACTIVATION, encodeActivation(activate)));
}

std::string StationLinkImpl::torquePayload(float percent)
{
    return command(member(SC_KEY_SET_RET_TORQUE, encodeTorque(percent)));
}

std::string StationLinkImpl::startLengthPayload(float metres)
{
    return command(member(SC_KEY_SET_RET_START, encodeStartLength(metres)));
}

std::string StationLinkImpl::systemConfigPayload(const SystemConfig& config)
{
    return command(member(SC_KEY_SET_ACTIVATION, encodeActivation(config.activation)) + "," +
                   member(SC_KEY_SET_RET_TORQUE, encodeTorque(config.retTorque)) + "," +
                   member(SC_KEY_SET_RET_START, encodeStartLength(config.retStart)));
}

std::string StationLinkImpl::statusConfigPayload(const ConfigStatus& config)
{
    const std::string flags = member(SC_KEY_CAB, config.cab) + "," + member(SC_KEY_ENV, config.env) + "," +
                              member(SC_KEY_ENERGY_GS, config.energyGS) + "," +
                              member(SC_KEY_ENERGY_UAV, config.energyUAV) + "," +
                              member(SC_KEY_SYS_STATE, config.sysState);
    return command(member(SC_KEY_CONFIG_STATUS, "{" + flags + "}"));
}

// ---- the transaction ----

std::string StationLinkImpl::transact(const char* operation, const std::string& payload, int64_t waitFactor)
{
    std::string replyData;
    uint16_t msgID = 0;
    {
        // A command that cannot get the line within one connection timeout
        // fails instead of queueing behind a long exchange.
        std::unique_lock<std::timed_mutex> lock(linkMutex, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(port.timeout()))) {
            raiseIO(operation, ": Communication timeout");
        }
        sendData(payload, msgID);
        receiveData(replyData, waitFactor * static_cast<int64_t>(port.timeout()));
    }
    // The line is free again; checking and decoding need no port.
    checkReply(replyData, msgID);
    return replyData;
}

// ---- reading commands ----

void StationLinkImpl::getSystemStatus(SystemStatus& status)
{
    const std::string replyData = transact("getSystemStatus", readRequestPayload(SC_KEY_GET_SYSTEM_STATUS), readWait);
    processStatusData(replyData, status);
}

void StationLinkImpl::getSystemStatus(SystemStatus& status, StatusGroups& delivered)
{
    const std::string replyData = transact("getSystemStatus", readRequestPayload(SC_KEY_GET_SYSTEM_STATUS), readWait);
    processStatusData(replyData, status, delivered);
}

void StationLinkImpl::getSystemDetails(SystemDetails& details)
{
    const std::string replyData =
        transact("getSystemDetails", readRequestPayload(SC_KEY_GET_SYSTEM_DETAILS), detailsWait);
    processSystemDetails(replyData, details);
}

void StationLinkImpl::getSystemConfig(SystemConfig& config)
{
    const std::string replyData = transact("getSystemConfig", readRequestPayload(SC_KEY_GET_SYSTEM_CONFIG), readWait);
    processSystemConfig(replyData, config);
}

// ---- writing commands ----

void StationLinkImpl::setSystemActivation(bool activate)
{
    transact("setSystemActivation", activationPayload(activate), actuationWait);
}

void StationLinkImpl::setCableRetractionTorque(float percent)
{
    transact("setCableRetractionTorque", torquePayload(percent), readWait);
}

void StationLinkImpl::setCableRetractionStartLength(float metres)
{
    transact("setCableRetractionStartLength", startLengthPayload(metres), readWait);
}

void StationLinkImpl::setSystemConfig(const SystemConfig& config)
{
    transact("setSystemConfig", systemConfigPayload(config), actuationWait);
}

void StationLinkImpl::setSystemStatusConfig(const ConfigStatus& config)
{
    transact("setSystemStatusConfig", statusConfigPayload(config), actuationWait);
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
