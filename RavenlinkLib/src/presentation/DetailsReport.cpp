#include "ReportFormat.h"
#include "Reports.h"

#include <sstream>
#include <string>

using ravenlink::CodeText;

namespace {

const CodeText networkTypeTexts[] = {
    {1, "2-wire Power Line"},
    {2, "3-wire Power Line"},
    {3, "Fiber-optic"},
    {255, "Network support is not available on this Halvern Loftward system."},
};

// Station texts may hold anything, escape sequences and line ends included:
// each is shown through visibleText, so that it can neither steer the
// operator's terminal nor forge a report line.
//
// The station reports "0.0.0" for a controller it does not have. Only that
// exact text hides a line; anything else, empty included, is shown as sent.
std::string versionLines(const SwVersions& sw)
{
    struct Line {
        const char* label;
        const std::string* version;
    };
    // Printed in this order, which is not the order of the reply.
    const Line lines[] = {
        {"Main control: ", &sw.mainCtrl},
        {"Low power management: ", &sw.lpwrCtrl},
        {"High power management: ", &sw.hpwrCtrl},
        {"Environment control: ", &sw.envCtrl},
        {"Cable reel control: ", &sw.reelCtrl},
        {"Backup battery management: ", &sw.bbatCtrl},
        {"Network control: ", &sw.netCtrl},
    };
    std::string swVersions;
    for (const Line& line : lines) {
        if (*line.version != "0.0.0") {
            swVersions += line.label + ravenlink::visibleText(*line.version) + "\n";
        }
    }
    return swVersions;
}

std::string detailsBody(const SystemDetails& details)
{
    const std::string swVersions = versionLines(details.swVersion);
    const std::string netType = ravenlink::codeText(networkTypeTexts, details.networkType);
    const std::string opTimeSum = ravenlink::duration(details.operationTimeSum);
    const std::string flightTimeSum = ravenlink::duration(details.flightTimeSum);
    const std::string ttm = ravenlink::duration(details.ttm);

    std::string sysDataStr = "Product type: " + ravenlink::visibleText(details.productType) + "\n";
    sysDataStr += "Product model: " + ravenlink::visibleText(details.model) + "\n";
    sysDataStr += "Serial number: " + ravenlink::visibleText(details.sn) + "\n";
    sysDataStr += "Day of production: " + ravenlink::visibleText(details.dop) + "\n";
    sysDataStr += "Hardware Version: " + ravenlink::visibleText(details.hwVersion) + "\n";
    if (!swVersions.empty()) {
        sysDataStr += "Software versions:\n" + swVersions;
    }
    sysDataStr += "used Communication Protocol version: " + ravenlink::visibleText(details.protocolVersion) + "\n";
    sysDataStr += "supported UAV battery cell type: " + ravenlink::visibleText(details.uavCellVoltages) + "\n";
    sysDataStr += "Maximum Power: " + ravenlink::decimal(details.maxPower) + " W\n";
    sysDataStr += "Tether cable type equiped: " + ravenlink::visibleText(details.cableType) + "\n";
    sysDataStr += "Tether cable length: " + ravenlink::decimal(details.maxCableLength) + " m\n";
    sysDataStr += "Tether type: " + netType + "\n";
    sysDataStr += "Total operation time: " + opTimeSum + "\n";
    sysDataStr += "Total number of operations: " + ravenlink::unsignedDecimal(details.operationCount) + "\n";
    sysDataStr += "Total flight time: " + flightTimeSum + "\n";
    sysDataStr += "Total number of flights: " + ravenlink::unsignedDecimal(details.flightCount) + "\n";
    sysDataStr += "Usage time until next maintenance: " + ttm + "\n";
    sysDataStr += details.maintenanceRequired != 0 ? "Maintenance necessary!\n" : "No maintenance necessary.\n";
    return sysDataStr;
}

} // namespace

std::string ravenlink::report::detailsReport(const SystemDetails& details)
{
    const std::string sysDataStr = detailsBody(details);

    std::ostringstream ossSysState;
    ossSysState << "Product details:" << '\n' << sysDataStr << '\n';
    return ossSysState.str();
}
