// Gathering the pieces of a reply between reads (setReplyGathering): on a
// line that delivers a few bytes at a time, the reply still arrives whole
// and its lines are still judged one by one, with far fewer reads and
// wake-ups; the end of a long reply is seen at most about one nap late, and
// a short one that is in within the first nap is not held up at all.
#include "LinkFixture.h"

#include <fstream>
#include <thread>

using namespace linktest;

namespace {

/// A count of the calling thread from /proc/thread-self: "syscr" in io (read
/// system calls) or "voluntary_ctxt_switches" in status (sleeps, that is
/// wake-ups).
long long threadCount(const char* file, const std::string& key)
{
    std::ifstream in(std::string("/proc/thread-self/") + file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stoll(line.substr(key.size() + 1));
        }
    }
    return -1;
}

struct Cost {
    long long reads = 0;
    long long wakeUps = 0;
    long long ms = 0;
};

// A paced line: \p text in pieces of 16 bytes, one every millisecond or so,
// as a UART at 115200 baud hands them over.
PtyStation::Step paced(std::string text)
{
    return [text](PtyStation::Line& line, const std::string& request) {
        const std::string bytes = PtyStation::withId(text, request);
        for (std::size_t at = 0; at < bytes.size() && !line.stopping(); at += 16) {
            line.write(bytes.substr(at, 16));
            line.pause(Ms(1));
        }
    };
}

// A reply of about 30 bytes per member: 40 make about 1 200 bytes, as long as
// a status reply in extended mode.
std::string longReply(int count = 40)
{
    std::string members;
    for (int i = 0; i < count; ++i) {
        members += ",\"VALUE_" + std::to_string(i) + "\":\"" + std::string(12, static_cast<char>('a' + i % 26)) + "\"";
    }
    return R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"GROUP":{"FIRST":1)" + members + "}}\n";
}

class ReplyGathering : public OpenLink {
protected:
    void SetUp() override
    {
        OpenLink::SetUp();
        link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    }

    /// One exchange with the station sending \p step; the reply is left in \p reply.
    Cost exchange(PtyStation::Step step, std::string& reply)
    {
        station.then(std::move(step));
        uint16_t msgID = 0;
        link.sendData(R"("COMMAND":{"GET_SYSTEM_STATUS":1})", msgID);
        lastId = msgID;
        Cost cost;
        cost.reads = threadCount("io", "syscr");
        cost.wakeUps = threadCount("status", "voluntary_ctxt_switches");
        const auto start = std::chrono::steady_clock::now();
        link.receiveData(reply, 1000);
        cost.ms = msSince(start);
        cost.reads = threadCount("io", "syscr") - cost.reads;
        cost.wakeUps = threadCount("status", "voluntary_ctxt_switches") - cost.wakeUps;
        EXPECT_TRUE(station.waitForScript(Ms(2000)));
        return cost;
    }

    std::string expected(const std::string& text) const
    {
        return PtyStation::withId(text, R"({"COM":{"MSG_ID":)" + std::to_string(lastId) + "}}");
    }

    /// The same paced reply read as it comes, then with \p gatheringMs of
    /// gathering; both times it must arrive whole. \return both costs
    std::pair<Cost, Cost> plainThenGathered(const std::string& text, int gatheringMs)
    {
        std::string plainReply;
        const Cost plain = exchange(paced(text), plainReply);
        EXPECT_EQ(plainReply, expected(text));
        link.setReplyGathering(gatheringMs);
        std::string gatheredReply;
        const Cost gathered = exchange(paced(text), gatheredReply);
        EXPECT_EQ(gatheredReply, expected(text));
        return {plain, gathered};
    }

    uint16_t lastId = 0;
};

} // namespace

TEST_F(ReplyGathering, PacedReplyArrivesWholeWithFewerReads)
{
    const auto [piecewise, gathered] = plainThenGathered(longReply(), 8);

    // About 75 pieces: read one by one, then about one read per 8 ms nap.
    EXPECT_GE(piecewise.reads, 30) << "the line did not come in pieces";
    EXPECT_LT(gathered.reads * 2, piecewise.reads) << gathered.reads << " reads against " << piecewise.reads;
    EXPECT_LT(gathered.wakeUps * 2, piecewise.wakeUps) << gathered.wakeUps << " wake-ups against " << piecewise.wakeUps;
    // The end is seen at most one nap late (generous: a loaded machine).
    EXPECT_LT(gathered.ms, piecewise.ms + 8 + 150);
}

TEST_F(ReplyGathering, ShortReplyIsNotHeldUp)
{
    // Three pieces about a millisecond apart, well within the first 100 ms:
    // read as they come, so the reply ends when its line feed is in, not
    // after a nap of 100 ms.
    link.setReplyGathering(100);
    const std::string text = okReply();
    std::string reply;
    const Cost cost = exchange(paced(text), reply);
    EXPECT_EQ(reply, expected(text));
    EXPECT_LT(cost.ms, 70);
}

TEST_F(ReplyGathering, LinesAreStillJudgedOneByOne)
{
    // A late answer to another request, then this request's reply, all in
    // pieces: the gathered reads hold parts of both lines at once.
    link.setReplyGathering(5);
    const std::string late = R"({"COM":{"MSG_ID":7,"COM_STATUS":0},"LATE":1})" "\n";
    const std::string own = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"OWN":2})" "\n";
    std::string reply;
    exchange(paced(late + own), reply);
    EXPECT_EQ(reply, expected(own));
    EXPECT_EQ(link.getDroppedReplyCount(), 1U);

    // A line that is no complete object still falls back to the quiet-line
    // rule and its end-of-reply pause.
    const std::string two = "{\"A\":1}{\"B\":2}\n";
    std::string joined;
    exchange(paced(two), joined);
    EXPECT_EQ(joined, two);
}

TEST_F(ReplyGathering, QuietLineAloneNapsTheLongerOfTheTwo)
{
    // The pause of a 1000 ms wait is 10 ms, so the quiet-line rule alone
    // reads a reply of about a third of a second some 33 times. With 40 ms
    // of gathering it naps 10 ms for the first 40 ms and 40 ms after that.
    link.setReplyEnd(ReplyEnd::quietLine);
    const auto [plain, gathered] = plainThenGathered(longReply(160), 40);
    EXPECT_LT(gathered.reads * 2, plain.reads) << gathered.reads << " reads against " << plain.reads;
}
