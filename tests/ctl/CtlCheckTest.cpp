// check as a monitoring system runs it: the performance data and the long
// output of a station whose readings are known, thresholds that turn them
// into states, a station that does not answer, and the named stations of
// -s and --all. In-process, against scripted stations on pseudo-terminals.
#include "CtlSupport.h"
#include "PtyStation.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ctltest;

namespace {

const std::string protocolReply = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":"1.20"}})" "\n";

// Cable, environment and system state sent; temperature sensors 3 and 4 and
// fan 2 are not part of this station.
const std::string soundStatus =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1,"ENV":1,"ENERGY_GS":0,)"
    R"("ENERGY_UAV":0,"SYS_STATE":1},"CAB":{"LENGTH":2310,"SPEED":0,"RET_STATUS":0,"RET_TORQUE":40,"RET_START":250,)"
    R"("TETHER_STATUS":0,"GUIDE_STATUS":0,"REEL_STATUS":0},"ENV":{"TEMP1":33,"TEMP2":65,"HUM1":40,"PRESS1":1000,)"
    R"("ENVSENSOR1_STATUS":0,"ENVSENSOR2_STATUS":0,"ENVSENSOR3_STATUS":255,"ENVSENSOR4_STATUS":255,"FAN1_RPM":1500,)"
    R"("FAN1_STATUS":0,"FAN2_RPM":0,"FAN2_STATUS":255},"SYS_STATE":{"ERROR":0,"OPERATION_TIME":7200,"FLIGHT_TIME":60,)"
    R"("FLIGHT_TIME_OP_SUM":600,"FLIGHT_COUNT_OP_SUM":2}}})" "\n";

const std::string soundPerfdata =
    "'cab.length'=23.1m;;;0 'cab.speed'=0 'cab.retTorque'=40%;;;0;100 'cab.retStart'=2.5m;;;0 'env.temp1'=33C "
    "'env.temp2'=65C 'env.hum1'=40%;;;0;100 'env.press1'=1000;;;0 'env.fan1Rpm'=1500;;;0 "
    "'sysState.operationTime'=7200s;;;0 'sysState.flightTime'=60s;;;0 'sysState.flightTimeOpSum'=600s;;;0 "
    "'sysState.flightCountOpSum'=2c;;;0";

// Only the cable group, with a failed tether.
const std::string failedTetherStatus =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":0,)"
    R"("ENERGY_UAV":0,"SYS_STATE":0},"CAB":{"LENGTH":1200,"TETHER_STATUS":3}}})" "\n";

const std::string soundDetails = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"SN":"A-1","MAINTENANCE_REQUIRED":0}})" "\n";

void answerWith(PtyStation& station, const std::string& status)
{
    station.respondWith([status](const std::string& request) {
        if (request.find("GET_PROTOCOL") != std::string::npos) {
            return protocolReply;
        }
        return request.find("GET_SYSTEM_STATUS") != std::string::npos ? status : soundDetails;
    });
}

class CtlCheck : public testing::Test {
protected:
    CtlCheck() { answerWith(station, soundStatus); }

    ChildResult check(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"-p", station.port(), "check"});
        return runCtlHere(args);
    }

    PtyStation station;
};

} // namespace

TEST_F(CtlCheck, ReadingsFollowTheBarOfTheFirstLine)
{
    const ChildResult result = check({});
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(result.output, "RAVENLINK OK - no findings | " + soundPerfdata + "\n");
    EXPECT_EQ(result.errors, "");
}

