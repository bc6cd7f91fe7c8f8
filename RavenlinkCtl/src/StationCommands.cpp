// One-shot commands. Each builds its whole output first and prints it only
// once every exchange has succeeded, so a failure never shows a success.
#include "StationCommands.h"

#include "CtlOutput.h"

#include "ReportFormat.h"

#include <StationJson.h>
#include <StationValues.h>
#include <SystemFindings.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace ctl {

namespace {

const char* onOff(bool on) { return on ? "on" : "off"; }

std::string okJson() { return "{\"ok\":true}\n"; }

std::string okJson(int sent) { return "{\"ok\":true,\"sent\":" + std::to_string(sent) + "}\n"; }

std::string portsOutput(StationLink& link, bool json)
{
    std::vector<std::string> ports;
    std::vector<std::string> descriptions;
    std::vector<std::string> hardwareIds;
    link.listPorts(ports, descriptions, hardwareIds);
    std::string out = json ? "[" : "";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& description = i < descriptions.size() ? descriptions[i] : std::string();
        const std::string& hardwareId = i < hardwareIds.size() ? hardwareIds[i] : std::string();
        if (json) {
            out += std::string(i > 0 ? "," : "") + "{\"port\":" + toJsonString(ports[i]) +
                   ",\"description\":" + toJsonString(description) + ",\"hardwareId\":" + toJsonString(hardwareId) + "}";
        } else {
            out += ravenlink::visibleText(ports[i]) + '\t' + ravenlink::visibleText(description) + '\t' +
                   ravenlink::visibleText(hardwareId) + '\n';
        }
    }
    return json ? out + "]\n" : out;
}

std::string statusOutput(StationLink& link, bool json)
{
    SystemStatus status;
    link.getSystemStatus(status);
    if (json) {
        return toJson(status) + "\n";
    }
    std::ostringstream report;
    link.printSystemStatus(status, report);
    return report.str();
}

std::string detailsOutput(StationLink& link, bool json)
{
    SystemDetails details;
    link.getSystemDetails(details);
    if (json) {
        return toJson(details) + "\n";
    }
    std::ostringstream report;
    link.printSystemDetails(details, report);
    return report.str();
}

std::string configOutput(StationLink& link, bool json)
{
    SystemConfig config{};
    link.getSystemConfig(config);
    if (json) {
        return toJson(config) + "\n";
    }
    return std::string("activation: ") + onOff(config.activation) + "\nretTorque: " + toJsonNumber(config.retTorque) +
           "\nretStart: " + toJsonNumber(config.retStart) + "\nretStatus: " + std::to_string(config.retStatus) + "\n";
}

std::string activationOutput(StationLink& link, bool activate, bool json)
{
    link.setSystemActivation(activate);
    if (json) {
        return okJson();
    }
    return activate ? "Halvern Loftward system successful activated!\n"
                    : "Halvern Loftward system successful deactivated!\n";
}

std::string torqueOutput(StationLink& link, float percent, bool json)
{
    link.setCableRetractionTorque(percent);
    if (json) {
        return okJson(sentRetractionTorque(percent));
    }
    std::ostringstream text;
    text << "Halvern Loftward system successful set cable retraction torque to " << percent << "%!\n";
    return text.str();
}

std::string startLengthOutput(StationLink& link, float metres, bool json)
{
    link.setCableRetractionStartLength(metres);
    if (json) {
        return okJson(sentRetractionStartLength(metres));
    }
    std::ostringstream text;
    text << "Halvern Loftward system successful set cable retraction start length " << metres << "m!\n";
    return text.str();
}

std::string configureOutput(StationLink& link, const Invocation& inv)
{
    SystemConfig config{};
    config.activation = inv.activation;
    config.retTorque = inv.torque;
    config.retStart = inv.startLength;
    link.setSystemConfig(config);
    if (inv.json) {
        return okJson();
    }
    std::ostringstream text;
    text << "Halvern Loftward successful update system configuration: activation " << onOff(inv.activation)
         << ", cable retraction torque " << inv.torque << "%, cable retraction start length " << inv.startLength
         << "m\n";
    return text.str();
}

