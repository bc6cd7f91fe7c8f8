// The station simulator as a child process: it announces its pseudo-terminal,
// answers requests there in the shape the library reads, keeps settings,
// rejects what it cannot use, puts faults on the line on request, and ends
// cleanly on a signal.
#include "ChildProcess.h"
#include "Outcome.h"
#include "SimulatorProcess.h"
#include "StationLinkImpl.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using ravenlinktest::ChildResult;
using ravenlinktest::msSince;
using ravenlinktest::runChildProcess;
using ravenlinktest::Simulator;
using Clock = std::chrono::steady_clock;

std::string request(int msgId, const std::string& command)
{
    return R"({"COM":{"MSG_ID":)" + std::to_string(msgId) + R"(},"COMMAND":{)" + command + "}}";
}

nlohmann::json parsed(const std::string& reply)
{
    return nlohmann::json::parse(reply, nullptr, false);
}

int comStatus(const std::string& reply)
{
    const auto j = parsed(reply);
    return j.is_object() ? j["COM"].value("COM_STATUS", -1) : -1;
}

SystemConfig readConfig(Simulator& sim, int msgId)
{
    SystemConfig config{};
    StationLinkImpl::processSystemConfig(sim.ask(request(msgId, R"("GET_SYSTEM_CONFIG":1)")), config);
    return config;
}

std::string tempLinkPath()
{
    return "/tmp/ravenlinkstation-test-" + std::to_string(getpid()) + "-link";
}

} // namespace

TEST(StationSimulator, AnswersStatusRequestsInTheLibrarysShape)
{
    Simulator sim({"--seed", "7"});
    sim.connect();
    const std::string reply = sim.ask(request(4242, R"("GET_SYSTEM_STATUS":1)"));
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply.back(), '\n');
    EXPECT_EQ(reply.find('\n'), reply.size() - 1);
    EXPECT_EQ(parsed(reply)["COM"]["MSG_ID"], 4242);
    EXPECT_NO_THROW(StationLinkImpl::checkReply(reply, 4242));

    SystemStatus status;
    ASSERT_NO_THROW(StationLinkImpl::processStatusData(reply, status));
    EXPECT_EQ(status.configStatus, (ConfigStatus{1, 1, 1, 1, 1}));
    EXPECT_EQ(status.sysState.activation, 0);
    EXPECT_EQ(status.sysState.error, 0);
    EXPECT_EQ(status.cab.tetherStatus, 0);
    EXPECT_NEAR(status.energyGS.mainsU, 230.0F, 10.0F);
    EXPECT_NEAR(status.energyGS.mainsF, 50.0F, 0.5F);
}

TEST(StationSimulator, AnswersProtocolAndDetailsRequests)
{
    Simulator sim({});
    sim.connect();
    const std::string protocol = sim.ask(request(1001, R"("GET_PROTOCOL":1)"));
    EXPECT_EQ(parsed(protocol)["SYSTEM_DETAILS"], (nlohmann::json{{"PROTOCOL_VERSION", "1.20"}}));

    SystemDetails details;
    ASSERT_NO_THROW(StationLinkImpl::processSystemDetails(sim.ask(request(1002, R"("GET_SYSTEM_DETAILS":1)")),
                                                          details));
    EXPECT_EQ(details.protocolVersion, "1.20");
    EXPECT_FALSE(details.sn.empty());
    EXPECT_FALSE(details.swVersion.mainCtrl.empty());
    EXPECT_GT(details.maxCableLength, 0);
}

