// Drills against a misbehaving station, through the library's public class
// on a pseudo-terminal: every fault ends in one of the library's exceptions
// (or a sound decode), within bounded time, and the next exchange with a
// station that behaves again succeeds.
#include "DrillSupport.h"
#include "Outcome.h"
#include "PtyStation.h"
#include "StationLinkImpl.h"

#include <StationLink.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

using drills::Ms;
using ravenlinktest::failureOf;
using ravenlinktest::msSince;

namespace {

constexpr int drillTimeout = 100;

// A link opened on a station that answered the handshake; requests beyond
// the script are answered soundly.
class StationDrill : public ::testing::Test {
protected:
    void SetUp() override
    {
        station.respondWith(drills::answerLikeStation);
        link.setConnectionTimeout(drillTimeout);
        link.openConnection(station.port());
        ASSERT_TRUE(link.isConnected());
    }

    // The station behaves again: a status read succeeds and decodes. A
    // station still flooding the line cannot finish its script before the
    // library drains the line: then \p afterScript is false.
    void expectUsable(bool afterScript = true)
    {
        if (afterScript) {
            ASSERT_TRUE(station.waitForScript(Ms(5000)));
        }
        SystemStatus status;
        ASSERT_NO_THROW(link.getSystemStatus(status));
        EXPECT_FLOAT_EQ(status.cab.length, 12.5F);
    }

    template <typename Exception>
    void expectStatusFails(const std::string& what)
    {
        SystemStatus status;
        const SystemStatus before = status;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(failureOf<Exception>([&] { link.getSystemStatus(status); }), what);
        EXPECT_LT(msSince(start), 5000);
        EXPECT_EQ(status, before);
    }

    PtyStation station; // outlives the link, which closes the port first
    StationLink link;
};

std::string statusReplyWith(const std::string& members)
{
    return R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1},)" + members + "}}\n";
}

} // namespace

TEST_F(StationDrill, GarbageIsRefusedAndTheLinkRecovers)
{
    station.then(PtyStation::reply(std::string("\x00\xff\xfe garbage \x1b[2J\r\n\x7f", 20)));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    station.then(PtyStation::reply("}}]] noise {\"COM\"::\n"));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    expectUsable();
}

TEST_F(StationDrill, TruncatedLinesAreRefused)
{
    const std::string whole = drills::composedReply(0, SC_PART_SYSTEM_STATUS);
    // Cut short, once with its line feed and once without one.
    station.then(PtyStation::reply(whole.substr(0, whole.size() / 2) + "\n"));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    station.then(PtyStation::reply(whole.substr(0, whole.size() - 3)));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    expectUsable();
}

TEST_F(StationDrill, LineStalledLongerThanTheReadTimeout)
{
    // The rest of the line comes three read timeouts later: the part already
    // received is judged alone, and the rest never reaches a later reply.
    station.then(PtyStation::replyInPieces(
        {R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":)",
         R"({"CAB":1},"CAB":{"LENGTH":9900}}})" "\n"},
        Ms(3 * drillTimeout)));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    expectUsable();
}

TEST_F(StationDrill, RestOfAStalledLineDuringTheNextExchange)
{
    // The line stalls past the read timeout: the front of the reply fails
    // the check, and its tail, arriving later, is waited out before the next
    // request, which then gets its own answer.
    station.then(PtyStation::replyInPieces({R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_CONFIG":)",
                                            R"({"ACTIVATION":1}})" "\n"},
                                           Ms(drillTimeout * 3 / 2)));
    station.then(PtyStation::reply(drills::composedReply(0, SC_PART_SYSTEM_STATUS)));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    expectUsable(false);
}

TEST_F(StationDrill, SeveralObjectsInOneReply)
{
    const std::string one = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0}})";
    station.then(PtyStation::reply(one + one + "\n"));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    station.then(PtyStation::reply(one + "\n" + drills::composedReply(0, SC_PART_SYSTEM_STATUS)));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    expectUsable();
}

TEST_F(StationDrill, RepliesOfSixtyFourKilobytesAndMore)
{
    // Just within the bound: an unknown member pads the reply; it decodes.
    const std::string padding = "\"PADDING\":\"" + std::string(60000, 'x') + "\",";
    station.then(PtyStation::reply(statusReplyWith(padding + R"("CAB":{"LENGTH":4200})")));
    SystemStatus status;
    ASSERT_NO_THROW(link.getSystemStatus(status));
    EXPECT_FLOAT_EQ(status.cab.length, 42.0F);

    // Beyond it, in one line and as a megabyte without a line end.
    station.then(PtyStation::reply(statusReplyWith("\"PADDING\":\"" + std::string(70000, 'x') + "\"")));
    expectStatusFails<HALVERN::IOException>("IO Exception: receiveData: reply exceeds 65536 bytes");
    station.then(PtyStation::flood(std::string(4096, '{'), 256));
    expectStatusFails<HALVERN::IOException>("IO Exception: receiveData: reply exceeds 65536 bytes");
    expectUsable(false);
}

