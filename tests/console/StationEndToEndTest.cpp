// The real console against the real station simulator, both as processes on
// a pseudo-terminal, driven the way an operator types.
#include "FakeStation.h"
#include "InteractiveChild.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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
    if (!app.waitFor("connect to port: ")) {
        return false;
    }
    app.type(port + "\n");
    return app.waitFor("Choose one option from list: ");
}

} // namespace

TEST(StationEndToEnd, EveryOptionAndSettingsShowInTheNextStatusRead)
{
    Simulator station({"--seed", "7"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());

    InteractiveChild app(RAVENLINKAPP_PATH);
    ASSERT_TRUE(connectTo(app, port));
    app.type("3\n");
    ASSERT_TRUE(app.waitFor("Halvern Loftward system successful activated!\n\n"));
    app.type("5\n33\n");
    ASSERT_TRUE(app.waitFor("successful set cable retraction torque to 33%!\n\n"));
    app.type("6\n2.5\n");
    ASSERT_TRUE(app.waitFor("successful set cable retraction start length 2.5m!\n\n"));
    app.type("1\n");
    ASSERT_TRUE(app.waitFor("Current system status\n"));
    app.type("7\n3\n60\n0\n");
    ASSERT_TRUE(app.waitFor("Deactivate Halvern Loftward system\n\n"));
    app.type("1\n");
    ASSERT_TRUE(app.waitFor("Current system status\n"));
    app.type("2\n");
    ASSERT_TRUE(app.waitFor("Product details:\n"));
    app.type("3\n");
    ASSERT_TRUE(app.waitFor("Halvern Loftward system successful activated!\n\n"));
    app.type("4\n");
    ASSERT_TRUE(app.waitFor("Halvern Loftward system successful deactivated!\n\n"));
    app.type("9\n400\n");
    ASSERT_TRUE(app.waitFor("Current connection timeout: 300ms\n" + kTimeoutPrompt +
                            "Connection timeout is set to 400ms!\n\n"));
    app.type("10\n");
    ASSERT_TRUE(app.waitFor("Halvern Loftward Ravenlink Library\nLibrary build: 23\nCommunication protocol version: 1.20\n\n"));
    app.type("1\n");
    ASSERT_TRUE(app.waitFor("Current system status\n"));
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
    // Replies come 150 ms late: in time for the default 300 ms, too late
    // once the operator lowers the timeout to 100 ms.
    Simulator station({"--delay", "150"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());

    InteractiveChild app(RAVENLINKAPP_PATH);
    ASSERT_TRUE(connectTo(app, port));
    app.type("9\n100\n");
    ASSERT_TRUE(app.waitFor("Connection timeout is set to 100ms!\n\n"));
    app.type("5\n10\n");
    ASSERT_TRUE(app.waitFor(kTorquePrompt + "IO Exception: receiveData: Data Receiver Timeout!\n"));
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
