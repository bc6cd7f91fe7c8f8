// The thresholds and performance data of check, as pure functions: the
// range syntax against the monitoring-plugin guidelines' own table, how
// states combine, and which readings the perfdata gives and how.
#include "CommandTable.h"
#include "HealthyStatus.h"
#include "Perfdata.h"
#include "Thresholds.h"

#include <StationJson.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <limits>

using namespace ctl;

namespace {

std::string usageFailure(const std::function<void()>& f)
{
    try {
        f();
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(no UsageError)";
}

} // namespace

TEST(CheckRange, GuidelinesTableAlertsWhereItSays)
{
    // The guidelines' examples: the range, and values that alert and that do not.
    const struct {
        std::string range;
        std::vector<double> alerts;
        std::vector<double> passes;
    } table[] = {
        {"10", {-0.5, -1, 10.01, 11, 1e9}, {0, 5, 10}},                  // < 0 or > 10
        {"10:", {9.99, 0, -20}, {10, 11, 1e30}},                         // < 10
        {"~:10", {10.01, 11, 1e30}, {10, 0, -1e30}},                     // > 10
        {"10:20", {9.99, 0, 20.01, 30}, {10, 15, 20}},                   // < 10 or > 20
        {"@10:20", {10, 15, 20}, {9.99, 20.01, -5, 100}},                // inside 10..20, bounds included
        {"-5:-1", {-5.5, 0, 1}, {-5, -3, -1}},
        {"@0", {0}, {-0.1, 0.1}},
        {"~:", {}, {-1e30, 0, 1e30}},
        {"@~:", {-1e30, 0, 1e30}, {}},
        {"1.5:2.25", {1.49, 2.26}, {1.5, 2.25}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.range);
        const AlertRange range = parseRange(row.range);
        EXPECT_EQ(range.text, row.range);
        for (const double value : row.alerts) {
            EXPECT_TRUE(range.alerts(value)) << value;
        }
        for (const double value : row.passes) {
            EXPECT_FALSE(range.alerts(value)) << value;
        }
    }
    const AlertRange open = parseRange("10:");
    EXPECT_EQ(open.start, 10.0);
    EXPECT_EQ(open.end, std::numeric_limits<double>::infinity());
}

TEST(CheckRange, MalformedRangesAreRefusedWithTheSyntax)
{
    const std::string syntax = "is no range: a range is END, START:, START:END or ~:END, with @ in front to alert inside it";
    for (const std::string text : {"", "@", "abc", "10:abc", "~", "10:~", ":10", "1:2:3", "0x10", "nan", "inf:", "10 ", "@@5"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(usageFailure([&] { parseRange(text); }), "'" + text + "' " + syntax);
    }
    EXPECT_EQ(usageFailure([] { parseRange("20:10"); }), "'20:10' is no range: its start lies above its end");
    EXPECT_EQ(usageFailure([] { parseRange("-1"); }), "'-1' is no range: its start lies above its end");
}

TEST(CheckRange, ThresholdsNameKnownReadingsOnce)
{
    const std::vector<Threshold> taken =
        parseThresholds({"env.temp1=60", "cab.length=@~:5"}, "--warning", readingLabels());
    ASSERT_EQ(taken.size(), 2U);
    EXPECT_EQ(taken[1].label, "cab.length");
    EXPECT_TRUE(taken[1].range.inverted);
    EXPECT_EQ(thresholdOf(taken, "env.temp1"), &taken[0]);
    EXPECT_EQ(thresholdOf(taken, "env.temp2"), nullptr);

    const struct {
        std::string text;
        std::string error;
    } refused[] = {
        {"env.temp1", "check: --critical: 'env.temp1' is not LABEL=RANGE"},
        {"cab.lenght=5", "check: --critical: 'cab.lenght' is no reading; the readings are the perfdata labels, such as "
                         "cab.length or env.temp1"},
        // A status code is judged as a finding, not against a range.
        {"cab.tetherStatus=1", "check: --critical: 'cab.tetherStatus' is no reading; the readings are the perfdata "
                               "labels, such as cab.length or env.temp1"},
        {"env.temp1=7:3", "check: --critical: env.temp1: '7:3' is no range: its start lies above its end"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(usageFailure([&] { parseThresholds({r.text}, "--critical", readingLabels()); }), r.error);
    }
    EXPECT_EQ(usageFailure([] { parseThresholds({"env.temp1=60", "env.temp1=70"}, "--warning", readingLabels()); }),
              "check: --warning: env.temp1 is given twice");
}

TEST(CheckRange, WorstStateRanksUnknownAboveOkOnly)
{
    EXPECT_EQ(worseState(checkOk, checkUnknown), checkUnknown);
    EXPECT_EQ(worseState(checkUnknown, checkWarning), checkWarning);
    EXPECT_EQ(worseState(checkCritical, checkUnknown), checkCritical);
    EXPECT_EQ(worseState(checkWarning, checkCritical), checkCritical);
    EXPECT_EQ(worseState(checkOk, checkOk), checkOk);
}

TEST(CheckPerfdata, ReadingsOfEveryGroupWithTheirUnits)
{
    SystemStatus status = ravenlinktest::measuredStatus();
    status.env.envSensor2Status = 2;    // temperature failure: no value
    status.env.envSensor3Status = 255;  // no such sensor: no reading
    status.env.fan2Status = 1;          // failed
    const std::vector<Reading> readings = readingsOf(status, StatusGroups::all());
    EXPECT_EQ(perfdata(readings, {}, {}),
              "'cab.length'=23.1m;;;0 'cab.speed'=-0.5 'cab.retTorque'=55%;;;0;100 'cab.retStart'=2.5m;;;0 "
              "'env.temp1'=33C 'env.temp2'=U 'env.temp4'=29C 'env.hum1'=44%;;;0;100 'env.press1'=1013;;;0 "
              "'env.fan1Rpm'=2400;;;0 'env.fan2Rpm'=U;;;0 'energyGS.mainsU'=230 'energyGS.mainsI'=0.362 "
              "'energyGS.mainsF'=50 'energyGS.batU'=80% 'energyUAV.uavSuplU'=48 'energyUAV.uavSuplI'=20 "
              "'energyUAV.uavPower'=960 'sysState.operationTime'=3600s;;;0 'sysState.flightTime'=600s;;;0 "
              "'sysState.flightTimeOpSum'=1200s;;;0 'sysState.flightCountOpSum'=3c;;;0");

    // Thresholds go into their fields, and are judged: critical over warning.
    const std::vector<Threshold> warning = parseThresholds({"env.temp1=30", "cab.length=@20:25"}, "--warning", readingLabels());
    const std::vector<Threshold> critical = parseThresholds({"env.temp1=~:32", "env.temp2=60"}, "--critical", readingLabels());
    const std::string data = perfdata(readings, warning, critical);
    EXPECT_NE(data.find("'cab.length'=23.1m;@20:25;;0 "), std::string::npos) << data;
    EXPECT_NE(data.find("'env.temp1'=33C;30;~:32 'env.temp2'=U;;60 "), std::string::npos) << data;
    const std::vector<ThresholdFinding> findings = judge(readings, warning, critical);
    ASSERT_EQ(findings.size(), 3U);
    EXPECT_EQ(findings[0].state, checkWarning);
    EXPECT_EQ(findings[0].text, "cab.length is 23.1m, inside the warning range @20:25");
    EXPECT_EQ(findings[1].state, checkCritical);
    EXPECT_EQ(findings[1].text, "env.temp1 is 33C, outside the critical range ~:32");
    EXPECT_EQ(findings[2].state, checkUnknown);
    EXPECT_EQ(findings[2].text, "env.temp2 has no value, so its threshold cannot be checked");
}

TEST(CheckPerfdata, UndeliveredGroupsAndAbsentPartsAreLeftOut)
{
    SystemStatus status = ravenlinktest::healthyStatus();
    status.energyGS.mainsStatus = 255;  // no mains input on this station
    status.energyGS.batStatus = 127;    // battery failure: no value
    status.env.envSensor1Status = 1;    // sensor 1 failed: temperature 1, humidity, pressure unknown
    status.cab.length = std::nanf("");
    StatusGroups delivered;
    delivered.cab = true;
    delivered.energyGS = true;
    EXPECT_EQ(perfdata(readingsOf(status, delivered), {}, {}),
              "'cab.length'=U;;;0 'cab.speed'=0 'cab.retTorque'=0%;;;0;100 'cab.retStart'=0m;;;0 'energyGS.batU'=U");
    delivered.cab = false;
    delivered.energyGS = false;
    delivered.env = true;
    EXPECT_EQ(perfdata(readingsOf(status, delivered), {}, {}),
              "'env.temp1'=U 'env.hum1'=U;;;0;100 'env.press1'=U;;;0");
    // A threshold on a reading that was not sent cannot pass.
    const std::vector<ThresholdFinding> findings =
        judge(readingsOf(status, delivered), parseThresholds({"cab.length=5"}, "--warning", readingLabels()), {});
    ASSERT_EQ(findings.size(), 1U);
    EXPECT_EQ(findings[0].state, checkUnknown);
    EXPECT_EQ(findings[0].text, "cab.length was not sent, so its threshold cannot be checked");
    EXPECT_EQ(perfdata(readingsOf(status, StatusGroups{}), {}, {}), "");
}

TEST(CheckPerfdata, LabelsAreThePathsOfStatusJson)
{
    std::vector<std::string> paths;
    for (const JsonField& field : toJsonFields(SystemStatus{})) {
        paths.push_back(field.name);
    }
    for (const std::string& label : readingLabels()) {
        EXPECT_NE(std::find(paths.begin(), paths.end(), label), paths.end()) << label;
    }
    EXPECT_EQ(readingLabels().size(), 23U);
}

TEST(CheckPerfdata, NumbersHaveNoExponent)
{
    SystemStatus status = ravenlinktest::healthyStatus();
    status.cab.length = 1e7F;
    status.cab.speed = 1e-7F;
    StatusGroups delivered;
    delivered.cab = true;
    const std::string data = perfdata(readingsOf(status, delivered), {}, {});
    EXPECT_EQ(data.rfind("'cab.length'=10000000m;;;0 'cab.speed'=0 ", 0), 0U) << data;
}
