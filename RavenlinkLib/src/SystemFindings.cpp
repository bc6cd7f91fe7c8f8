// The state evaluation as one table of findings. The words follow the status
// report, so an operator reads the same terms in both; the severity byte of
// evaluateSystemState is derived from the same table.
#include "SystemFindings.h"

#include "StationLinkImpl.h"

#include <string>

namespace {

// Status codes that the evaluation looks at, by field.
constexpr int systemGenericError = 1;   // sysState.error
constexpr int systemWarning = 128;      // sysState.error
constexpr int tetherWarning = 1;        // cab.tetherStatus; the report has no text for it
constexpr int tetherFullyUnwound = 2;   // cab.tetherStatus
constexpr int tetherFailure = 3;        // cab.tetherStatus
constexpr int motorFailure = 1;         // cab.guideStatus, cab.reelStatus
constexpr int uavSupplyError = 8;       // energyUAV.extSuplStatus
constexpr int uavNoLoad = 16;           // energyUAV.extSuplStatus
constexpr int supplyError = 1;          // energyGS.ctrlSuplStatus, energyGS.mainsStatus
constexpr int supplyOutOfRange = 2;     // energyGS.ctrlSuplStatus, energyGS.mainsStatus
constexpr int fanFailure = 1;           // env.fan1Status, env.fan2Status
constexpr int sensorFailure = 1;        // env.envSensorNStatus
constexpr int temperatureFailure = 2;   // env.envSensorNStatus
constexpr int humidityFailure = 3;      // env.envSensorNStatus
constexpr int maintenanceNecessary = 1; // details.maintenanceRequired

using StatusField = int (*)(const SystemStatus&);

struct FindingRule {
    FindingSeverity severity;
    StatusField field;
    int code;
    const char* text;
};

constexpr FindingSeverity E = FindingSeverity::error;
constexpr FindingSeverity W = FindingSeverity::warning;

int sysError(const SystemStatus& s) { return s.sysState.error; }
int tether(const SystemStatus& s) { return s.cab.tetherStatus; }
int guide(const SystemStatus& s) { return s.cab.guideStatus; }
int reel(const SystemStatus& s) { return s.cab.reelStatus; }
int uavSupply(const SystemStatus& s) { return s.energyUAV.extSuplStatus; }
int ctrlSupply(const SystemStatus& s) { return s.energyGS.ctrlSuplStatus; }
int mains(const SystemStatus& s) { return s.energyGS.mainsStatus; }
int fan1(const SystemStatus& s) { return s.env.fan1Status; }
int fan2(const SystemStatus& s) { return s.env.fan2Status; }
int sensor1(const SystemStatus& s) { return s.env.envSensor1Status; }
int sensor2(const SystemStatus& s) { return s.env.envSensor2Status; }
int sensor3(const SystemStatus& s) { return s.env.envSensor3Status; }
int sensor4(const SystemStatus& s) { return s.env.envSensor4Status; }

// Errors first, then warnings; within each the system's own verdict first,
// then the order of the status report.
const FindingRule findingRules[] = {
    {E, sysError, systemGenericError, "generic system error"},
    {E, tether, tetherFailure, "tether failure detected"},
    {E, guide, motorFailure, "cable guide motor failure detected"},
    {E, reel, motorFailure, "cable reel motor failure detected"},
    {E, fan1, fanFailure, "fan 1 failure"},
    {E, fan2, fanFailure, "fan 2 failure"},
    {E, mains, supplyError, "mains voltage error"},
    {E, mains, supplyOutOfRange, "mains parameters out of range"},
    {E, ctrlSupply, supplyError, "control supply error"},
    {E, ctrlSupply, supplyOutOfRange, "control supply out of range"},
    {E, uavSupply, uavSupplyError, "UAV external supply error"},
    {E, uavSupply, uavNoLoad, "UAV external supply no load detected"},
    {W, sysError, systemWarning, "system warning"},
    {W, tether, tetherWarning, "tether warning"},
    {W, tether, tetherFullyUnwound, "tether maximum unwoundable length reached"},
    {W, sensor1, sensorFailure, "environment sensor 1 sensor failure"},
    {W, sensor1, temperatureFailure, "environment sensor 1 temperature failure"},
    {W, sensor1, humidityFailure, "environment sensor 1 humidity failure"},
    {W, sensor2, sensorFailure, "environment sensor 2 sensor failure"},
    {W, sensor2, temperatureFailure, "environment sensor 2 temperature failure"},
    {W, sensor2, humidityFailure, "environment sensor 2 humidity failure"},
    {W, sensor3, sensorFailure, "environment sensor 3 sensor failure"},
    {W, sensor3, temperatureFailure, "environment sensor 3 temperature failure"},
    {W, sensor3, humidityFailure, "environment sensor 3 humidity failure"},
    {W, sensor4, sensorFailure, "environment sensor 4 sensor failure"},
    {W, sensor4, temperatureFailure, "environment sensor 4 temperature failure"},
    {W, sensor4, humidityFailure, "environment sensor 4 humidity failure"},
};

const char* const maintenanceText = "maintenance necessary";

} // namespace

bool SystemFinding::operator==(const SystemFinding& o) const { return severity == o.severity && text == o.text; }

std::vector<SystemFinding> findSystemFindings(const SystemStatus& status, const SystemDetails& details,
                                              bool checkMaintenance)
{
    std::vector<SystemFinding> findings;
    for (const FindingRule& rule : findingRules) {
        if (rule.field(status) == rule.code) {
            findings.push_back({rule.severity, rule.text});
        }
    }
    if (checkMaintenance && details.maintenanceRequired == maintenanceNecessary) {
        findings.push_back({FindingSeverity::warning, maintenanceText});
    }
    return findings;
}

uint8_t severityOf(const std::vector<SystemFinding>& findings)
{
    uint8_t severity = SystemSeverity::none;
    for (const SystemFinding& finding : findings) {
        if (finding.severity == FindingSeverity::error) {
            return SystemSeverity::error;
        }
        severity = SystemSeverity::warning;
    }
    return severity;
}

bool StationLinkImpl::evaluateSystemState(const SystemStatus& status, const SystemDetails& details,
                                          uint8_t& severity, bool checkMaintenance)
{
    const std::vector<SystemFinding> findings = findSystemFindings(status, details, checkMaintenance);
    severity = severityOf(findings);
    return !findings.empty();
}
