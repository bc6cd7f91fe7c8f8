// Stopping the real console program against a scripted station: Ctrl-C
// (SIGINT), SIGTERM and SIGHUP at every prompt and while a command waits for
// its reply. Each ends the program with status 0 and no input typed, the
// station sees its line closed, and no request follows the signal except the
// one already on its way.
#include "ConsoleProbes.h"
#include "GoldenTexts.h"
#include "InteractiveChild.h"
#include "Outcome.h"
#include "PtyStation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace golden;
using consoleprobes::Ms;
using ravenlinktest::ChildResult;
using ravenlinktest::endsWith;
using ravenlinktest::InteractiveChild;

const std::string activated = "Halvern Loftward system successful activated!\n\n";

const std::string getProtocol = R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_PROTOCOL":1}})";
const std::string getStatus = R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_STATUS":1}})";
const std::string activate = R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":16}})";

// Stands for the station's port among the typed answers.
const std::string thePort = "<port>";

struct StopCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> dialogue;  // prompt, then the answer typed
    std::string stopAt;         // the prompt the signals come at; empty: while the last answer's command waits
    std::vector<int> signals;   // sent one after the other, each once the one before was taken
    std::vector<std::string> requests;  // everything the station receives
    std::string outputEnd;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::pair<std::string, std::string>> connected = {{portPrompt, thePort}};

std::vector<std::pair<std::string, std::string>> connectedThen(std::vector<std::pair<std::string, std::string>> more)
{
    more.insert(more.begin(), connected.begin(), connected.end());
    return more;
}

const std::vector<std::string> openingRequests = {getProtocol, getStatus};

const std::vector<StopCase> stopCases = {
    {"InterruptAtPortPrompt", {}, portPrompt, {SIGINT}, {}, portPrompt + "\n"},
    {"InterruptAtMenu", connected, choicePrompt, {SIGINT}, openingRequests, choicePrompt + "\n"},
    {"InterruptAtTorquePrompt", connectedThen({{choicePrompt, "5"}}), torquePrompt, {SIGINT}, openingRequests,
     torquePrompt + "\n"},
    {"InterruptAtStartLengthPrompt", connectedThen({{choicePrompt, "6"}}), lengthPrompt, {SIGINT},
     openingRequests, lengthPrompt + "\n"},
    {"InterruptAtConfigurationStartLength", connectedThen({{choicePrompt, "7"}}), lengthPrompt, {SIGINT},
     openingRequests, lengthPrompt + "\n"},
    {"InterruptAtConfigurationTorque", connectedThen({{choicePrompt, "7"}, {lengthPrompt, "1.5"}}), torquePrompt,
     {SIGINT}, openingRequests, torquePrompt + "\n"},
    {"InterruptAtConfigurationActivation",
     connectedThen({{choicePrompt, "7"}, {lengthPrompt, "1.5"}, {torquePrompt, "40"}}), activationPrompt,
     {SIGINT}, openingRequests, activationPrompt + "\n"},
    {"InterruptAtTimeoutPrompt", connectedThen({{choicePrompt, "9"}}), timeoutPrompt, {SIGINT}, openingRequests,
     timeoutPrompt + "\n"},
    // Activation waits thirty connection timeouts for its reply; the
    // station holds it until the signals are taken.
    {"InterruptDuringActivationWaitPrintsItsOutcome", connectedThen({{choicePrompt, "3"}}), "", {SIGINT},
     {getProtocol, getStatus, activate}, choicePrompt + "\n" + activated},
    // At once: even the line end still waiting in the output buffer is left.
    {"SecondInterruptDuringActivationWaitEndsAtOnce", connectedThen({{choicePrompt, "3"}}), "", {SIGINT, SIGINT},
     {getProtocol, getStatus, activate}, choicePrompt},
    {"TerminateAtMenu", connected, choicePrompt, {SIGTERM}, openingRequests, choicePrompt + "\n"},
    {"HangUpAtTorquePrompt", connectedThen({{choicePrompt, "5"}}), torquePrompt, {SIGHUP}, openingRequests,
     torquePrompt + "\n"},
};

class ConsoleStop : public ::testing::TestWithParam<StopCase> {
protected:
    ConsoleStop()
    {
        station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},)"
                                       R"("SYSTEM_DETAILS":{"PROTOCOL_VERSION":"1.20"}})" "\n"));
        station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{}})" "\n"));
        // Any third request is answered only once the test lets it go.
        station.then([this](PtyStation::Line& line, const std::string& request) {
            while (!releaseReply && !line.stopping()) {
                line.pause(Ms(1));
            }
            line.write(PtyStation::withId(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0}})" "\n", request));
        });
    }

    std::atomic<bool> releaseReply{false};  // before the station, whose thread reads it
    PtyStation station;
    consoleprobes::LineWatch line{station.port()};
};

} // namespace

TEST_P(ConsoleStop, EndsWithStatusZeroAndNoFurtherRequest)
{
    const StopCase& c = GetParam();
    InteractiveChild app(RAVENLINKAPP_PATH);
    for (const auto& [prompt, answer] : c.dialogue) {
        ASSERT_TRUE(app.waitFor(prompt)) << app.text();
        app.type((answer == thePort ? station.port() : answer) + "\n");
    }
    if (c.stopAt.empty()) {
        ASSERT_TRUE(station.waitForRequests(c.requests.size(), Ms(10000)));
    } else {
        ASSERT_TRUE(app.waitFor(c.stopAt)) << app.text();
    }

    for (int signalNumber : c.signals) {
        app.signal(signalNumber);
        ASSERT_TRUE(consoleprobes::waitSignalTaken(app.pid(), signalNumber, Ms(10000)));
    }
    releaseReply = c.signals.size() == 1;

    // Nothing more is typed and the input stays open: the signal alone ends it.
    EXPECT_TRUE(line.waitUntilReleased(Ms(10000)));
    EXPECT_EQ(c.requests.empty(), line.openCount() == 0);
    const ChildResult result = app.finish(Ms(10000), true);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(0, result.termSignal);
    EXPECT_EQ(0, result.exitStatus);
    std::vector<std::string> requests;
    for (const std::string& request : station.requests()) {
        requests.push_back(PtyStation::withoutId(request));
    }
    EXPECT_EQ(c.requests, requests);
    EXPECT_TRUE(endsWith(result.output, c.outputEnd)) << result.output;
}

INSTANTIATE_TEST_SUITE_P(EverySignalAndPrompt, ConsoleStop, ::testing::ValuesIn(stopCases),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });
