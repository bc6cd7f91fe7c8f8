// The real console program, driven through its standard input, against a
// scripted station on a pseudo-terminal: the start-up status, every menu
// option with its confirmation, and what each option put on the wire.
#include "ChildProcess.h"
#include "GoldenTexts.h"
#include "PtyStation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace golden;

namespace {

const std::string statusReply =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{)"
    R"("CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":255,"ENERGY_UAV":1,"SYS_STATE":1},)"
    R"("CAB":{"LENGTH":1250,"SPEED":-30,"TETHER_STATUS":0,"GUIDE_STATUS":0,"REEL_STATUS":0,)"
    R"("RET_STATUS":16,"RET_TORQUE":40,"RET_START":150},)"
    R"("ENERGY_UAV":{"UAV_SUPL_U":48000,"UAV_SUPL_I":20,"EXT_SUPL_STATUS":2,"UAV_CELL_COUNT":40},)"
    R"("SYS_STATE":{"ACTIVATION":16,"RET_STATUS":16,"BAT_STATUS":0,"FLIGHT_TIME":3725,)"
    R"("FLIGHT_TIME_OP_SUM":7200,"FLIGHT_COUNT_OP_SUM":3,"OPERATION_TIME":90061,"SYSTEM_TIME":5,"ERROR":0}}})"
    "\n";
const std::string detailsReply =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PRODUCT_TYPE":"Loftward GS","MODEL":"LW-2",)"
    R"("SN":"LW2-0042","DOP":"2026-03-01","HW_VERSION":"2.1",)"
    R"("SW_VERSION":{"MAIN_CTRL":"1.4.2","REEL_CTRL":"0.0.0","LPWR_CTRL":"0.0.0","HPWR_CTRL":"0.0.0",)"
    R"("ENV_CTRL":"0.0.0","NET_CTRL":"0.0.0","BBAT_CTRL":"0.0.0"},"PROTOCOL_VERSION":"1.20",)"
    R"("UAV_CELL_VOLTAGES":"4S HV","MAX_POWER":2000,"CABLE_TYPE":"Kevlar","MAX_CABLE_LENGTH":100,)"
    R"("NETWORK_TYPE":1,"FLIGHT_TIME_SUM":3600,"FLIGHT_COUNT":7,"OPERATION_TIME_SUM":7200,)"
    R"("OPERATION_COUNT":4,"SYSTEM_TIME_SUM":1,"SYSTEM_USE_COUNT":2,"TTM":90061,"MAINTENANCE_REQUIRED":0}})"
    "\n";
const std::string protocolReply =
    R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":"1.20"}})" "\n";
const std::string okReply = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0}})" "\n";

// Answers like a station would, by the command a request carries.
std::string answer(const std::string& request)
{
    if (request.find("GET_PROTOCOL") != std::string::npos) {
        return protocolReply;
    }
    if (request.find("GET_SYSTEM_STATUS") != std::string::npos) {
        return statusReply;
    }
    if (request.find("GET_SYSTEM_DETAILS") != std::string::npos) {
        return detailsReply;
    }
    return okReply;
}

} // namespace

TEST(ConsoleSession, EveryOptionAgainstAStation)
{
    PtyStation station;
    station.respondWith(answer);

    const std::string input = station.port() + "\n1\n2\n3\n4\n5\n12.5\n6\n1.15\n7\n2\n50\n1\n9\n500\n10\n8\n11\n";
    const auto result = ravenlinktest::runChildProcess(RAVENLINKAPP_PATH, {}, input);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0, result.exitStatus);

    const std::vector<std::string> expectedRequests = {
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_PROTOCOL":1}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_STATUS":1}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_STATUS":1}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_DETAILS":1}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":16}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":0}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_TORQUE":12}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_START":115}})",
        R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":16,"SET_RET_TORQUE":50,"SET_RET_START":200}})",
    };
    std::vector<std::string> requests;
    for (const std::string& request : station.requests()) {
        requests.push_back(PtyStation::withoutId(request));
    }
    EXPECT_EQ(expectedRequests, requests);

    const std::string& out = result.output;
    ASSERT_EQ(0U, out.rfind(startText(), 0)) << out;

    // Start-up report, then option 1 repeats it after a line end.
    const std::size_t firstReport = out.find("Current system status\n");
    ASSERT_NE(std::string::npos, firstReport);
    const std::size_t secondReport = out.find("Current system status\n", firstReport + 1);
    ASSERT_NE(std::string::npos, secondReport);
    EXPECT_EQ(menu + "\n", out.substr(secondReport - menu.size() - 1, menu.size() + 1));
    EXPECT_NE(std::string::npos, out.find("Cable length unwound: 12.500000 m\n"));
    EXPECT_NE(std::string::npos, out.find("Envrionment status data are disabled.\n"));
    EXPECT_NE(std::string::npos, out.find("Current operation time: 25:1:1\n"));

    const std::string afterDetails = menu + "\nProduct details:\nProduct type: Loftward GS\n";
    EXPECT_NE(std::string::npos, out.find(afterDetails));
    EXPECT_NE(std::string::npos, out.find("Software versions:\nMain control: 1.4.2\nused Communication"));

    const std::string tail =
        menu + "Halvern Loftward system successful activated!\n\n" +
        menu + "Halvern Loftward system successful deactivated!\n\n" +
        menu + torquePrompt + "Halvern Loftward system successful set cable retraction torque to 12.5%!\n\n" +
        menu + lengthPrompt + "Halvern Loftward system successful set cable retraction start length 1.15m!\n\n" +
        menu + lengthPrompt + torquePrompt + activationPrompt +
        "\nHalvern Loftward successful update system configuration\n"
        "set cable retraction start length: 2m\n"
        "set cable retraction torque: 50%\n"
        "Activate Halvern Loftward system\n\n" +
        menu + "Current connection timeout: 300ms\n" + timeoutPrompt +
        "Connection timeout is set to 500ms!\n\n" +
        menu + libraryInfo +
        menu +   // 8 does nothing
        menu;    // 11 ends the program
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(tail, out.substr(out.size() - tail.size()));
}

TEST(ConsoleSession, FailedCommandIsReportedAndTheNextOneWorks)
{
    PtyStation station;
    station.then(PtyStation::reply(protocolReply));
    station.then(PtyStation::reply(statusReply));
    station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":4}})" "\n"));
    station.then(PtyStation::silent());
    station.respondWith(answer);

    const std::string input = station.port() + "\n3\n5\n10\n4\n11\n";
    const auto result = ravenlinktest::runChildProcess(RAVENLINKAPP_PATH, {}, input);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0, result.exitStatus);

    const std::string tail = menu + "Data Stream Exception: checkReply: wrong command sent\n" +
                             menu + torquePrompt + "IO Exception: receiveData: Data Receiver Timeout!\n" +
                             menu + "Halvern Loftward system successful deactivated!\n\n" + menu;
    ASSERT_GE(result.output.size(), tail.size());
    EXPECT_EQ(tail, result.output.substr(result.output.size() - tail.size()));
}

TEST(ConsoleSession, SilentStationFailsTheOpenWithExitOne)
{
    PtyStation station;  // never answers the handshake
    const auto result = ravenlinktest::runChildProcess(RAVENLINKAPP_PATH, {}, station.port() + "\n1\n");
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ(startText() + "IO Exception: receiveData: Data Receiver Timeout!", result.output);
}
