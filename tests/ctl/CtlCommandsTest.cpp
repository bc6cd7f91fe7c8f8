// Every command of ravenlinkctl against the station simulator, and against
// scripted stations where a reply must be known byte for byte; in-process.
#include "CtlSupport.h"
#include "PtyStation.h"
#include "SimulatorProcess.h"
#include "StationLinkImpl.h"

#include <ReportText.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace ctltest;

namespace {

const std::string protocolReply = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":"1.20"}})" "\n";

// A status with one warning (the cable fully unwound) and nothing else wrong.
const std::string warningStatus =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":0,)"
    R"("ENERGY_UAV":1,"SYS_STATE":1},"CAB":{"LENGTH":10050,"TETHER_STATUS":2},"ENERGY_UAV":{"EXT_SUPL_STATUS":0},)"
    R"("SYS_STATE":{"ERROR":0}}})" "\n";

// The cable group sent, with a failed tether.
const std::string failedTetherStatus =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":0,)"
    R"("ENERGY_UAV":0,"SYS_STATE":0},"CAB":{"LENGTH":1200,"TETHER_STATUS":3}}})" "\n";

const std::string maintenanceDetails =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"SN":"LW\u00e9-7","MAINTENANCE_REQUIRED":1}})" "\n";

// A station that gives its protocol version, \p status and the details that
// ask for maintenance.
void answerWith(PtyStation& station, const std::string& status)
{
    station.respondWith([status](const std::string& request) {
        if (request.find("GET_PROTOCOL") != std::string::npos) {
            return protocolReply;
        }
        return request.find("GET_SYSTEM_STATUS") != std::string::npos ? status : maintenanceDetails;
    });
}

std::vector<std::string> portArgs(const std::string& port, std::vector<std::string> args)
{
    args.insert(args.begin(), {"-p", port});
    return args;
}

// \p text with the performance data of check's first line cut off: the
// simulator's readings differ from run to run.
std::string withoutPerfdata(std::string text)
{
    const std::size_t bar = text.find(" | ");
    return bar == std::string::npos ? text : text.erase(bar, text.find('\n', bar) - bar);
}

nlohmann::json jsonOf(const ChildResult& result)
{
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(lines(result.output).size(), 1U) << result.output;
    return nlohmann::json::parse(result.output, nullptr, false);
}

class CtlAgainstSimulator : public testing::Test {
protected:
    ravenlinktest::Simulator station{{"--seed", "11"}};
    std::string port = station.readyPath();

    ChildResult run(const std::vector<std::string>& args) { return runCtlHere(portArgs(port, args)); }
};

} // namespace

TEST_F(CtlAgainstSimulator, WritesAreConfirmedAndShowInTheNextRead)
{
    ASSERT_FALSE(port.empty());
    const struct {
        std::vector<std::string> args;
        std::string text;
    } writes[] = {
        {{"activate"}, "Halvern Loftward system successful activated!\n"},
        {{"--json", "activate"}, "{\"ok\":true}\n"},
        {{"deactivate"}, "Halvern Loftward system successful deactivated!\n"},
        // The confirmations name what was sent: the torque's fraction and the
        // start length's part below a centimetre are cut off.
        {{"torque", "42.7"}, "Halvern Loftward system successful set cable retraction torque to 42%!\n"},
        {{"torque", "42.7", "--json"}, "{\"ok\":true,\"sent\":42}\n"},
        {{"torque", "50.999"}, "Halvern Loftward system successful set cable retraction torque to 50%!\n"},
        {{"start-length", "1.15", "--json"}, "{\"ok\":true,\"sent\":115}\n"},
        {{"start-length", "2.999"}, "Halvern Loftward system successful set cable retraction start length 2.99m!\n"},
        {{"start-length", "2.5"}, "Halvern Loftward system successful set cable retraction start length 2.5m!\n"},
        {{"config"}, "activation: off\nretTorque: 50\nretStart: 2.5\nretStatus: 0\n"},
        {{"configure", "--activation", "off", "--torque", "33.9", "--start-length", "0.999"},
         "Halvern Loftward successful update system configuration: activation off, cable retraction torque 33%, "
         "cable retraction start length 0.99m\n"},
        {{"config"}, "activation: off\nretTorque: 33\nretStart: 0.99\nretStatus: 0\n"},
        {{"configure", "--activation", "on", "--torque", "60", "--start-length", "3"},
         "Halvern Loftward successful update system configuration: activation on, cable retraction torque 60%, "
         "cable retraction start length 3m\n"},
        {{"config", "--json"}, "{\"activation\":true,\"retTorque\":60,\"retStart\":3,\"retStatus\":16}\n"},
        {{"configure", "--json", "--activation", "off", "--torque", "0", "--start-length", "0.3"}, "{\"ok\":true}\n"},
        {{"groups"}, "cab: 1\nenv: 1\nenergy-gs: 1\nenergy-uav: 1\nsys-state: 1\n"},
        {{"groups", "env=0", "energy-gs=0"}, "cab: 1\nenv: 0\nenergy-gs: 0\nenergy-uav: 1\nsys-state: 1\n"},
        {{"groups", "--json"}, "{\"cab\":1,\"env\":0,\"energyGS\":0,\"energyUAV\":1,\"sysState\":1}\n"},
        {{"groups", "env=1", "energy-gs=1"}, "cab: 1\nenv: 1\nenergy-gs: 1\nenergy-uav: 1\nsys-state: 1\n"},
        {{"check"}, "RAVENLINK OK - no findings\n"},
        {{"check", "--json"}, "{\"state\":\"ok\",\"findings\":[]}\n"},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(testing::PrintToString(w.args));
        const ChildResult result = run(w.args);
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        EXPECT_EQ(withoutPerfdata(result.output), w.text);
        EXPECT_EQ(result.errors, "");
    }
}

