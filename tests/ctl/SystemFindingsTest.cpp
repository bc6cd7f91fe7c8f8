// The findings in words: which words each fault gives, in which order, and
// that the library's severity follows them.
#include "HealthyStatus.h"

#include <StationLink.h>
#include <SystemFindings.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

using ravenlinktest::healthyStatus;

std::vector<std::string> texts(const std::vector<SystemFinding>& findings)
{
    std::vector<std::string> all;
    for (const SystemFinding& f : findings) {
        all.push_back((f.severity == FindingSeverity::error ? "E " : "W ") + f.text);
    }
    return all;
}

} // namespace

TEST(SystemFindings, EachFaultIsNamedAndSeverityFollows)
{
    const struct {
        std::function<void(SystemStatus&)> fault;
        std::vector<std::string> expected;
    } cases[] = {
        {[](SystemStatus&) {}, {}},
        {[](SystemStatus& s) { s.cab.tetherStatus = 3; }, {"E tether failure detected"}},
        {[](SystemStatus& s) { s.cab.tetherStatus = 2; }, {"W tether maximum unwoundable length reached"}},
        {[](SystemStatus& s) { s.energyGS.mainsStatus = 1; }, {"E mains voltage error"}},
        {[](SystemStatus& s) { s.energyGS.mainsStatus = 2; }, {"E mains parameters out of range"}},
        {[](SystemStatus& s) { s.energyGS.ctrlSuplStatus = 2; }, {"E control supply out of range"}},
        {[](SystemStatus& s) { s.energyUAV.extSuplStatus = 16; }, {"E UAV external supply no load detected"}},
        {[](SystemStatus& s) { s.cab.reelStatus = 1; }, {"E cable reel motor failure detected"}},
        {[](SystemStatus& s) { s.env.fan2Status = 1; }, {"E fan 2 failure"}},
        {[](SystemStatus& s) { s.sysState.error = 128; }, {"W system warning"}},
        {[](SystemStatus& s) { s.env.envSensor3Status = 3; }, {"W environment sensor 3 humidity failure"}},
        // Codes that are no fault give nothing: 255 is a missing part, 4 a pressure failure.
        {[](SystemStatus& s) { s.cab.guideStatus = 255; s.env.envSensor1Status = 4; }, {}},
        // Errors come first, whatever the fields' order.
        {[](SystemStatus& s) { s.env.envSensor1Status = 1; s.env.fan1Status = 1; s.sysState.error = 1; },
         {"E generic system error", "E fan 1 failure", "W environment sensor 1 sensor failure"}},
    };
    for (const auto& c : cases) {
        SystemStatus status = healthyStatus();
        c.fault(status);
        const std::vector<SystemFinding> findings = findSystemFindings(status, SystemDetails{}, true);
        SCOPED_TRACE(testing::PrintToString(c.expected));
        EXPECT_EQ(texts(findings), c.expected);

        uint8_t severity = 77;
        StationLink link;
        EXPECT_EQ(link.evaluateSystemState(status, SystemDetails{}, severity, true), !findings.empty());
        EXPECT_EQ(severity, severityOf(findings));
    }
}

TEST(SystemFindings, NeverReceivedStatusIsAnErrorAndMaintenanceCountsOnlyWhenAsked)
{
    EXPECT_EQ(texts(findSystemFindings(SystemStatus{}, SystemDetails{}, false)),
              (std::vector<std::string>{"E generic system error", "E tether failure detected", "E UAV external supply error"}));

    SystemDetails details;
    details.maintenanceRequired = 1;
    EXPECT_EQ(texts(findSystemFindings(healthyStatus(), details, true)), (std::vector<std::string>{"W maintenance necessary"}));
    EXPECT_TRUE(findSystemFindings(healthyStatus(), details, false).empty());
    EXPECT_EQ(severityOf(findSystemFindings(healthyStatus(), details, true)), SystemSeverity::warning);
}
