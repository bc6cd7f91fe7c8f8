// Shared pieces of the link tests: station replies and a fixture that holds
// an open link to a scripted station.
#ifndef RAVENLINK_TESTS_LINK_FIXTURE_H
#define RAVENLINK_TESTS_LINK_FIXTURE_H

#include "Outcome.h"
#include "PtyStation.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>
#include <serial.h>

#include <chrono>
#include <initializer_list>
#include <string>

// Reads the port object's settings, which the library keeps to itself.
struct StationLinkImplProbe {
    static serial::Timeout portTimeout(const StationLinkImpl& link) { return link.port.device().getTimeout(); }
    static std::string portName(const StationLinkImpl& link) { return link.port.device().getPort(); }
    static uint32_t baudrate(const StationLinkImpl& link) { return link.port.device().getBaudrate(); }
};

namespace linktest {

using Ms = std::chrono::milliseconds;

using ravenlinktest::failureOf;
using ravenlinktest::msSince;

/// A reply with the request's id and the given transfer status.
inline std::string statusReply(int comStatus)
{
    return R"({"COM":{"MSG_ID":$ID,"COM_STATUS":)" + std::to_string(comStatus) + "}}\n";
}

/// The accepting reply of a setting command.
inline std::string okReply() { return statusReply(0); }

/// A protocol reply carrying \p version as its "PROTOCOL_VERSION" string.
inline std::string versionReply(const std::string& version)
{
    return R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":")" + version + "\"}}\n";
}

/// Scripts \p station to answer its next requests with \p replies, in turn.
inline void answers(PtyStation& station, std::initializer_list<std::string> replies)
{
    for (const std::string& text : replies) {
        station.then(PtyStation::reply(text));
    }
}

/// The request line of the protocol handshake, id blanked.
inline const std::string handshakeRequest = R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_PROTOCOL":1}})";

/// A link opened on a station that has answered the handshake. Requests
/// after the handshake are requests().at(1) on.
class OpenLink : public ::testing::Test {
protected:
    explicit OpenLink(int timeoutMs = 100) : connectionTimeout(timeoutMs) {}

    void SetUp() override
    {
        link.setConnectionTimeout(connectionTimeout);
        station.then(PtyStation::reply(versionReply("1.20")));
        link.openConnection(station.port());
        ASSERT_TRUE(link.isConnected());
    }

    /// The last request line the station received, id blanked.
    std::string lastRequest() const
    {
        const auto requests = station.requests();
        return requests.empty() ? std::string() : PtyStation::withoutId(requests.back());
    }

    int connectionTimeout;
    PtyStation station;   // outlives the link, which closes the port first
    StationLinkImpl link;
};

} // namespace linktest

#endif // RAVENLINK_TESTS_LINK_FIXTURE_H
