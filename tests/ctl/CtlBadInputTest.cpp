// Ports that are no station and stations that misbehave: one line on
// standard error, a defined exit status, no success printed, no hang.
#include "CtlSupport.h"
#include "PtyStation.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ctltest;

namespace {

// What status, monitor and check do with a port that fails as \p error says:
// status in-process and as the built program, monitor as the program.
void expectFailure(const std::string& port, const std::string& error)
{
    const struct {
        std::vector<std::string> args;
        bool inProcess;
    } runs[] = {{{"status"}, true}, {{"status"}, false}, {{"monitor", "--count", "1"}, false}};
    for (const auto& run : runs) {
        std::vector<std::string> args = {"-p", port};
        args.insert(args.end(), run.args.begin(), run.args.end());
        SCOPED_TRACE(testing::PrintToString(args) + (run.inProcess ? " in-process" : ""));
        const ChildResult result = run.inProcess ? runCtlHere(args) : runCtl(args);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(result.errors, error + "\n");
    }
    const ChildResult check = runCtlHere({"-p", port, "check"});
    EXPECT_EQ(check.exitStatus, 3);
    EXPECT_EQ(check.output, "RAVENLINK UNKNOWN - " + error + "\n");
}

} // namespace

TEST(CtlBadInput, PortsThatAreNoSerialLine)
{
    ScratchFile regular("regular", "not a port\n");
    ScratchFile missing("missing");
    ScratchFile folder("folder");
    ASSERT_EQ(::mkdir(folder.path().c_str(), 0700), 0);
    expectFailure(regular.path(), "ravenlinkctl: " + regular.path() + " is not a serial port");
    expectFailure(folder.path(), "ravenlinkctl: " + folder.path() + " is a directory");
    ::rmdir(folder.path().c_str());
    expectFailure(missing.path(), "ravenlinkctl: cannot open " + missing.path() + ": No such file or directory");
    // A character device, but no terminal.
    expectFailure("/dev/null", "ravenlinkctl: /dev/null is not a serial port");
}

TEST(CtlBadInput, SilentStation)
{
    PtyStation station;
    expectFailure(station.port(), "IO Exception: receiveData: Data Receiver Timeout!");
}

TEST(CtlBadInput, GarbageStation)
{
    ravenlinktest::Simulator station({"--garbage"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    expectFailure(port, "Data Stream Exception: checkReply: malformed buffer data");
}

TEST(CtlBadInput, FloodingStationEndsEitherWay)
{
    ravenlinktest::Simulator station({"--flood"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    const ChildResult result = runCtlHere({"-p", port, "--json", "status"});
    EXPECT_FALSE(result.timedOut);
    // Either a whole reply was taken, or the flood was refused: never both.
    if (result.exitStatus == 0) {
        EXPECT_EQ(lines(result.output).size(), 1U);
        EXPECT_EQ(result.errors, "");
    } else {
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(lines(result.errors).size(), 1U) << result.errors;
    }
}
