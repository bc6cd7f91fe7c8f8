#include "BridgePayloads.h"

#include <StationJson.h>
#include <StationReadings.h>
#include <SystemFindings.h>

namespace bridge {

using ravenlink::JsonObject;

std::string statusPayload(std::chrono::system_clock::time_point time, const SystemStatus& status,
                          const StatusGroups& delivered, unsigned long long seq)
{
    // The library's stamped form first and unchanged, so that a subscriber
    // reading "time" and "status" needs to know nothing of the rest. The
    // fields that hold no value (a failed or missing part's measurement) are
    // named by the library's rules, so that a dashboard need not know them.
    ravenlink::JsonArray noValue;
    for (const std::string& path : ravenlink::fieldsWithoutValue(status, delivered)) {
        noValue.add(path);
    }
    return JsonObject()
        .add("time", toIsoTime(time))
        .addJson("status", toJson(status, delivered))
        .addJson("noValue", noValue.str())
        .add("seq", seq)
        .str();
}

CheckFindings checkFindings(const SystemStatus& status, const StatusGroups& delivered, const SystemDetails& details)
{
    const std::vector<SystemFinding> findings = findSystemFindings(status, delivered, details, true);
    const uint8_t severity = severityOf(findings);
    const char* const state = severity == SystemSeverity::error     ? "critical"
                              : severity == SystemSeverity::warning ? "warning"
                                                                    : "ok";
    // The findings' texts are the reports' words, degree sign included;
    // the library's array gives them in UTF-8.
    return {state, "", ravenlink::toJson(findings)};
}

CheckFindings unknownFindings(const std::string& reason) { return {"unknown", reason, "[]"}; }

std::string checkPayload(std::chrono::system_clock::time_point time, const CheckFindings& findings)
{
    JsonObject payload;
    payload.add("time", toIsoTime(time)).add("state", findings.state);
    if (findings.state == "unknown") {
        payload.add("reason", findings.reason);
    }
    return payload.addJson("findings", findings.findings).str();
}

} // namespace bridge
