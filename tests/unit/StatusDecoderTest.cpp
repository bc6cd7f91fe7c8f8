// Decoding of GET_SYSTEM_STATUS replies into SystemStatus.
#include "Outcome.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ravenlinktest::failureOf;

// A reply as the station sends it in extended mode: every group, plus the
// keys that have no field (CTRL_SUPLn, EXT_SUPL_U/I, NETWORK_STATUS, ...).
const char* const recordedReply = R"({"COM":{"MSG_ID":4711,"COM_STATUS":0},"SYSTEM_STATUS":{
"CONFIG_STATUS":{"CAB":1,"ENV":1,"ENERGY_GS":1,"ENERGY_UAV":1,"SYS_STATE":1},
"CAB":{"LENGTH":1234,"SPEED":-25,"TETHER_STATUS":0,"GUIDE_STATUS":1,"REEL_STATUS":0,"RET_STATUS":16,"RET_TORQUE":55,"RET_START":30},
"ENV":{"TEMP1":-20,"TEMP2":21,"TEMP3":22,"TEMP4":23,"HUM1":45,"PRESS1":1013,"ENVSENSOR1_STATUS":0,"ENVSENSOR2_STATUS":1,
"ENVSENSOR3_STATUS":2,"ENVSENSOR4_STATUS":255,"FAN1_RPM":1200,"FAN2_RPM":1300,"FAN1_STATUS":0,"FAN2_STATUS":1},
"ENERGY_GS":{"MAINS_U":230,"MAINS_I":1500,"MAINS_F":50000,"MAINS_STATUS":0,"CTRL_SUPL_STATUS":2,"BAT_U":87,"BAT_STATUS":1,
"CTRL_SUPL1":12,"CTRL_SUPL6":5,"CTRL_SUPL1_STATUS":0,"CTRL_SUPL6_STATUS":0},
"ENERGY_UAV":{"EXT_SUPL_U":50,"EXT_SUPL_I":2,"UAV_SUPL_U":48000,"UAV_SUPL_I":20,"EXT_SUPL_STATUS":2,"UAV_SUPL_STATUS":0,"UAV_CELL_COUNT":40},
"SYS_STATE":{"ACTIVATION":16,"RET_STATUS":16,"BAT_STATUS":1,"FLIGHT_TIME":3725,"FLIGHT_TIME_OP_SUM":7200,
"FLIGHT_COUNT_OP_SUM":3,"OPERATION_TIME":90061,"SYSTEM_TIME":123456,"ERROR":0,"NETWORK_STATUS":0,"MEMORY_STATUS":0,"AUTH_ENABLE":1},
"FUTURE_GROUP":{"X":1}}})";

std::string statusReply(const std::string& members)
{
    return R"({"COM":{"MSG_ID":1000,"COM_STATUS":0},"SYSTEM_STATUS":{)" + members + "}}";
}

const std::string allFlagsZero = R"("CONFIG_STATUS":{"CAB":0,"ENV":0,"ENERGY_GS":0,"ENERGY_UAV":0,"SYS_STATE":0})";

// A record that differs from the defaults everywhere, to show what a call
// did not touch.
SystemStatus markedRecord()
{
    SystemStatus s;
    s.configStatus = {7, 7, 7, 7, 7};
    s.cab.length = 9.5F;
    s.cab.retStatus = 77;
    s.env.temp1 = 99.0F;
    s.energyGS.mainsF = 1.5F;
    s.energyUAV = {2.0F, 3.0F, 0.0F, 1, 6};
    s.sysState.systemTime = 42U;
    s.sysState.error = 0;
    return s;
}

} // namespace

