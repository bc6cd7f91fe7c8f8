// The device commands on the wire: their exact requests, their receive
// waits, the command lock, and the decoding that follows a reading command.
#include "LinkFixture.h"

#include <atomic>
#include <functional>
#include <future>
#include <thread>

using namespace linktest;

namespace {

class Commands : public OpenLink {};

const std::string statusGroupReply = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{}}})" "\n";
const std::string detailsGroupReply = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{}})" "\n";
const std::string configGroupReply = R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_CONFIG":{}})" "\n";

struct CommandCase {
    const char* name;
    std::function<void(StationLinkImpl&)> call;
    std::string reply;
    std::string request;  // id blanked
    int waitFactor;       // receive wait in connection timeouts
};

std::vector<CommandCase> everyCommand()
{
    SystemConfig config;
    config.activation = false;
    config.retTorque = 50.0F;
    config.retStart = 2.0F;
    ConfigStatus flags;
    flags.cab = 1;
    flags.env = 0;
    flags.energyGS = 1;
    flags.energyUAV = 255;
    flags.sysState = 1;
    SystemStatus status;
    SystemDetails details;
    SystemConfig readConfig;
    return {
        {"getSystemStatus", [status](StationLinkImpl& l) mutable { l.getSystemStatus(status); }, statusGroupReply,
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_STATUS":1}})", 1},
        {"getSystemDetails", [details](StationLinkImpl& l) mutable { l.getSystemDetails(details); }, detailsGroupReply,
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_DETAILS":1}})", 10},
        {"getSystemConfig", [readConfig](StationLinkImpl& l) mutable { l.getSystemConfig(readConfig); },
         configGroupReply, R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_CONFIG":1}})", 1},
        {"activate", [](StationLinkImpl& l) { l.setSystemActivation(true); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":16}})", 30},
        {"deactivate", [](StationLinkImpl& l) { l.setSystemActivation(false); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":0}})", 30},
        {"torque below range", [](StationLinkImpl& l) { l.setCableRetractionTorque(-5.0F); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_TORQUE":0}})", 1},
        {"torque above range", [](StationLinkImpl& l) { l.setCableRetractionTorque(150.0F); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_TORQUE":100}})", 1},
        {"short start length", [](StationLinkImpl& l) { l.setCableRetractionStartLength(0.1F); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_START":30}})", 1},
        {"start length", [](StationLinkImpl& l) { l.setCableRetractionStartLength(12.5F); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_START":1250}})", 1},
        {"setSystemConfig", [config](StationLinkImpl& l) { l.setSystemConfig(config); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_ACTIVATION":0,"SET_RET_TORQUE":50,"SET_RET_START":200}})", 30},
        {"setSystemStatusConfig", [flags](StationLinkImpl& l) { l.setSystemStatusConfig(flags); }, okReply(),
         R"({"COM":{"MSG_ID":$ID},"COMMAND":{"CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":1,"ENERGY_UAV":255,"SYS_STATE":1}}})", 30},
    };
}

} // namespace

TEST_F(Commands, EachSendsItsExactRequest)
{
    for (const CommandCase& command : everyCommand()) {
        SCOPED_TRACE(command.name);
        station.then(PtyStation::reply(command.reply));
        command.call(link);
        EXPECT_EQ(lastRequest(), command.request);
        EXPECT_GE(PtyStation::messageId(station.requests().back()), 1000U);
    }
    EXPECT_EQ(station.requests().size(), everyCommand().size() + 1);
}

TEST_F(Commands, ReceiveWaitIsOneTenOrThirtyTimesTheTimeout)
{
    // With 40 ms the waits are 40, 400 and 1200 ms. A reply after 200 ms
    // tells 1x from 10x, one after 800 ms tells 10x from 30x; every margin
    // is at least 160 ms, so a loaded machine cannot blur them.
    link.setConnectionTimeout(40);
    const std::string timeout = "IO Exception: receiveData: Data Receiver Timeout!";
    for (const CommandCase& command : everyCommand()) {
        SCOPED_TRACE(command.name);
        for (const int delay : {200, 800}) {
            station.then(PtyStation::replyAfter(Ms(delay), command.reply));
            if (delay < 40 * command.waitFactor) {
                EXPECT_NO_THROW(command.call(link));
            } else {
                EXPECT_EQ(failureOf<HALVERN::IOException>([&] { command.call(link); }), timeout);
            }
            ASSERT_TRUE(station.waitForScript(Ms(2000)));
            if (command.waitFactor == 1) {
                break;  // the longer delay tells nothing new
            }
        }
    }
}

TEST_F(Commands, SecondCommandFailsWhileTheLineIsBusyAndSendsNothing)
{
    // The activation's reply is held back until the second command has
    // given up, well inside the activation's 1.5 s wait.
    link.setConnectionTimeout(50);
    std::promise<void> secondDone;
    std::shared_future<void> release = secondDone.get_future().share();
    station.then([release](PtyStation::Line& line, const std::string& request) {
        release.wait_for(Ms(1000));
        line.write(PtyStation::withId(okReply(), request));
    });
    auto first = std::async(std::launch::async, [this] { link.setSystemActivation(true); });
    ASSERT_TRUE(station.waitForRequests(2, Ms(1000)));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.setCableRetractionTorque(10.0F); }),
              "IO Exception: setCableRetractionTorque: Communication timeout");
    const long long waited = msSince(start);
    secondDone.set_value();
    EXPECT_GE(waited, 40);
    EXPECT_LT(waited, 1000);

    EXPECT_NO_THROW(first.get());
    EXPECT_EQ(station.requests().size(), 2U);
    EXPECT_EQ(station.unfinishedRequest(), "");

    // The lock was given back with the reply.
    station.then(PtyStation::reply(okReply()));
    link.setCableRetractionTorque(11.0F);
    EXPECT_EQ(lastRequest(), R"({"COM":{"MSG_ID":$ID},"COMMAND":{"SET_RET_TORQUE":11}})");
}

TEST_F(Commands, LockIsReleasedWhenAnExchangeFails)
{
    link.setConnectionTimeout(30);
    SystemStatus status;
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.getSystemStatus(status); }),
              "IO Exception: receiveData: Data Receiver Timeout!");
    station.then(PtyStation::reply(statusReply(5)));
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.setCableRetractionTorque(1.0F); }),
              "Data Stream Exception: checkReply: data does not fit to sent command");
    station.then(PtyStation::reply(okReply()));
    EXPECT_NO_THROW(link.setCableRetractionTorque(2.0F));
}