TEST(StationSimulator, KeepsSettingsAndRejectsWhatDoesNotFit)
{
    Simulator sim({});
    sim.connect();
    EXPECT_EQ(comStatus(sim.ask(request(1001, R"("SET_ACTIVATION":16,"SET_RET_TORQUE":55,"SET_RET_START":200)"))),
              0);
    EXPECT_EQ(readConfig(sim, 1002), (SystemConfig{true, 55.0F, 2.0F, 16}));
    SystemStatus status;
    StationLinkImpl::processStatusData(sim.ask(request(1003, R"("GET_SYSTEM_STATUS":1)")), status);
    EXPECT_EQ(status.sysState.activation, 16);
    EXPECT_EQ(status.cab.retTorque, 55.0F);
    EXPECT_EQ(status.cab.retStart, 2.0F);

    // Out of range or of the wrong type: status 5, nothing changes.
    EXPECT_EQ(comStatus(sim.ask(request(1004, R"("SET_RET_TORQUE":150)"))), 5);
    EXPECT_EQ(comStatus(sim.ask(request(1005, R"("SET_ACTIVATION":0,"SET_RET_START":"2")"))), 5);
    EXPECT_EQ(readConfig(sim, 1006), (SystemConfig{true, 55.0F, 2.0F, 16}));

    EXPECT_EQ(comStatus(sim.ask(request(1007, R"("SET_ACTIVATION":0)"))), 0);
    const std::string config = sim.ask(request(1008, R"("GET_SYSTEM_CONFIG":1)"));
    EXPECT_EQ(parsed(config)["SYSTEM_CONFIG"]["ACTIVATION"], 0);
}

TEST(StationSimulator, SwitchesStatusGroups)
{
    Simulator sim({});
    sim.connect();
    EXPECT_EQ(comStatus(sim.ask(request(1001, R"("CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":1,)"
                                              R"("ENERGY_UAV":0,"SYS_STATE":1})"))),
              0);
    const auto status = parsed(sim.ask(request(1002, R"("GET_SYSTEM_STATUS":1)")))["SYSTEM_STATUS"];
    EXPECT_EQ(status["CONFIG_STATUS"], (nlohmann::json{{"CAB", 1}, {"ENV", 0}, {"ENERGY_GS", 1},
                                                         {"ENERGY_UAV", 0}, {"SYS_STATE", 1}}));
    EXPECT_TRUE(status.contains("CAB"));
    EXPECT_FALSE(status.contains("ENV"));
    EXPECT_FALSE(status.contains("ENERGY_UAV"));
}

TEST(StationSimulator, RejectsUnknownCommandsAndUnparsableRequests)
{
    Simulator sim({});
    sim.connect();
    const std::string unknown = sim.ask(request(1001, R"("GET_WEATHER":1)"));
    EXPECT_EQ(parsed(unknown)["COM"]["MSG_ID"], 1001);
    try {
        StationLinkImpl::checkReply(unknown, 1001);
        FAIL() << unknown;
    } catch (const HALVERN::DataException& e) {
        EXPECT_STREQ(e.what(), "Data Stream Exception: checkReply: wrong command sent");
    }
    const std::string garbage = sim.ask("{\"COM\":{\"MSG_ID\":1002},\"COMM");
    try {
        StationLinkImpl::checkReply(garbage, 1002);
        FAIL() << garbage;
    } catch (const HALVERN::DataException& e) {
        EXPECT_STREQ(e.what(), "Data Stream Exception: checkReply: sent request malformed");
    }
    EXPECT_EQ(comStatus(sim.ask("\x15\x02 noise")), 3);
    // Still answering afterwards.
    EXPECT_EQ(comStatus(sim.ask(request(1003, R"("GET_SYSTEM_STATUS":1)"))), 0);
}

TEST(StationSimulator, StateMovesOnWhileActivated)
{
    Simulator sim({"--activated", "--seed", "3"});
    sim.connect();
    SystemStatus first;
    StationLinkImpl::processStatusData(sim.ask(request(1001, R"("GET_SYSTEM_STATUS":1)")), first);
    std::this_thread::sleep_for(1200ms);
    SystemStatus second;
    StationLinkImpl::processStatusData(sim.ask(request(1002, R"("GET_SYSTEM_STATUS":1)")), second);
    EXPECT_EQ(second.sysState.activation, 16);
    EXPECT_GT(second.sysState.operationTime, first.sysState.operationTime);
    EXPECT_GT(second.sysState.systemTime, first.sysState.systemTime);
    EXPECT_FALSE(second == first);
}

