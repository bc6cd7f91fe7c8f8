// What ravenlink-web is told to do: the broker its users log in to, where
// it listens, and its bounds; from a configuration file (the bridge's
// [broker] section and a [web] section) and the command line.
#ifndef RAVENLINK_WEB_SETTINGS_H
#define RAVENLINK_WEB_SETTINGS_H

#include <ConfigReader.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace web {

struct BrokerOptions {
    std::string host = "localhost";
    int port = 0;  // 0: 1883, or 8883 with TLS
    bool tls = false;  // set by an mqtts:// URL or a CA file
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string topicPrefix = "ravenlink";
    int keepaliveSeconds = 30;

    int effectivePort() const { return port != 0 ? port : tls ? 8883 : 1883; }
};

struct WebSettings {
    BrokerOptions broker;
    std::string listenHost = "127.0.0.1";
    int listenPort = 8080;  // 0: any free port (the log names it)
    std::string tlsCert;
    std::string tlsKey;
    bool insecureListen = false;
    std::string webRoot = "/usr/share/ravenlink/web";
    bool webRootGiven = false;  // else a missing page leaves the API served
    double commandTimeoutSeconds = 20.0;
    int sessionIdleSeconds = 600;
    int sessionLifetimeSeconds = 3600;
    int maxStreams = 32;
    int maxSessions = 64;
    // Accounts that may publish here are shown the command controls.
    std::string probeTopic = "ravenlink-web/may-command";

    bool tls() const { return !tlsCert.empty(); }
};

// A configuration or command line that cannot be used; what() says why,
// with the file and line where there is one.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the text of a configuration file over \p settings; \p source
// names it in errors.
// \throw SettingsError with "SOURCE:LINE: reason"
void parseConfig(const std::string& text, const std::string& source, WebSettings& settings);

// "mqtt://host[:port]", "mqtts://..." or "host[:port]"; a user or password
// in the URL is refused, as every user logs in with their own account.
// \throw SettingsError
void applyBrokerUrl(const std::string& url, BrokerOptions& broker);

// "ADDR:PORT", "[IPv6]:PORT" or "PORT" (on 127.0.0.1).
// \throw SettingsError
void applyListen(const std::string& text, WebSettings& settings);

// Checks what depends on more than one value: TLS files that belong
// together, a listener beyond this machine only with TLS or when asked
// for, a usable topic prefix and probe topic.
// \throw SettingsError
void checkSettings(const WebSettings& settings);

// The address is this machine's own: 127.0.0.0/8, ::1 or "localhost".
bool isLoopback(const std::string& host);

// A station id is one plain topic level, as the bridge takes it.
using ravenlink::tools::isStationId;

enum ExitStatus : int {
    exitDone = 0,
    exitFailed = 1,  // a file or the listener could not be used at start
    exitUsage = 2,   // the command line or the configuration is wrong
};

// Parses argv (reading --config's file) into \p settings. Returns an exit
// status when the program is to end at once: --help, --version, or a usage
// or configuration error, whose text is already on standard error.
std::optional<int> parseArguments(int argc, char** argv, WebSettings& settings);

} // namespace web

#endif // RAVENLINK_WEB_SETTINGS_H
