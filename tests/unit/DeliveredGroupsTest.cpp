// Which status groups a reply carried, and what follows from it: a group the
// station did not send is neither judged nor written as if it were a reading.
#include "HealthyStatus.h"
#include "StationLinkImpl.h"

#include <StationJson.h>
#include <SystemFindings.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string statusReply(const std::string& groups)
{
    return R"({"COM":{"MSG_ID":1000,"COM_STATUS":0},"SYSTEM_STATUS":{)"
           R"("CONFIG_STATUS":{"CAB":0,"ENV":1,"ENERGY_GS":1,"ENERGY_UAV":0,"SYS_STATE":0})" +
           groups + "}}";
}

std::vector<std::string> texts(const std::vector<SystemFinding>& findings)
{
    std::vector<std::string> out;
    for (const SystemFinding& finding : findings) {
        out.push_back(finding.text);
    }
    return out;
}

} // namespace

TEST(DeliveredGroups, DecoderMarksExactlyTheGroupsThatCame)
{
    SystemStatus status;
    StatusGroups delivered = StatusGroups::all();
    StationLinkImpl::processStatusData(statusReply(R"(,"ENV":{"TEMP1":21},"ENERGY_GS":{})"), status, delivered);
    StatusGroups expected;
    expected.env = true;
    expected.energyGS = true;
    EXPECT_EQ(delivered, expected);
    EXPECT_EQ(status.env.temp1, 21.0F);

    // A group that is not an object is not delivered either.
    StationLinkImpl::processStatusData(statusReply(R"(,"CAB":5,"SYS_STATE":null)"), status, delivered);
    EXPECT_EQ(delivered, StatusGroups());
}

TEST(DeliveredGroups, FindingsComeOnlyFromGroupsThatCame)
{
    // A fresh record reads as faults everywhere; with nothing delivered
    // nothing is found, with one group only that group's faults.
    const SystemStatus fresh;
    const SystemDetails details;
    EXPECT_TRUE(findSystemFindings(fresh, StatusGroups(), details, false).empty());
    StatusGroups cabOnly;
    cabOnly.cab = true;
    EXPECT_EQ(texts(findSystemFindings(fresh, cabOnly, details, false)),
              std::vector<std::string>{"tether failure detected"});
    EXPECT_EQ(texts(findSystemFindings(fresh, StatusGroups::all(), details, false)),
              texts(findSystemFindings(fresh, details, false)));

    // Every rule belongs to the group its field is in.
    SystemStatus status = ravenlinktest::healthyStatus();
    status.sysState.error = 1;
    status.env.fan1Status = 1;
    status.energyGS.mainsStatus = 1;
    status.energyUAV.extSuplStatus = 8;
    StatusGroups envAndGs;
    envAndGs.env = true;
    envAndGs.energyGS = true;
    EXPECT_EQ(texts(findSystemFindings(status, envAndGs, details, false)),
              (std::vector<std::string>{"fan 1 failure", "mains voltage error"}));

    // Maintenance comes from the details, whatever the status delivered.
    SystemDetails due;
    due.maintenanceRequired = 1;
    EXPECT_EQ(texts(findSystemFindings(fresh, StatusGroups(), due, true)),
              std::vector<std::string>{"maintenance necessary"});
}

TEST(DeliveredGroups, JsonWritesGroupsThatDidNotComeAsNull)
{
    SystemStatus status;
    status.configStatus = {0, 1, 0, 0, 0};
    status.env.temp1 = 21.5F;
    StatusGroups envOnly;
    envOnly.env = true;
    const std::string json = toJson(status, envOnly);
    EXPECT_EQ(json.substr(0, json.find(R"(,"env":{"temp1")")),
              R"({"configStatus":{"cab":0,"env":1,"energyGS":0,"energyUAV":0,"sysState":0},"cab":null)");
    EXPECT_NE(json.find(R"("cab":null,"env":{"temp1":21.5,)"), std::string::npos);
    EXPECT_EQ(json.substr(json.rfind(",\"energyGS\":")), R"(,"energyGS":null,"energyUAV":null,"sysState":null})");
    EXPECT_EQ(toJson(status, StatusGroups::all()), toJson(status));

    // The flat form keeps every name, so a CSV header stays the same.
    const std::vector<JsonField> all = toJsonFields(status);
    const std::vector<JsonField> some = toJsonFields(status, envOnly);
    ASSERT_EQ(some.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(all[i].name);
        EXPECT_EQ(some[i].name, all[i].name);
        const bool kept = all[i].name.rfind("configStatus.", 0) == 0 || all[i].name.rfind("env.", 0) == 0;
        EXPECT_EQ(some[i].value, kept ? all[i].value : "null");
    }
}
