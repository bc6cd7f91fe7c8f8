// The operator's side of the menu: choice prompt, value prompts with their
// ranges, re-prompting, the end of input and very long lines.
#include "FakeStation.h"
#include "GoldenTexts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

using namespace golden;

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
    EXPECT_EQ(session.output, menu);
    EXPECT_EQ(station.calls, Calls({"closeConnection"}));
    EXPECT_EQ(session.exitStatus, 0);
}

TEST(MenuChoice, NumbersOutsideTheMenuAndNonNumbersShowTheMenuAgainSilently)
{
    FakeStation station;
    const MenuSession session = runMenuSession(station, "0\n8\n12\n-3\nabc\n99999999999\n11\n");
    EXPECT_EQ(session.output, repeat(menu, 7));
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
        EXPECT_EQ(session.output.substr(session.output.size() - menu.size()), menu);
    }
}

TEST(MenuChoice, InterruptTakesEffectWhenThePassEnds)
{
    FakeStation station;
    station.sideEffects["setSystemActivation"] = [] { std::raise(SIGINT); };
    std::signal(SIGINT, handleInterrupt);
    const MenuSession session = runMenuSession(station, "3\n11\n");
    std::signal(SIGINT, SIG_DFL);
    EXPECT_EQ(session.output, menu + "Halvern Loftward system successful activated!\n\n");
    EXPECT_EQ(station.calls, Calls({"setSystemActivation 1", "closeConnection"}));
}

TEST(MenuChoice, MillionCharacterLinesAreDiscarded)
{
    const std::string longLine(1000000, 'x');
    const std::string longNumber(1000000, '7');
    FakeStation station;
    const MenuSession session =
        runMenuSession(station, longLine + "\n5 " + longLine + "\n" + longNumber + "\n" + longLine + "\n40\n11\n");
    EXPECT_EQ(session.output, menu + menu + torquePrompt + torquePrompt + torquePrompt +
                                  "Halvern Loftward system successful set cable retraction torque to 40%!\n\n" +
                                  menu);
}

TEST(ValuePrompt, RepeatsUntilAValueInRangeAndConfirmsIt)
{
    struct Case {
        std::string typed; // the input ends behind it, which shows the menu once more and ends
        std::string expected;
        std::string call;
    };
    const std::string torqueSet = "Halvern Loftward system successful set cable retraction torque to ";
    const std::string lengthSet = "Halvern Loftward system successful set cable retraction start length ";
    const std::vector<Case> cases = {
        {"5\n100.5\n-0.1\nabc\n100\n", repeat(torquePrompt, 4) + torqueSet + "100%!\n\n",
         "setCableRetractionTorque 100"},
        {"5\n0\n", torquePrompt + torqueSet + "0%!\n\n", "setCableRetractionTorque 0"},
        // The 40 typed behind the option goes; the torque comes from its own line.
        {"5 40\n12.5\n", torquePrompt + torqueSet + "12.5%!\n\n", "setCableRetractionTorque 12.5"},
        // A number completed by the end of the input is still used.
        {"5\n40", torquePrompt + torqueSet + "40%!\n\n", "setCableRetractionTorque 40"},
        {"6\n-0.01\n0\n", repeat(lengthPrompt, 2) + lengthSet + "0m!\n\n", "setCableRetractionStartLength 0"},
        {"6\n1e-07\n", lengthPrompt + lengthSet + "1e-07m!\n\n", "setCableRetractionStartLength 1e-07"},
        {"9\n-1\nx\n0\n", "Current connection timeout: 300ms\n" + repeat(timeoutPrompt, 3) +
                              "Connection timeout is set to 0ms!\n\n",
         "setConnectionTimeout 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        FakeStation station;
        const MenuSession session = runMenuSession(station, c.typed);
        EXPECT_EQ(session.output, menu + c.expected + menu);
        ASSERT_GE(station.calls.size(), 2U);
        EXPECT_EQ(station.calls[station.calls.size() - 2], c.call);
    }
}

TEST(ValuePrompt, EndOfInputAtEachPromptEndsWithoutCommand)
{
    struct Case {
        std::string typed;
        std::string lastPrompt;
    };
    const std::vector<Case> cases = {
        {"5\n", torquePrompt},          {"5\n200\nabc", torquePrompt}, {"6\n", lengthPrompt},
        {"7\n", lengthPrompt},          {"7\n1\n", torquePrompt},      {"7\n1\n50\n", activationPrompt},
        {"7\n1\n50\n2\n", activationPrompt}, {"9\n", timeoutPrompt},
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
