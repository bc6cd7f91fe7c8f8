// The configuration file is "key = value" lines (a colon may stand for the
// equals sign) in [broker], [defaults] and [station ID] sections; lines that
// begin with # or ; are comments. The lines are read by the tools' reader,
// which ravenlinkctl reads its named stations with. Every value is checked
// here, so that a mistake is reported with its line before anything connects.
#include "BridgeSettings.h"

#include <ConfigReader.h>
#include <RavenlinkTools.h>
#include <StationVocabulary.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <tuple>
#include <fcntl.h>
#include <unistd.h>

namespace bridge {

namespace {

long wholeIn(const std::string& text, long low, long high, const std::string& what)
{
    return ravenlink::tools::wholeNumber<SettingsError>(text, low, high, what);
}

using ravenlink::tools::isStationId;

void checkTopicPrefix(const std::string& prefix)
{
    bool bad = prefix.empty() || prefix.front() == '/' || prefix.back() == '/' ||
               prefix.find("//") != std::string::npos || prefix.front() == '$';
    for (const char c : prefix) {
        bad = bad || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    }
    if (bad) {
        throw SettingsError("topic-prefix: '" + prefix +
                            "' must be one or more topic levels without wildcards, empty levels or a leading $");
    }
}

using Setter = ravenlink::tools::ConfigSetter;

// The keys ravenlink-web reads alike, and the account's.
std::map<std::string, Setter> brokerKeys(BrokerSettings& broker)
{
    std::map<std::string, Setter> keys = ravenlink::tools::commonBrokerKeys<SettingsError>(broker);
    keys["url"] = [&](const std::string& v, const std::string&) { applyBrokerUrl(v, broker); };
    keys["protocol"] = [&](const std::string& v, const std::string& w) { broker.protocol = protocolValue(v, w); };
    keys["username"] = [&](const std::string& v, const std::string&) { broker.username = v; };
    keys["password-file"] = [&](const std::string& v, const std::string&) { broker.passwordFile = v; };
    keys["client-id"] = [&](const std::string& v, const std::string&) { broker.clientId = v; };
    return keys;
}

// What the bridge itself offers beside the stations.
std::map<std::string, Setter> bridgeKeys(ConfigFile& file)
{
    return {
        {"metrics-listen", [&](const std::string& v, const std::string& w) { file.metricsListen = listenValue(v, w); }},
    };
}

std::map<std::string, Setter> stationKeys(StationSettings* station, StationDefaults& values)
{
    std::map<std::string, Setter> keys = {
        {"interval", [&](const std::string& v, const std::string& w) { values.intervalSeconds = intervalValue(v, w); }},
        {"timeout", [&](const std::string& v, const std::string& w) { values.timeoutMs = timeoutValue(v, w); }},
        {"commands", [&](const std::string& v, const std::string& w) { values.commands = onOffValue(v, w); }},
        {"discovery", [&](const std::string& v, const std::string& w) { values.discovery = discoveryValue(v, w); }},
    };
    if (station != nullptr) {
        keys["port"] = [station](const std::string& v, const std::string& w) {
            if (v.empty()) {
                throw SettingsError(w + ": empty");
            }
            station->port = v;
        };
    }
    return keys;
}

// Parser state: which section the lines belong to.
class ConfigParser {
public:
    ConfigParser(const std::string& source) : source(source) {}

    void line(const std::string& raw, int number)
    {
        using Kind = ravenlink::tools::ConfigLine::Kind;
        const ravenlink::tools::ConfigLine text = ravenlink::tools::readConfigLine(raw);
        if (text.kind == Kind::nothing && text.error.empty()) {
            return;
        }
        const std::string where = source + ":" + std::to_string(number) + ": ";
        try {
            if (!text.error.empty()) {
                throw SettingsError(text.error);
            }
            if (text.kind == Kind::section) {
                section(text.name);
            } else {
                setting(text.name, text.value, number);
            }
        } catch (const SettingsError& e) {
            throw SettingsError(where + e.what());
        }
    }

