// The reports in UTF-8: the degree byte becomes the degree sign, text the
// station sent is never passed on ill-formed.
#include "StationLinkImpl.h"

#include <ReportText.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

TEST(ReportText, DegreeByteBecomesTheDegreeSign)
{
    EXPECT_EQ(reportToUtf8("Temp: 21 \xF8" "C\n"), "Temp: 21 \xC2\xB0" "C\n");
    EXPECT_EQ(reportToUtf8("plain ASCII\n"), "plain ASCII\n");
    EXPECT_EQ(reportToUtf8(""), "");
}

TEST(ReportText, WellFormedUtf8PassesAndEverythingElseIsReplaced)
{
    EXPECT_EQ(reportToUtf8("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x9A\x81"), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x9A\x81");
    const std::string fffd = "\xEF\xBF\xBD";
    // A stray continuation, a truncated sequence before the degree byte, an
    // overlong form, a surrogate, and a sequence cut off at the end.
    EXPECT_EQ(reportToUtf8("a\x80" "b"), "a" + fffd + "b");
    EXPECT_EQ(reportToUtf8("\xC3\xF8"), fffd + "\xC2\xB0");
    EXPECT_EQ(reportToUtf8("\xC0\xAF"), fffd + fffd);
    EXPECT_EQ(reportToUtf8("\xED\xA0\x80"), fffd + fffd + fffd);
    EXPECT_EQ(reportToUtf8("x\xE2\x82"), "x" + fffd);
}

TEST(ReportText, WholeStatusReportBecomesValidUtf8)
{
    SystemStatus status;
    status.configStatus.env = 1;
    status.env.temp1 = 21.0F;
    status.env.envSensor1Status = 0;
    std::ostringstream report;
    StationLinkImpl::printSystemStatus(status, report);
    ASSERT_NE(report.str().find('\xF8'), std::string::npos);
    const std::string utf8 = reportToUtf8(report.str());
    EXPECT_EQ(utf8.find('\xF8'), std::string::npos);
    EXPECT_NE(utf8.find("\xC2\xB0" "C"), std::string::npos);
}
