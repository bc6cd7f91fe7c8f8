// The request lines: the payload of each command and the line that carries
// it under a message id. Pure, so they are testable without a station.
#include "Requests.h"

#include "Encodings.h"
#include "ProtocolKeys.h"

namespace ravenlink::protocol {

namespace {

std::string member(sc_key k, const std::string& value) { return std::string("\"") + key(k) + "\":" + value; }

std::string member(sc_key k, int value) { return member(k, std::to_string(value)); }

std::string command(const std::string& members) { return member(SC_KEY_COMMAND, "{" + members + "}"); }

} // namespace

std::string readRequestPayload(sc_key request) { return command(member(request, 1)); }

std::string activationPayload(bool activate)
{
    return command(member(SC_KEY_SET_ACTIVATION, encodeActivation(activate)));
}

std::string torquePayload(float percent)
{
    return command(member(SC_KEY_SET_RET_TORQUE, encodeTorque(percent)));
}

std::string startLengthPayload(float metres)
{
    return command(member(SC_KEY_SET_RET_START, encodeStartLength(metres)));
}

std::string systemConfigPayload(const SystemConfig& config)
{
    return command(member(SC_KEY_SET_ACTIVATION, encodeActivation(config.activation)) + "," +
                   member(SC_KEY_SET_RET_TORQUE, encodeTorque(config.retTorque)) + "," +
                   member(SC_KEY_SET_RET_START, encodeStartLength(config.retStart)));
}

std::string statusConfigPayload(const ConfigStatus& config)
{
    const std::string flags = member(SC_KEY_CAB, config.cab) + "," + member(SC_KEY_ENV, config.env) + "," +
                              member(SC_KEY_ENERGY_GS, config.energyGS) + "," +
                              member(SC_KEY_ENERGY_UAV, config.energyUAV) + "," +
                              member(SC_KEY_SYS_STATE, config.sysState);
    return command(member(SC_KEY_CONFIG_STATUS, "{" + flags + "}"));
}

std::string composeRequest(const std::string& payload, uint16_t msgID)
{
    const std::string comData = std::string("\"") + key(SC_KEY_COM) + "\":{\"" + key(SC_KEY_MSG_ID) +
                                "\":" + std::to_string(msgID) + "}";
    return "{" + comData + "," + payload + "}\n";
}

} // namespace ravenlink::protocol
