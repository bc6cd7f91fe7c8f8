// The protocol-version handshake that ends every open: version splitting,
// replies without a usable version, and the port left open after a failure.
#include "LinkFixture.h"

#include <atomic>
#include <ostream>
#include <thread>

using namespace linktest;

namespace {

struct VersionCase {
    std::string version;
    int major;
    int minor;
    int patch;
};

// Names each case by its version text; without it the test names would
// hold the case's raw bytes, a pointer among them, and change every run.
void PrintTo(const VersionCase& c, std::ostream* os) { *os << '"' << c.version << '"'; }

class HandshakeVersion : public ::testing::TestWithParam<VersionCase> {};

// Opens a link on a station that answers the handshake with \p reply.
void openWithReply(PtyStation& station, StationLinkImpl& link, const std::string& reply)
{
    station.then(PtyStation::reply(reply));
    link.setConnectionTimeout(100);
    link.openConnection(station.port());
}

} // namespace

TEST_P(HandshakeVersion, SplitsTheVersionIntoThreeNumbers)
{
    PtyStation station;
    StationLinkImpl link;
    openWithReply(station, link, versionReply(GetParam().version));
    EXPECT_EQ(link.getDeviceProtocolMajor(), GetParam().major);
    EXPECT_EQ(link.getDeviceProtocolMinor(), GetParam().minor);
    EXPECT_EQ(link.getDeviceProtocolPatch(), GetParam().patch);
    EXPECT_EQ(link.getConnectionStatus(), 1);
}

INSTANTIATE_TEST_SUITE_P(Versions, HandshakeVersion,
                         ::testing::Values(VersionCase{"1.20", 1, 20, 20}, VersionCase{"2.5.7", 2, 5, 7},
                                           VersionCase{"3", 3, 3, 3}, VersionCase{" +4.-1.0x", 4, -1, 0}));

TEST(Handshake, SendsOneProtocolRequestAfterDroppingStaleInput)
{
    PtyStation station;
    StationLinkImpl link;
    // Left over from before the open: must not reach the protocol reply.
    station.send("{\"COM\":{\"COM_STATUS\":1}}\n");
    std::this_thread::sleep_for(Ms(20));
    const auto start = std::chrono::steady_clock::now();
    openWithReply(station, link, versionReply("1.20"));
    // Input at the open: the handshake waited for the line to settle.
    EXPECT_GE(msSince(start), 2);

    ASSERT_EQ(station.requests().size(), 1U);
    EXPECT_EQ(PtyStation::withoutId(station.requests()[0]), handshakeRequest);
    EXPECT_EQ(link.getDeviceProtocolMinor(), 20);
}

TEST(Handshake, StationInTheMiddleOfALineAtOpenIsLetFinish)
{
    // The station is sending a long line when the port is opened: its front
    // is waiting, the rest trickles in. The open drops the front and tells
    // so; the first request's drain then waits until the line has been
    // quiet for the settling time, so no piece of that line reaches the
    // first reply. (The link settles for 2 ms; a tenth of a second here, so
    // that a loaded machine cannot stretch a gap of the trickle beyond it.)
    PtyStation station;
    ravenlink::transport::SerialPort port;
    station.send(R"({"COM":{"MSG_ID":4242,"COM_STATUS":0},"SYSTEM_STATUS":{"A":")");
    std::this_thread::sleep_for(Ms(20));
    ASSERT_TRUE(port.open(station.port()));
    EXPECT_TRUE(port.takeInputAtOpen());
    EXPECT_FALSE(port.takeInputAtOpen());

    std::atomic<bool> restSent{false};
    std::thread rest([&] {
        for (int i = 0; i < 12; ++i) {
            station.send("}{,\"\n\"x");
            std::this_thread::sleep_for(Ms(5));
        }
        station.send("\"}}\n");
        restSent = true;
    });
    ravenlink::transport::LineReader reader(port);
    reader.settleBeforeNextRequest(100);
    reader.drainBeforeRequest();
    EXPECT_TRUE(restSent.load());
    EXPECT_EQ(port.available("test"), 0U);
    rest.join();

    // Only the first request after it settles; a silent line at the next
    // open has nothing to let finish.
    port.close();
    ASSERT_TRUE(port.open(station.port()));
    EXPECT_FALSE(port.takeInputAtOpen());
}

TEST(Handshake, ReplyWithoutUsableVersionFailsAndLeavesPortOpen)
{
    const std::string unusable[] = {
        R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0}})" "\n",
        R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{}})" "\n",
        R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":120}})" "\n",
        R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":"1.20"})" "\n",
        versionReply(""),
    };
    for (const std::string& reply : unusable) {
        SCOPED_TRACE(reply);
        PtyStation station;
        StationLinkImpl link;
        try {
            openWithReply(station, link, reply);
            ADD_FAILURE() << "open succeeded";
        } catch (const HALVERN::DataException& e) {
            EXPECT_STREQ(e.what(),
                         "Data Stream Exception: getDeviceProtocolVersion: unable to determine communication protocol "
                         "version");
        }
        EXPECT_EQ(link.getConnectionStatus(), 1);
        EXPECT_EQ(link.getDeviceProtocolMajor(), 0);
    }
}

TEST(Handshake, RejectedOrMissingReplyFailsTheOpen)
{
    {
        PtyStation station;
        StationLinkImpl link;
        EXPECT_EQ(failureOf<HALVERN::DataException>([&] { openWithReply(station, link, statusReply(2)); }),
                  "Data Stream Exception: checkReply: timeout during request transmission");
        EXPECT_TRUE(link.isConnected());
    }
    {
        PtyStation station;
        StationLinkImpl link;
        link.setConnectionTimeout(100);
        EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.openConnection(station.port()); }),
                  "IO Exception: receiveData: Data Receiver Timeout!");
        EXPECT_TRUE(link.isConnected());
        // Opening the same port again does not retry the handshake.
        link.openConnection(station.port());
        std::this_thread::sleep_for(Ms(20));
        EXPECT_EQ(station.requests().size(), 1U);
    }
}

TEST(Handshake, InitConnectionNeedsAnOpenPort)
{
    StationLinkImpl link;
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.initConnection(); }),
              "IO Exception: initConnection: initialize communication failed. no connection established.");
}