TEST_F(CtlCheck, ThresholdsSetTheStateAndStandInThePerfdata)
{
    const struct {
        std::vector<std::string> args;
        int state;
        std::string output;
    } cases[] = {
        // Within both ranges: OK, the ranges shown.
        {{"--warning", "env.temp2=70", "--critical", "env.temp2=80"}, 0,
         "RAVENLINK OK - no findings | "},
        {{"--warning", "env.temp2=60", "--critical", "env.temp2=80", "--warning", "cab.length=10:"}, 1,
         "RAVENLINK WARNING - env.temp2 is 65C, outside the warning range 60 | "},
        {{"--warning", "env.temp2=60", "--critical", "env.temp2=~:64"}, 2,
         "RAVENLINK CRITICAL - env.temp2 is 65C, outside the critical range ~:64 | "},
        // @: inside is the alert, its bounds included.
        {{"--critical", "cab.length=@23.1:30"}, 2,
         "RAVENLINK CRITICAL - cab.length is 23.1m, inside the critical range @23.1:30 | "},
        // A threshold on a reading the station does not send cannot pass.
        {{"--warning", "env.temp3=50"}, 3,
         "RAVENLINK UNKNOWN - env.temp3 was not sent, so its threshold cannot be checked | "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ChildResult result = check(c.args);
        EXPECT_EQ(result.exitStatus, c.state) << result.errors;
        EXPECT_EQ(lines(result.output)[0].rfind(c.output, 0), 0U) << result.output;
    }
    const ChildResult both = check({"--warning", "env.temp2=60", "--critical", "env.temp1=20:30", "--warning",
                                    "env.temp1=25:32", "--critical", "cab.length=@0:1"});
    EXPECT_EQ(both.exitStatus, 2);
    EXPECT_EQ(both.output,
              "RAVENLINK CRITICAL - env.temp1 is 33C, outside the critical range 20:30, env.temp2 is 65C, outside the "
              "warning range 60 | 'cab.length'=23.1m;;@0:1;0 'cab.speed'=0 'cab.retTorque'=40%;;;0;100 "
              "'cab.retStart'=2.5m;;;0 'env.temp1'=33C;25:32;20:30 'env.temp2'=65C;60 'env.hum1'=40%;;;0;100 "
              "'env.press1'=1000;;;0 'env.fan1Rpm'=1500;;;0 'sysState.operationTime'=7200s;;;0 "
              "'sysState.flightTime'=60s;;;0 'sysState.flightTimeOpSum'=600s;;;0 'sysState.flightCountOpSum'=2c;;;0\n"
              "CRITICAL: env.temp1 is 33C, outside the critical range 20:30\n"
              "WARNING: env.temp2 is 65C, outside the warning range 60\n");
    const ChildResult json = check({"--json", "--warning", "env.temp2=60", "--warning", "env.temp4=1"});
    EXPECT_EQ(json.exitStatus, 1);
    EXPECT_EQ(json.output, "{\"state\":\"warning\",\"findings\":[{\"severity\":\"warning\",\"text\":\"env.temp2 is 65C, "
                           "outside the warning range 60\"},{\"severity\":\"unknown\",\"text\":\"env.temp4 was not sent, "
                           "so its threshold cannot be checked\"}]}\n");
}

TEST_F(CtlCheck, FindingsAndThresholdsTogetherTheWorstWins)
{
    answerWith(station, failedTetherStatus);
    const ChildResult result = check({"--warning", "cab.length=5"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.output, "RAVENLINK CRITICAL - tether failure detected, cab.length is 12m, outside the warning range "
                             "5 | 'cab.length'=12m;5;;0 'cab.speed'=0 'cab.retTorque'=0%;;;0;100 'cab.retStart'=0m;;;0\n"
                             "CRITICAL: tether failure detected\nWARNING: cab.length is 12m, outside the warning range 5\n");
}

TEST_F(CtlCheck, BadThresholdIsUnknownAndNeverReachesTheStation)
{
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"--warning", "env.temp1"}, "check: --warning: 'env.temp1' is not LABEL=RANGE"},
        {{"--critical", "env.temp9=5"},
         "check: --critical: 'env.temp9' is no reading; the readings are the perfdata labels, such as cab.length or env.temp1"},
        {{"--critical", "env.temp1=10:5"}, "check: --critical: env.temp1: '10:5' is no range: its start lies above its end"},
        {{"--warning", "env.temp1=1:2:3"}, "check: --warning: env.temp1: '1:2:3' is no range: a range is END, START:, "
                                           "START:END or ~:END, with @ in front to alert inside it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ChildResult result = check(c.args);
        EXPECT_EQ(result.exitStatus, 3);
        EXPECT_EQ(result.output, "RAVENLINK UNKNOWN - " + c.reason + "\n");
        EXPECT_EQ(result.errors, "ravenlinkctl: " + c.reason + "\n" + ctl::usageText());
    }
    EXPECT_TRUE(station.requests().empty());
}

TEST(CtlCheckTimeout, StationThatDoesNotAnswerIsUnknown)
{
    PtyStation silent;
    const ChildResult result = runCtlHere({"-p", silent.port(), "-t", "100", "check", "--warning", "env.temp1=60"});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.output, "RAVENLINK UNKNOWN - IO Exception: receiveData: Data Receiver Timeout!\n");
}

// ---- named stations ----

namespace {

class CtlNamedStations : public testing::Test {
protected:
    CtlNamedStations()
    {
        answerWith(north, soundStatus);
        answerWith(south, failedTetherStatus);
    }

    // A bridge configuration with the three stations; "away" answers nothing.
    std::string file()
    {
        return "[broker]\nurl = mqtt://localhost\n[defaults]\ntimeout = 2000\ncommands = on\n"
               "[station north]\nport = " + north.port() + "\ninterval = 2\n"
               "[station south]\nport: " + south.port() + "\n"
               "[station away]\nport = " + away.port() + "\ntimeout = 100\n";
    }

    PtyStation north;
    PtyStation south;
    PtyStation away;
};

} // namespace