TEST_F(CtlAgainstSimulator, ReadsGiveReportsAndOneLineJson)
{
    ASSERT_FALSE(port.empty());
    const ChildResult status = run({"status"});
    EXPECT_EQ(status.exitStatus, 0);
    EXPECT_EQ(status.output.rfind("Current system status\nCable status data:\n", 0), 0U) << status.output;
    const ChildResult details = run({"details"});
    EXPECT_EQ(details.output.rfind("Product details:\nProduct type: ", 0), 0U) << details.output;

    const nlohmann::json statusJson = jsonOf(run({"--json", "status"}));
    EXPECT_EQ(statusJson["configStatus"]["cab"], 1);
    EXPECT_TRUE(statusJson["cab"]["length"].is_number());
    const nlohmann::json detailsJson = jsonOf(run({"details", "--json"}));
    EXPECT_EQ(detailsJson["protocolVersion"], "1.20");
    EXPECT_TRUE(detailsJson["swVersion"]["mainCtrl"].is_string());
}

TEST_F(CtlAgainstSimulator, GroupsSwitchedOffAreNoReadingAndNoFault)
{
    ASSERT_FALSE(port.empty());
    // A group the station does not send leaves its fields at the record's
    // defaults, which would read as a failed tether, a system error, ...
    ASSERT_EQ(run({"groups", "cab=0"}).exitStatus, 0);
    const std::string text = run({"check"}).output;
    EXPECT_EQ(withoutPerfdata(text), "RAVENLINK OK - no findings\n");
    EXPECT_EQ(text.find("'cab."), std::string::npos) << text;
    EXPECT_NE(text.find(" | 'env.temp1'="), std::string::npos) << text;
    const nlohmann::json status = jsonOf(run({"--json", "status"}));
    EXPECT_TRUE(status["cab"].is_null()) << status;
    EXPECT_EQ(status["configStatus"]["cab"], 0);
    EXPECT_TRUE(status["env"].is_object());
    EXPECT_NE(run({"--json", "status"}).output.find("\"cab\":null,"), std::string::npos);

    ASSERT_EQ(run({"groups", "cab=1", "energy-uav=0", "sys-state=0"}).exitStatus, 0);
    const ChildResult check = run({"check", "--json"});
    EXPECT_EQ(check.exitStatus, 0);
    EXPECT_EQ(check.output, "{\"state\":\"ok\",\"findings\":[]}\n");
    const nlohmann::json fewer = jsonOf(run({"--json", "status"}));
    EXPECT_TRUE(fewer["energyUAV"].is_null() && fewer["sysState"].is_null()) << fewer;
    EXPECT_TRUE(fewer["cab"]["length"].is_number());
}

