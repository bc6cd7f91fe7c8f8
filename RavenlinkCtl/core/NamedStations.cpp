#include "NamedStations.h"

#include "CommandTable.h"

#include <ConfigReader.h>
#include <StationVocabulary.h>

#include <map>

namespace ctl {

const char* const defaultStationsFile = "/etc/ravenlink/bridge.conf";

namespace {

using ravenlink::tools::ConfigLine;

struct Section {
    bool station = false;
    bool defaults = false;
    std::string name;
    std::map<std::string, int> keyLines;
};

int timeoutValue(const std::string& text)
{
    using ravenlink::vocab::connectionTimeout;
    const std::optional<float> timeout = ravenlink::vocab::accept(connectionTimeout, text);
    if (!timeout) {
        throw UsageError("timeout: '" + text + "' is not " + ravenlink::vocab::rangeText(connectionTimeout));
    }
    return static_cast<int>(*timeout);
}

} // namespace

std::vector<NamedStation> parseStations(const std::string& text, const std::string& source)
{
    std::vector<NamedStation> stations;
    int defaultTimeout = 0;
    Section section;
    std::size_t begin = 0;
    for (int number = 1; begin <= text.size(); ++number) {
        std::size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end;
        const ConfigLine line = ravenlink::tools::readConfigLine(text.substr(begin, end - begin));
        begin = end + 1;
        try {
            if (!line.error.empty()) {
                throw UsageError(line.error);
            }
            if (line.kind == ConfigLine::Kind::section) {
                const ravenlink::tools::ConfigSection read = ravenlink::tools::readConfigSection(line.name);
                if (!read.error.empty()) {
                    throw UsageError(read.error);
                }
                section = Section{read.station, line.name == "defaults", line.name, {}};
                if (read.station) {
                    stations.push_back({read.id, "", 0});
                }
            } else if (line.kind == ConfigLine::Kind::setting) {
                const bool ours = (section.station && (line.name == "port" || line.name == "timeout")) ||
                                  (section.defaults && line.name == "timeout");
                if (!ours) {
                    continue;
                }
                const auto [first, fresh] = section.keyLines.emplace(line.name, number);
                if (!fresh) {
                    throw UsageError(line.name + ": given twice in [" + section.name + "], on lines " +
                                     std::to_string(first->second) + " and " + std::to_string(number));
                }
                if (line.name == "port" && line.value.empty()) {
                    throw UsageError("port: empty");
                }
                if (line.name == "port") {
                    stations.back().port = line.value;
                } else if (section.station) {
                    stations.back().timeoutMs = timeoutValue(line.value);
                } else {
                    defaultTimeout = timeoutValue(line.value);
                }
            }
        } catch (const UsageError& e) {
            throw UsageError(source + ":" + std::to_string(number) + ": " + e.what());
        }
    }
    std::map<std::string, bool> ids;
    for (NamedStation& station : stations) {
        if (station.port.empty()) {
            throw UsageError(source + ": [station " + station.id + "] names no port");
        }
        if (!ids.emplace(station.id, true).second) {
            throw UsageError(source + ": station " + station.id + " is named twice");
        }
        station.timeoutMs = station.timeoutMs != 0 ? station.timeoutMs : defaultTimeout;
    }
    if (stations.empty()) {
        throw UsageError(source + ": no [station ID] section");
    }
    return stations;
}

std::vector<NamedStation> readStations(const std::string& path)
{
    const ravenlink::tools::ConfigText read = ravenlink::tools::readConfigText(path);
    if (!read.error.empty()) {
        throw UsageError(read.error);
    }
    return parseStations(read.text, path);
}

const NamedStation& stationNamed(const std::vector<NamedStation>& stations, const std::string& id,
                                 const std::string& source)
{
    std::string names;
    for (const NamedStation& station : stations) {
        if (station.id == id) {
            return station;
        }
        names += (names.empty() ? "" : ", ") + station.id;
    }
    throw UsageError("no station '" + id + "' in " + source + "; the stations are " + names);
}

} // namespace ctl
