#include "BridgePayloads.h"

#include <ReportText.h>
#include <StationJson.h>
#include <SystemFindings.h>

namespace bridge {

std::string statusPayload(std::chrono::system_clock::time_point time, const SystemStatus& status,
                          const StatusGroups& delivered, unsigned long long seq)
{
    // The library's form first and unchanged, so that a subscriber reading
    // "time" and "status" needs to know nothing of the number.
    std::string text = toTimedJson(time, status, delivered);
    text.pop_back();
    return text + ",\"seq\":" + std::to_string(seq) + "}";
}

std::string checkFindings(const SystemStatus& status, const StatusGroups& delivered, const SystemDetails& details)
{
    const std::vector<SystemFinding> findings = findSystemFindings(status, delivered, details, true);
    const uint8_t severity = severityOf(findings);
    const char* const state = severity == SystemSeverity::error     ? "critical"
                              : severity == SystemSeverity::warning ? "warning"
                                                                    : "ok";
    std::string list;
    for (const SystemFinding& finding : findings) {
        // The findings' texts are the reports' words, degree sign included.
        list += std::string(list.empty() ? "" : ",") + "{\"severity\":" +
                (finding.severity == FindingSeverity::error ? "\"error\"" : "\"warning\"") +
                ",\"text\":" + toJsonString(reportToUtf8(finding.text)) + "}";
    }
    return std::string("\"state\":\"") + state + "\",\"findings\":[" + list + "]";
}

std::string unknownFindings(const std::string& reason)
{
    return "\"state\":\"unknown\",\"reason\":" + toJsonString(reason) + ",\"findings\":[]";
}

std::string checkPayload(std::chrono::system_clock::time_point time, const std::string& findings)
{
    return "{\"time\":" + toJsonString(toIsoTime(time)) + "," + findings + "}";
}

} // namespace bridge
