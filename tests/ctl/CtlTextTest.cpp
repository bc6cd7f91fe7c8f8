// Everything ravenlinkctl prints is UTF-8: the reports' degree sign, and
// messages that repeat a port name, an argument or a station's bytes.
#include "CtlSupport.h"
#include "PtyStation.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>

using namespace ctltest;

TEST(CtlText, ReportsAreUtf8WithTheDegreeSign)
{
    ravenlinktest::Simulator station({"--seed", "4"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    const ChildResult status = runCtlHere({"-p", port, "status"});
    EXPECT_EQ(status.exitStatus, 0) << status.errors;
    EXPECT_NE(status.output.find(" \xC2\xB0" "C\n"), std::string::npos) << status.output;
    EXPECT_EQ(status.output.find('\xF8'), std::string::npos);
    EXPECT_TRUE(isUtf8(status.output));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"details"}, {"ports"}, {"-v", "config"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        std::vector<std::string> all = {"-p", port};
        all.insert(all.end(), args.begin(), args.end());
        const ChildResult result = runCtlHere(all);
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        EXPECT_TRUE(isUtf8(result.output) && isUtf8(result.errors));
    }
}

TEST(CtlText, MessagesWithBytesThatAreNoUtf8)
{
    const std::string missing = "/tmp/ravenlinkctl-\xFF-missing";
    const ChildResult status = runCtlHere({"-p", missing, "status"});
    EXPECT_EQ(status.exitStatus, 1);
    EXPECT_EQ(status.errors, "ravenlinkctl: cannot open /tmp/ravenlinkctl-\xEF\xBF\xBD-missing: No such file or directory\n");
    const ChildResult check = runCtlHere({"-p", missing, "check"});
    EXPECT_EQ(check.exitStatus, 3);
    EXPECT_TRUE(isUtf8(check.output)) << check.output;
    const ChildResult unknown = runCtlHere({"fr\xF8", "status"});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_TRUE(isUtf8(unknown.errors)) << unknown.errors;

    // A station whose reply is no UTF-8: the trace and the reason still are.
    PtyStation station;
    station.then(PtyStation::reply(
        "{\"COM\":{\"MSG_ID\":$ID,\"COM_STATUS\":0},\"SYSTEM_DETAILS\":{\"PROTOCOL_VERSION\":\"1.2\xF8\xFF\"}}\n"));
    const ChildResult garbled = runCtlHere({"-v", "-p", station.port(), "status"});
    EXPECT_EQ(garbled.exitStatus, 1);
    EXPECT_EQ(lines(garbled.errors).size(), 3U) << garbled.errors;
    EXPECT_TRUE(isUtf8(garbled.errors)) << garbled.errors;
}
