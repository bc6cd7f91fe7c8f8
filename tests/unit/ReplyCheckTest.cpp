// The reply check: parse strictly, demand a "COM" object, and turn the
// station's failure codes into data errors.
#include "Outcome.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The what() of the DataException the check raises, or accepted.
std::string verdict(const std::string& reply, uint16_t msgID)
{
    return ravenlinktest::failureOf<HALVERN::DataException>([&] { StationLinkImpl::checkReply(reply, msgID); });
}

const std::string accepted;

std::string com(const std::string& members) { return R"({"COM":{)" + members + "}}\n"; }

const std::string malformedBuffer = "Data Stream Exception: checkReply: malformed buffer data";
const std::string malformedReply = "Data Stream Exception: checkReply: reply data malformed";

} // namespace

TEST(ReplyCheck, AcceptsMatchingIdWithStatusZero)
{
    EXPECT_EQ(verdict(com(R"("MSG_ID":4711,"COM_STATUS":0)"), 4711), accepted);
    EXPECT_EQ(verdict(R"(  {"SYSTEM_STATUS":{},"COM":{"COM_STATUS":0,"MSG_ID":1000}} )" "\r\n", 1000), accepted);
}

TEST(ReplyCheck, EveryFailureCodeHasItsMessage)
{
    const std::pair<int, std::string> codes[] = {
        {1, "buffer overflow on remote communication controller"},
        {2, "timeout during request transmission"},
        {3, "sent request malformed"},
        {4, "wrong command sent"},
        {5, "data does not fit to sent command"},
    };
    for (const auto& [code, text] : codes) {
        const std::string expected = "Data Stream Exception: checkReply: " + text;
        const std::string status = "\"COM_STATUS\":" + std::to_string(code);
        EXPECT_EQ(verdict(com(R"("MSG_ID":4711,)" + status), 4711), expected);
        EXPECT_EQ(verdict(com(R"("MSG_ID":0,)" + status), 4711), expected);
        EXPECT_EQ(verdict(com(status), 4711), expected);
    }
    // Integers keep their low 16 bits: 65537 is code 1.
    EXPECT_EQ(verdict(com(R"("MSG_ID":4711,"COM_STATUS":65537)"), 4711),
              "Data Stream Exception: checkReply: buffer overflow on remote communication controller");
}

TEST(ReplyCheck, AcceptsWhatReportsNoFailure)
{
    // An empty block, unknown codes, and statuses that are not integers all
    // pass.
    EXPECT_EQ(verdict(com(""), 4711), accepted);
    EXPECT_EQ(verdict(com(R"("MSG_ID":4711,"COM_STATUS":6)"), 4711), accepted);
    EXPECT_EQ(verdict(com(R"("MSG_ID":4711,"COM_STATUS":-1)"), 4711), accepted);
    EXPECT_EQ(verdict(com(R"("MSG_ID":4711,"COM_STATUS":4.0)"), 4711), accepted);
    EXPECT_EQ(verdict(com(R"("MSG_ID":4711,"COM_STATUS":"3")"), 4711), accepted);
    EXPECT_EQ(verdict(com(R"("MSG_ID":4711,"COM_STATUS":null)"), 4711), accepted);
    EXPECT_EQ(verdict(com(R"("MSG_ID":"4711","COM_STATUS":true)"), 4711), accepted);
}

TEST(ReplyCheck, RefusesAReplyToAnotherRequestWhateverItsStatus)
{
    const std::string another = "Data Stream Exception: checkReply: reply carries another request's message id";
    EXPECT_EQ(verdict(com(R"("MSG_ID":1234,"COM_STATUS":0)"), 4711), another);
    EXPECT_EQ(verdict(com(R"("MSG_ID":1234,"COM_STATUS":5)"), 4711), another);
    EXPECT_EQ(verdict(com(R"("MSG_ID":1234)"), 4711), another);
    // Its low 16 bits are the id, as for the status.
    EXPECT_EQ(verdict(com(R"("MSG_ID":70247,"COM_STATUS":0)"), 4711), accepted);
}

TEST(ReplyCheck, RejectsTextThatIsNotOneJsonValue)
{
    EXPECT_EQ(verdict("", 4711), malformedBuffer);
    EXPECT_EQ(verdict("\n", 4711), malformedBuffer);
    // A late reply to an earlier request followed by the current one.
    EXPECT_EQ(verdict(com(R"("MSG_ID":1,"COM_STATUS":0)") + com(R"("MSG_ID":4711,"COM_STATUS":0)"), 4711),
              malformedBuffer);
    EXPECT_EQ(verdict(R"({"COM":{"MSG_ID":4711})", 4711), malformedBuffer);
    EXPECT_EQ(verdict(R"({"COM":{}} // comment)", 4711), malformedBuffer);
    EXPECT_EQ(verdict(R"({"COM":{},})", 4711), malformedBuffer);
}

TEST(ReplyCheck, RejectsRepliesWithoutComObject)
{
    EXPECT_EQ(verdict("null", 4711), malformedReply);
    EXPECT_EQ(verdict(R"([{"COM":{}}])", 4711), malformedReply);
    EXPECT_EQ(verdict("42", 4711), malformedReply);
    EXPECT_EQ(verdict("{}", 4711), malformedReply);
    EXPECT_EQ(verdict(R"({"COM":5})", 4711), malformedReply);
    EXPECT_EQ(verdict(R"({"COM":null})", 4711), malformedReply);
    EXPECT_EQ(verdict(R"({"COM":[]})", 4711), malformedReply);
    EXPECT_EQ(verdict(R"({"com":{}})", 4711), malformedReply);
}
