// What the bridge is told to do: the broker to use and the stations to
// serve, from a configuration file and the command line.
#ifndef RAVENLINK_BRIDGE_SETTINGS_H
#define RAVENLINK_BRIDGE_SETTINGS_H

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bridge {

enum class MqttProtocol { v311, v5 };

struct BrokerSettings {
    std::string host = "localhost";
    int port = 0;  // 0: 1883, or 8883 with TLS
    MqttProtocol protocol = MqttProtocol::v311;
    std::string username;
    std::string passwordFile;
    bool tls = false;  // set by an mqtts:// URL or a CA file
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string clientId;  // empty: "ravenlink-bridge-", the host name and a random part
    bool clientIdMadeUp = false;  // clientId was not configured but made up at start
    std::string topicPrefix = "ravenlink";
    int keepaliveSeconds = 30;

    int effectivePort() const { return port != 0 ? port : tls ? 8883 : 1883; }
};

// Every field; a reload restarts the stations of a broker that differs in any.
bool operator==(const BrokerSettings& a, const BrokerSettings& b);
inline bool operator!=(const BrokerSettings& a, const BrokerSettings& b) { return !(a == b); }

// Which home-automation server is told of the station's entities.
enum class Discovery { off, homeAssistant };

struct StationSettings {
    std::string id;
    std::string port;
    double intervalSeconds = 1.0;
    int timeoutMs = 300;
    bool commands = false;
    Discovery discovery = Discovery::off;
};

// Where the metrics endpoint listens, from "ADDRESS:PORT" or "PORT".
struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};
// Every field; a reload restarts a station that differs in any.
bool operator==(const StationSettings& a, const StationSettings& b);
inline bool operator!=(const StationSettings& a, const StationSettings& b) { return !(a == b); }

struct BridgeSettings {
    BrokerSettings broker;
    std::vector<StationSettings> stations;
    std::optional<ListenAddress> metricsListen;  // none: no metrics endpoint
};

// A configuration or command line that cannot be used; what() says why,
// with the file and line where there is one.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Station values that may be left unset: a station section's own value,
// else the command line's, else the [defaults] section's, else the built-in.
struct StationDefaults {
    std::optional<double> intervalSeconds;
    std::optional<int> timeoutMs;
    std::optional<bool> commands;
    std::optional<Discovery> discovery;
};

// A configuration file read, before the command line is laid over it.
struct ConfigFile {
    BrokerSettings broker;
    std::optional<ListenAddress> metricsListen;  // [bridge] metrics-listen
    StationDefaults defaults;
    std::vector<std::pair<StationSettings, StationDefaults>> stations;
};

// Parses the text of a configuration file; \p source names it in errors.
// \throw SettingsError with "SOURCE:LINE: reason"
ConfigFile parseConfig(const std::string& text, const std::string& source);

// Reads and parses the file \p path.
// \throw SettingsError the file cannot be read or is wrong
ConfigFile readConfigFile(const std::string& path);

// Parses "mqtt://[user@]host[:port]", "mqtts://..." or "host[:port]" into
// \p broker. A password in the URL is refused.
// \throw SettingsError
void applyBrokerUrl(const std::string& url, BrokerSettings& broker);

// Resolves the station values and checks everything that depends on more
// than one value: at least one station, unique ids and ports, TLS files
// that belong together, a usable topic prefix.
// \throw SettingsError
BridgeSettings resolve(ConfigFile file, const StationDefaults& commandLine,
                       const std::vector<StationSettings>& commandLineStations);

// The first line of the password file, without its line end.
// \throw SettingsError the file cannot be read or its first line is empty
std::string readPassword(const std::string& path);

// The client id of one station's connection: the bridge's id, "-" and the
// station id.
std::string stationClientId(const BrokerSettings& broker, const std::string& stationId);

// Value checks shared by the file and the command line; \p what names the
// setting in the error.
double intervalValue(const std::string& text, const std::string& what);
int timeoutValue(const std::string& text, const std::string& what);
bool onOffValue(const std::string& text, const std::string& what);
// "homeassistant" or "off".
Discovery discoveryValue(const std::string& text, const std::string& what);
MqttProtocol protocolValue(const std::string& text, const std::string& what);
int portValue(const std::string& text, const std::string& what);
int keepaliveValue(const std::string& text, const std::string& what);
// "ADDRESS:PORT", "[IPV6]:PORT", ":PORT" or "PORT"; without an address,
// 127.0.0.1, so that the endpoint is not open to the network unless asked.
ListenAddress listenValue(const std::string& text, const std::string& what);
// "ID=PORT" from --station.
StationSettings stationValue(const std::string& text);

} // namespace bridge

#endif // RAVENLINK_BRIDGE_SETTINGS_H
