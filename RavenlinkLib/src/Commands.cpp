// The device commands: each is one locked request/reply transaction with its
// own payload and wait, followed by the reply check and, for the reading
// commands, the decoder. The composites chain them.
#include "StationLinkImpl.h"
#include "SystemFindings.h"

#include "ProtocolKeys.h"

#include <chrono>
#include <climits>
#include <cmath>
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

int StationLinkImpl::encodeActivation(bool activate) { return activate ? 16 : 0; }

int StationLinkImpl::encodeTorque(float percent)
{
    // Not a number is no torque at all: send the lower bound.
    if (std::isnan(percent) || percent < 0.0F) {
        return 0;
    }
    if (percent > 100.0F) {
        return 100;
    }
    return static_cast<int>(percent);
}

int StationLinkImpl::encodeStartLength(float metres)
{
    if (std::isnan(metres) || metres <= 0.3F) {
        metres = 0.3F;
    }
    // The float nearest to a typed length is often a hair below it (1.05 is
    // 1.0499999...), and truncating its product would send a centimetre less
    // than typed. Rounded to a hundredth of a centimetre first, only a real
    // fraction of a centimetre is dropped (2.999 m is sent as 299 cm).
    const double centimetres = std::round(static_cast<double>(metres) * 10000.0) / 100.0;
    // There is no upper bound for the length, but the wire takes a 32-bit
    // integer: converting anything larger (or infinity) would be undefined.
    if (!(centimetres < 2147483648.0)) {
        return INT_MAX;
    }
    return static_cast<int>(centimetres);
}

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
        if (!lock.try_lock_for(std::chrono::milliseconds(connectionTimeout))) {
            raiseIO(operation, ": Communication timeout");
        }
        sendData(payload, msgID);
        receiveData(replyData, waitFactor * static_cast<int64_t>(connectionTimeout));
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

// The pure judgement of the given records lives in SystemFindings.cpp.

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
