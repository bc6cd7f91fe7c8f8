// What each menu option prints on success and on failure, the start-up status
// report and the shutdown.
#include "FakeStation.h"
#include "GoldenTexts.h"

#include <StationLink.h>

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace golden;

namespace {
using Calls = std::vector<std::string>;

std::exception_ptr ioException(const char* text) { return std::make_exception_ptr(HALVERN::IOException(text)); }
std::exception_ptr dataException(const char* text) { return std::make_exception_ptr(HALVERN::DataException(text)); }
} // namespace

TEST(OptionOutcome, CommandsConfirmWithAnEmptyLine)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "3\n4\n10\n11\n");
    EXPECT_EQ(session.output, menu + "Halvern Loftward system successful activated!\n\n" + menu +
                                  "Halvern Loftward system successful deactivated!\n\n" + menu +
                                  libraryInfo + menu);
    EXPECT_EQ(station.calls, Calls({"setSystemActivation 1", "setSystemActivation 0", "closeConnection"}));
}

TEST(OptionOutcome, SystemConfigurationSendsTheTypedValues)
{
    FakeStation station;
    MenuSession session = runMenuSession(station, "7\n0.5\n50\n2\n1\n11\n");
    EXPECT_EQ(session.output, menu + lengthPrompt + torquePrompt + activationPrompt + activationPrompt +
                                  "\nHalvern Loftward successful update system configuration\n"
                                  "set cable retraction start length: 0.5m\n"
                                  "set cable retraction torque: 50%\n"
                                  "Activate Halvern Loftward system\n\n" +
                                  menu);
    EXPECT_TRUE(station.lastConfig.activation);
    EXPECT_EQ(station.lastConfig.retStart, 0.5F);
    EXPECT_EQ(station.lastConfig.retTorque, 50.0F);

    session = runMenuSession(station, "7\n2.25\n12.5\n0\n11\n");
    EXPECT_NE(session.output.find("set cable retraction start length: 2.25m\n"
                                  "set cable retraction torque: 12.5%\n"
                                  "Deactivate Halvern Loftward system\n\n"),
              std::string::npos);
    EXPECT_FALSE(station.lastConfig.activation);
    EXPECT_EQ(station.lastConfig.retStart, 2.25F);
    EXPECT_EQ(station.lastConfig.retTorque, 12.5F);
}

TEST(OptionOutcome, ReportsFollowAnEmptyLineAndReuseTheStatusRecord)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "1\n2\n1\n11\n");
    EXPECT_EQ(session.output, menu + "\n<status 1>\n\n" + menu + "\n<details SN-7>\n\n" + menu +
                                  "\n<status 2>\n\n" + menu);
}

TEST(OptionOutcome, FailedGuardedCallPrintsItsTextInsteadOfTheConfirmation)
{
    struct Case {
        std::string typed;
        std::string failingCall;
        std::string expected;
    };
    const std::string io = "IO Exception: call: Communication timeout\n";
    const std::vector<Case> cases = {
        {"1\n", "getSystemStatus", io + "\n"}, // the reports' empty line comes whatever happened
        {"2\n", "getSystemDetails", io + "\n"},
        {"3\n", "setSystemActivation", io},
        {"4\n", "setSystemActivation", io},
        {"5\n50\n", "setCableRetractionTorque", torquePrompt + io},
        {"6\n1\n", "setCableRetractionStartLength", lengthPrompt + io},
        {"7\n1\n50\n1\n", "setSystemConfig", lengthPrompt + torquePrompt + activationPrompt + io},
        {"9\n500\n", "setConnectionTimeout", "Current connection timeout: 300ms\n" + timeoutPrompt + io},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        FakeStation station;
        station.failures[c.failingCall] = ioException("call: Communication timeout");
        // The next pass starts afresh: option 10 prints as usual.
        const MenuSession session = runMenuSession(station, c.typed + "10\n11\n");
        EXPECT_EQ(session.output, menu + c.expected + menu + libraryInfo + menu);
    }
}

TEST(OptionOutcome, FailureOutsideTheGuardedCallEndsTheOptionWithoutLineEnd)
{
    FakeStation station;
    station.failures["printSystemStatus"] = dataException("printSystemStatus: broken");
    station.failures["getConnectionTimeout"] = std::make_exception_ptr(std::runtime_error("no timeout"));
    const MenuSession session = runMenuSession(station, "1\n9\n11\n");
    EXPECT_EQ(session.output, menu + "\nData Stream Exception: printSystemStatus: broken" + menu +
                                  "no timeout" + menu);
    EXPECT_EQ(station.calls, Calls({"getSystemStatus", "printSystemStatus", "getConnectionTimeout", "closeConnection"}));
}

TEST(OptionOutcome, FailedCloseIsPrintedAndTheStatusStaysZero)
{
    FakeStation station;
    station.failures["closeConnection"] = ioException("closeConnection: Bad file descriptor");
    const MenuSession session = runMenuSession(station, "11\n");
    EXPECT_EQ(session.output, menu + "IO Exception: closeConnection: Bad file descriptor\n");
    EXPECT_EQ(session.exitStatus, 0);
}

TEST(StartupStatus, ReportOrFailureTextWithoutLineEnd)
{
    FakeStation station;
    SystemStatus tetherStatus;
    std::ostringstream out;
    reportStartupStatus(station, tetherStatus, out);
    EXPECT_EQ(out.str(), "<status 1>\n");

    station.failures["getSystemStatus"] = dataException("getSystemStatus: Reply incomplete");
    out.str("");
    reportStartupStatus(station, tetherStatus, out);
    EXPECT_EQ(out.str(), "Data Stream Exception: getSystemStatus: Reply incomplete");
    EXPECT_EQ(station.calls, Calls({"getSystemStatus", "printSystemStatus", "getSystemStatus"}));
}