TEST_F(Commands, StateQueriesFromAnotherThreadWhileACommandRuns)
{
    // A monitoring thread asks for the link state while commands run and
    // one of them finds the device gone. Run under ThreadSanitizer, this is
    // where a data race on the state would show.
    std::atomic<bool> done{false};
    std::atomic<int> connectedSeen{0};
    std::thread watcher([&] {
        while (!done) {
            connectedSeen += link.isConnected() && link.getConnectionStatus() == 1 ? 1 : 0;
        }
    });
    station.then(PtyStation::replyAfter(Ms(20), okReply()));
    EXPECT_NO_THROW(link.setCableRetractionTorque(12.0F));
    SystemStatus status;
    EXPECT_EQ(failureOf<HALVERN::IOException>([&] { link.getSystemStatus(status); }),
              "IO Exception: receiveData: Data Receiver Timeout!");
    done = true;
    watcher.join();
    EXPECT_GT(connectedSeen.load(), 0);
    EXPECT_TRUE(link.isConnected());
}

TEST_F(Commands, ReadingCommandsHandTheReplyToTheirDecoder)
{
    station.then(PtyStation::reply(
        R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":255,"ENERGY_UAV":1,"SYS_STATE":0}}})"
        "\n"));
    ConfigStatus flags;
    flags.cab = 7;
    link.getSystemStatusConfig(flags);
    EXPECT_EQ(flags.cab, 1);
    EXPECT_EQ(flags.env, 0);
    EXPECT_EQ(flags.energyGS, 255);
    EXPECT_EQ(flags.energyUAV, 1);
    EXPECT_EQ(flags.sysState, 0);
    EXPECT_EQ(lastRequest(), R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_STATUS":1}})");

    station.then(PtyStation::reply(okReply()));
    SystemConfig config;
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.getSystemConfig(config); }),
              "Data Stream Exception: getSystemConfig: invalid system configuration data format");
}

TEST_F(Commands, PrintSystemInfoPrintsNothingWhenTheStatusFails)
{
    station.then(PtyStation::reply(statusReply(4)));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { link.printSystemInfo(); }),
              "Data Stream Exception: checkReply: wrong command sent");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(station.requests().size(), 2U);  // the details were not asked for
}

TEST_F(Commands, PrintSystemInfoPrintsStatusThenDetails)
{
    station.then(PtyStation::reply(statusGroupReply));
    station.then(PtyStation::reply(detailsGroupReply));
    std::ostringstream expected;
    StationLinkImpl::printSystemStatus(SystemStatus{}, expected);
    StationLinkImpl::printSystemDetails(SystemDetails{}, expected);

    ::testing::internal::CaptureStdout();
    link.printSystemInfo();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected.str());
    const auto requests = station.requests();
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(PtyStation::withoutId(requests[1]), R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_STATUS":1}})");
    EXPECT_EQ(PtyStation::withoutId(requests[2]), R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_DETAILS":1}})");
}