TEST(StatusDecoder, DecodesRecordedReplyWithScaling)
{
    SystemStatus status;
    StationLinkImpl::processStatusData(recordedReply, status);

    EXPECT_EQ(status.configStatus, (ConfigStatus{1, 1, 1, 1, 1}));
    EXPECT_EQ(status.cab, (CableStatus{12.34F, -0.25F, 16, 55.0F, 0.3F, 0, 1, 0}));
    EXPECT_EQ(status.env, (EnvStatus{-20.0F, 21.0F, 22.0F, 23.0F, 45.0F, 1013.0F, 0, 1, 2, 255, 1200, 0, 1300, 1}));
    EXPECT_EQ(status.energyGS, (EnergyGSStatus{230.0F, 1.5F, 50.0F, 0, 2, 87.0F, 1}));
    EXPECT_EQ(status.energyUAV, (EnergyUAVStatus{48.0F, 20.0F, 960.0F, 2, 40}));
    EXPECT_EQ(status.sysState, (SysState{16, 16, 1, 123456U, 90061U, 3725U, 7200U, 3U, 0}));
    // Scaling happens in single precision: 1234 / 100 is the float nearest 12.34.
    EXPECT_EQ(status.cab.length, 1234.0F / 100.0F);
}

TEST(StatusDecoder, FlagsAloneChangeOnlyTheFlags)
{
    SystemStatus status = markedRecord();
    SystemStatus expected = status;
    expected.configStatus = ConfigStatus{};

    StationLinkImpl::processStatusData(statusReply(allFlagsZero), status);
    EXPECT_EQ(status, expected);
}

TEST(StatusDecoder, GroupsAreDecodedRegardlessOfFlags)
{
    // CAB arrives with flag 0 and is decoded; ENV has flag 1 but is absent
    // and stays as it was; ENERGY_GS is not an object and is skipped.
    SystemStatus status = markedRecord();
    const std::string reply = statusReply(
        R"("CONFIG_STATUS":{"CAB":0,"ENV":1,"ENERGY_GS":255,"ENERGY_UAV":0,"SYS_STATE":0},)"
        R"("CAB":{"LENGTH":250},"ENERGY_GS":[{"MAINS_F":1}],"SYS_STATE":null)");
    StationLinkImpl::processStatusData(reply, status);

    EXPECT_EQ(status.configStatus, (ConfigStatus{0, 1, 255, 0, 0}));
    EXPECT_EQ(status.cab.length, 2.5F);
    EXPECT_EQ(status.cab.retStatus, 77);
    EXPECT_EQ(status.env, markedRecord().env);
    EXPECT_EQ(status.energyGS, markedRecord().energyGS);
    EXPECT_EQ(status.sysState, markedRecord().sysState);
}

TEST(StatusDecoder, IllTypedKeysKeepTheirFields)
{
    for (const char* value : {"12.5", "12.0", "\"1234\"", "null", "true", "[1234]", "{\"V\":1}",
                              "18446744073709551616"}) {
        SCOPED_TRACE(value);
        SystemStatus status = markedRecord();
        const std::string v = value;
        const std::string reply = statusReply(
            R"("CONFIG_STATUS":{"CAB":)" + v + R"(,"ENV":1,"ENERGY_GS":1,"ENERGY_UAV":1,"SYS_STATE":1},)"
            R"("CAB":{"LENGTH":)" + v + R"(,"RET_STATUS":)" + v + R"(},"ENV":{"TEMP1":)" + v +
            R"(},"SYS_STATE":{"SYSTEM_TIME":)" + v + "}");
        StationLinkImpl::processStatusData(reply, status);

        EXPECT_EQ(status.configStatus.cab, 7);
        EXPECT_EQ(status.configStatus.env, 1);
        EXPECT_EQ(status.cab.length, 9.5F);
        EXPECT_EQ(status.cab.retStatus, 77);
        EXPECT_EQ(status.env.temp1, 99.0F);
        EXPECT_EQ(status.sysState.systemTime, 42U);
    }
}

