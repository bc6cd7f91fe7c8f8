// The reads: the port list, and the status, details and settings of the
// station, as the console's reports or as one line of JSON.
#include "Commands.h"

#include "CtlOutput.h"

#include <ReportText.h>
#include <StationJson.h>
#include <StationVocabulary.h>

#include <sstream>
#include <string_view>
#include <vector>

namespace ctl {

std::string readPorts(Context& context)
{
    std::vector<std::string> ports;
    std::vector<std::string> descriptions;
    std::vector<std::string> hardwareIds;
    context.link().listPorts(ports, descriptions, hardwareIds);
    const bool json = context.options.json;
    std::string out = json ? "[" : "";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& description = i < descriptions.size() ? descriptions[i] : std::string();
        const std::string& hardwareId = i < hardwareIds.size() ? hardwareIds[i] : std::string();
        if (json) {
            out += std::string(i > 0 ? "," : "") + "{\"port\":" + toJsonString(ports[i]) +
                   ",\"description\":" + toJsonString(description) + ",\"hardwareId\":" + toJsonString(hardwareId) + "}";
        } else {
            out += shownText(ports[i]) + '\t' + shownText(description) + '\t' + shownText(hardwareId) + '\n';
        }
    }
    return json ? out + "]\n" : out;
}

std::string readStatus(Context& context)
{
    StationLink& link = context.station();
    SystemStatus status;
    StatusGroups delivered;
    link.getSystemStatus(status, delivered);
    if (context.options.json) {
        return toJson(status, delivered) + "\n";
    }
    std::ostringstream report;
    link.printSystemStatus(status, report);
    return reportToUtf8(report.str());
}

std::string readDetails(Context& context)
{
    StationLink& link = context.station();
    SystemDetails details;
    link.getSystemDetails(details);
    if (context.options.json) {
        return toJson(details) + "\n";
    }
    std::ostringstream report;
    link.printSystemDetails(details, report);
    return reportToUtf8(report.str());
}

std::string readConfig(Context& context)
{
    SystemConfig config{};
    context.station().getSystemConfig(config);
    if (context.options.json) {
        return toJson(config) + "\n";
    }
    // The settings under their JSON names, as the station reports them.
    const auto line = [](std::string_view name, const std::string& value) { return std::string(name) + ": " + value + "\n"; };
    return line("activation", config.activation ? "on" : "off") +
           line(ravenlink::vocab::retractionTorque.jsonKey, toJsonNumber(config.retTorque)) +
           line(ravenlink::vocab::retractionStart.jsonKey, toJsonNumber(config.retStart)) +
           line("retStatus", std::to_string(config.retStatus));
}

} // namespace ctl