    ConfigFile result;

private:
    void section(const std::string& name)
    {
        const ravenlink::tools::ConfigSection read = ravenlink::tools::readConfigSection(name);
        if (!read.error.empty()) {
            throw SettingsError(read.error);
        }
        if (!read.station) {
            current = name;
            sectionName = name;
            return;
        }
        StationSettings station;
        station.id = read.id;
        result.stations.push_back({station, StationDefaults{}});
        current = "station";
        sectionName = "station " + station.id;
    }

    void setting(const std::string& key, const std::string& value, int number)
    {
        if (key == "password") {
            throw SettingsError("password: a password is never written in the configuration; put it in a file "
                                "of its own and name that with password-file");
        }
        std::map<std::string, Setter> keys;
        if (current == "broker") {
            keys = brokerKeys(result.broker);
        } else if (current == "bridge") {
            keys = bridgeKeys(result);
        } else if (current == "defaults") {
            keys = stationKeys(nullptr, result.defaults);
        } else if (current == "station") {
            keys = stationKeys(&result.stations.back().first, result.stations.back().second);
        } else {
            throw SettingsError("'" + key + "' before any section: start with [broker] or [station ID]");
        }
        const auto found = keys.find(key);
        if (found == keys.end()) {
            throw SettingsError("unknown key '" + key + "' in [" + (current == "station" ? "station" : current) + "]");
        }
        // A second value would silently win over the first; which one was
        // meant only the writer knows.
        // A station named twice is refused as such once the file is read.
        const std::string section = current == "station" ? sectionName + "#" + std::to_string(result.stations.size())
                                                         : sectionName;
        const auto [first, fresh] = keyLines[section].emplace(key, number);
        if (!fresh) {
            throw SettingsError(key + ": given twice in [" + sectionName + "], on lines " +
                                std::to_string(first->second) + " and " + std::to_string(number));
        }
        found->second(value, key);
    }

    std::string source;
    std::string current;
    std::string sectionName;  // "broker", "defaults" or "station ID"
    std::map<std::string, std::map<std::string, int>> keyLines;  // per section: key and its line
};

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

} // namespace

ConfigFile parseConfig(const std::string& text, const std::string& source)
{
    ConfigParser parser(source);
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        parser.line(line, ++number);
    }
    return parser.result;
}

ConfigFile readConfigFile(const std::string& path)
{
    const ravenlink::tools::ConfigText read = ravenlink::tools::readConfigText(path);
    if (!read.error.empty()) {
        throw SettingsError(read.error);
    }
    return parseConfig(read.text, path);
}

void applyBrokerUrl(const std::string& url, BrokerSettings& broker)
{
    std::string rest = url;
    bool tls = false;
    if (rest.rfind("mqtts://", 0) == 0) {
        tls = true;
        rest = rest.substr(8);
    } else if (rest.rfind("mqtt://", 0) == 0) {
        rest = rest.substr(7);
    } else if (rest.find("://") != std::string::npos) {
        throw SettingsError("broker URL '" + url + "': the scheme must be mqtt:// or mqtts://");
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    std::string user;
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        user = rest.substr(0, at);
        rest = rest.substr(at + 1);
        if (user.find(':') != std::string::npos) {
            // Not even echoed: what follows the colon is a password.
            throw SettingsError("broker URL: a password in the URL is refused; put it in a file of its own and "
                                "name that with --password-file");
        }
    }
    std::string host = rest;
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || (close + 1 < rest.size() && rest[close + 1] != ':')) {
            throw SettingsError("broker URL '" + url + "': an IPv6 address is written as [ADDRESS]:PORT");
        }
        host = rest.substr(1, close - 1);
        port = close + 1 < rest.size() ? rest.substr(close + 2) : "";
    } else if (rest.find(':') != std::string::npos) {
        host = rest.substr(0, rest.find(':'));
        port = rest.substr(rest.find(':') + 1);
    }
    if (host.empty() || host.find('/') != std::string::npos) {
        throw SettingsError("broker URL '" + url + "': no host name");
    }
    broker.host = host;
    broker.port = port.empty() ? 0 : portValue(port, "broker URL port");
    broker.tls = broker.tls || tls;
    if (!user.empty()) {
        broker.username = user;
    }
}