TEST(StationSimulator, SignalsEndItAndRemoveTheLink)
{
    const std::string link = tempLinkPath();
    {
        Simulator sim({"--link", link});
        const std::string path = sim.readyPath();
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(path, target);
        EXPECT_EQ(sim.stop(SIGTERM), 0);
        struct stat info {};
        EXPECT_NE(lstat(link.c_str(), &info), 0);
    }
    Simulator sim({});
    sim.connect();
    EXPECT_EQ(sim.stop(SIGINT), 0);
}

TEST(StationSimulator, VanishesAfterTheGivenRequests)
{
    const std::string link = tempLinkPath();
    Simulator sim({"--vanish-after", "1", "--link", link});
    sim.connect();
    EXPECT_EQ(comStatus(sim.ask(request(1001, R"("GET_SYSTEM_CONFIG":1)"))), 0);
    EXPECT_EQ(sim.waitExit(10s), 0);
    struct stat info {};
    EXPECT_NE(lstat(link.c_str(), &info), 0);
}

TEST(StationSimulator, StationsOfOneProcessKeepTheirOwnState)
{
    const std::string link = tempLinkPath();
    Simulator sim({"--count", "3", "--link", link, "--seed", "11"});
    std::vector<std::string> paths;
    for (int i = 1; i <= 3; ++i) {
        paths.push_back(sim.readyPath());
        ASSERT_FALSE(paths.back().empty()) << "station " << i;
        char target[256] = {};
        ASSERT_GT(readlink((link + "-" + std::to_string(i)).c_str(), target, sizeof target - 1), 0) << i;
        EXPECT_EQ(paths.back(), target);
    }
    EXPECT_NE(paths[0], paths[1]);
    EXPECT_NE(paths[1], paths[2]);
    ravenlinktest::StationLine first(link + "-1");
    ravenlinktest::StationLine second(link + "-2");
    ravenlinktest::StationLine third(link + "-3");
    ASSERT_TRUE(first.isOpen() && second.isOpen() && third.isOpen());

    // A setting on one station is not seen on another.
    EXPECT_EQ(comStatus(first.ask(request(1001, R"("SET_ACTIVATION":16,"SET_RET_TORQUE":55,"SET_RET_START":200)"))),
              0);
    EXPECT_EQ(comStatus(second.ask(request(2001, R"("SET_RET_TORQUE":20)"))), 0);
    SystemConfig config{};
    StationLinkImpl::processSystemConfig(first.ask(request(1002, R"("GET_SYSTEM_CONFIG":1)")), config);
    EXPECT_EQ(config, (SystemConfig{true, 55.0F, 2.0F, 16}));
    const auto secondConfig = parsed(second.ask(request(2002, R"("GET_SYSTEM_CONFIG":1)")))["SYSTEM_CONFIG"];
    EXPECT_EQ(secondConfig["ACTIVATION"], 0);
    EXPECT_EQ(secondConfig["RET_TORQUE"], 20);
    const auto thirdConfig = parsed(third.ask(request(3001, R"("GET_SYSTEM_CONFIG":1)")))["SYSTEM_CONFIG"];
    EXPECT_EQ(thirdConfig["ACTIVATION"], 0);
    EXPECT_NE(thirdConfig["RET_TORQUE"], 55);
    EXPECT_NE(thirdConfig["RET_TORQUE"], 20);

    // Each answers its own request ids, also when both ask at once.
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(parsed(third.ask(request(3100 + round, R"("GET_SYSTEM_STATUS":1)")))["COM"]["MSG_ID"], 3100 + round);
        EXPECT_EQ(parsed(first.ask(request(1100 + round, R"("GET_SYSTEM_STATUS":1)")))["COM"]["MSG_ID"], 1100 + round);
    }

    // One signal ends them all and removes every link.
    EXPECT_EQ(sim.stop(SIGTERM), 0);
    for (int i = 1; i <= 3; ++i) {
        struct stat info {};
        EXPECT_NE(lstat((link + "-" + std::to_string(i)).c_str(), &info), 0) << i;
    }
}

