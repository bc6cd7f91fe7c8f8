// Drills against the station simulator's faults: through the library, each
// fault ends in one of the library's exceptions within bounded time (or is
// absorbed), and the console run against a faulty station ends cleanly with
// its status and a readable message.
#include "ChildProcess.h"
#include "GoldenTexts.h"
#include "Outcome.h"
#include "SimulatorProcess.h"

#include <StationLink.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using golden::portPrompt;
using ravenlinktest::ChildResult;
using ravenlinktest::endsWith;
using ravenlinktest::failureOf;
using ravenlinktest::msSince;
using ravenlinktest::Simulator;

namespace {

using Ms = std::chrono::milliseconds;

// A link with a short timeout on a simulator started with \p options.
struct SimulatedStation {
    explicit SimulatedStation(std::vector<std::string> options, int timeoutMs = 100) : simulator(std::move(options))
    {
        port = simulator.readyPath();
        link.setConnectionTimeout(timeoutMs);
    }
    std::string open()
    {
        return failureOf([&] { link.openConnection(port); });
    }
    std::string readStatus()
    {
        return failureOf([&] { link.getSystemStatus(status); });
    }

    Simulator simulator;
    std::string port;
    StationLink link;
    SystemStatus status;
};

const std::string timeoutText = "IO Exception: receiveData: Data Receiver Timeout!";
const std::string malformedText = "Data Stream Exception: checkReply: malformed buffer data";

} // namespace

TEST(SimulatorDrill, SilentAndSlowStations)
{
    SimulatedStation silent({"--no-reply"});
    ASSERT_FALSE(silent.port.empty());
    EXPECT_EQ(silent.open(), timeoutText);
    EXPECT_TRUE(silent.link.isConnected()); // the port stays open
    EXPECT_EQ(silent.readStatus(), timeoutText);

    SimulatedStation slow({"--delay", "300"});
    EXPECT_EQ(slow.open(), timeoutText);
    SimulatedStation slowButInTime({"--delay", "30"});
    EXPECT_EQ(slowButInTime.open(), "");
    EXPECT_EQ(slowButInTime.readStatus(), "");
}

TEST(SimulatorDrill, TransferStatusCodes)
{
    SimulatedStation refusing({"--com-status", "3"});
    EXPECT_EQ(refusing.open(), "Data Stream Exception: checkReply: sent request malformed");
    SimulatedStation overflowing({"--com-status", "1"});
    EXPECT_EQ(overflowing.open(), "Data Stream Exception: checkReply: buffer overflow on remote communication controller");
    // A code the library does not know is no failure; neither is 65536 + 0.
    SimulatedStation unknownCode({"--com-status", "7"});
    EXPECT_EQ(unknownCode.open(), "");
    EXPECT_EQ(unknownCode.readStatus(), "");
}

TEST(SimulatorDrill, LineNoise)
{
    SimulatedStation garbage({"--garbage"});
    const std::string opened = garbage.open();
    EXPECT_EQ(opened.rfind("Data Stream Exception: ", 0), 0U) << opened;
    EXPECT_EQ(garbage.readStatus().rfind("Data Stream Exception: ", 0), 0U);

    // Stray bytes in front of every reply are dropped.
    SimulatedStation noisy({"--noise"});
    EXPECT_EQ(noisy.open(), "");
    EXPECT_EQ(noisy.readStatus(), "");
}

TEST(SimulatorDrill, StalledLines)
{
    // A stall shorter than the read timeout is bridged...
    SimulatedStation shortStall({"--stall", "40"}, 200);
    EXPECT_EQ(shortStall.open(), "");
    EXPECT_EQ(shortStall.readStatus(), "");
    // ...a longer one cuts every reply, which is then refused.
    // The station, still busy with the rest of the line, may also answer
    // the next request too late.
    SimulatedStation longStall({"--stall", "400"}, 100);
    EXPECT_EQ(longStall.open(), malformedText);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        const std::string failed = longStall.readStatus();
        EXPECT_TRUE(failed == malformedText || failed == timeoutText) << failed;
        EXPECT_LT(msSince(start), 3000);
    }
}

