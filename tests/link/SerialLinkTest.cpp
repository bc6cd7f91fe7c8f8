// Opening, reopening and closing the serial link on pseudo-terminals, the
// port settings, the open failure text and the port listing.
#include "LinkFixture.h"

#include <StationPorts.h>

#include <memory>
#include <sstream>

using namespace linktest;

TEST(SerialLink, OpenConfiguresPortAndRunsHandshakeOnce)
{
    PtyStation station;
    station.then(PtyStation::reply(versionReply("1.20")));
    StationLinkImpl link;
    link.openConnection(station.port());

    EXPECT_EQ(link.getConnectionStatus(), 1);
    EXPECT_TRUE(link.isConnected());
    EXPECT_EQ(StationLinkImplProbe::baudrate(link), 115200U);
    const serial::Timeout timeout = StationLinkImplProbe::portTimeout(link);
    EXPECT_EQ(timeout.inter_byte_timeout, serial::Timeout::max());
    EXPECT_EQ(timeout.read_timeout_constant, 300U);
    EXPECT_EQ(timeout.read_timeout_multiplier, 0U);
    EXPECT_EQ(timeout.write_timeout_constant, 300U);
    EXPECT_EQ(timeout.write_timeout_multiplier, 0U);
    ASSERT_EQ(station.requests().size(), 1U);
    EXPECT_EQ(PtyStation::withoutId(station.requests()[0]), handshakeRequest);
}

TEST(SerialLink, OpeningSamePortAgainKeepsTheLinkAndSendsNothing)
{
    PtyStation station;
    answers(station, {versionReply("1.20"), okReply()});
    StationLinkImpl link;
    link.setConnectionTimeout(100);
    link.openConnection(station.port());
    link.openConnection(station.port());
    link.openConnection(station.port());

    EXPECT_EQ(link.getConnectionStatus(), 1);

    // The port still carries commands, and the one after the handshake is
    // the second request the station ever saw.
    link.setCableRetractionTorque(1.0F);
    ASSERT_EQ(station.requests().size(), 2U);
    EXPECT_EQ(PtyStation::withoutId(station.requests()[1]),
              R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_TORQUE":1}})");
}

TEST(SerialLink, OpeningAnotherPortMovesTheLink)
{
    PtyStation first;
    PtyStation second;
    answers(first, {versionReply("1.20")});
    answers(second, {versionReply("2.0.1"), okReply()});
    StationLinkImpl link;
    link.setConnectionTimeout(100);

    link.openConnection(first.port());
    link.openConnection(second.port());
    EXPECT_EQ(StationLinkImplProbe::portName(link), second.port());
    EXPECT_EQ(link.getDeviceProtocolMajor(), 2);
    EXPECT_EQ(link.getDeviceProtocolPatch(), 1);

    link.setCableRetractionTorque(5.0F);
    EXPECT_EQ(first.requests().size(), 1U);
    ASSERT_EQ(second.requests().size(), 2U);
}

TEST(SerialLink, CloseIsIdempotent)
{
    PtyStation station;
    station.then(PtyStation::reply(versionReply("1.20")));
    StationLinkImpl link;
    EXPECT_EQ(link.getConnectionTimeout(), 300);
    EXPECT_FALSE(link.isConnected());
    link.closeConnection();
    EXPECT_EQ(link.getConnectionStatus(), 0);

    link.openConnection(station.port());
    link.closeConnection();
    EXPECT_EQ(link.getConnectionStatus(), 0);
    link.closeConnection();
    EXPECT_EQ(link.getConnectionStatus(), 0);
    EXPECT_FALSE(link.isConnected());
}

TEST(SerialLink, MissingPortReportsTheDescriptionOnly)
{
    StationLinkImpl link;
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.openConnection("/dev/ravenlink-no-such-port"); }),
              "IO Exception: openConnection: No such file or directory");
    EXPECT_EQ(link.getConnectionStatus(), 0);
}

