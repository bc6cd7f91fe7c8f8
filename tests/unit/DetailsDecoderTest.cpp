// Decoding of GET_SYSTEM_DETAILS and GET_SYSTEM_CONFIG replies.
#include "Outcome.h"
#include "StationLinkImpl.h"

#include <StationJson.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using ravenlinktest::failureOf;

const char* const recordedDetails = R"({"COM":{"MSG_ID":2048,"COM_STATUS":0},"SYSTEM_DETAILS":{
"PRODUCT_TYPE":"Loftward GS","MODEL":"LW-400","SN":"SN-000123","DOP":"2023-04-05","HW_VERSION":"2.1",
"SW_VERSION":{"MAIN_CTRL":"1.4.2","REEL_CTRL":"1.1.0","LPWR_CTRL":"0.9.1","HPWR_CTRL":"0.9.2","ENV_CTRL":"1.0.0",
"NET_CTRL":"0.0.0","BBAT_CTRL":"2.0.7"},
"PROTOCOL_VERSION":"1.20","UAV_CELL_VOLTAGES":"LiHV 4.35V","MAX_POWER":2400,"CABLE_TYPE":"T-100",
"MAX_CABLE_LENGTH":100,"NETWORK_TYPE":2,"FLIGHT_TIME_SUM":360000,"FLIGHT_COUNT":120,"OPERATION_TIME_SUM":720000,
"OPERATION_COUNT":80,"SYSTEM_TIME_SUM":900000,"SYSTEM_USE_COUNT":95,"TTM":90061,"MAINTENANCE_REQUIRED":0}})";

std::string detailsReply(const std::string& members)
{
    return R"({"COM":{"MSG_ID":1000,"COM_STATUS":0},"SYSTEM_DETAILS":{)" + members + "}}";
}

std::string configReply(const std::string& members)
{
    return R"({"COM":{"MSG_ID":1000,"COM_STATUS":0},"SYSTEM_CONFIG":{)" + members + "}}";
}

SystemDetails markedDetails()
{
    SystemDetails d;
    d.sn = "old-sn";
    d.swVersion.mainCtrl = "old-main";
    d.maxPower = 7;
    d.flightCount = 9U;
    return d;
}

template <typename Record, typename Decode>
void expectRejected(Decode decode, const std::string& reply, const char* message, const Record& before)
{
    SCOPED_TRACE(reply);
    Record record = before;
    EXPECT_EQ(failureOf<HALVERN::DataException>([&] { decode(reply, record); }), message);
    EXPECT_EQ(record, before);
}

} // namespace

TEST(DetailsDecoder, DecodesRecordedReply)
{
    SystemDetails details;
    StationLinkImpl::processSystemDetails(recordedDetails, details);

    // Every member, in the form that names each one.
    EXPECT_EQ(toJson(details),
              R"({"productType":"Loftward GS","model":"LW-400","sn":"SN-000123","dop":"2023-04-05","hwVersion":"2.1",)"
              R"("swVersion":{"mainCtrl":"1.4.2","reelCtrl":"1.1.0","lpwrCtrl":"0.9.1","hpwrCtrl":"0.9.2",)"
              R"("envCtrl":"1.0.0","netCtrl":"0.0.0","bbatCtrl":"2.0.7"},"protocolVersion":"1.20",)"
              R"("uavCellVoltages":"LiHV 4.35V","maxPower":2400,"cableType":"T-100","maxCableLength":100,)"
              R"("networkType":2,"flightTimeSum":360000,"flightCount":120,"operationTimeSum":720000,)"
              R"("operationCount":80,"systemTimeSum":900000,"systemUseCount":95,"ttm":90061,"maintenanceRequired":0})");
}

TEST(DetailsDecoder, SkipsMissingAndIllTypedMembers)
{
    SystemDetails details;
    StationLinkImpl::processSystemDetails(detailsReply(""), details);
    EXPECT_EQ(details, SystemDetails{});

    details = markedDetails();
    StationLinkImpl::processSystemDetails(
        detailsReply(R"("SN":12345,"MAX_POWER":"500","SW_VERSION":"1.4.2","FLIGHT_COUNT":1.5,)"
                     R"("MODEL":null,"DOP":["2023"],"NETWORK_TYPE":true,"TTM":18446744073709551616,"HW_VERSION":"3.0")"),
        details);
    SystemDetails expected = markedDetails();
    expected.hwVersion = "3.0";
    EXPECT_EQ(details, expected);

    details = markedDetails();
    StationLinkImpl::processSystemDetails(detailsReply(R"("SW_VERSION":{"REEL_CTRL":"1.1.0","ENV_CTRL":7})"), details);
    EXPECT_EQ(details.swVersion, (SwVersions{"old-main", "1.1.0", "", "", "", "", ""}));
}