double intervalValue(const std::string& text, const std::string& what)
{
    using ravenlink::vocab::readingInterval;
    // Checked as every front end checks it; the value itself stays as exact
    // as it was written.
    if (!ravenlink::vocab::accept(readingInterval, text)) {
        throw SettingsError(what + ": '" + text + "' is not " + ravenlink::vocab::rangeText(readingInterval));
    }
    return *ravenlink::vocab::readNumber(text);
}

int timeoutValue(const std::string& text, const std::string& what)
{
    using ravenlink::vocab::connectionTimeout;
    const std::optional<float> timeout = ravenlink::vocab::accept(connectionTimeout, text);
    if (!timeout) {
        throw SettingsError(what + ": '" + text + "' is not " + ravenlink::vocab::rangeText(connectionTimeout));
    }
    return static_cast<int>(*timeout);
}

bool onOffValue(const std::string& text, const std::string& what)
{
    if (text == "on" || text == "off") {
        return text == "on";
    }
    throw SettingsError(what + ": '" + text + "' is neither on nor off");
}

Discovery discoveryValue(const std::string& text, const std::string& what)
{
    if (text == "homeassistant" || text == "off") {
        return text == "off" ? Discovery::off : Discovery::homeAssistant;
    }
    throw SettingsError(what + ": '" + text + "' is neither homeassistant nor off");
}

MqttProtocol protocolValue(const std::string& text, const std::string& what)
{
    if (text == "3.1.1" || text == "5") {
        return text == "5" ? MqttProtocol::v5 : MqttProtocol::v311;
    }
    throw SettingsError(what + ": '" + text + "' is neither 3.1.1 nor 5");
}

int portValue(const std::string& text, const std::string& what)
{
    return static_cast<int>(wholeIn(text, 1, 65535, what));
}

int keepaliveValue(const std::string& text, const std::string& what)
{
    return static_cast<int>(wholeIn(text, 5, 3600, what));
}

ListenAddress listenValue(const std::string& text, const std::string& what)
{
    ListenAddress address;
    std::string port = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        } else if (host.find(':') != std::string::npos) {
            host.clear();  // an IPv6 address without its brackets
            port.clear();
        }
        if (!host.empty()) {
            address.host = host;
        } else if (colon != 0) {
            port.clear();
        }
    }
    const bool blank = address.host.find_first_of(" \t[]") != std::string::npos;
    if (port.empty() || blank) {
        throw SettingsError(what + ": '" + text + "' is not ADDRESS:PORT or PORT (an IPv6 address in brackets)");
    }
    address.port = portValue(port, what);
    return address;
}

StationSettings stationValue(const std::string& text)
{
    const std::size_t eq = text.find('=');
    StationSettings station;
    station.id = text.substr(0, eq);
    station.port = eq == std::string::npos ? "" : text.substr(eq + 1);
    if (!isStationId(station.id) || station.port.empty()) {
        throw SettingsError("--station: '" + text +
                            "' is not ID=PORT with an ID of 1 to 64 letters, digits, '-', '_' or '.'");
    }
    return station;
}

