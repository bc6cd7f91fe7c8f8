// Shared pieces of the link tests: station replies and a fixture that holds
// an open link to a scripted station.
#ifndef RAVENLINK_TESTS_LINK_FIXTURE_H
#define RAVENLINK_TESTS_LINK_FIXTURE_H

#include "PtyStation.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

// Reads the port object's settings, which the library keeps to itself.
struct StationLinkImplProbe {
    static serial::Timeout portTimeout(const StationLinkImpl& link) { return link.serialPort.getTimeout(); }
    static std::string portName(const StationLinkImpl& link) { return link.serialPort.getPort(); }
    static uint32_t baudrate(const StationLinkImpl& link) { return link.serialPort.getBaudrate(); }
};

namespace linktest {

using Ms = std::chrono::milliseconds;

/// Runs \p call and returns the what() of the HALVERN::IOException it must
/// raise; "no exception" when it returns.
template <typename Call>
std::string ioFailure(Call&& call)
{
    try {
        call();
    } catch (const HALVERN::IOException& e) {
        return e.what();
    }
    return "no exception";
}

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

/// The request line of the protocol handshake, id blanked.
inline const std::string handshakeRequest = R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_PROTOCOL":1}})";

/// Milliseconds since \p start.
inline long long msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
}

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