TEST(SimulatorDrill, WireRateAndExtendedMode)
{
    SimulatedStation paced({"--paced", "--extended"}, 300);
    EXPECT_EQ(paced.open(), "");
    EXPECT_EQ(paced.readStatus(), "");
    SystemDetails details;
    EXPECT_EQ(failureOf([&] { paced.link.getSystemDetails(details); }), "");
    EXPECT_EQ(details.protocolVersion, "1.20");
}

// A flood seen as one endless reply is cut off by the receive bounds. One
// that the flooding process cannot send without gaps (a loaded machine)
// ends as several objects in one reply, or as one stray status reply, which
// the reply check or the caller's decoder refuses. And when a gap happens to
// fall right behind the station's own answer, that answer stands alone and
// is rightly taken. Whatever happens, the exchange ends in bounded time and
// any failure is one of the library's exceptions.
bool failedOnAFlood(const std::string& what)
{
    return what.rfind("IO Exception: receiveData: ", 0) == 0 || what.rfind("Data Stream Exception: ", 0) == 0;
}

bool floodOutcome(const std::string& what)
{
    return what.empty() || failedOnAFlood(what);
}

TEST(SimulatorDrill, FloodingStationIsCutOffInBoundedTime)
{
    SimulatedStation flood({"--flood"});
    const auto start = std::chrono::steady_clock::now();
    const std::string opened = flood.open();
    EXPECT_TRUE(floodOutcome(opened)) << opened;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string read = flood.readStatus();
        EXPECT_TRUE(floodOutcome(read)) << read;
    }
    EXPECT_LT(msSince(start), 15000);
    EXPECT_EQ(failureOf([&] { flood.link.closeConnection(); }), "");
}

TEST(SimulatorDrill, RepliesCarryingAnotherIdAreNeverTakenForTheAnswer)
{
    // A station that echoes a wrong id answers some other request: nothing
    // it says confirms or refuses this one, so every exchange waits out its
    // bound, and each dropped line is counted.
    SimulatedStation wrongId({"--wrong-id"});
    EXPECT_EQ(wrongId.open(), timeoutText);
    EXPECT_EQ(wrongId.readStatus(), timeoutText);
    EXPECT_EQ(failureOf([&] { wrongId.link.setCableRetractionStartLength(2.0F); }), timeoutText);
    EXPECT_EQ(wrongId.link.getDroppedReplyCount(), 3U);
    EXPECT_EQ(wrongId.status, SystemStatus());

    // A station one reply behind: the handshake gets nothing, and every
    // request gets the reply to the one before. Such a reply is never taken
    // for the current one, of whatever kind, and a setting the station
    // refused is never reported as done.
    SimulatedStation late({"--late"});
    EXPECT_EQ(late.open(), timeoutText);
    EXPECT_EQ(late.readStatus(), timeoutText);
    SystemDetails details;
    EXPECT_EQ(failureOf([&] { late.link.getSystemDetails(details); }), timeoutText);
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(failureOf([&] { late.link.setCableRetractionStartLength(200.0F); }), timeoutText);
    }
    EXPECT_EQ(late.readStatus(), timeoutText);
    EXPECT_EQ(details, SystemDetails());
}

TEST(SimulatorDrill, AnotherProgramsLateReplyIsNotTakenByTheNextOne)
{
    // One program gives up on a slow station and leaves; the next one that
    // opens the port must not take the first one's late answer for its own.
    SimulatedStation first({"--delay", "500"}, 200);
    EXPECT_EQ(first.open(), timeoutText);
    first.link.closeConnection();

    StationLink second;
    second.setConnectionTimeout(1000);
    EXPECT_EQ(failureOf([&] { second.openConnection(first.port); }), "");
    EXPECT_EQ(failureOf([&] { second.setCableRetractionStartLength(200.0F); }),
              "Data Stream Exception: checkReply: data does not fit to sent command");
}

