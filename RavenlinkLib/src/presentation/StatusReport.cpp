#include "ReportFormat.h"
#include "Reports.h"

#include <StationReadings.h>

#include <sstream>
#include <string>

using ravenlink::CodeText;
using ravenlink::codeText;
using ravenlink::decimal;
using ravenlink::sixDecimal;
using ravenlink::Presence;

namespace {

// ---- code tables; a code missing from a table prints as its number ----

const CodeText cableRetractionTexts[] = {
    {0, "disabled"},
    {1, "manual controlled"},
    {2, "automatic controlled via physical torque switch"},
    {16, "remote controlled via UART"},
    {32, "breaking"},
    {33, "locked"},
    {255, "automatic cable retraction is not available on this Halvern Loftward system."},
};

// The system state knows no braking or locked retraction.
const CodeText stateRetractionTexts[] = {
    {0, "disabled"},
    {1, "manual controlled"},
    {2, "automatic controlled via physical torque switch"},
    {16, "remote controlled via UART"},
    {255, "automatic cable retraction is not available on this Halvern Loftward system."},
};

const CodeText tetherTexts[] = {
    {0, "OK"},
    {2, "maximum unwoundable length reached"},
    {3, "failure detected"},
};

const CodeText guideTexts[] = {
    {0, "OK"},
    {1, "motor failure detected"},
    {255, "Cable guide is not available on this Halvern Loftward system."},
};

const CodeText reelTexts[] = {
    {0, "OK"},
    {1, "motor failure detected"},
    {255, "Cable reel is not available on this Halvern Loftward system."},
};

const CodeText sensorTexts[] = {
    {0, "OK"},
    {1, "sensor failure"},
    {2, "temperature failure"},
    {3, "humidity failure"},
    {4, "pressure failure"},
};

const CodeText mainsTexts[] = {
    {0, "OK"},
    {2, "Parameters out of range"},
};

const CodeText backupBatteryTexts[] = {
    {0, "Backup battery currently not in use. Backup battery status o.k."},
    {1, "Backup battery is currently charged."},
    {2, "Backup battery is currently in use."},
    {127, "Failure on backup battery!"},
    {255, "No backup battery in this Halvern Loftward ground station configuration available!"},
};

const CodeText controlSupplyTexts[] = {
    {0, "OK"},
    {1, "Error"},
    {2, "Out of range"},
    {255, "Control Supply parameters are not available on this Halvern Loftward system."},
};

// Three of these texts end in a blank before the line feed; it is kept.
const CodeText externalSupplyTexts[] = {
    {0, "disabled / ready for activation"},
    {1, "primary supply starting"},
    {2, "primary supply activated "},
    {4, "supply goes offline "},
    {8, "supply error"},
    {16, "no load detected"},
    {33, "secondary supply starting"},
    {34, "secondary supply activated "},
};

const CodeText activationTexts[] = {
    {0, "deactivated"},
    {1, "manual activated by power switch"},
    {16, "remote activated via UART"},
};

const CodeText systemErrorTexts[] = {
    {0, "no error"},
    {1, "generic error"},
};

// ---- section gates ----

struct SectionGate {
    const char* disabled;
    const char* notAvailable;
    const char* otherLabel;  // nullptr: an unknown flag leaves the section empty
};

const SectionGate cableGate = {
    "Cable status data are disabled.\n",
    "Cable status data are not available on this Halvern Loftward system.\n",
    "Cable status: ",
};
const SectionGate envGate = {
    "Envrionment status data are disabled.\n",
    "Envrionment status data are not available on this Halvern Loftward system.\n",
    "Environment status: ",
};
const SectionGate energyGSGate = {
    "Ground Station energy status data are disabled.\n",
    "Ground Station energy status data are not available on this Halvern Loftward system.\n",
    "Ground Station energy status: ",
};
const SectionGate energyUAVGate = {
    "UAV energy status data are disabled.\n",
    "UAV energy status data are not available on this Halvern Loftward system.\n",
    nullptr,
};
const SectionGate sysStateGate = {
    "Tether system states data are disabled.\n",
    "Tether system states data are not available on this Halvern Loftward system.\n",
    "Tether system states: ",
};

using SectionBody = std::string (*)(const SystemStatus&);

std::string gatedSection(int flag, const SectionGate& gate, SectionBody body, const SystemStatus& status)
{
    switch (flag) {
    case 0:
        return gate.disabled;
    case 1:
        return body(status);
    case 255:
        return gate.notAvailable;
    default:
        return gate.otherLabel != nullptr ? gate.otherLabel + decimal(flag) + "\n" : std::string();
    }
}

// ---- section bodies ----

std::string cableSection(const SystemStatus& status)
{
    const CableStatus& cab = status.cab;
    const std::string retStatus = codeText(cableRetractionTexts, cab.retStatus);
    const std::string cabStatus = codeText(tetherTexts, cab.tetherStatus);
    const std::string guideStatus = codeText(guideTexts, cab.guideStatus);
    const std::string reelStatus = codeText(reelTexts, cab.reelStatus);

    std::string cableStatus = "Cable status data:\n";
    cableStatus += "Cable length unwound: " + sixDecimal(cab.length) + " m\n";
    cableStatus += "Cable speed: " + sixDecimal(cab.speed) + " m/s\n";
    cableStatus += "Cable retraction start length: " + sixDecimal(cab.retStart) + " m\n";
    cableStatus += "Cable retraction torque: " + sixDecimal(cab.retTorque) + " %\n";
    cableStatus += "Cable retraction status: " + retStatus + "\n";
    cableStatus += "Tether Cable status: " + cabStatus + "\n";
    cableStatus += "Cable guide status: " + guideStatus + "\n";
    cableStatus += "Cable reel status: " + reelStatus + "\n";
    return cableStatus;
}

// Sensor 1 measures the system board itself and has no "not available"
// wording; its 255 prints as a plain code like any unknown one.
std::string sensorLine(int sensor, int code)
{
    const std::string label = "Environment Sensor " + decimal(sensor) + ": ";
    if (code == 255 && sensor != 1) {
        return label + "not available\n";
    }
    return label + codeText(sensorTexts, code) + "\n";
}

// A measurement is shown only while its part reports a value. A part that
// the station does not have drops its line instead of reporting a failure.
std::string measurementLine(const std::string& label, Presence presence, const std::string& reading)
{
    switch (presence) {
    case Presence::value:
        return label + reading;
    case Presence::failed:
        return label + "failure\n";
    case Presence::absent:
        break;
    }
    return std::string();
}

std::string roundedText(float value) { return decimal(ravenlink::roundedInt(value)); }

std::string environmentSection(const SystemStatus& status)
{
    // The degree sign of the Windows console code pages 437/850, unconverted.
    static const char degreeUnit[] = " \xF8"
                                     "C\n";
    const EnvStatus& env = status.env;
    std::string envStatus = "Environment status data:\n";
    envStatus += sensorLine(1, env.envSensor1Status);
    envStatus += sensorLine(2, env.envSensor2Status);
    envStatus += sensorLine(3, env.envSensor3Status);
    envStatus += sensorLine(4, env.envSensor4Status);
    const float temperatures[] = {env.temp1, env.temp2, env.temp3, env.temp4};
    for (int sensor = 1; sensor <= 4; ++sensor) {
        const std::string label = sensor == 1 ? "Temperatur 1 (System/PCB): " : "Temperatur " + decimal(sensor) + ": ";
        envStatus += measurementLine(label, ravenlink::temperaturePresence(env, sensor),
                                     roundedText(temperatures[sensor - 1]) + degreeUnit);
    }
    envStatus += measurementLine("Humidity 1: ", ravenlink::climatePresence(env), roundedText(env.hum1) + " %\n");
    envStatus += measurementLine("Pressure 1: ", ravenlink::climatePresence(env), roundedText(env.press1) + " hPa\n");
    envStatus += measurementLine("Fan 1: ", ravenlink::fanPresence(env, 1), decimal(env.fan1Rpm) + " 1/min\n");
    envStatus += measurementLine("Fan 2: ", ravenlink::fanPresence(env, 2), decimal(env.fan2Rpm) + " 1/min\n");
    return envStatus;
}

std::string energyGSSection(const SystemStatus& status)
{
    const EnergyGSStatus& gs = status.energyGS;
    std::string energyGSStatus = "Ground Station energy status data:\n";
    if (ravenlink::mainsPresence(gs) == Presence::absent) {
        energyGSStatus += "Mains parameters are not available on this Halvern Loftward system.\n";
    } else {
        energyGSStatus += "Mains voltage: " + sixDecimal(gs.mainsU) + " V\n";
        energyGSStatus += "Mains current: " + sixDecimal(gs.mainsI) + " A\n";
        energyGSStatus += "Mains frequency: " + sixDecimal(gs.mainsF) + " Hz\n";
        energyGSStatus += "Mains status: " + codeText(mainsTexts, gs.mainsStatus) + "\n";
    }
    energyGSStatus += "Backup battery status: " + codeText(backupBatteryTexts, gs.batStatus) + "\n";
    // A failed or missing battery has no meaningful charge.
    if (ravenlink::batteryPresence(gs) == Presence::value) {
        energyGSStatus += "Backup battery voltage: " + decimal(ravenlink::truncatedInt(gs.batU)) + " %\n";
    }
    energyGSStatus += "Control Supply status: " + codeText(controlSupplyTexts, gs.ctrlSuplStatus) + "\n";
    return energyGSStatus;
}

std::string energyUAVSection(const SystemStatus& status)
{
    const EnergyUAVStatus& uav = status.energyUAV;
    // 40 marks the high-voltage variant of the four-cell battery.
    const std::string cellType = uav.uavCellCount == 40 ? std::string("4S HV") : decimal(uav.uavCellCount) + "S";

    std::string energyUAVStatus = "UAV energy status data:\n";
    energyUAVStatus += "UAV battery type: " + cellType + "\n";
    energyUAVStatus += "UAV supply voltage: " + sixDecimal(uav.uavSuplU) + " V\n";
    energyUAVStatus += "UAV supply current: " + sixDecimal(uav.uavSuplI) + " A\n";
    energyUAVStatus += "UAV power consumption: " + sixDecimal(uav.uavPower) + " W\n";
    energyUAVStatus += "UAV external supply status: " + codeText(externalSupplyTexts, uav.extSuplStatus) + "\n";
    return energyUAVStatus;
}

std::string sysStateSection(const SystemStatus& status)
{
    const SysState& sys = status.sysState;
    const std::string actStatus = codeText(activationTexts, sys.activation);
    const std::string retStatus = codeText(stateRetractionTexts, sys.retStatus);
    const std::string batStatus = codeText(backupBatteryTexts, sys.batStatus);
    const std::string flightTime = ravenlink::duration(sys.flightTime);
    const std::string flightTimeOpSum = ravenlink::duration(sys.flightTimeOpSum);
    const std::string opTime = ravenlink::duration(sys.operationTime);
    const std::string sysError = codeText(systemErrorTexts, sys.error);

    std::string sysState = "System activation status: " + actStatus + "\n";
    sysState += "Cable retraction status: " + retStatus + "\n";
    sysState += "Backup battery status: " + batStatus + "\n";
    sysState += "Current flight time: " + flightTime + "\n";
    sysState += "Flight time sum during operation: " + flightTimeOpSum + "\n";
    sysState += "Number of flights during operation: " + ravenlink::unsignedDecimal(sys.flightCountOpSum) + "\n";
    sysState += "Current operation time: " + opTime + "\n";
    sysState += "System error: " + sysError + "\n";
    return sysState;
}

} // namespace

std::string ravenlink::report::statusReport(const SystemStatus& status)
{
    const std::string cableStatus = gatedSection(status.configStatus.cab, cableGate, cableSection, status);
    const std::string envStatus = gatedSection(status.configStatus.env, envGate, environmentSection, status);
    const std::string energyGSStatus =
        gatedSection(status.configStatus.energyGS, energyGSGate, energyGSSection, status);
    const std::string energyUAVStatus =
        gatedSection(status.configStatus.energyUAV, energyUAVGate, energyUAVSection, status);
    const std::string sysState = gatedSection(status.configStatus.sysState, sysStateGate, sysStateSection, status);

    // Built whole, so that a printer hands it on in one insertion: a failure
    // while composing leaves the stream untouched, and the report never
    // interleaves with other output.
    std::ostringstream ossSysState;
    ossSysState << "Current system status" << '\n'
                << cableStatus << '\n'
                << envStatus << '\n'
                << energyGSStatus << '\n'
                << energyUAVStatus << '\n'
                << sysState << '\n';
    return ossSysState.str();
}
