// The operator's side of the menu: choice prompt, value prompts with their
// ranges, re-prompting, the end of input and very long lines.
#include "FakeStation.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {
using Calls = std::vector<std::string>;

std::string repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}
} // namespace

TEST(MenuChoice, OptionElevenClosesAndEndsWithStatusZero)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "11\n");
    EXPECT_EQ(session.output, kChoice);
    EXPECT_EQ(station.calls, Calls({"closeConnection"}));
    EXPECT_EQ(session.exitStatus, 0);
}

TEST(MenuChoice, NumbersOutsideTheMenuAndNonNumbersShowTheMenuAgainSilently)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "0\n8\n12\n-3\nabc\n99999999999\n11\n");
    EXPECT_EQ(session.output, repeat(kChoice, 7));
    EXPECT_EQ(station.calls, Calls({"closeConnection"}));
}

TEST(MenuChoice, EndOfInputEndsLikeOptionEleven)
{
    for (const std::string typed : {"", "\n\n", "0", "abc", "1\n"}) {
        SCOPED_TRACE(typed);
        FakeStation station;
        const MenuSession session = runMenuSession(station, typed);
        EXPECT_EQ(station.calls.back(), "closeConnection");
        EXPECT_EQ(session.exitStatus, 0);
        EXPECT_EQ(session.output.substr(session.output.size() - kChoice.size()), kChoice);
    }
}

TEST(MenuChoice, InterruptTakesEffectWhenThePassEnds)
{
    FakeStation station;
    station.sideEffects["setSystemActivation"] = [] { std::raise(SIGINT); };
    std::signal(SIGINT, handleInterrupt);
    const MenuSession session = runMenuSession(station, "3\n11\n");
    std::signal(SIGINT, SIG_DFL);
    EXPECT_EQ(session.output, kChoice + "Halvern Loftward system successful activated!\n\n");
    EXPECT_EQ(station.calls, Calls({"setSystemActivation 1", "closeConnection"}));
}

TEST(MenuChoice, MillionCharacterLinesAreDiscarded)
{
    const std::string longLine(1000000, 'x');
    const std::string longNumber(1000000, '7');
    FakeStation station;
    const MenuSession session =
        runMenuSession(station, longLine + "\n5 " + longLine + "\n" + longNumber + "\n" + longLine + "\n40\n11\n");
    EXPECT_EQ(session.output, kChoice + kChoice + kTorquePrompt + kTorquePrompt + kTorquePrompt +
                                  "Halvern Loftward system successful set cable retraction torque to 40%!\n\n" +
                                  kChoice);
}

TEST(ValuePrompt, TorqueAcceptsZeroToHundred)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "5\n100.5\n-0.1\n100\n5\n0\n11\n");
    EXPECT_EQ(session.output, kChoice + repeat(kTorquePrompt, 3) +
                                  "Halvern Loftward system successful set cable retraction torque to 100%!\n\n" +
                                  kChoice + kTorquePrompt +
                                  "Halvern Loftward system successful set cable retraction torque to 0%!\n\n" +
                                  kChoice);
    EXPECT_EQ(station.calls,
              Calls({"setCableRetractionTorque 100", "setCableRetractionTorque 0", "closeConnection"}));
}

TEST(ValuePrompt, NumberTypedBehindTheOptionIsDiscarded)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "5 40\n12.5\n11\n");
    EXPECT_EQ(session.output, kChoice + kTorquePrompt +
                                  "Halvern Loftward system successful set cable retraction torque to 12.5%!\n\n" +
                                  kChoice);
}

TEST(ValuePrompt, StartLengthAcceptsZeroUpwardsInDefaultNotation)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "6\n-0.01\nabc\n0\n6\n1e-07\n11\n");
    EXPECT_EQ(session.output,
              kChoice + repeat(kLengthPrompt, 3) +
                  "Halvern Loftward system successful set cable retraction start length 0m!\n\n" + kChoice +
                  kLengthPrompt + "Halvern Loftward system successful set cable retraction start length 1e-07m!\n\n" +
                  kChoice);
}

TEST(ValuePrompt, TimeoutAcceptsZeroButNotNegative)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "9\n-1\n0\n11\n");
    EXPECT_EQ(session.output, kChoice + "Current connection timeout: 300ms\n" + repeat(kTimeoutPrompt, 2) +
                                  "Connection timeout is set to 0ms!\n\n" + kChoice);
    EXPECT_EQ(station.calls, Calls({"getConnectionTimeout", "setConnectionTimeout 0", "closeConnection"}));
}

TEST(ValuePrompt, EndOfInputAtEachPromptEndsWithoutCommand)
{
    struct Case {
        std::string typed;
        std::string lastPrompt;
    };
    const std::vector<Case> cases = {
        {"5\n", kTorquePrompt},          {"5\n200\nabc", kTorquePrompt}, {"6\n", kLengthPrompt},
        {"7\n", kLengthPrompt},          {"7\n1\n", kTorquePrompt},      {"7\n1\n50\n", kActivationPrompt},
        {"7\n1\n50\n2\n", kActivationPrompt}, {"9\n", kTimeoutPrompt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        FakeStation station;
        const MenuSession session = runMenuSession(station, c.typed);
        const std::string ending = c.lastPrompt + "\n";
        EXPECT_EQ(session.output.substr(session.output.size() - ending.size()), ending);
        EXPECT_EQ(station.calls.back(), "closeConnection");
        EXPECT_LE(station.calls.size(), 2U); // the current timeout read of option 9 at most
        EXPECT_EQ(session.exitStatus, 0);
    }
}

TEST(ValuePrompt, NumberCompletedByEndOfInputIsUsed)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "5\n40");
    EXPECT_EQ(session.output, kChoice + kTorquePrompt +
                                  "Halvern Loftward system successful set cable retraction torque to 40%!\n\n" +
                                  kChoice);
    EXPECT_EQ(station.calls, Calls({"setCableRetractionTorque 40", "closeConnection"}));
}