TEST(CtlAgainstScriptedStation, ReportsAreTheConsolesByteForByte)
{
    PtyStation station;
    answerWith(station, warningStatus);
    SystemStatus status;
    SystemDetails details;
    StationLinkImpl::processStatusData(PtyStation::withId(warningStatus, "\"MSG_ID\":1"), status);
    StationLinkImpl::processSystemDetails(PtyStation::withId(maintenanceDetails, "\"MSG_ID\":1"), details);
    // The console's reports, in UTF-8.
    std::ostringstream report;
    StationLinkImpl::printSystemStatus(status, report);
    EXPECT_EQ(runCtlHere({"-p", station.port(), "status"}).output, reportToUtf8(report.str()));
    report.str("");
    StationLinkImpl::printSystemDetails(details, report);
    EXPECT_EQ(runCtlHere({"-p", station.port(), "details"}).output, reportToUtf8(report.str()));
    EXPECT_EQ(jsonOf(runCtlHere({"-p", station.port(), "details", "--json"}))["sn"], "LW\xC3\xA9-7");

    const ChildResult check = runCtlHere({"-p", station.port(), "check"});
    EXPECT_EQ(check.exitStatus, 1);
    // The fields of a group the station sent without them are its defaults.
    EXPECT_EQ(check.output, "RAVENLINK WARNING - tether maximum unwoundable length reached, maintenance necessary | "
                            "'cab.length'=100.5m;;;0 'cab.speed'=0 'cab.retTorque'=0%;;;0;100 'cab.retStart'=0m;;;0 "
                            "'energyUAV.uavSuplU'=0 'energyUAV.uavSuplI'=0 'energyUAV.uavPower'=0 "
                            "'sysState.operationTime'=0s;;;0 'sysState.flightTime'=0s;;;0 "
                            "'sysState.flightTimeOpSum'=0s;;;0 'sysState.flightCountOpSum'=0c;;;0\n"
                            "WARNING: tether maximum unwoundable length reached\n"
                            "WARNING: maintenance necessary\n");
}

TEST(CtlAgainstScriptedStation, CheckNamesAFaultAndPortComesFromTheEnvironment)
{
    PtyStation station;
    answerWith(station, failedTetherStatus);
    const ChildResult text = runCtlHere({"check"}, {"RAVENLINK_PORT=" + station.port()});
    EXPECT_EQ(text.exitStatus, 2);
    EXPECT_EQ(text.output, "RAVENLINK CRITICAL - tether failure detected, maintenance necessary | 'cab.length'=12m;;;0 "
                           "'cab.speed'=0 'cab.retTorque'=0%;;;0;100 'cab.retStart'=0m;;;0\n"
                           "CRITICAL: tether failure detected\nWARNING: maintenance necessary\n");
    const ChildResult json = runCtlHere({"-p", station.port(), "check", "--json"});
    EXPECT_EQ(json.exitStatus, 2);
    EXPECT_EQ(json.output, "{\"state\":\"critical\",\"findings\":[{\"severity\":\"error\",\"text\":\"tether "
                           "failure detected\"},{\"severity\":\"warning\",\"text\":\"maintenance necessary\"}]}\n");
}

TEST(CtlAgainstScriptedStation, VerboseShowsEveryLineWithControlBytesVisible)
{
    PtyStation station;
    station.then(PtyStation::reply(protocolReply));
    station.then(PtyStation::reply("\x1b[2J{\"COM\":{\"MSG_ID\":$ID,\"COM_STATUS\":0}}\n"));
    const ChildResult result = runCtlHere({"-v", "-p", station.port(), "activate"});
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    const std::vector<std::string> trace = lines(result.errors);
    ASSERT_EQ(trace.size(), 4U) << result.errors;
    EXPECT_EQ(PtyStation::withoutId(trace[0]), R"(> {"COM":{"MSG_ID":$ID},"COMMAND":{"GET_PROTOCOL":1}})");
    EXPECT_EQ(trace[1].rfind("< {\"COM\":{\"MSG_ID\":", 0), 0U);
    EXPECT_EQ(PtyStation::withoutId(trace[2]), R"(> {"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":16}})");
    EXPECT_EQ(trace[3].find('\x1b'), std::string::npos);
    EXPECT_NE(trace[3].find("\\x1b[2J"), std::string::npos) << trace[3];
}