// Stations of one process answer at the same time without mixing their
// replies: each keeps its own request ids and its own settings however the
// requests interleave.
TEST(StationSimulator, StationsOfOneProcessAnswerAtOnceWithoutMixing)
{
    const std::string link = tempLinkPath();
    constexpr int kStations = 3;
    Simulator sim({"--count", std::to_string(kStations), "--link", link});
    for (int i = 0; i < kStations; ++i) {
        ASSERT_FALSE(sim.readyPath().empty());
    }
    std::vector<std::string> mixups[kStations];
    std::vector<std::thread> clients;
    for (int i = 0; i < kStations; ++i) {
        clients.emplace_back([&, i] {
            ravenlinktest::StationLine line(link + "-" + std::to_string(i + 1));
            const int torque = 20 + 10 * i;
            const int base = 1000 * (i + 1);
            if (comStatus(line.ask(request(base, R"("SET_RET_TORQUE":)" + std::to_string(torque)))) != 0) {
                mixups[i].push_back("torque not set");
                return;
            }
            for (int n = 1; n <= 400; ++n) {
                const auto reply = parsed(line.ask(request(base + n, R"("GET_SYSTEM_STATUS":1,"GET_SYSTEM_CONFIG":1)")));
                if (!reply.is_object() || reply["COM"]["MSG_ID"] != base + n ||
                    reply["SYSTEM_CONFIG"]["RET_TORQUE"] != torque) {
                    mixups[i].push_back(reply.dump());
                }
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    for (int i = 0; i < kStations; ++i) {
        EXPECT_TRUE(mixups[i].empty()) << "station " << i + 1 << ": " << mixups[i].size() << " mixed, first "
                                       << (mixups[i].empty() ? "" : mixups[i].front());
    }
}

TEST(StationSimulator, StationsOfOneProcessVanishOneByOne)
{
    const std::string link = tempLinkPath();
    Simulator sim({"--count", "2", "--link", link, "--vanish-after", "1"});
    ASSERT_FALSE(sim.readyPath().empty());
    ASSERT_FALSE(sim.readyPath().empty());
    {
        ravenlinktest::StationLine first(link + "-1");
        EXPECT_EQ(comStatus(first.ask(request(1001, R"("GET_SYSTEM_CONFIG":1)"))), 0);
    }
    // The second still serves after the first has gone.
    const auto deadline = Clock::now() + 10s;
    struct stat info {};
    while (lstat((link + "-1").c_str(), &info) == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_NE(lstat((link + "-1").c_str(), &info), 0);
    ravenlinktest::StationLine second(link + "-2");
    EXPECT_EQ(comStatus(second.ask(request(2001, R"("GET_SYSTEM_CONFIG":1)"))), 0);
    EXPECT_EQ(sim.waitExit(10s), 0);
    EXPECT_NE(lstat((link + "-2").c_str(), &info), 0);
}

TEST(StationSimulator, FaultOptionsShapeTheReplies)
{
    {
        Simulator sim({"--no-reply"});
        sim.connect();
        sim.send(request(1001, R"("GET_SYSTEM_STATUS":1)"));
        EXPECT_EQ(sim.receive(300ms), "");
    }
    {
        Simulator sim({"--late"});
        sim.connect();
        sim.send(request(1001, R"("GET_SYSTEM_CONFIG":1)"));
        EXPECT_EQ(sim.receive(300ms), "");
        EXPECT_EQ(parsed(sim.ask(request(1002, R"("GET_SYSTEM_CONFIG":1)")))["COM"]["MSG_ID"], 1001);
    }
    {
        Simulator sim({"--com-status", "2", "--wrong-id"});
        sim.connect();
        const auto reply = parsed(sim.ask(request(1001, R"("GET_SYSTEM_CONFIG":1)")));
        EXPECT_EQ(reply["COM"]["COM_STATUS"], 2);
        EXPECT_NE(reply["COM"]["MSG_ID"], 1001);
    }
    {
        Simulator sim({"--garbage"});
        sim.connect();
        EXPECT_FALSE(parsed(sim.ask(request(1001, R"("GET_SYSTEM_CONFIG":1)"))).is_object());
    }
    {
        Simulator sim({"--noise", "--delay", "300", "--stall", "100"});
        sim.connect();
        const auto start = Clock::now();
        const std::string reply = sim.ask(request(1001, R"("GET_SYSTEM_CONFIG":1)"));
        EXPECT_GE(msSince(start), 350);
        ASSERT_NE(reply.find('{'), std::string::npos);
        EXPECT_GT(reply.find('{'), 0U);
        EXPECT_EQ(comStatus(reply.substr(reply.find('{'))), 0);
    }
}

TEST(StationSimulator, PacedRepliesKeepToTheWireRate)
{
    Simulator sim({"--paced"});
    sim.connect();
    const auto start = Clock::now();
    const std::string reply = sim.ask(request(1001, R"("GET_SYSTEM_STATUS":1)"));
    const auto took = Clock::now() - start;
    ASSERT_GT(reply.size(), 800U);
    // 11520 bytes per second at most; only the lower bound is certain.
    EXPECT_GE(took, std::chrono::microseconds(reply.size() * 86806 / 1000 * 8 / 10));
}

TEST(StationSimulator, DocumentsItsOptionsAndRefusesUnknownOnes)
{
    const ChildResult help = runChildProcess(RAVENLINKSTATION_PATH, {"-h"}, "");
    for (const char* option : {"--link", "--port", "--activated", "--extended", "--seed", "--verbose",
                               "--no-reply", "--delay", "--com-status", "--garbage", "--noise", "--wrong-id",
                               "--late", "--stall", "--paced", "--flood", "--vanish-after", "--count", "--sensors"}) {
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(runChildProcess(RAVENLINKSTATION_PATH, {"--no-such-option"}, "").exitStatus, 2);
}

TEST(StationSimulator, CommandLineMistakesAreNamedAndEndWithStatusTwo)
{
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--no-such-option"}, "unknown option \"--no-such-option\""},
        {{"extra"}, "unknown option \"extra\""},
        {{"--delay"}, "--delay needs a value"},
        {{"--delay", "3600001"}, "--delay needs a whole number from 0 to 3600000, not \"3600001\""},
        {{"--com-status=-1"}, "--com-status needs a whole number from 0 to 65535, not \"-1\""},
        {{"--seed", "12x"}, "--seed needs a whole number from 0 to 4294967295, not \"12x\""},
        {{"--late=1"}, "--late takes no value"},
        {{"--link", "a", "--port", "b"}, "--link makes a link to a pseudo-terminal; it cannot go with --port"},
        {{"--count", "0"}, "--count needs a whole number from 1 to 1024, not \"0\""},
        {{"--sensors", "5"}, "--sensors needs a whole number from 1 to 4, not \"5\""},
        {{"--count", "2", "--port", "/dev/null"}, "--count serves pseudo-terminals; it cannot go with --port"},
    };
    for (const auto& c : cases) {
        const ChildResult result = runChildProcess(RAVENLINKSTATION_PATH, c.args, "");
        EXPECT_EQ(result.exitStatus, 2) << c.error;
        EXPECT_EQ(result.errors, "ravenlinkstation: " + c.error + "\nTry -h for the options.\n");
    }
    // An option may be given twice (the last counts), and -h wins over the rest.
    const ChildResult help = runChildProcess(RAVENLINKSTATION_PATH, {"--delay", "5", "--delay", "6", "-h"}, "");
    EXPECT_EQ(help.exitStatus, 0) << help.errors;
    EXPECT_EQ(help.output.rfind("Usage: ", 0), 0U);
}
