// The request line on the wire and the collection of the reply: stray bytes,
// paused and joined lines, silence, and stations that will not stop.
#include "LinkFixture.h"

#include <future>
#include <thread>

using namespace linktest;

namespace {

class Exchange : public OpenLink {};

} // namespace

TEST_F(Exchange, RequestIsOneLineWithFreshId)
{
    uint16_t firstId = 0;
    uint16_t secondId = 0;
    link.sendData(R"("COMMAND":{"GET_SYSTEM_STATUS":1})", firstId);
    link.sendData(R"("X":2)", secondId);
    ASSERT_TRUE(station.waitForRequests(3, Ms(1000)));

    const auto requests = station.requests();
    EXPECT_EQ(requests[1], R"({"COM":{"MSG_ID":)" + std::to_string(firstId) + R"(},"COMMAND":{"GET_SYSTEM_STATUS":1}})");
    EXPECT_EQ(requests[2], R"({"COM":{"MSG_ID":)" + std::to_string(secondId) + R"(},"X":2})");
    EXPECT_GE(firstId, 1000);
    EXPECT_GE(secondId, 1000);
    EXPECT_EQ(station.unfinishedRequest(), "");
}

TEST_F(Exchange, SendOnClosedLinkDrawsIdButWritesNothing)
{
    link.closeConnection();
    uint16_t msgID = 0;
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.sendData(R"("X":1)", msgID); }),
              "IO Exception: sendData: no connection established");
    EXPECT_GE(msgID, 1000);
    std::this_thread::sleep_for(Ms(20));
    EXPECT_EQ(station.requests().size(), 1U);
}

TEST_F(Exchange, StrayBytesBeforeReplyAreDropped)
{
    station.send("half a line}\r\n{\"COM\":{}}\n");
    std::string reply;
    link.receiveData(reply, 100);
    EXPECT_EQ(reply, "{\"COM\":{}}\n");

    // Text without any "{" leaves nothing for the caller.
    station.send("noise\nmore noise\n");
    std::string nothing;
    link.receiveData(nothing, 100);
    EXPECT_EQ(nothing, "");
}

TEST_F(Exchange, LinesArrivingBackToBackAreJoined)
{
    station.send("{\"A\":1}\n{\"B\":2}\n");
    std::string reply;
    link.receiveData(reply, 100);
    EXPECT_EQ(reply, "{\"A\":1}\n{\"B\":2}\n");
}

TEST_F(Exchange, LineFeedWithoutFollowerEndsTheReply)
{
    // The second line comes only after the reply has been taken: it is not
    // part of this reply, and the next request drops it instead of
    // misreading it.
    std::promise<void> taken;
    std::shared_future<void> replyTaken = taken.get_future().share();
    station.then([replyTaken](PtyStation::Line& line, const std::string& request) {
        line.write(PtyStation::withId(okReply(), request));
        replyTaken.wait_for(Ms(5000));
        line.write("{\"LATE\":1}\n");
    });
    link.setCableRetractionTorque(1.0F);
    taken.set_value();
    ASSERT_TRUE(station.waitForScript(Ms(5000)));
    std::this_thread::sleep_for(Ms(20));

    station.then(PtyStation::reply(okReply()));
    link.setCableRetractionTorque(2.0F);
}

TEST_F(Exchange, ReplyPausedMidLineWithinReadTimeoutIsReadWhole)
{
    // 40 ms inside a line against a one-second read timeout.
    link.setConnectionTimeout(1000);
    station.then(PtyStation::replyInPieces({R"({"COM":{"MSG_ID":$ID,)", "\"COM_STATUS\":4}}\n"}, Ms(40)));
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.setCableRetractionTorque(3.0F); }),
              "Data Stream Exception: checkReply: wrong command sent");
}

TEST_F(Exchange, MidLineStallFollowsTheConnectionTimeout)
{
    // 150 ms in the middle of a line outlasts a 50 ms connection timeout:
    // the reply ends there and is malformed...
    link.setConnectionTimeout(50);
    station.then(PtyStation::replyInPieces({R"({"COM":{"MSG_ID":$ID,)", "\"COM_STATUS\":0}}\n"}, Ms(150)));
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.setCableRetractionTorque(4.0F); }),
              "Data Stream Exception: checkReply: malformed buffer data");
    ASSERT_TRUE(station.waitForScript(Ms(1000)));

    // ...while after raising the timeout on the open port it is waited for.
    link.setConnectionTimeout(1000);
    station.then(PtyStation::replyInPieces({R"({"COM":{"MSG_ID":$ID,)", "\"COM_STATUS\":0}}\n"}, Ms(150)));
    link.setCableRetractionTorque(5.0F);
}

TEST_F(Exchange, AnActivationThatNeverEndsStaysWithinTheLongestExchange)
{
    // What a supervisor is told to wait for must cover every bound the
    // exchange has: here the station sends without end, so only the
    // collection's own limit can stop it.
    link.setConnectionTimeout(10);
    station.then(PtyStation::trickle("x", Ms(5)));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(failureOf<HALVERN::IOException>([&] { link.setSystemActivation(true); }).empty());
    EXPECT_LE(msSince(start), ravenlink::longestExchangeMs(10, ravenlink::ExchangeKind::actuation));
}

