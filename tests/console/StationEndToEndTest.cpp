// The real console against the real station simulator, both as processes on
// a pseudo-terminal, driven the way an operator types.
#include "GoldenTexts.h"
#include "InteractiveChild.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace golden;

namespace {

using ravenlinktest::InteractiveChild;
using ravenlinktest::Simulator;

// The status reports in the order the console printed them.
std::vector<std::string> statusReports(const std::string& output)
{
    std::vector<std::string> reports;
    const std::string title = "Current system status\n";
    for (std::size_t at = output.find(title); at != std::string::npos;) {
        const std::size_t next = output.find(title, at + title.size());
        reports.push_back(output.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return reports;
}

void expectContains(const std::string& text, const std::string& part)
{
    EXPECT_NE(std::string::npos, text.find(part)) << "missing \"" << part << "\" in:\n" << text;
}

// Types the port at the prompt and waits for the menu after the start-up status.
bool connectTo(InteractiveChild& app, const std::string& port)
{
    if (!app.waitFor(portPrompt)) {
        return false;
    }
    app.type(port + "\n");
    return app.waitFor(choicePrompt);
}

} // namespace

TEST(StationEndToEnd, EveryOptionAndSettingsShowInTheNextStatusRead)
{
    Simulator station({"--seed", "7"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());

    // What the operator types, and what the console shows once it is done.
    const std::vector<std::pair<std::string, std::string>> dialogue = {
        {"3\n", "Halvern Loftward system successful activated!\n\n"},
        {"5\n33\n", "successful set cable retraction torque to 33%!\n\n"},
        {"6\n2.5\n", "successful set cable retraction start length 2.5m!\n\n"},
        {"1\n", "Current system status\n"},
        {"7\n3\n60\n0\n", "Deactivate Halvern Loftward system\n\n"},
        {"1\n", "Current system status\n"},
        {"2\n", "Product details:\n"},
        {"3\n", "Halvern Loftward system successful activated!\n\n"},
        {"4\n", "Halvern Loftward system successful deactivated!\n\n"},
        {"9\n400\n", "Current connection timeout: 300ms\n" + timeoutPrompt + "Connection timeout is set to 400ms!\n\n"},
        {"10\n", libraryInfo},
        {"1\n", "Current system status\n"},
    };
    InteractiveChild app(RAVENLINKAPP_PATH);
    ASSERT_TRUE(connectTo(app, port));
    for (const auto& [typed, shown] : dialogue) {
        app.type(typed);
        ASSERT_TRUE(app.waitFor(shown)) << typed << app.text();
    }
    app.type("11\n");
    const auto result = app.finish();
    EXPECT_EQ(0, result.exitStatus);

    const std::vector<std::string> reports = statusReports(result.output);
    ASSERT_EQ(4U, reports.size());
    expectContains(reports[0], "System activation status: deactivated\n");
    expectContains(reports[1], "System activation status: remote activated via UART\n");
    expectContains(reports[1], "Cable retraction torque: 33.000000 %\n");
    expectContains(reports[1], "Cable retraction start length: 2.500000 m\n");
    expectContains(reports[2], "System activation status: deactivated\n");
    expectContains(reports[2], "Cable retraction torque: 60.000000 %\n");
    expectContains(reports[2], "Cable retraction start length: 3.000000 m\n");
    expectContains(reports[3], "System activation status: deactivated\n");
    expectContains(result.output, "used Communication Protocol version: 1.20\n");
}

TEST(StationEndToEnd, CommandAfterAnInjectedFaultWorks)
{
    // Replies come 60 ms late: well in time for the default 300 ms, too late
    // in any case once the operator lowers the timeout to 20 ms.
    Simulator station({"--delay", "60"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());

    InteractiveChild app(RAVENLINKAPP_PATH);
    ASSERT_TRUE(connectTo(app, port));
    app.type("9\n20\n");
    ASSERT_TRUE(app.waitFor("Connection timeout is set to 20ms!\n\n"));
    app.type("5\n10\n");
    ASSERT_TRUE(app.waitFor(torquePrompt + "IO Exception: receiveData: Data Receiver Timeout!\n"));
    // Let the late answer land; it must not be taken for the next reply.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    app.type("9\n1000\n");
    ASSERT_TRUE(app.waitFor("Connection timeout is set to 1000ms!\n\n"));
    app.type("1\n");
    ASSERT_TRUE(app.waitFor("Current system status\n"));
    app.type("11\n");
    const auto result = app.finish();
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ(2U, statusReports(result.output).size());
    EXPECT_EQ(std::string::npos, result.output.find("Data Stream Exception"));
}
