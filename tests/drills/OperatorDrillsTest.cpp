// Drills on the real console program: whatever the operator types or closes
// at any prompt, and whatever becomes of the station, the console carries on
// or ends cleanly with its status, never crashing or hanging. Signals at
// every prompt are the console's own stop tests.
#include "ChildProcess.h"
#include "DrillSupport.h"
#include "GoldenTexts.h"
#include "InteractiveChild.h"
#include "Outcome.h"
#include "PtyStation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

using namespace golden;
using drills::Ms;
using ravenlinktest::ChildResult;
using ravenlinktest::endsWith;
using ravenlinktest::InteractiveChild;
using ravenlinktest::msSince;

namespace {

// Ended by itself with \p status: no signal, no kill.
void expectCleanExit(const ChildResult& result, int status)
{
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.termSignal, 0);
    EXPECT_EQ(result.exitStatus, status);
}

class OperatorDrill : public ::testing::Test {
protected:
    void SetUp() override { station.respondWith(drills::answerLikeStation); }

    ChildResult runWithInput(const std::string& input)
    {
        return ravenlinktest::runChildProcess(RAVENLINKAPP_PATH, {}, input);
    }

    PtyStation station;
};

} // namespace

TEST_F(OperatorDrill, EndOfInputAtEveryPrompt)
{
    const std::string port = station.port() + "\n";
    struct Case {
        std::string input;
        std::string lastPrompt;
    };
    const std::vector<Case> cases = {
        {"", portPrompt},
        {port, choicePrompt},
        {port + "5\n", torquePrompt},
        {port + "6\n", lengthPrompt},
        {port + "7\n", lengthPrompt},
        {port + "7\n1.5\n", torquePrompt},
        {port + "7\n1.5\n40\n", activationPrompt},
        {port + "9\n", timeoutPrompt},
        // Input that ends in the middle of a line, and after a refused value.
        {port + "5\n1", choicePrompt},
        {port + "5\n101\n", torquePrompt},
    };
    for (const Case& c : cases) {
        const ChildResult result = runWithInput(c.input);
        expectCleanExit(result, 0);
        EXPECT_TRUE(endsWith(result.output, c.lastPrompt + "\n")) << c.input << "\n--- output ends:\n"
                                                                << result.output.substr(result.output.size() - 200);
    }
}

TEST_F(OperatorDrill, MillionCharacterLines)
{
    const std::string port = station.port() + "\n";
    const std::string million(1000000, '9');

    // At the choice prompt, digits and letters: the menu comes again.
    for (const std::string& line : {million, std::string(1000000, 'x')}) {
        const ChildResult result = runWithInput(port + line + "\n11\n");
        expectCleanExit(result, 0);
        EXPECT_LT(result.output.size(), 20000U);
    }

    // At a value prompt: the prompt comes again and the next value counts.
    ChildResult result = runWithInput(port + "5\n" + million + "\n50\n11\n");
    expectCleanExit(result, 0);
    EXPECT_NE(result.output.find(torquePrompt + torquePrompt), std::string::npos);
    EXPECT_NE(result.output.find("Halvern Loftward system successful set cable retraction torque to 50%!\n"),
              std::string::npos);

    result = runWithInput(port + "9\n-" + million + "\n250\n11\n");
    expectCleanExit(result, 0);
    EXPECT_NE(result.output.find("Connection timeout is set to 250ms!\n"), std::string::npos);
}

TEST_F(OperatorDrill, LongestTimeoutKeepsTheConsoleResponsive)
{
    // The largest timeout the prompt takes; the station answers at once.
    const auto start = std::chrono::steady_clock::now();
    const ChildResult result = runWithInput(station.port() + "\n9\n2147483647\n1\n3\n11\n");
    expectCleanExit(result, 0);
    EXPECT_NE(result.output.find("Connection timeout is set to 2147483647ms!\n"), std::string::npos);
    EXPECT_NE(result.output.find("Halvern Loftward system successful activated!\n"), std::string::npos);
    EXPECT_LT(msSince(start), 5000);
}

TEST_F(OperatorDrill, VersionThatIsNoNumberEndsTheProgram)
{
    // The conversion error of the version parts reaches the console as it
    // is thrown: the operator sees its text and the program ends with 1.
    for (const std::string version : {"abc", "99999999999"}) {
        PtyStation versionStation;
        versionStation.then(PtyStation::reply(
            R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":")" + version + "\"}}\n"));
        const ChildResult result = runWithInput(versionStation.port() + "\n");
        expectCleanExit(result, 1);
        EXPECT_TRUE(endsWith(result.output, portPrompt + "stoi")) << version;
    }
}

TEST(OperatorDrillVanishing, StationPulledDuringTheMenu)
{
    PtyStation station;
    station.respondWith(drills::answerLikeStation);
    InteractiveChild app(RAVENLINKAPP_PATH);
    ASSERT_TRUE(app.waitFor(portPrompt));
    app.type(station.port() + "\n");
    ASSERT_TRUE(app.waitFor(choicePrompt));
    station.pull();

    // Each option reports its failure and the menu comes back; the program
    // neither crashes nor spins.
    for (const std::string option : {"1", "3", "5", "2"}) {
        app.type(option + "\n");
        if (option == "5") {
            ASSERT_TRUE(app.waitFor(torquePrompt));
            app.type("50\n");
        }
        ASSERT_TRUE(app.waitFor(choicePrompt, 1, Ms(15000))) << "option " << option << ":\n" << app.text();
    }
    // Waiting at the prompt for the operator costs no processor time.
    const long busyBefore = app.cpuTimeMs();
    std::this_thread::sleep_for(Ms(500));
    EXPECT_LT(app.cpuTimeMs() - busyBefore, 50);
    app.type("11\n");
    const ChildResult result = app.finish(Ms(10000), true);
    expectCleanExit(result, 0);
    EXPECT_NE(result.output.find("IO Exception: "), std::string::npos);
    EXPECT_EQ(result.output.find("successful"), std::string::npos);
    std::cout << "What the operator saw after the station vanished:\n";
    for (std::size_t at = result.output.find("Exception: "); at != std::string::npos;
         at = result.output.find("Exception: ", at + 1)) {
        const std::size_t begin = result.output.rfind('\n', at) + 1;
        std::cout << "  " << result.output.substr(begin, result.output.find('\n', at) - begin) << "\n";
    }
}

TEST(OperatorDrillVanishing, StationPulledWhileAnOptionWaitsForItsReply)
{
    // Handshake, start-up status, then the first option: the station is
    // gone before it answers. The failure reaches the console in the
    // library's words, and the link knows it is dead from then on.
    PtyStation station;
    station.respondWith(drills::answerLikeStation);
    station.vanishAtRequest(3);
    InteractiveChild app(RAVENLINKAPP_PATH);
    ASSERT_TRUE(app.waitFor(portPrompt));
    app.type(station.port() + "\n");
    ASSERT_TRUE(app.waitFor(choicePrompt));
    app.type("1\n");
    ASSERT_TRUE(app.waitFor(choicePrompt, 1, Ms(15000))) << app.text();
    app.type("2\n");
    ASSERT_TRUE(app.waitFor(choicePrompt, 1, Ms(15000))) << app.text();
    app.type("11\n");
    const ChildResult result = app.finish(Ms(10000), true);
    expectCleanExit(result, 0);
    EXPECT_NE(result.output.find("IO Exception: receiveData: Input/output error\n"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("IO Exception: sendData: no connection established\n"), std::string::npos);
}
