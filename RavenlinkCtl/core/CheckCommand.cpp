// check: the health of the station in the monitoring-plugin convention. One
// line on standard output in every case, a failed link and a wrong command
// line included, and the exit status a monitoring system reads.
#include "Commands.h"

#include "CtlOutput.h"

#include <StationJson.h>
#include <SystemFindings.h>

#include <ostream>

namespace ctl {

namespace {

const char* const stateNames[4] = {"ok", "warning", "critical", "unknown"};
const char* const stateTitles[4] = {"RAVENLINK OK", "RAVENLINK WARNING", "RAVENLINK CRITICAL", "RAVENLINK UNKNOWN"};

std::string checkOutput(int state, const std::vector<SystemFinding>& findings, const std::string& error, bool json)
{
    if (json) {
        std::string list;
        for (const SystemFinding& finding : findings) {
            list += std::string(list.empty() ? "" : ",") + "{\"severity\":" +
                    (finding.severity == FindingSeverity::error ? "\"error\"" : "\"warning\"") +
                    ",\"text\":" + toJsonString(finding.text) + "}";
        }
        std::string out = std::string("{\"state\":\"") + stateNames[state] + "\",\"findings\":[" + list + "]";
        if (!error.empty()) {
            out += ",\"error\":" + toJsonString(shownLine(error));
        }
        return out + "}\n";
    }
    std::string words;
    for (const SystemFinding& finding : findings) {
        words += (words.empty() ? "" : ", ") + finding.text;
    }
    if (!error.empty()) {
        words = shownLine(error);
    }
    return std::string(stateTitles[state]) + " - " + (words.empty() ? "no findings" : words) + "\n";
}

} // namespace

int CheckCommand::run(Context& context)
{
    std::vector<SystemFinding> findings;
    std::string error;
    int state = checkUnknown;
    try {
        StationLink& link = context.station();
        SystemStatus status;
        StatusGroups delivered;
        SystemDetails details;
        link.getSystemStatus(status, delivered);
        link.getSystemDetails(details);
        // A group the station did not send is no reading, so no fault.
        findings = findSystemFindings(status, delivered, details, true);
        const uint8_t severity = severityOf(findings);
        state = severity == SystemSeverity::error     ? checkCritical
                : severity == SystemSeverity::warning ? checkWarning
                                                      : checkOk;
    } catch (const std::exception& e) {
        error = e.what();
    }
    context.out << checkOutput(state, findings, error, context.options.json) << std::flush;
    return context.out ? state : checkUnknown;
}

int CheckCommand::refuse(Context& context, const std::string& reason)
{
    context.out << "RAVENLINK UNKNOWN - " << shownLine(reason) << '\n' << std::flush;
    context.usageError(reason);
    return checkUnknown;
}

} // namespace ctl