TEST(SimulatorDrill, RefusedSettingAfterAnAbandonedReadIsReportedAsRefused)
{
    // Every reply comes 400 ms after its request, later than a read at a
    // 300 ms timeout waits. The late replies to given-up requests land while
    // later requests wait, and none of them is taken for a later answer: a
    // setting the station refuses is never reported as done.
    SimulatedStation slow({"--delay", "400"}, 300);
    EXPECT_EQ(slow.open(), timeoutText);
    EXPECT_EQ(slow.readStatus(), timeoutText);
    SystemConfig config;
    config.activation = false;
    config.retTorque = 30.0F;
    config.retStart = 200.0F;  // 20 000 cm, beyond the 100 m cable
    EXPECT_EQ(failureOf([&] { slow.link.setSystemConfig(config); }),
              "Data Stream Exception: checkReply: data does not fit to sent command");
    EXPECT_EQ(failureOf([&] { slow.link.setCableRetractionStartLength(200.0F); }), timeoutText);

    slow.link.setConnectionTimeout(1000);
    SystemConfig current;
    EXPECT_EQ(failureOf([&] { slow.link.getSystemConfig(current); }), "");
    EXPECT_NE(current.retStart, 200.0F);
}

TEST(SimulatorDrill, StationVanishesMidSession)
{
    SimulatedStation vanishing({"--vanish-after", "2"});
    EXPECT_EQ(vanishing.open(), "");
    EXPECT_EQ(vanishing.readStatus(), "");
    EXPECT_EQ(vanishing.simulator.waitExit(Ms(5000)), 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        const std::string failed = vanishing.readStatus();
        EXPECT_EQ(failed.rfind("IO Exception", 0), 0U) << failed;
        EXPECT_LT(msSince(start), 3000);
    }
    EXPECT_EQ(failureOf([&] { vanishing.link.closeConnection(); }), "");
}

TEST(SimulatorDrill, ConsoleAgainstFaultyStations)
{
    struct Case {
        std::vector<std::string> options;
        int exitStatus;
        std::string shown; // the console's last words
    };
    const std::vector<Case> cases = {
        {{"--no-reply"}, 1, portPrompt + timeoutText},
        {{"--com-status", "4"}, 1, portPrompt + "Data Stream Exception: checkReply: wrong command sent"},
        // Refused, or (rarely, see above) taken and shown as a status report.
        {{"--flood"}, 1, portPrompt},
        // Gone before the request is written, or while its reply is awaited
        // (then the serial library's own text reaches the operator).
        {{"--vanish-after", "2"}, 0, "Input/output error"},
    };
    for (const Case& c : cases) {
        Simulator simulator(c.options);
        const std::string port = simulator.readyPath();
        ASSERT_FALSE(port.empty());
        ravenlinktest::ChildRun run;
        run.program = RAVENLINKAPP_PATH;
        run.input = port + "\n1\n11\n";
        run.timeout = Ms(15000);
        const ChildResult result = ravenlinktest::runChildProcess(run);
        EXPECT_FALSE(result.timedOut) << c.options[0];
        EXPECT_EQ(result.termSignal, 0) << c.options[0];
        if (c.options[0] == "--flood" && result.exitStatus == 0) {
            EXPECT_EQ(result.output.find("Exception"), std::string::npos) << result.output;
            continue;
        }
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.options[0];
        if (c.options[0] == "--flood") {
            const std::size_t prompt = result.output.rfind(c.shown);
            ASSERT_NE(prompt, std::string::npos) << result.output;
            EXPECT_TRUE(failedOnAFlood(result.output.substr(prompt + c.shown.size()))) << result.output;
        } else if (c.exitStatus == 1) {
            EXPECT_TRUE(endsWith(result.output, c.shown))
                << c.options[0] << ":\n" << result.output.substr(result.output.size() > 300 ? result.output.size() - 300 : 0);
        } else {
            EXPECT_NE(result.output.find(c.shown), std::string::npos) << result.output;
        }
    }
}