TEST(StatusDecoder, UavPowerFollowsTheRecordWheneverTheGroupArrives)
{
    SystemStatus status = markedRecord();  // 2 V, 3 A, power 0
    StationLinkImpl::processStatusData(statusReply(allFlagsZero + R"(,"ENERGY_UAV":{})"), status);
    EXPECT_EQ(status.energyUAV.uavPower, 6.0F);

    StationLinkImpl::processStatusData(statusReply(allFlagsZero + R"(,"ENERGY_UAV":{"UAV_SUPL_I":5})"), status);
    EXPECT_EQ(status.energyUAV.uavPower, 10.0F);

    status.energyUAV.uavPower = 0.0F;
    StationLinkImpl::processStatusData(statusReply(allFlagsZero + R"(,"ENERGY_UAV":"48000")"), status);
    EXPECT_EQ(status.energyUAV.uavPower, 0.0F);
}

TEST(StatusDecoder, WideIntegersAreTruncatedToThirtyTwoBits)
{
    SystemStatus status;
    const std::string reply = statusReply(
        allFlagsZero + R"(,"CAB":{"RET_STATUS":4294967297,"LENGTH":4294967196},)"
                       R"("ENV":{"TEMP1":-4294967316,"FAN1_RPM":18446744073709551615},)"
                       R"("SYS_STATE":{"SYSTEM_TIME":4294967298,"FLIGHT_TIME":-1,"ERROR":-9223372036854775808})");
    StationLinkImpl::processStatusData(reply, status);

    EXPECT_EQ(status.cab.retStatus, 1);
    EXPECT_EQ(status.cab.length, -1.0F);  // 2^32 - 100 is -100 cm
    EXPECT_EQ(status.env.temp1, -20.0F);
    EXPECT_EQ(status.env.fan1Rpm, -1);
    EXPECT_EQ(status.sysState.systemTime, 2U);
    EXPECT_EQ(status.sysState.flightTime, 4294967295U);
    EXPECT_EQ(status.sysState.error, 0);
}

TEST(StatusDecoder, RejectsUnusableRepliesAndLeavesTheRecordAlone)
{
    const std::string allGroups = R"("CAB":{"LENGTH":1},"ENV":{},"ENERGY_GS":{},"ENERGY_UAV":{},"SYS_STATE":{})";
    const struct {
        std::string reply;
        const char* message;
    } cases[] = {
        {"", "Data Stream Exception: processStatusData: status data malformed"},
        {R"({"SYSTEM_STATUS":{)", "Data Stream Exception: processStatusData: status data malformed"},
        {R"({"A":1} {"B":2})", "Data Stream Exception: processStatusData: status data malformed"},
        {"null", "Data Stream Exception: processStatusData: status data malformed"},
        {R"([{"SYSTEM_STATUS":{}}])", "Data Stream Exception: processStatusData: status data malformed"},
        {"12", "Data Stream Exception: processStatusData: status data malformed"},
        {R"({"COM":{"MSG_ID":1000,"COM_STATUS":0}})",
         "Data Stream Exception: processStatusData: invalid status data format"},
        {R"({"SYSTEM_STATUS":null})", "Data Stream Exception: processStatusData: invalid status data format"},
        {R"({"SYSTEM_STATUS":"CONFIG_STATUS"})",
         "Data Stream Exception: processStatusData: invalid status data format"},
        {statusReply(allGroups), "Data Stream Exception: processStatusData: incomplete status data"},
        {statusReply(R"("CONFIG_STATUS":null,)" + allGroups),
         "Data Stream Exception: processStatusData: incomplete status data"},
        {statusReply(R"("CONFIG_STATUS":[1,1,1,1,1],)" + allGroups),
         "Data Stream Exception: processStatusData: incomplete status data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        SystemStatus status = markedRecord();
        EXPECT_EQ(failureOf<HALVERN::DataException>([&] { StationLinkImpl::processStatusData(c.reply, status); }),
                  c.message);
        EXPECT_EQ(status, markedRecord());
    }
}
