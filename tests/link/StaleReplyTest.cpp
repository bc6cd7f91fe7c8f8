// Replies to requests the link gave up on: recognised by their message id
// and dropped, so that an old answer is never taken for a new request.
#include "LinkFixture.h"

#include <atomic>
#include <utility>
#include <vector>

using namespace linktest;

namespace {

class StaleReply : public OpenLink {
protected:
    StaleReply() : OpenLink(200) {}

    // The status read goes unanswered, and its id is kept for later.
    void abandonStatusRead()
    {
        station.then([this](PtyStation::Line&, const std::string& request) {
            abandonedId = PtyStation::messageId(request);
        });
        SystemStatus status;
        EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.getSystemStatus(status); }),
                  "IO Exception: receiveData: Data Receiver Timeout!");
        ASSERT_TRUE(station.waitForScript(Ms(2000)));
    }

    // The reply a sound station would have given the abandoned request.
    std::string lateAcceptance() const
    {
        return R"({"COM":{"MSG_ID":)" + std::to_string(abandonedId.load()) + R"(,"COM_STATUS":0}})" "\n";
    }

    std::atomic<unsigned> abandonedId{0};
};

} // namespace

TEST_F(StaleReply, LateAcceptanceIsNotTakenForARefusedSetting)
{
    // The late reply reaches the next request before that one's own answer:
    // in one piece with it, or apart from it. Either way the station's
    // refusal is what the caller hears.
    for (const int gapMs : {0, 30}) {
        SCOPED_TRACE(gapMs);
        abandonStatusRead();
        station.then([this, gapMs](PtyStation::Line& line, const std::string& request) {
            line.write(lateAcceptance());
            line.pause(Ms(gapMs));
            line.write(PtyStation::withId(statusReply(5), request));
        });
        EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.setSystemActivation(true); }),
                  "Data Stream Exception: checkReply: data does not fit to sent command");
        ASSERT_TRUE(station.waitForScript(Ms(2000)));
    }
}

TEST_F(StaleReply, LateReplyAloneLeavesTheCurrentRequestWaiting)
{
    // Only the old answer comes: the current request still times out
    // instead of succeeding, and the next one is clean.
    abandonStatusRead();
    station.then([this](PtyStation::Line& line, const std::string&) { line.write(lateAcceptance()); });
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.setCableRetractionTorque(20.0F); }),
              "IO Exception: receiveData: Data Receiver Timeout!");
    station.then(PtyStation::reply(okReply()));
    EXPECT_NO_THROW(link.setCableRetractionTorque(21.0F));
}

TEST_F(StaleReply, ReplyWithAnotherIdIsDroppedAndShownAsDropped)
{
    // Any id but the request's answers some other request, even one this
    // link never sent: it is dropped, shown to the observer and counted,
    // and the request's own answer that follows it is taken.
    std::vector<std::pair<LineDirection, std::string>> seen;
    link.setLineObserver([&](LineDirection direction, const std::string& text) { seen.emplace_back(direction, text); });
    const std::string foreign = R"({"COM":{"MSG_ID":7,"COM_STATUS":0}})" "\n";
    station.then([&](PtyStation::Line& line, const std::string& request) {
        line.write(foreign);
        line.write(PtyStation::withId(statusReply(5), request));
    });
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.setCableRetractionTorque(22.0F); }),
              "Data Stream Exception: checkReply: data does not fit to sent command");
    ASSERT_EQ(seen.size(), 3U);
    EXPECT_EQ(seen[1], std::make_pair(LineDirection::dropped, foreign));
    EXPECT_EQ(link.getDroppedReplyCount(), 1U);

    // Alone, it leaves the request to time out instead of confirming it.
    station.then(PtyStation::reply(foreign));
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.setCableRetractionTorque(23.0F); }),
              "IO Exception: receiveData: Data Receiver Timeout!");
    EXPECT_EQ(link.getDroppedReplyCount(), 2U);
}

TEST_F(StaleReply, ReplyWithoutAnIdKeepsThePlainRule)
{
    // A station that sends no id (or 0, which no request gets) cannot be
    // matched; its reply is judged by its status alone.
    station.then(PtyStation::reply(R"({"COM":{"COM_STATUS":0}})" "\n"));
    EXPECT_NO_THROW(link.setCableRetractionTorque(24.0F));
    station.then(PtyStation::reply(R"({"COM":{"MSG_ID":0,"COM_STATUS":4}})" "\n"));
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.setCableRetractionTorque(25.0F); }),
              "Data Stream Exception: checkReply: wrong command sent");
    EXPECT_EQ(link.getDroppedReplyCount(), 0U);
}
