// Judging the station's state: which findings are errors, which warnings,
// and which composites ask the station for what.
#include "HealthyStatus.h"
#include "LinkFixture.h"

#include <functional>

using namespace linktest;

namespace {

using ravenlinktest::healthyStatus;

uint8_t judge(const SystemStatus& status, const SystemDetails& details, bool checkMaintenance, bool& found)
{
    uint8_t severity = 77;
    found = StationLinkImpl::evaluateSystemState(status, details, severity, checkMaintenance);
    return severity;
}

// The severity of \p status, maintenance aside; it must have findings.
uint8_t severityOfFindings(const SystemStatus& status)
{
    bool found = false;
    const uint8_t severity = judge(status, SystemDetails{}, false, found);
    EXPECT_TRUE(found);
    return severity;
}

class SystemStateOnLine : public OpenLink {};

} // namespace

TEST(SystemState, HealthyStatusReportsNothing)
{
    bool found = true;
    EXPECT_EQ(judge(healthyStatus(), SystemDetails{}, true, found), 0);
    EXPECT_FALSE(found);

    // A status the station never sent is an error.
    EXPECT_EQ(severityOfFindings(SystemStatus{}), 1);
}

TEST(SystemState, EachErrorFindingGivesSeverityOne)
{
    const std::vector<std::function<void(SystemStatus&)>> errors = {
        [](SystemStatus& s) { s.sysState.error = 1; },          [](SystemStatus& s) { s.cab.tetherStatus = 3; },
        [](SystemStatus& s) { s.cab.guideStatus = 1; },          [](SystemStatus& s) { s.cab.reelStatus = 1; },
        [](SystemStatus& s) { s.energyUAV.extSuplStatus = 8; },  [](SystemStatus& s) { s.energyUAV.extSuplStatus = 16; },
        [](SystemStatus& s) { s.energyGS.ctrlSuplStatus = 1; },  [](SystemStatus& s) { s.energyGS.ctrlSuplStatus = 2; },
        [](SystemStatus& s) { s.energyGS.mainsStatus = 1; },     [](SystemStatus& s) { s.energyGS.mainsStatus = 2; },
        [](SystemStatus& s) { s.env.fan1Status = 1; },           [](SystemStatus& s) { s.env.fan2Status = 1; },
    };
    for (std::size_t i = 0; i < errors.size(); ++i) {
        SCOPED_TRACE(i);
        SystemStatus status = healthyStatus();
        errors[i](status);
        EXPECT_EQ(severityOfFindings(status), 1);
    }
}

TEST(SystemState, EachWarningFindingGivesSeverity128AndErrorsOutrankIt)
{
    const std::vector<std::function<void(SystemStatus&)>> warnings = {
        [](SystemStatus& s) { s.sysState.error = 128; },      [](SystemStatus& s) { s.cab.tetherStatus = 1; },
        [](SystemStatus& s) { s.cab.tetherStatus = 2; },       [](SystemStatus& s) { s.env.envSensor1Status = 1; },
        [](SystemStatus& s) { s.env.envSensor2Status = 2; },   [](SystemStatus& s) { s.env.envSensor3Status = 3; },
        [](SystemStatus& s) { s.env.envSensor4Status = 1; },
    };
    for (std::size_t i = 0; i < warnings.size(); ++i) {
        SCOPED_TRACE(i);
        SystemStatus status = healthyStatus();
        warnings[i](status);
        EXPECT_EQ(severityOfFindings(status), 128);
        status.energyGS.mainsStatus = 1;
        EXPECT_EQ(severityOfFindings(status), 1);
    }

    // Sensor code 4 and fan code 2 are no findings.
    SystemStatus status = healthyStatus();
    status.env.envSensor1Status = 4;
    status.env.fan1Status = 2;
    bool found = true;
    EXPECT_EQ(judge(status, SystemDetails{}, true, found), 0);
    EXPECT_FALSE(found);
}

TEST(SystemState, MaintenanceCountsOnlyWhenAskedFor)
{
    SystemDetails details;
    details.maintenanceRequired = 1;
    bool found = true;
    EXPECT_EQ(judge(healthyStatus(), details, false, found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(judge(healthyStatus(), details, true, found), 128);
    EXPECT_TRUE(found);
}

TEST_F(SystemStateOnLine, CompositesReadWhatTheyNeed)
{
    const std::string healthy =
        R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{},)"
        R"("CAB":{"TETHER_STATUS":0},"ENERGY_UAV":{"EXT_SUPL_STATUS":0},"SYS_STATE":{"ERROR":0}}})" "\n";
    const std::string maintenanceDue =
        R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"MAINTENANCE_REQUIRED":1}})" "\n";
    const std::string statusRequest = R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_STATUS":1}})";
    const std::string detailsRequest = R"({"COM":{"MSG_ID":$ID},"COMMAND":{"GET_SYSTEM_DETAILS":1}})";

    // Status, then details, maintenance included.
    station.then(PtyStation::reply(healthy));
    station.then(PtyStation::reply(maintenanceDue));
    uint8_t severity = 0;
    EXPECT_TRUE(link.evaluateSystemState(severity));
    EXPECT_EQ(severity, 128);
    auto requests = station.requests();
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(PtyStation::withoutId(requests[1]), statusRequest);
    EXPECT_EQ(PtyStation::withoutId(requests[2]), detailsRequest);

    // A status in hand: the details only when maintenance counts.
    EXPECT_FALSE(link.evaluateSystemState(healthyStatus(), severity, false));
    EXPECT_EQ(severity, 0);
    EXPECT_EQ(station.requests().size(), 3U);

    station.then(PtyStation::reply(maintenanceDue));
    EXPECT_TRUE(link.evaluateSystemState(healthyStatus(), severity, true));
    EXPECT_EQ(severity, 128);
    EXPECT_EQ(lastRequest(), detailsRequest);
}
