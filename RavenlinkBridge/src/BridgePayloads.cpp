#include "BridgePayloads.h"

#include <StationJson.h>
#include <SystemFindings.h>

namespace bridge {

std::string statusPayload(std::chrono::system_clock::time_point time, const SystemStatus& status,
                          unsigned long long seq)
{
    // The library's form first and unchanged, so that a subscriber reading
    // "time" and "status" needs to know nothing of the number.
    std::string text = toTimedJson(time, status);
    text.pop_back();
    return text + ",\"seq\":" + std::to_string(seq) + "}";
}

std::string checkFindings(StationLink& link, const SystemStatus& status, const SystemDetails& details)
{
    const std::vector<SystemFinding> findings = findSystemFindings(status, details, true);
    uint8_t severity = SystemSeverity::none;
    link.evaluateSystemState(status, details, severity, true);
    const char* const state = severity == SystemSeverity::error     ? "critical"
                              : severity == SystemSeverity::warning ? "warning"
                                                                    : "ok";
    std::string list;
    for (const SystemFinding& finding : findings) {
        list += std::string(list.empty() ? "" : ",") + "{\"severity\":" +
                (finding.severity == FindingSeverity::error ? "\"error\"" : "\"warning\"") +
                ",\"text\":" + toJsonString(finding.text) + "}";
    }
    return std::string("\"state\":\"") + state + "\",\"findings\":[" + list + "]";
}

std::string checkPayload(std::chrono::system_clock::time_point time, const std::string& findings)
{
    return "{\"time\":" + toJsonString(toIsoTime(time)) + "," + findings + "}";
}

} // namespace bridge
