// One-shot commands. Each builds its whole output first and prints it only
// once every exchange has succeeded, so a failure never shows a success.
#include "StationCommands.h"

#include "CtlOutput.h"

#include "ReportFormat.h"

#include <ReportText.h>
#include <StationJson.h>
#include <StationValues.h>
#include <SystemFindings.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
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
            out += shownText(ports[i]) + '\t' + shownText(description) + '\t' + shownText(hardwareId) + '\n';
        }
    }
    return json ? out + "]\n" : out;
}

std::string statusOutput(StationLink& link, bool json)
{
    SystemStatus status;
    StatusGroups delivered;
    link.getSystemStatus(status, delivered);
    if (json) {
        return toJson(status, delivered) + "\n";
    }
    std::ostringstream report;
    link.printSystemStatus(status, report);
    return reportToUtf8(report.str());
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
    return reportToUtf8(report.str());
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

// Centimetres as metres, exactly: 299 is "2.99", 250 "2.5", 300 "3".
std::string metresText(int centimetres)
{
    std::string text = std::to_string(centimetres / 100);
    const int rest = centimetres % 100;
    if (rest != 0) {
        text += "." + std::string(rest < 10 ? "0" : "") + std::to_string(rest % 10 == 0 ? rest / 10 : rest);
    }
    return text;
}

// The confirmations name what the station was sent, which is what it now
// holds, not the number typed: 50.999 % is sent as 50.
std::string torqueOutput(StationLink& link, float percent, bool json)
{
    link.setCableRetractionTorque(percent);
    const int sent = sentRetractionTorque(percent);
    if (json) {
        return okJson(sent);
    }
    return "Halvern Loftward system successful set cable retraction torque to " + std::to_string(sent) + "%!\n";
}

std::string startLengthOutput(StationLink& link, float metres, bool json)
{
    link.setCableRetractionStartLength(metres);
    const int sent = sentRetractionStartLength(metres);
    if (json) {
        return okJson(sent);
    }
    return "Halvern Loftward system successful set cable retraction start length " + metresText(sent) + "m!\n";
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
    return std::string("Halvern Loftward successful update system configuration: activation ") + onOff(inv.activation) +
           ", cable retraction torque " + std::to_string(sentRetractionTorque(inv.torque)) +
           "%, cable retraction start length " + metresText(sentRetractionStartLength(inv.startLength)) + "m\n";
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

int runCheck(const Invocation& inv)
{
    std::vector<SystemFinding> findings;
    std::string error;
    int state = checkUnknown;
    try {
        StationLink link;
        openStation(link, inv);
        SystemStatus status;
        StatusGroups delivered;
        SystemDetails details;
        link.getSystemStatus(status, delivered);
        link.getSystemDetails(details);
        // A group the station did not send is no reading, so no fault.
        findings = findSystemFindings(status, delivered, details, true);
        const uint8_t severity = severityOf(findings);
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

namespace {

// True when \p port opens as a device that is no terminal (/dev/null, a
// disk): the serial library then fails with a bare system call name.
bool opensAsNoTerminal(const std::string& port)
{
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return !terminal;
}

// The library's reason why the port itself did not open, or "" when the
// failure came later (the handshake) and its own text says it all.
std::string openFailure(const std::string& what)
{
    const std::string prefix = "IO Exception: openConnection: ";
    return what.rfind(prefix, 0) == 0 ? what.substr(prefix.size()) : "";
}

} // namespace

void openStation(StationLink& link, const Invocation& invocation)
{
    // The serial library would take a regular file and fail later with a
    // bare system call name; say plainly what the name is instead.
    const std::string& port = invocation.port;
    struct stat info {};
    if (::stat(port.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
        throw std::runtime_error("ravenlinkctl: " + port + (S_ISDIR(info.st_mode) ? " is a directory" : " is not a serial port"));
    }
    link.setConnectionTimeout(invocation.timeoutMs);
    // A reply ends with the line feed that closes its object: no pause after
    // every reply, and a line left over from an earlier exchange is dropped.
    link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    if (invocation.verbose) {
        link.setLineObserver(wireTrace());
    }
    try {
        link.openConnection(port);
    } catch (const HALVERN::IOException& e) {
        const std::string reason = openFailure(e.what());
        if (reason.empty()) {
            throw;
        }
        if (opensAsNoTerminal(port)) {
            throw std::runtime_error("ravenlinkctl: " + port + " is not a serial port");
        }
        throw std::runtime_error("ravenlinkctl: cannot open " + port + ": " + reason);
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