TEST(CtlAgainstSimulatorTimeout, TimeoutIsSetBeforeTheHandshake)
{
    // A fresh station for each run: a late reply left on the line belongs to
    // no later exchange.
    for (const bool longEnough : {false, true}) {
        ravenlinktest::Simulator slow({"--delay", "500"});
        const std::string port = slow.readyPath();
        ASSERT_FALSE(port.empty());
        const ChildResult result = runCtlHere({"-t", longEnough ? "3000" : "300", "-p", port, "--json", "status"});
        if (longEnough) {
            EXPECT_EQ(result.exitStatus, 0) << result.errors;
        } else {
            EXPECT_EQ(result.exitStatus, 1);
            EXPECT_EQ(result.errors, "IO Exception: receiveData: Data Receiver Timeout!\n");
            EXPECT_EQ(result.output, "");
        }
    }
}

TEST_F(CtlAgainstSimulator, OutputThatCannotBeWrittenIsAFailure)
{
    ASSERT_FALSE(port.empty());
    std::ostream closed(nullptr);
    std::ostringstream err;
    CommandLine config({"-p", port, "config"});
    EXPECT_EQ(ctl::run(config.argc(), config.argv(), closed, err), 1);
    EXPECT_EQ(err.str(), "ravenlinkctl: cannot write to standard output\n");
    // A monitoring system must not read an unwritten result as OK.
    CommandLine check({"-p", port, "check"});
    EXPECT_EQ(ctl::run(check.argc(), check.argv(), closed, err), 3);
}

TEST(CtlPorts, ListsThePortsAsTextOrJson)
{
    const ChildResult text = runCtlHere({"ports"});
    EXPECT_EQ(text.exitStatus, 0);
    const nlohmann::json list = jsonOf(runCtlHere({"ports", "--json"}));
    ASSERT_TRUE(list.is_array());
    EXPECT_EQ(lines(text.output).size(), list.size());
    for (const auto& entry : list) {
        EXPECT_EQ(entry.size(), 4U);
        EXPECT_TRUE(entry["port"].is_string() && entry["description"].is_string() && entry["hardwareId"].is_string());
        EXPECT_TRUE(entry["byId"].is_array());
    }
}

TEST(CtlPorts, StableNamesStandBesideTheirDevices)
{
    // A folder of links as udev makes them (relative or not), to pseudo-
    // terminals, which the port list itself does not look for.
    PtyStation first;
    PtyStation second;
    const ScratchFile folder("by-id");
    ASSERT_EQ(::mkdir(folder.path().c_str(), 0700), 0);
    const std::string dir = folder.path();
    const std::string a = dir + "/usb-Maker_Reel_A1-if00-port0";
    const std::string alias = dir + "/usb-Maker_Reel_A1-if00-port0-alias";
    const std::string b = dir + "/usb-Maker_Reel_B2-if00-port0";
    ASSERT_EQ(::symlink(first.port().c_str(), a.c_str()), 0);
    ASSERT_EQ(::symlink(("../../.." + first.port()).c_str(), alias.c_str()), 0);
    ASSERT_EQ(::symlink(second.port().c_str(), b.c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/ttyUSB9", (dir + "/usb-Gone-if00-port0").c_str()), 0);
    const ScratchFile plain("by-id/README", "not a link");

    const ChildResult text = runCtlHere({"ports"}, {"RAVENLINK_SERIAL_BY_ID=" + dir});
    EXPECT_EQ(text.exitStatus, 0) << text.errors;
    const std::vector<std::string> rows = lines(text.output);
    for (const std::string& row : {first.port() + "\tn/a\tn/a\t" + a + " " + alias, second.port() + "\tn/a\tn/a\t" + b}) {
        EXPECT_EQ(std::count(rows.begin(), rows.end(), row), 1) << row << "\n" << text.output;
    }
    EXPECT_EQ(text.output.find("Gone"), std::string::npos);
    EXPECT_EQ(text.output.find("README"), std::string::npos);

    const nlohmann::json list = jsonOf(runCtlHere({"--json", "ports"}, {"RAVENLINK_SERIAL_BY_ID=" + dir}));
    ASSERT_EQ(list.size(), rows.size());
    bool found = false;
    for (const auto& entry : list) {
        if (entry["port"] == second.port()) {
            found = true;
            EXPECT_EQ(entry["byId"], nlohmann::json::array({b}));
        } else if (entry["port"] != first.port()) {
            EXPECT_EQ(entry["byId"], nlohmann::json::array()) << entry;
        }
    }
    EXPECT_TRUE(found);
    for (const std::string& link : {a, alias, b, dir + "/usb-Gone-if00-port0"}) {
        std::remove(link.c_str());
    }
    std::remove(plain.path().c_str());
    ::rmdir(dir.c_str());
}
