// The first exchange on a new link: quiet the line, then ask the station
// which protocol version it speaks.
#include "StationLinkImpl.h"

#include "ProtocolKeys.h"

#include <chrono>
#include <string>

namespace {

// Takes the number at the front of \p version (std::stoi rules, so its
// std::invalid_argument and std::out_of_range reach the caller) and removes
// everything up to and including the first "." when there is one.
int takeVersionPart(std::string& version)
{
    const int part = std::stoi(version);
    const std::size_t dot = version.find('.');
    if (dot != std::string::npos) {
        version.erase(0, dot + 1);
    }
    return part;
}

} // namespace

void StationLinkImpl::initConnection()
{
    if (!isConnected()) {
        raiseIO("initConnection", ": initialize communication failed. no connection established.");
    }
    // Give bytes already on the way a moment to land, so they are dropped
    // here instead of reaching the first reply.
    port.dropWaiting(std::chrono::milliseconds(2));

    getDeviceProtocolVersion();
}

void StationLinkImpl::getDeviceProtocolVersion()
{
    const std::string requestData = readRequestPayload(SC_KEY_GET_PROTOCOL);
    std::string replyData;
    uint16_t msgID = 0;

    sendData(requestData, msgID);
    receiveData(replyData, port.timeout());
    checkReply(replyData, msgID);

    parseProtocolVersion(replyData, deviceProtocolMajor, deviceProtocolMinor, deviceProtocolPatch);
}

void StationLinkImpl::parseProtocolVersion(const std::string& replyData, int& major, int& minor, int& patch)
{
    ravenlink::json jData;
    if (!ravenlink::parseReply(replyData, jData)) {
        raiseData("getDeviceProtocolVersion", ": communication protocol information malformed");
    }
    std::string version;
    if (!jData.empty()) {
        const ravenlink::json* details = ravenlink::findObject(jData, SC_KEY_SYSTEM_DETAILS);
        if (details != nullptr) {
            ravenlink::readString(*details, SC_KEY_PROTOCOL_VERSION, version);
        }
    }
    if (version.empty()) {
        raiseData("getDeviceProtocolVersion", ": unable to determine communication protocol version");
    }

    // "1.20" has no third part: the last number read stands for the rest.
    // Each number is stored as soon as it is read, so a part that fails
    // leaves the earlier ones set.
    major = takeVersionPart(version);
    minor = takeVersionPart(version);
    patch = takeVersionPart(version);
}