TEST(SerialLink, TimeoutChangeReachesOpenPortAndLaterOpens)
{
    StationLinkImpl link;
    link.setConnectionTimeout(1000);
    EXPECT_EQ(link.getConnectionTimeout(), 1000);
    EXPECT_EQ(StationLinkImplProbe::portTimeout(link).read_timeout_constant, 1000U);

    PtyStation station;
    station.then(PtyStation::reply(versionReply("1.20")));
    link.openConnection(station.port());
    EXPECT_EQ(StationLinkImplProbe::portTimeout(link).write_timeout_constant, 1000U);

    link.setConnectionTimeout(250);
    const serial::Timeout timeout = StationLinkImplProbe::portTimeout(link);
    EXPECT_EQ(timeout.read_timeout_constant, 250U);
    EXPECT_EQ(timeout.write_timeout_constant, 250U);
    EXPECT_EQ(timeout.inter_byte_timeout, serial::Timeout::max());
    EXPECT_EQ(link.getConnectionTimeout(), 250);
}

TEST(SerialLink, TrimSerialMessageKeepsTheDescription)
{
    EXPECT_EQ(StationLinkImpl::trimSerialMessage(
                  "IO Exception (2): No such file or directory, file ./src/impl/unix.cc, line 151."),
              "No such file or directory");
    // Only the last ", file " starts the location.
    EXPECT_EQ(StationLinkImpl::trimSerialMessage("IO Exception: bad file, file x.cc, line 3."), "bad file");
    EXPECT_EQ(StationLinkImpl::trimSerialMessage("IO Exception: a, file b, file c.cc, line 1."), "a, file b");
    EXPECT_EQ(StationLinkImpl::trimSerialMessage("SerialException write failed."), "SerialException write failed.");
    EXPECT_EQ(StationLinkImpl::trimSerialMessage("IO Exception: , file x.cc, line 9."), "");
    EXPECT_EQ(StationLinkImpl::trimSerialMessage("kind:"), "");
    EXPECT_EQ(StationLinkImpl::trimSerialMessage(""), "");
}

TEST(SerialLink, PortListAppendsAndPrintsEntriesApart)
{
    StationLinkImpl link;
    std::vector<std::string> ports, descriptions, hardwareIds;
    link.listPorts(ports, descriptions, hardwareIds);
    std::vector<std::string> twice = ports, twiceDesc = descriptions, twiceIds = hardwareIds;
    link.listPorts(twice, twiceDesc, twiceIds);
    EXPECT_EQ(twice.size(), 2 * ports.size());
    EXPECT_EQ(twiceIds.size(), twice.size());
    std::string expected;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        expected += (i > 0 ? "\n" : "");
        expected += "Port: " + ports[i] + "\nDescription: " + descriptions[i] + "\nHardware ID: " + hardwareIds[i] + "\n";
    }

    std::ostringstream out;
    link.printPorts(out);
    EXPECT_EQ(out.str(), expected);

    // One record per port: the same ports, each with its own description.
    const std::vector<ravenlink::PortInfo> records = ravenlink::listPorts();
    ASSERT_EQ(records.size(), ports.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].port, ports[i]);
        EXPECT_EQ(records[i].description, descriptions[i]);
        EXPECT_EQ(records[i].hardwareId, hardwareIds[i]);
    }
}

TEST(SerialLink, PortIsHeldByOneLinkAtATime)
{
    PtyStation station;
    station.then(PtyStation::reply(linktest::versionReply("1.20")));
    auto first = std::make_unique<StationLinkImpl>();
    first->openConnection(station.port());

    // A second owner is refused before it touches the port or the station.
    StationLinkImpl second;
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { second.openConnection(station.port()); }),
              "IO Exception: openConnection: Port " + station.port() + " is busy: another program is using it");
    EXPECT_FALSE(second.isConnected());
    EXPECT_EQ(station.requests().size(), 1U);
    EXPECT_TRUE(first->isConnected());

    // Closing releases the port; so does destroying the owner.
    first->closeConnection();
    station.then(PtyStation::reply(linktest::versionReply("1.20")));
    second.openConnection(station.port());
    EXPECT_TRUE(second.isConnected());
    second.closeConnection();
    station.then(PtyStation::reply(linktest::versionReply("1.20")));
    first->openConnection(station.port());
    first.reset();
    station.then(PtyStation::reply(linktest::versionReply("1.20")));
    EXPECT_NO_THROW(second.openConnection(station.port()));
}