std::string groupsOutput(StationLink& link, const Invocation& inv)
{
    ConfigStatus groups;
    link.getSystemStatusConfig(groups);
    bool changed = false;
    for (std::size_t i = 0; i < 5; ++i) {
        if (inv.groupFlags[i]) {
            groupFlag(groups, i) = *inv.groupFlags[i];
            changed = true;
        }
    }
    if (changed) {
        link.setSystemStatusConfig(groups);
    }
    if (inv.json) {
        return toJson(groups) + "\n";
    }
    std::string out;
    for (std::size_t i = 0; i < 5; ++i) {
        out += std::string(groupNames[i]) + ": " + std::to_string(groupFlag(groups, i)) + "\n";
    }
    return out;
}

std::string commandOutput(StationLink& link, const Invocation& inv)
{
    const std::string& command = inv.command;
    if (command == "status") {
        return statusOutput(link, inv.json);
    }
    if (command == "details") {
        return detailsOutput(link, inv.json);
    }
    if (command == "config") {
        return configOutput(link, inv.json);
    }
    if (command == "activate" || command == "deactivate") {
        return activationOutput(link, command == "activate", inv.json);
    }
    if (command == "torque") {
        return torqueOutput(link, inv.torque, inv.json);
    }
    if (command == "start-length") {
        return startLengthOutput(link, inv.startLength, inv.json);
    }
    if (command == "configure") {
        return configureOutput(link, inv);
    }
    return groupsOutput(link, inv);
}

// ---- check ----

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
            out += ",\"error\":" + toJsonString(oneLine(error));
        }
        return out + "}\n";
    }
    std::string words;
    for (const SystemFinding& finding : findings) {
        words += (words.empty() ? "" : ", ") + finding.text;
    }
    if (!error.empty()) {
        words = oneLine(error);
    }
    return std::string(stateTitles[state]) + " - " + (words.empty() ? "no findings" : words) + "\n";
}

int runCheck(const Invocation& inv)
{
    std::vector<SystemFinding> findings;
    std::string error;
    int state = checkUnknown;
    try {
        StationLink link;
        openStation(link, inv);
        SystemStatus status;
        SystemDetails details;
        link.getSystemStatus(status);
        link.getSystemDetails(details);
        findings = findSystemFindings(status, details, true);
        uint8_t severity = SystemSeverity::none;
        link.evaluateSystemState(status, details, severity, true);
        state = severity == SystemSeverity::error ? checkCritical
                : severity == SystemSeverity::warning ? checkWarning
                                                      : checkOk;
    } catch (const std::exception& e) {
        error = e.what();
    }
    std::cout << checkOutput(state, findings, error, inv.json) << std::flush;
    return std::cout ? state : checkUnknown;
}

} // namespace

void openStation(StationLink& link, const Invocation& invocation)
{
    // The serial library would take a regular file and fail later with a
    // bare system call name; say plainly what the name is instead.
    struct stat info {};
    if (::stat(invocation.port.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
        throw std::runtime_error("ravenlinkctl: " + invocation.port +
                                 (S_ISDIR(info.st_mode) ? " is a directory" : " is not a serial port"));
    }
    link.setConnectionTimeout(invocation.timeoutMs);
    // A reply ends with the line feed that closes its object: no pause after
    // every reply, and a line left over from an earlier exchange is dropped.
    link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    if (invocation.verbose) {
        link.setLineObserver(wireTrace());
    }
    try {
        link.openConnection(invocation.port);
    } catch (const std::logic_error&) {
        // std::stoi's own text ("stoi") would tell the user nothing.
        throw std::runtime_error("openConnection: the station's protocol version is not a number");
    }
}

int runStationCommand(const Invocation& inv)
{
    if (inv.command == "check") {
        return runCheck(inv);
    }
    std::string output;
    try {
        StationLink link;
        if (inv.command == "ports") {
            output = portsOutput(link, inv.json);
        } else {
            openStation(link, inv);
            output = commandOutput(link, inv);
        }
    } catch (const std::exception& e) {
        return failure(e.what());
    }
    std::cout << output << std::flush;
    if (!std::cout) {
        return failure("ravenlinkctl: cannot write to standard output");
    }
    return exitDone;
}

} // namespace ctl
