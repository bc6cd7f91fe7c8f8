// A reply that belongs to another request never confirms a command: against
// a station that answers every request one request late, and on the retry
// after a timeout, each run fails instead of printing a success; -v shows the
// reply that was dropped.
#include "CtlSupport.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

using namespace ctltest;
using ravenlinktest::Simulator;

namespace {

const std::string timeoutText = "IO Exception: receiveData: Data Receiver Timeout!\n";
const std::string droppedPrefix = "x (dropped: another request's id) ";

// The message id in a trace line of a request, "> {"COM":{"MSG_ID":ID},...".
std::string requestId(const std::string& traceLine)
{
    const std::string head = "> {\"COM\":{\"MSG_ID\":";
    if (traceLine.rfind(head, 0) != 0) {
        return "";
    }
    return traceLine.substr(head.size(), traceLine.find('}') - head.size());
}

} // namespace

TEST(CtlLateReply, AnswerToTheRequestBeforeNeverConfirmsACommand)
{
    // Every answer is the one to the request before, and 200 m is more than
    // the station's cable: no run may print {"ok":true,...}.
    Simulator station({"--late"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    for (int run = 1; run <= 4; ++run) {
        SCOPED_TRACE(run);
        const ChildResult result = runCtlHere({"-p", port, "--json", "start-length", "200"});
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(result.errors, timeoutText);
    }
}

TEST(CtlLateReply, VerboseMarksTheDroppedReply)
{
    Simulator station({"--late"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    const ChildResult first = runCtlHere({"-v", "-p", port, "status"});
    const std::vector<std::string> firstTrace = lines(first.errors);
    ASSERT_EQ(firstTrace.size(), 2U) << first.errors;
    const std::string firstId = requestId(firstTrace[0]);
    ASSERT_FALSE(firstId.empty()) << firstTrace[0];

    // The second run's handshake is answered with the first run's reply.
    const ChildResult second = runCtlHere({"-v", "-p", port, "status"});
    EXPECT_EQ(second.exitStatus, 1);
    EXPECT_EQ(second.output, "");
    const std::vector<std::string> trace = lines(second.errors);
    ASSERT_EQ(trace.size(), 3U) << second.errors;
    EXPECT_FALSE(requestId(trace[0]).empty()) << trace[0];
    EXPECT_EQ(trace[1], droppedPrefix + "{\"COM\":{\"MSG_ID\":" + firstId +
                            ",\"COM_STATUS\":0},\"SYSTEM_DETAILS\":{\"PROTOCOL_VERSION\":\"1.20\"}}");
    EXPECT_EQ(trace[2] + "\n", timeoutText);
}

TEST(CtlLateReply, RetryAfterATimeoutIsNotConfirmedByTheFirstTrysReply)
{
    // The retry the manual suggests for a slow station: the first try's
    // late answer (its protocol version) must not pass for the second's.
    Simulator station({"--delay", "500"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    const ChildResult first = runCtlHere({"-p", port, "-t", "200", "status"});
    EXPECT_EQ(first.exitStatus, 1);
    EXPECT_EQ(first.errors, timeoutText);
    const ChildResult retry = runCtlHere({"-p", port, "-t", "1000", "--json", "start-length", "200"});
    EXPECT_EQ(retry.exitStatus, 1) << retry.output;
    EXPECT_EQ(retry.output, "");
    EXPECT_EQ(lines(retry.errors).size(), 1U) << retry.errors;
}
