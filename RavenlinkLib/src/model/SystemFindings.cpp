// The state evaluation as one table of findings. The words follow the status
// report, so an operator reads the same terms in both; the severity byte of
// evaluateSystemState is derived from the same table.
#include "SystemFindings.h"

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
// The group a rule's field lives in; a group the station did not send is
// no reading, so its rules are not applied.
using GroupFlag = bool StatusGroups::*;

struct FindingRule {
    FindingSeverity severity;
    GroupFlag group;
    StatusField field;
    int code;
    const char* text;
};

constexpr GroupFlag CAB = &StatusGroups::cab;
constexpr GroupFlag ENV = &StatusGroups::env;
constexpr GroupFlag GS = &StatusGroups::energyGS;
constexpr GroupFlag UAV = &StatusGroups::energyUAV;
constexpr GroupFlag SYS = &StatusGroups::sysState;

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
    {E, SYS, sysError, systemGenericError, "generic system error"},
    {E, CAB, tether, tetherFailure, "tether failure detected"},
    {E, CAB, guide, motorFailure, "cable guide motor failure detected"},
    {E, CAB, reel, motorFailure, "cable reel motor failure detected"},
    {E, ENV, fan1, fanFailure, "fan 1 failure"},
    {E, ENV, fan2, fanFailure, "fan 2 failure"},
    {E, GS, mains, supplyError, "mains voltage error"},
    {E, GS, mains, supplyOutOfRange, "mains parameters out of range"},
    {E, GS, ctrlSupply, supplyError, "control supply error"},
    {E, GS, ctrlSupply, supplyOutOfRange, "control supply out of range"},
    {E, UAV, uavSupply, uavSupplyError, "UAV external supply error"},
    {E, UAV, uavSupply, uavNoLoad, "UAV external supply no load detected"},
    {W, SYS, sysError, systemWarning, "system warning"},
    {W, CAB, tether, tetherWarning, "tether warning"},
    {W, CAB, tether, tetherFullyUnwound, "tether maximum unwoundable length reached"},
    {W, ENV, sensor1, sensorFailure, "environment sensor 1 sensor failure"},
    {W, ENV, sensor1, temperatureFailure, "environment sensor 1 temperature failure"},
    {W, ENV, sensor1, humidityFailure, "environment sensor 1 humidity failure"},
    {W, ENV, sensor2, sensorFailure, "environment sensor 2 sensor failure"},
    {W, ENV, sensor2, temperatureFailure, "environment sensor 2 temperature failure"},
    {W, ENV, sensor2, humidityFailure, "environment sensor 2 humidity failure"},
    {W, ENV, sensor3, sensorFailure, "environment sensor 3 sensor failure"},
    {W, ENV, sensor3, temperatureFailure, "environment sensor 3 temperature failure"},
    {W, ENV, sensor3, humidityFailure, "environment sensor 3 humidity failure"},
    {W, ENV, sensor4, sensorFailure, "environment sensor 4 sensor failure"},
    {W, ENV, sensor4, temperatureFailure, "environment sensor 4 temperature failure"},
    {W, ENV, sensor4, humidityFailure, "environment sensor 4 humidity failure"},
};

const char* const maintenanceText = "maintenance necessary";

} // namespace

bool SystemFinding::operator==(const SystemFinding& o) const { return severity == o.severity && text == o.text; }

std::vector<SystemFinding> findSystemFindings(const SystemStatus& status, const SystemDetails& details,
                                              bool checkMaintenance)
{
    return findSystemFindings(status, StatusGroups::all(), details, checkMaintenance);
}

std::vector<SystemFinding> findSystemFindings(const SystemStatus& status, const StatusGroups& delivered,
                                              const SystemDetails& details, bool checkMaintenance)
{
    std::vector<SystemFinding> findings;
    for (const FindingRule& rule : findingRules) {
        if (delivered.*rule.group && rule.field(status) == rule.code) {
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
