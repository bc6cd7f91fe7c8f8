#include "Perfdata.h"

#include <StationJson.h>
#include <StationReadings.h>
#include <StationVocabulary.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>

namespace ctl {

namespace {

using ravenlink::Presence;

struct Kind {
    const ravenlink::vocab::Group& group;
    std::string_view field;  // the member's name in the group's JSON object
    const char* unit;
    const char* min;
    const char* max;

    // The path in status --json: "cab.length".
    std::string label() const { return std::string(group.jsonKey) + "." + std::string(field); }
};

using namespace ravenlink::vocab;

// Measurements only: status codes are judged as findings, not graphed. Volts,
// amperes, watts, hertz, hectopascals and revolutions have no unit of the
// guidelines and go without one.
const Kind kinds[] = {
    {cabGroup, "length", "m", "0", ""},
    {cabGroup, "speed", "", "", ""},
    {cabGroup, retractionTorque.jsonKey, "%", "0", "100"},
    {cabGroup, retractionStart.jsonKey, "m", "0", ""},
    {envGroup, "temp1", "C", "", ""},
    {envGroup, "temp2", "C", "", ""},
    {envGroup, "temp3", "C", "", ""},
    {envGroup, "temp4", "C", "", ""},
    {envGroup, "hum1", "%", "0", "100"},
    {envGroup, "press1", "", "0", ""},
    {envGroup, "fan1Rpm", "", "0", ""},
    {envGroup, "fan2Rpm", "", "0", ""},
    {energyGSGroup, "mainsU", "", "", ""},
    {energyGSGroup, "mainsI", "", "", ""},
    {energyGSGroup, "mainsF", "", "", ""},
    {energyGSGroup, "batU", "%", "", ""},
    {energyUAVGroup, "uavSuplU", "", "", ""},
    {energyUAVGroup, "uavSuplI", "", "", ""},
    {energyUAVGroup, "uavPower", "", "", ""},
    {sysStateGroup, "operationTime", "s", "0", ""},
    {sysStateGroup, "flightTime", "s", "0", ""},
    {sysStateGroup, "flightTimeOpSum", "s", "0", ""},
    {sysStateGroup, "flightCountOpSum", "c", "0", ""},
};

// The JSON number as perfdata takes it: digits and a point, no exponent.
std::string plainNumber(const std::string& json, double value)
{
    if (json.find_first_of("eE") == std::string::npos) {
        return json;
    }
    char text[400];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string plain = text;
    plain.erase(plain.find_last_not_of('0') + 1);
    if (plain.back() == '.') {
        plain.pop_back();
    }
    return plain;
}

std::string valueWithUnit(const Reading& reading) { return reading.known ? reading.text + reading.unit : "U"; }

} // namespace

const std::vector<std::string>& readingLabels()
{
    static const std::vector<std::string> labels = [] {
        std::vector<std::string> all;
        for (const Kind& kind : kinds) {
            all.push_back(kind.label());
        }
        return all;
    }();
    return labels;
}

std::vector<Reading> readingsOf(const SystemStatus& status, const StatusGroups& delivered)
{
    std::map<std::string, std::string> json;
    for (const JsonField& field : toJsonFields(status)) {
        json[field.name] = field.value;
    }
    std::vector<Reading> readings;
    for (const Kind& kind : kinds) {
        // The library's rules, as the status report applies them: a reading
        // whose part failed is U, one the station does not have is left out.
        const Presence presence = ravenlink::presenceAt(status, delivered, kind.label());
        if (presence == Presence::absent) {
            continue;
        }
        Reading reading;
        reading.label = kind.label();
        reading.unit = kind.unit;
        reading.min = kind.min;
        reading.max = kind.max;
        const std::string& text = json[reading.label];
        // A float that is no number is null in the JSON: no value either.
        reading.known = presence == Presence::value && text != "null";
        if (reading.known) {
            reading.value = std::strtod(text.c_str(), nullptr);
            reading.text = plainNumber(text, reading.value);
        }
        readings.push_back(reading);
    }
    return readings;
}

std::string perfdata(const std::vector<Reading>& readings, const std::vector<Threshold>& warning,
                     const std::vector<Threshold>& critical)
{
    std::string all;
    for (const Reading& reading : readings) {
        const Threshold* const warn = thresholdOf(warning, reading.label);
        const Threshold* const crit = thresholdOf(critical, reading.label);
        std::string item = "'" + reading.label + "'=" + valueWithUnit(reading) + ";" +
                           (warn != nullptr ? warn->range.text : "") + ";" + (crit != nullptr ? crit->range.text : "") +
                           ";" + reading.min + ";" + reading.max;
        item.erase(item.find_last_not_of(';') + 1);
        all += (all.empty() ? "" : " ") + item;
    }
    return all;
}

std::vector<ThresholdFinding> judge(const std::vector<Reading>& readings, const std::vector<Threshold>& warning,
                                    const std::vector<Threshold>& critical)
{
    std::vector<ThresholdFinding> findings;
    const auto readingOf = [&readings](const std::string& label) -> const Reading* {
        for (const Reading& reading : readings) {
            if (reading.label == label) {
                return &reading;
            }
        }
        return nullptr;
    };
    // In the order of the readings, each label once, critical before warning.
    for (const std::string& label : readingLabels()) {
        const Threshold* const crit = thresholdOf(critical, label);
        const Threshold* const warn = thresholdOf(warning, label);
        if (crit == nullptr && warn == nullptr) {
            continue;
        }
        const Reading* const reading = readingOf(label);
        if (reading == nullptr || !reading->known) {
            // Asked to watch it, check cannot say the reading is fine.
            findings.push_back({checkUnknown, label + (reading == nullptr ? " was not sent" : " has no value") +
                                                  ", so its threshold cannot be checked"});
        } else if (crit != nullptr && crit->range.alerts(reading->value)) {
            findings.push_back({checkCritical, label + " is " + valueWithUnit(*reading) + ", " +
                                                   (crit->range.inverted ? "inside" : "outside") + " the critical range " +
                                                   crit->range.text});
        } else if (warn != nullptr && warn->range.alerts(reading->value)) {
            findings.push_back({checkWarning, label + " is " + valueWithUnit(*reading) + ", " +
                                                  (warn->range.inverted ? "inside" : "outside") + " the warning range " +
                                                  warn->range.text});
        }
    }
    return findings;
}

} // namespace ctl