TEST(DetailsDecoder, CountersAreTruncatedToTheirWidth)
{
    SystemDetails details;
    StationLinkImpl::processSystemDetails(
        detailsReply(R"("FLIGHT_COUNT":4294967301,"OPERATION_COUNT":-1,"MAX_POWER":4294967295,)"
                     R"("NETWORK_TYPE":18446744073709551615)"),
        details);
    EXPECT_EQ(details.flightCount, 5U);
    EXPECT_EQ(details.operationCount, 4294967295U);
    EXPECT_EQ(details.maxPower, -1);
    EXPECT_EQ(details.networkType, -1);
}

TEST(DetailsDecoder, RejectsUnusableReplies)
{
    const auto decode = &StationLinkImpl::processSystemDetails;
    const SystemDetails before = markedDetails();
    expectRejected(decode, "{\"SYSTEM_DETAILS\":", "Data Stream Exception: processSystemDetails: system data malformed",
                   before);
    expectRejected(decode, "", "Data Stream Exception: processSystemDetails: system data malformed", before);
    expectRejected(decode, "null", "Data Stream Exception: processSystemDetails: status data malformed", before);
    expectRejected(decode, R"(["SYSTEM_DETAILS"])", "Data Stream Exception: processSystemDetails: status data malformed",
                   before);
    expectRejected(decode, R"({"COM":{"MSG_ID":1000,"COM_STATUS":0}})",
                   "Data Stream Exception: processSystemDetails: invalid status data format", before);
    expectRejected(decode, R"({"SYSTEM_DETAILS":"SN"})",
                   "Data Stream Exception: processSystemDetails: invalid status data format", before);
}

TEST(ConfigDecoder, DecodesActivationCodesAndScaling)
{
    const struct {
        const char* activation;
        bool expected;
    } codes[] = {{"16", true}, {"1", true}, {"0", false}, {"2", false}, {"4294967297", true}, {"17", false}};
    for (const auto& c : codes) {
        SCOPED_TRACE(c.activation);
        SystemConfig config{!c.expected, 1.0F, 1.0F, 1};
        StationLinkImpl::processSystemConfig(
            configReply(std::string(R"("ACTIVATION":)") + c.activation +
                        R"(,"RET_STATUS":2,"RET_TORQUE":55,"RET_START":30)"),
            config);
        EXPECT_EQ(config, (SystemConfig{c.expected, 55.0F, 0.3F, 2}));
        EXPECT_EQ(config.retStart, 30.0F / 100.0F);
    }
}

TEST(ConfigDecoder, SkipsMissingAndIllTypedMembers)
{
    const SystemConfig before{true, 40.0F, 1.5F, 16};
    SystemConfig config = before;
    StationLinkImpl::processSystemConfig(configReply(""), config);
    EXPECT_EQ(config, before);

    StationLinkImpl::processSystemConfig(
        configReply(R"("ACTIVATION":false,"RET_STATUS":"2","RET_TORQUE":55.0,"RET_START":null)"), config);
    EXPECT_EQ(config, before);
}

TEST(ConfigDecoder, RejectsUnusableReplies)
{
    const auto decode = &StationLinkImpl::processSystemConfig;
    const SystemConfig before{true, 40.0F, 1.5F, 16};
    expectRejected(decode, "SYSTEM_CONFIG", "Data Stream Exception: getSystemConfig: system configuration data malformed",
                   before);
    expectRejected(decode, "null", "Data Stream Exception: getSystemConfig: system configuration data malformed",
                   before);
    expectRejected(decode, "[]", "Data Stream Exception: getSystemConfig: system configuration data malformed", before);
    expectRejected(decode, R"({"COM":{"MSG_ID":1000,"COM_STATUS":0}})",
                   "Data Stream Exception: getSystemConfig: invalid system configuration data format", before);
    expectRejected(decode, R"({"SYSTEM_CONFIG":[1,2,55,30]})",
                   "Data Stream Exception: getSystemConfig: invalid system configuration data format", before);
}