BridgeSettings resolve(ConfigFile file, const StationDefaults& commandLine,
                       const std::vector<StationSettings>& commandLineStations)
{
    BridgeSettings settings;
    settings.broker = file.broker;
    settings.metricsListen = file.metricsListen;
    const auto pick = [&](const auto& own, const auto& cli, const auto& deflt, auto builtIn) {
        return own ? *own : cli ? *cli : deflt ? *deflt : builtIn;
    };
    const StationSettings builtIn;
    for (auto& [station, own] : file.stations) {
        station.intervalSeconds = pick(own.intervalSeconds, commandLine.intervalSeconds, file.defaults.intervalSeconds, builtIn.intervalSeconds);
        station.timeoutMs = pick(own.timeoutMs, commandLine.timeoutMs, file.defaults.timeoutMs, builtIn.timeoutMs);
        station.commands = pick(own.commands, commandLine.commands, file.defaults.commands, builtIn.commands);
        station.discovery = pick(own.discovery, commandLine.discovery, file.defaults.discovery, builtIn.discovery);
        if (station.port.empty()) {
            throw SettingsError("[station " + station.id + "] names no port");
        }
        settings.stations.push_back(station);
    }
    const StationDefaults none;
    for (StationSettings station : commandLineStations) {
        station.intervalSeconds = pick(none.intervalSeconds, commandLine.intervalSeconds, file.defaults.intervalSeconds, builtIn.intervalSeconds);
        station.timeoutMs = pick(none.timeoutMs, commandLine.timeoutMs, file.defaults.timeoutMs, builtIn.timeoutMs);
        station.commands = pick(none.commands, commandLine.commands, file.defaults.commands, builtIn.commands);
        station.discovery = pick(none.discovery, commandLine.discovery, file.defaults.discovery, builtIn.discovery);
        settings.stations.push_back(station);
    }
    if (settings.stations.empty()) {
        throw SettingsError("no station: name one with --station ID=PORT or a [station ID] section");
    }
    std::set<std::string> ids;
    std::set<std::string> ports;
    for (const StationSettings& station : settings.stations) {
        if (!ids.insert(station.id).second) {
            throw SettingsError("station " + station.id + " is named twice");
        }
        if (!ports.insert(station.port).second) {
            throw SettingsError("port " + station.port + " is given to two stations");
        }
    }
    BrokerSettings& broker = settings.broker;
    checkTopicPrefix(broker.topicPrefix);
    if (broker.certFile.empty() != broker.keyFile.empty()) {
        throw SettingsError("a client certificate needs both cert-file and key-file");
    }
    if (!broker.certFile.empty() && !broker.tls) {
        throw SettingsError("a client certificate needs TLS: give a ca-file or an mqtts:// URL");
    }
    if (!broker.passwordFile.empty() && broker.username.empty()) {
        throw SettingsError("a password file needs a username");
    }
    // A client id that others can guess lets them take the station's
    // connection from the bridge; made up, it differs at every start.
    if (broker.clientId.empty()) {
        std::random_device random;
        char part[17];
        std::snprintf(part, sizeof part, "%08x%08x", random(), random());
        broker.clientId = "ravenlink-bridge-" + hostName() + "-" + part;
        broker.clientIdMadeUp = true;
    }
    return settings;
}

std::string readPassword(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in) {
        throw SettingsError("password-file " + path + ": cannot read it: " + std::strerror(errno));
    }
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        throw SettingsError("password-file " + path + ": its first line is empty");
    }
    return line;
}

bool operator==(const BrokerSettings& a, const BrokerSettings& b)
{
    const auto fields = [](const BrokerSettings& s) {
        return std::tie(s.host, s.port, s.protocol, s.username, s.passwordFile, s.tls, s.caFile, s.certFile, s.keyFile,
                        s.clientId, s.clientIdMadeUp, s.topicPrefix, s.keepaliveSeconds);
    };
    return fields(a) == fields(b);
}

bool operator==(const StationSettings& a, const StationSettings& b)
{
    const auto fields = [](const StationSettings& s) {
        return std::tie(s.id, s.port, s.intervalSeconds, s.timeoutMs, s.commands, s.discovery);
    };
    return fields(a) == fields(b);
}

std::string stationClientId(const BrokerSettings& broker, const std::string& stationId)
{
    return broker.clientId + "-" + stationId;
}

} // namespace bridge