TEST_F(StationDrill, DeeplyNestedReplies)
{
    // As deep as the reply bound lets a station nest, closed and unclosed.
    const int depth = 30000;
    station.then(PtyStation::reply(statusReplyWith("\"DEEP\":" + std::string(depth, '[') + std::string(depth, ']'))));
    SystemStatus status;
    EXPECT_NO_THROW(link.getSystemStatus(status));
    station.then(PtyStation::reply(statusReplyWith("\"DEEP\":" + std::string(depth, '['))));
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: malformed buffer data");
    expectUsable();
}

TEST(StationDrillTimeouts, LongConnectionTimeoutDoesNotDelayAPromptStation)
{
    // The operator may set any timeout up to 2147483647 ms. It bounds the
    // wait for a silent station; a station that answers at once must still
    // be heard at once, not after a hundredth of the timeout.
    PtyStation station;
    station.respondWith(drills::answerLikeStation);
    StationLink link;
    link.setConnectionTimeout(100);
    link.openConnection(station.port());
    for (const int timeout : {60000, 3600000, 2147483647}) {
        link.setConnectionTimeout(timeout);
        const auto start = std::chrono::steady_clock::now();
        SystemStatus status;
        EXPECT_NO_THROW(link.getSystemStatus(status));
        EXPECT_NO_THROW(link.setSystemActivation(true));
        EXPECT_LT(msSince(start), 5000) << timeout;
    }
}

TEST(StationDrillDecoding, HundredThousandLevelsOfNesting)
{
    // Beyond what one reply can carry, straight into the parsing steps: the
    // JSON library must neither overflow the stack parsing nor destroying.
    const std::string open(100000, '[');
    const std::string closed = open + std::string(100000, ']');
    const std::string inGroup = R"({"COM":{},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":)" + closed + "}}}";
    SystemStatus status;
    EXPECT_THROW(StationLinkImpl::checkReply(open, 1), HALVERN::DataException);
    EXPECT_THROW(StationLinkImpl::checkReply(closed, 1), HALVERN::DataException);
    EXPECT_NO_THROW(StationLinkImpl::checkReply(inGroup, 1));
    EXPECT_NO_THROW(StationLinkImpl::processStatusData(inGroup, status));
    EXPECT_EQ(status.configStatus.cab, 0);
    SystemDetails details;
    EXPECT_THROW(StationLinkImpl::processSystemDetails(R"({"SYSTEM_DETAILS":{"SN":)" + open, details),
                 HALVERN::DataException);
}

TEST_F(StationDrill, IntegersBeyondSixtyFourBits)
{
    // Too wide for any integer type: the parser makes them floating point,
    // which counts as absent. The id then matches nothing, status 0 passes.
    const std::string huge = "123456789012345678901234567890";
    station.then(PtyStation::reply(R"({"COM":{"MSG_ID":)" + huge +
                                   R"(,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1},"CAB":{"LENGTH":)" +
                                   huge + R"(,"SPEED":-)" + huge + R"(,"RET_TORQUE":77}}})" "\n"));
    SystemStatus status;
    status.cab.length = 3.0F;
    ASSERT_NO_THROW(link.getSystemStatus(status));
    EXPECT_FLOAT_EQ(status.cab.length, 3.0F);
    EXPECT_FLOAT_EQ(status.cab.speed, 0.0F);
    EXPECT_FLOAT_EQ(status.cab.retTorque, 77.0F);
    expectUsable();
}

TEST_F(StationDrill, NumbersBeyondThirtyTwoBitsKeepTheirLowBits)
{
    // Two's-complement truncation to each field's width, as the station's
    // own integer types would wrap.
    station.then(PtyStation::reply(statusReplyWith(
        R"("CAB":{"LENGTH":4294967396,"SPEED":-4294967496,"RET_STATUS":8589934608},)"
        R"("ENV":{"TEMP1":-4294967316,"PRESS1":18446744073709551615},)"
        R"("SYS_STATE":{"SYSTEM_TIME":4294967297,"FLIGHT_TIME":-1,"ERROR":9223372036854775807})")));
    SystemStatus status;
    ASSERT_NO_THROW(link.getSystemStatus(status));
    EXPECT_FLOAT_EQ(status.cab.length, 1.0F);
    EXPECT_FLOAT_EQ(status.cab.speed, -2.0F);
    EXPECT_EQ(status.cab.retStatus, 16);
    EXPECT_FLOAT_EQ(status.env.temp1, -20.0F);
    EXPECT_FLOAT_EQ(status.env.press1, -1.0F);
    EXPECT_EQ(status.sysState.systemTime, 1U);
    EXPECT_EQ(status.sysState.flightTime, 4294967295U);
    EXPECT_EQ(status.sysState.error, -1);

    // The reply check keeps the low 16 bits: the id still matches, and a
    // status of 65539 is failure code 3.
    station.then([](PtyStation::Line& line, const std::string& request) {
        const unsigned long id = PtyStation::messageId(request) + 65536UL * 7;
        line.write(R"({"COM":{"MSG_ID":)" + std::to_string(id) + R"(,"COM_STATUS":65539}})" "\n");
    });
    expectStatusFails<HALVERN::DataException>("Data Stream Exception: checkReply: sent request malformed");
    expectUsable();
}

