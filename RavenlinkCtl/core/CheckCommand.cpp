// check: the health of the station in the monitoring-plugin convention. One
// line on standard output in every case, a failed link and a wrong command
// line included, and the exit status a monitoring system reads. The line
// carries the readings as performance data after "|"; the lines after it
// (the plugin's long output) one finding each. With --all, one line for
// each station of the stations file, its id in front, and the worst state.
#include "Commands.h"

#include "CtlOutput.h"
#include "Perfdata.h"

#include <StationJson.h>
#include <SystemFindings.h>

#include <CLI/CLI.hpp>

#include <ostream>

namespace ctl {

namespace {

const char* const stateNames[4] = {"ok", "warning", "critical", "unknown"};
const char* const stateWords[4] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
// The severities of --json's findings: the station's own and the thresholds'.
const char* const severityNames[4] = {"", "warning", "error", "unknown"};

struct CheckFinding {
    CheckStatus state;
    std::string text;
};

struct CheckResult {
    CheckStatus state = checkUnknown;
    std::vector<CheckFinding> findings;
    std::vector<Reading> readings;
    std::string error;  // the station could not be read
};

CheckResult checkStation(Context& context, const std::vector<Threshold>& warning, const std::vector<Threshold>& critical)
{
    CheckResult result;
    try {
        StationLink& link = context.station();
        SystemStatus status;
        StatusGroups delivered;
        SystemDetails details;
        link.getSystemStatus(status, delivered);
        link.getSystemDetails(details);
        // A group the station did not send is no reading, so no fault.
        for (const SystemFinding& finding : findSystemFindings(status, delivered, details, true)) {
            result.findings.push_back(
                {finding.severity == FindingSeverity::error ? checkCritical : checkWarning, finding.text});
        }
        result.readings = readingsOf(status, delivered);
        for (const ThresholdFinding& finding : judge(result.readings, warning, critical)) {
            result.findings.push_back({finding.state, finding.text});
        }
        result.state = checkOk;
        for (const CheckFinding& finding : result.findings) {
            result.state = worseState(result.state, finding.state);
        }
    } catch (const std::exception& e) {
        // The station did not answer, or not in time: nothing is known.
        result = CheckResult{};
        result.error = e.what();
    }
    return result;
}

std::string jsonOutput(const CheckResult& result, const std::string& station)
{
    ravenlink::JsonArray list;
    for (const CheckFinding& finding : result.findings) {
        list.addJson(ravenlink::JsonObject().add("severity", severityNames[finding.state]).add("text", finding.text).str());
    }
    ravenlink::JsonObject out;
    if (!station.empty()) {
        out.add("station", station);
    }
    out.add("state", stateNames[result.state]).addJson("findings", list.str());
    if (!result.error.empty()) {
        out.add("error", shownLine(result.error));
    }
    return out.str() + "\n";
}

// The first line: the state, the findings in words, the performance data.
std::string statusLine(const CheckResult& result, const std::vector<Threshold>& warning,
                       const std::vector<Threshold>& critical)
{
    std::string words;
    for (const CheckFinding& finding : result.findings) {
        words += (words.empty() ? "" : ", ") + finding.text;
    }
    if (!result.error.empty()) {
        words = shownLine(result.error);
    }
    const std::string data = perfdata(result.readings, warning, critical);
    return std::string("RAVENLINK ") + stateWords[result.state] + " - " + (words.empty() ? "no findings" : words) +
           (data.empty() ? "" : " | " + data);
}

} // namespace

void CheckCommand::declare(CLI::App& command)
{
    command.add_option("--warning", warningTexts, "WARNING when the reading LABEL lies outside RANGE (inside, for @RANGE)")
        ->type_name("LABEL=RANGE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command.add_option("--critical", criticalTexts, "CRITICAL when the reading LABEL lies outside RANGE (inside, for @RANGE)")
        ->type_name("LABEL=RANGE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void CheckCommand::convert()
{
    warning = parseThresholds(warningTexts, "--warning", readingLabels());
    critical = parseThresholds(criticalTexts, "--critical", readingLabels());
}

int CheckCommand::run(Context& context)
{
    const bool json = context.options.json;
    std::string output;
    CheckStatus worst = checkOk;
    if (context.options.all) {
        // One line each; a station that cannot be read does not stop the others.
        // -t wins over the file's timeouts.
        const int timeoutMs = context.options.timeoutMs;
        const bool ownTimeouts = !context.options.timeoutGiven;
        for (const NamedStation& station : context.stations) {
            context.useStation(station.port, ownTimeouts && station.timeoutMs != 0 ? station.timeoutMs : timeoutMs);
            const CheckResult result = checkStation(context, warning, critical);
            worst = worseState(worst, result.state);
            output += json ? jsonOutput(result, station.id)
                           : station.id + ": " + statusLine(result, warning, critical) + "\n";
        }
    } else {
        const CheckResult result = checkStation(context, warning, critical);
        worst = result.state;
        output = json ? jsonOutput(result, "") : statusLine(result, warning, critical) + "\n";
        for (const CheckFinding& finding : json ? std::vector<CheckFinding>{} : result.findings) {
            output += std::string(stateWords[finding.state]) + ": " + finding.text + "\n";
        }
    }
    context.out << output << std::flush;
    return context.out ? worst : checkUnknown;
}

int CheckCommand::refuse(Context& context, const std::string& reason)
{
    context.out << "RAVENLINK UNKNOWN - " << shownLine(reason) << '\n' << std::flush;
    context.usageError(reason);
    return checkUnknown;
}

} // namespace ctl