TEST_F(Exchange, SilentStationTimesOut)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.setCableRetractionTorque(6.0F); }),
              "IO Exception: receiveData: Data Receiver Timeout!");
    const long long elapsed = msSince(start);
    EXPECT_GE(elapsed, 90);
    EXPECT_LT(elapsed, 1500);
}

TEST_F(Exchange, NonPositiveWaitFailsWithoutReading)
{
    station.send("{\"COM\":{}}\n");
    std::this_thread::sleep_for(Ms(20));
    std::string reply;
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.receiveData(reply, 0); }),
              "IO Exception: receiveData: Data Receiver Timeout!");
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.receiveData(reply, -5); }),
              "IO Exception: receiveData: Data Receiver Timeout!");
    link.receiveData(reply, 100);
    EXPECT_EQ(reply, "{\"COM\":{}}\n");
}

// The floods below never end a line, so however the station's writes are
// spread out on a loaded machine, only the receive bounds can end them.
const std::string floodUnit = R"({"COM":{"MSG_ID":1,"COM_STATUS":1},"PAD":"................................"})";

TEST_F(Exchange, FloodIsAbandonedAtTheSizeLimitAndTheLinkRecovers)
{
    // About 300 KiB, far beyond any reply.
    link.setConnectionTimeout(1000);
    station.then(PtyStation::flood(floodUnit, 300 * 1024 / floodUnit.size()));
    station.then(PtyStation::reply(okReply()));

    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.setCableRetractionTorque(7.0F); }),
              "IO Exception: receiveData: reply exceeds 65536 bytes");

    // The rest of the flood is dropped before the next request goes out.
    link.setCableRetractionTorque(8.0F);
    ASSERT_EQ(station.requests().size(), 3U);
    EXPECT_EQ(lastRequest(), R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_TORQUE":8}})");
}

TEST_F(Exchange, EndlessFloodNeitherHangsNorKeepsText)
{
    link.setConnectionTimeout(1000);
    station.then(PtyStation::flood(floodUnit, 0));
    uint16_t msgID = 0;
    link.sendData(R"("X":1)", msgID);
    std::string reply = "kept";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.receiveData(reply, 100); }),
              "IO Exception: receiveData: reply exceeds 65536 bytes");
    EXPECT_LT(msSince(start), 5000);
    EXPECT_EQ(reply, "kept");
}

TEST_F(Exchange, ReplyThatNeverEndsIsAbandonedInTime)
{
    // One byte every 20 ms, never a line feed: each gap is far inside the
    // one-second read timeout, so only the overall bound can end it.
    link.setConnectionTimeout(1000);
    station.then(PtyStation::trickle("x", Ms(20)));
    uint16_t msgID = 0;
    link.sendData(R"("X":1)", msgID);
    std::string reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.receiveData(reply, 100); }),
              "IO Exception: receiveData: reply did not end in time");
    const long long elapsed = msSince(start);
    EXPECT_GE(elapsed, StationLinkImpl::minReplyTimeMs - 100);
    EXPECT_LT(elapsed, 3 * StationLinkImpl::minReplyTimeMs);
}

namespace {

// The same link with the complete-object reply end switched on.
class CompleteObjectEnd : public OpenLink {
protected:
    void SetUp() override
    {
        OpenLink::SetUp();
        link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    }
};

} // namespace

TEST_F(CompleteObjectEnd, EndsAtTheLineFeedThatClosesTheObject)
{
    // Braces inside texts do not count; an object may span lines.
    station.send("{\"A\":\"}{\\\"\",\n\"B\":{\"C\":[1,{}]}}\n{\"NEXT\":1}\n");
    std::string reply;
    link.receiveData(reply, 100);
    EXPECT_EQ(reply, "{\"A\":\"}{\\\"\",\n\"B\":{\"C\":[1,{}]}}\n");

    // What followed is not joined to it, and the next request drops it.
    station.then(PtyStation::reply(okReply()));
    EXPECT_NO_THROW(link.setCableRetractionTorque(1.0F));
    EXPECT_EQ(station.requests().size(), 2U);
}

TEST_F(CompleteObjectEnd, MalformedRepliesKeepTheirErrors)
{
    struct Case {
        const char* name;
        std::string reply;
        std::string what;
    };
    const Case cases[] = {
        {"two objects on one line", R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0}}{"X":1})" "\n",
         "Data Stream Exception: checkReply: malformed buffer data"},
        {"unbalanced", R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0})" "\n",
         "Data Stream Exception: checkReply: malformed buffer data"},
        {"no object", "garbage\n", "Data Stream Exception: checkReply: malformed buffer data"},
        {"refusal", statusReply(5), "Data Stream Exception: checkReply: data does not fit to sent command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        station.then(PtyStation::reply(c.reply));
        EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.setCableRetractionTorque(2.0F); }), c.what);
        ASSERT_TRUE(station.waitForScript(Ms(1000)));
    }
}

TEST_F(CompleteObjectEnd, FloodsKeepTheirBounds)
{
    station.then(PtyStation::flood("{\"PAD\":\"" + std::string(200, '.') + "\"", 0));
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.setCableRetractionTorque(3.0F); }),
              "IO Exception: receiveData: reply exceeds 65536 bytes");
}