TEST_F(CtlNamedStations, StationNamedByItsIdIsReadOnItsPort)
{
    const ScratchFile stations("stations.conf", file());
    const ChildResult status = runCtlHere({"-s", "north", "--stations", stations.path(), "--json", "status"});
    EXPECT_EQ(status.exitStatus, 0) << status.errors;
    EXPECT_NE(status.output.find("\"cab\":{\"length\":23.1,"), std::string::npos) << status.output;
    // The environment names the file; -s wins over RAVENLINK_PORT.
    const ChildResult check = runCtlHere({"check", "--station", "south"},
                                         {"RAVENLINK_STATIONS=" + stations.path(), "RAVENLINK_PORT=" + north.port()});
    EXPECT_EQ(check.exitStatus, 2) << check.errors;
    EXPECT_EQ(lines(check.output)[0].rfind("RAVENLINK CRITICAL - tether failure detected |", 0), 0U) << check.output;
    // The file's own timeout: "away" gives up after 100 ms, not the 2000 of [defaults].
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(runCtlHere({"-s", "away", "--stations", stations.path(), "status"}).exitStatus, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
    // -t wins over the file's timeout.
    const ScratchFile slow("slow.conf", "[defaults]\ntimeout = 5000\n[station away]\nport = " + away.port() + "\n");
    const auto again = std::chrono::steady_clock::now();
    EXPECT_EQ(runCtlHere({"-s", "away", "-t", "100", "--stations", slow.path(), "status"}).exitStatus, 1);
    EXPECT_EQ(runCtlHere({"--all", "-t", "100", "--stations", slow.path(), "check"}).exitStatus, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::milliseconds(2500));
    EXPECT_EQ(north.requests().size(), 2U);  // handshake, status
}

TEST_F(CtlNamedStations, AllChecksEveryStationAndEndsWithTheWorst)
{
    const ScratchFile stations("stations.conf", file());
    const ChildResult all = runCtlHere({"--all", "--stations", stations.path(), "check"});
    EXPECT_EQ(all.exitStatus, 2) << all.errors;
    EXPECT_EQ(all.output, "north: RAVENLINK OK - no findings | " + soundPerfdata + "\n"
                          "south: RAVENLINK CRITICAL - tether failure detected | 'cab.length'=12m;;;0 'cab.speed'=0 "
                          "'cab.retTorque'=0%;;;0;100 'cab.retStart'=0m;;;0\n"
                          "away: RAVENLINK UNKNOWN - IO Exception: receiveData: Data Receiver Timeout!\n");
    // UNKNOWN over OK, WARNING over UNKNOWN.
    const ScratchFile two("two.conf", "[station north]\nport = " + north.port() + "\n[station away]\nport = " +
                                          away.port() + "\ntimeout = 100\n");
    EXPECT_EQ(runCtlHere({"check", "--all", "--stations", two.path()}).exitStatus, 3);
    const ChildResult warned = runCtlHere({"check", "--all", "--stations", two.path(), "--warning", "env.temp2=50"});
    EXPECT_EQ(warned.exitStatus, 1);
    EXPECT_EQ(lines(warned.output).size(), 2U) << warned.output;
    const ChildResult json = runCtlHere({"--json", "check", "--all", "--stations", two.path()});
    EXPECT_EQ(json.output, "{\"station\":\"north\",\"state\":\"ok\",\"findings\":[]}\n"
                           "{\"station\":\"away\",\"state\":\"unknown\",\"findings\":[],\"error\":\"IO Exception: "
                           "receiveData: Data Receiver Timeout!\"}\n");
}

TEST_F(CtlNamedStations, WrongNamesAndFilesAreUsageErrors)
{
    const ScratchFile stations("stations.conf", file());
    const ScratchFile broken("broken.conf", "[station north]\nport = /dev/a\n[station north]\nport = /dev/b\n");
    const ScratchFile folder("folder");
    ::mkdir(folder.path().c_str(), 0700);
    const std::string& path = stations.path();
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"-s", "west", "--stations", path, "status"}, "no station 'west' in " + path + "; the stations are north, south, away"},
        {{"-s", "north", "-p", north.port(), "--stations", path, "status"}, "-p and -s both name the port; give one of them"},
        {{"--all", "--stations", path, "status"}, "--all: only check reads every station"},
        {{"--all", "-s", "north", "--stations", path, "check"},
         "--all reads every station of the stations file; -p and -s name one"},
        {{"-s", "north", "--stations", broken.path(), "status"}, broken.path() + ": station north is named twice"},
        {{"-s", "north", "--stations", "/nonexistent/bridge.conf", "status"},
         "/nonexistent/bridge.conf: cannot read the configuration: No such file or directory"},
        {{"-s", "north", "--stations", folder.path(), "status"},
         folder.path() + ": cannot read the configuration: Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ChildResult result = runCtlHere(c.args);
        EXPECT_EQ(result.exitStatus, c.args.back() == "check" ? 3 : 2);
        EXPECT_EQ(lines(result.errors)[0], "ravenlinkctl: " + c.reason);
    }
    ::rmdir(folder.path().c_str());
    EXPECT_TRUE(north.requests().empty());
    // check keeps its convention for them.
    const ChildResult check = runCtlHere({"-s", "west", "--stations", path, "check"});
    EXPECT_EQ(check.exitStatus, 3);
    EXPECT_EQ(check.output, "RAVENLINK UNKNOWN - no station 'west' in " + path + "; the stations are north, south, away\n");
}