TEST_F(StationDrill, ReplyToAnEarlierRequestArrivingLate)
{
    // The late reply lands before the next request: it is dropped, and the
    // next request gets its own answer.
    station.then(PtyStation::silent());
    expectStatusFails<HALVERN::IOException>("IO Exception: receiveData: Data Receiver Timeout!");
    station.send(drills::composedReply(1001, SC_PART_SYSTEM_CONFIG));
    std::this_thread::sleep_for(Ms(20));
    expectUsable();

    // The late reply lands together with the answer to the next request:
    // it is dropped, and the next request gets its own answer.
    std::string lateReply;
    station.then([&lateReply](PtyStation::Line&, const std::string& request) {
        lateReply = drills::composedReply(PtyStation::messageId(request), SC_PART_SYSTEM_STATUS);
    });
    expectStatusFails<HALVERN::IOException>("IO Exception: receiveData: Data Receiver Timeout!");
    ASSERT_TRUE(station.waitForScript(Ms(5000)));
    station.then([&lateReply](PtyStation::Line& line, const std::string& request) {
        line.write(lateReply + drills::composedReply(PtyStation::messageId(request), SC_PART_SYSTEM_STATUS));
    });
    expectUsable(false);
}

TEST(StationDrillVanishing, StationPulledMidSession)
{
    // The port is reached through a name that can be pointed at a new
    // station, as udev does for an adapter plugged in again.
    const std::string name = "/tmp/ravenlink-drill-" + std::to_string(::getpid());
    auto station = std::make_unique<PtyStation>();
    station->respondWith(drills::answerLikeStation);
    ASSERT_EQ(::symlink(station->port().c_str(), name.c_str()), 0);
    StationLink link;
    link.setConnectionTimeout(drillTimeout);
    link.openConnection(name);
    SystemStatus status;
    ASSERT_NO_THROW(link.getSystemStatus(status));

    // Unplugged: the first command learns it, in the library's words, and
    // from then on the link says it is dead; nothing hangs.
    station->pull();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf([&] { link.getSystemStatus(status); }), "IO Exception: sendData: Input/output error");
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(link.getConnectionStatus(), 0);
    EXPECT_EQ(failureOf([&] { link.getSystemStatus(status); }), "IO Exception: sendData: no connection established");
    EXPECT_LT(msSince(start), 3000);

    // Plugged in again under the same name: opening it runs the handshake
    // on the new line, and commands work again.
    station = std::make_unique<PtyStation>();
    station->respondWith(drills::answerLikeStation);
    ASSERT_EQ(::unlink(name.c_str()), 0);
    ASSERT_EQ(::symlink(station->port().c_str(), name.c_str()), 0);
    EXPECT_EQ(failureOf([&] { link.openConnection(name); }), "");
    EXPECT_TRUE(link.isConnected());
    EXPECT_EQ(station->requests().size(), 1U);
    EXPECT_EQ(failureOf([&] { link.getSystemStatus(status); }), "");
    EXPECT_NO_THROW(link.closeConnection());
    EXPECT_FALSE(link.isConnected());
    ::unlink(name.c_str());
}

TEST(StationDrillVanishing, StationPulledWhileTheLibraryWaitsForTheReply)
{
    // The serial library's failure while receiving reaches the caller as
    // the library's own exception, and the link knows it is dead.
    PtyStation station;
    station.respondWith(drills::answerLikeStation);
    station.vanishAtRequest(3);
    StationLink link;
    link.setConnectionTimeout(drillTimeout);
    link.openConnection(station.port());
    SystemStatus status;
    ASSERT_NO_THROW(link.getSystemStatus(status));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf([&] { link.getSystemStatus(status); }), "IO Exception: receiveData: Input/output error");
    EXPECT_LT(msSince(start), 3000);
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(failureOf([&] { link.getSystemStatus(status); }), "IO Exception: sendData: no connection established");
    EXPECT_NO_THROW(link.closeConnection());
}

TEST(StationDrillVersion, VersionThatIsNoNumberPassesTheConversionError)
{
    struct Case {
        std::string version;
        bool outOfRange;
    };
    for (const Case& c : {Case{"abc", false}, Case{"1.x", false}, Case{"99999999999", true},
                          Case{"1.2.2147483648", true}}) {
        PtyStation station;
        StationLink link;
        link.setConnectionTimeout(drillTimeout);
        station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":")" +
                                       c.version + "\"}}\n"));
        try {
            link.openConnection(station.port());
            ADD_FAILURE() << c.version << " was accepted";
        } catch (const std::out_of_range& e) {
            EXPECT_TRUE(c.outOfRange) << c.version;
            EXPECT_STREQ(e.what(), "stoi");
        } catch (const std::invalid_argument& e) {
            EXPECT_FALSE(c.outOfRange) << c.version;
            EXPECT_STREQ(e.what(), "stoi");
        }
        // The port stays open after a failed handshake, and is usable.
        EXPECT_TRUE(link.isConnected()) << c.version;
        station.respondWith(drills::answerLikeStation);
        SystemStatus status;
        EXPECT_NO_THROW(link.getSystemStatus(status)) << c.version;
    }
}
