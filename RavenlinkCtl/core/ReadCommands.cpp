// The reads: the port list, and the status, details and settings of the
// station, as the console's reports or as one line of JSON.
#include "Commands.h"

#include "CtlOutput.h"

#include <ReportText.h>
#include <StationJson.h>
#include <StationVocabulary.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace ctl {

namespace {

// The stable names of the serial devices: udev's links, named by the
// adapter's maker, model and serial number, which stay when the kernel
// numbers the devices otherwise after a replug or a reboot.
// RAVENLINK_SERIAL_BY_ID stands in for the folder in the tests.
std::string byIdFolder()
{
    const char* const folder = std::getenv("RAVENLINK_SERIAL_BY_ID");
    return folder != nullptr && *folder != '\0' ? folder : "/dev/serial/by-id";
}

// \return the device each link of \p folder leads to, and the links (their
// whole names), in name order; an entry that is no link, or leads nowhere,
// is passed over
std::map<std::string, std::vector<std::string>> stableNames(const std::string& folder)
{
    std::map<std::string, std::vector<std::string>> names;
    DIR* const dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    std::vector<std::string> links;
    while (const dirent* entry = ::readdir(dir)) {
        links.push_back(folder + "/" + entry->d_name);
    }
    ::closedir(dir);
    std::sort(links.begin(), links.end());
    for (const std::string& link : links) {
        struct stat info {};
        char target[PATH_MAX];
        if (::lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && ::realpath(link.c_str(), target) != nullptr) {
            names[target].push_back(link);
        }
    }
    return names;
}

// \return \p port with its links resolved, or \p port when it has none
std::string devicePath(const std::string& port)
{
    char target[PATH_MAX];
    return ::realpath(port.c_str(), target) != nullptr ? std::string(target) : port;
}

} // namespace

std::string readPorts(Context& context)
{
    std::vector<std::string> ports;
    std::vector<std::string> descriptions;
    std::vector<std::string> hardwareIds;
    context.link().listPorts(ports, descriptions, hardwareIds);
    descriptions.resize(ports.size());
    hardwareIds.resize(ports.size());
    std::map<std::string, std::vector<std::string>> byId = stableNames(byIdFolder());
    std::vector<std::vector<std::string>> stable(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const auto found = byId.find(devicePath(ports[i]));
        if (found != byId.end()) {
            stable[i] = found->second;
            byId.erase(found);
        }
    }
    // A device that the port list leaves out but udev names (an adapter of a
    // kind the list does not look for) is a port all the same.
    for (const auto& [device, names] : byId) {
        ports.push_back(device);
        descriptions.emplace_back("n/a");
        hardwareIds.emplace_back("n/a");
        stable.push_back(names);
    }
    const bool json = context.options.json;
    std::string out = json ? "[" : "";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (json) {
            ravenlink::JsonArray names;
            for (const std::string& name : stable[i]) {
                names.add(name);
            }
            out += std::string(i > 0 ? "," : "") + ravenlink::JsonObject()
                                                       .add("port", ports[i])
                                                       .add("description", descriptions[i])
                                                       .add("hardwareId", hardwareIds[i])
                                                       .addJson("byId", names.str())
                                                       .str();
        } else {
            // The stable names come last, so that the columns before stay as
            // scripts read them.
            std::string names;
            for (const std::string& name : stable[i]) {
                names += (names.empty() ? "\t" : " ") + shownText(name);
            }
            out += shownText(ports[i]) + '\t' + shownText(descriptions[i]) + '\t' + shownText(hardwareIds[i]) + names + '\n';
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
