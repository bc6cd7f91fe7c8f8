// The configuration file is "key = value" lines (a colon may stand for the
// equals sign) in a [broker] section, as the bridge reads it, and a [web]
// section; lines that begin with # or ; are comments. The lines are read by
// the tools' reader, as the bridge and ravenlinkctl read theirs. Every value is
// checked here, so that a mistake is reported with its line before anything
// listens or connects.
#include "WebSettings.h"

#include <ConfigReader.h>
#include <ProgramArguments.h>
#include <RavenlinkTools.h>

#include <CLI/CLI.hpp>

#include <arpa/inet.h>

#include <functional>
#include <map>
#include <sstream>

namespace web {

namespace {

long wholeIn(const std::string& text, long low, long high, const std::string& what)
{
    return ravenlink::tools::wholeNumber<SettingsError>(text, low, high, what);
}

double secondsIn(const std::string& text, double low, double high, const std::string& what)
{
    double value = 0.0;
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        !ravenlink::tools::parseNumber(text, value) || value < low || value > high) {
        throw SettingsError(what + ": '" + text + "' is not a number of seconds from " +
                            std::to_string(static_cast<long>(low)) + " to " + std::to_string(static_cast<long>(high)));
    }
    return value;
}

bool onOff(const std::string& text, const std::string& what)
{
    if (text == "on" || text == "true" || text == "yes") {
        return true;
    }
    if (text == "off" || text == "false" || text == "no") {
        return false;
    }
    throw SettingsError(what + ": '" + text + "' is neither on nor off");
}

void checkTopic(const std::string& topic, const std::string& what)
{
    bool bad = topic.empty() || topic.front() == '/' || topic.back() == '/' ||
               topic.find("//") != std::string::npos || topic.front() == '$';
    for (const char c : topic) {
        bad = bad || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    }
    if (bad) {
        throw SettingsError(what + ": '" + ravenlink::tools::printable(topic) +
                            "' must be one or more topic levels without wildcards, empty levels or a leading $");
    }
}

using Setter = ravenlink::tools::ConfigSetter;

std::string nonEmpty(const std::string& value, const std::string& what)
{
    if (value.empty()) {
        throw SettingsError(what + ": empty");
    }
    return value;
}

// The keys the bridge reads alike, the URL without an account, and MQTT 5.
std::map<std::string, Setter> brokerKeys(BrokerOptions& broker)
{
    std::map<std::string, Setter> keys = ravenlink::tools::commonBrokerKeys<SettingsError>(broker);
    keys["url"] = [&](const std::string& v, const std::string&) { applyBrokerUrl(v, broker); };
    keys["protocol"] = [](const std::string& v, const std::string& w) {
        // Under 3.1.1 the broker takes a refused command and drops it
        // without a sign: the page could not tell a viewer "refused".
        if (v != "5") {
            throw SettingsError(w + ": '" + v + "': ravenlink-web speaks MQTT 5 only, the one version in "
                                                "which the broker says that it refused a command");
        }
    };
    return keys;
}

std::map<std::string, Setter> webKeys(WebSettings& settings)
{
    return {
        {"listen", [&](const std::string& v, const std::string&) { applyListen(v, settings); }},
        {"tls-cert", [&](const std::string& v, const std::string&) { settings.tlsCert = v; }},
        {"tls-key", [&](const std::string& v, const std::string&) { settings.tlsKey = v; }},
        {"insecure-listen", [&](const std::string& v, const std::string& w) { settings.insecureListen = onOff(v, w); }},
        {"web-root", [&](const std::string& v, const std::string& w) {
             settings.webRoot = nonEmpty(v, w);
             settings.webRootGiven = true;
         }},
        {"command-timeout", [&](const std::string& v, const std::string& w) {
             settings.commandTimeoutSeconds = secondsIn(v, 1, 600, w);
         }},
        {"session-idle", [&](const std::string& v, const std::string& w) {
             settings.sessionIdleSeconds = static_cast<int>(wholeIn(v, 10, 86400, w));
         }},
        {"session-lifetime", [&](const std::string& v, const std::string& w) {
             settings.sessionLifetimeSeconds = static_cast<int>(wholeIn(v, 10, 86400, w));
         }},
        {"max-streams", [&](const std::string& v, const std::string& w) {
             settings.maxStreams = static_cast<int>(wholeIn(v, 1, 1000, w));
         }},
        {"max-sessions", [&](const std::string& v, const std::string& w) {
             settings.maxSessions = static_cast<int>(wholeIn(v, 1, 1000, w));
         }},
        {"probe-topic", [&](const std::string& v, const std::string&) { settings.probeTopic = v; }},
    };
}

// Keys of the bridge's [broker] that name one account for everybody; here
// every user logs in with their own.
bool isAccountKey(const std::string& key)
{
    return key == "username" || key == "password-file" || key == "password" || key == "client-id";
}

} // namespace

bool isLoopback(const std::string& host)
{
    if (host == "localhost" || host == "::1") {
        return true;
    }
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

void applyBrokerUrl(const std::string& url, BrokerOptions& broker)
{
    std::string rest = url;
    if (rest.rfind("mqtts://", 0) == 0) {
        broker.tls = true;
        rest = rest.substr(8);
    } else if (rest.rfind("mqtt://", 0) == 0) {
        rest = rest.substr(7);
    } else if (rest.find("://") != std::string::npos) {
        throw SettingsError("broker URL '" + ravenlink::tools::printable(url) + "': use mqtt:// or mqtts://");
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    if (rest.find('@') != std::string::npos) {
        throw SettingsError("broker URL '" + ravenlink::tools::printable(url) +
                            "': no account in the URL; every user of the page logs in with their own");
    }
    std::string host = rest;
    std::size_t colon = std::string::npos;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close != std::string::npos && close + 1 < rest.size() && rest[close + 1] == ':') {
            colon = close + 1;
        }
    } else {
        colon = rest.rfind(':');
    }
    if (colon != std::string::npos) {
        host = rest.substr(0, colon);
        broker.port = static_cast<int>(wholeIn(rest.substr(colon + 1), 1, 65535, "broker port"));
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || host.find('/') != std::string::npos) {
        throw SettingsError("broker URL '" + ravenlink::tools::printable(url) + "': no host");
    }
    broker.host = host;
}

void applyListen(const std::string& text, WebSettings& settings)
{
    std::string host = "127.0.0.1";
    std::string port = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        } else if (host.find(':') != std::string::npos) {
            throw SettingsError("listen: '" + ravenlink::tools::printable(text) + "': write an IPv6 address in brackets, [::1]:8080");
        }
    }
    if (host.empty()) {
        throw SettingsError("listen: '" + ravenlink::tools::printable(text) + "': no address; 0.0.0.0:PORT listens on every one");
    }
    settings.listenHost = host;
    settings.listenPort = static_cast<int>(wholeIn(port, 0, 65535, "listen port"));
}

void checkSettings(const WebSettings& settings)
{
    if (settings.tlsCert.empty() != settings.tlsKey.empty()) {
        throw SettingsError("TLS needs both a certificate (tls-cert) and its key (tls-key)");
    }
    if (settings.broker.certFile.empty() != settings.broker.keyFile.empty()) {
        throw SettingsError("a client certificate for the broker needs both cert-file and key-file");
    }
    if (!settings.tls() && !settings.insecureListen && !isLoopback(settings.listenHost)) {
        throw SettingsError("listen: " + settings.listenHost +
                            " is reachable from other machines, and the page's logins are broker passwords: "
                            "give --tls-cert and --tls-key, or --insecure-listen where the network itself is "
                            "protected");
    }
    checkTopic(settings.broker.topicPrefix, "topic-prefix");
    checkTopic(settings.probeTopic, "probe-topic");
    if (settings.probeTopic == settings.broker.topicPrefix ||
        settings.probeTopic.rfind(settings.broker.topicPrefix + "/", 0) == 0) {
        // Under the prefix, every viewer's subscription would receive it.
        throw SettingsError("probe-topic: '" + settings.probeTopic + "' must lie outside the topic prefix " +
                            settings.broker.topicPrefix);
    }
}

void parseConfig(const std::string& text, const std::string& source, WebSettings& settings)
{
    std::istringstream lines(text);
    std::string raw;
    std::string section;
    std::map<std::string, int> seen;  // "section/key" -> line
    int number = 0;
    bool any = false;
    while (std::getline(lines, raw)) {
        ++number;
        using Kind = ravenlink::tools::ConfigLine::Kind;
        const ravenlink::tools::ConfigLine line = ravenlink::tools::readConfigLine(raw);
        if (line.kind == Kind::nothing && line.error.empty()) {
            continue;
        }
        any = true;
        const std::string where = source + ":" + std::to_string(number) + ": ";
        try {
            if (!line.error.empty()) {
                throw SettingsError(line.error);
            }
            if (line.kind == Kind::section) {
                section = line.name;
                if (section != "broker" && section != "web") {
                    throw SettingsError("unknown section [" + ravenlink::tools::printable(section) + "]: use [broker] or [web]");
                }
                continue;
            }
            const std::string& key = line.name;
            const std::string& value = line.value;
            if (section.empty()) {
                throw SettingsError("'" + ravenlink::tools::printable(key) + "' before any section: start with [broker] or [web]");
            }
            if (section == "broker" && isAccountKey(key)) {
                throw SettingsError(key + ": ravenlink-web has no account of its own; every user of the page logs "
                                          "in to the broker with their own");
            }
            std::map<std::string, Setter> keys = section == "broker" ? brokerKeys(settings.broker) : webKeys(settings);
            const auto found = keys.find(key);
            if (found == keys.end()) {
                throw SettingsError("unknown key '" + ravenlink::tools::printable(key) + "' in [" + section + "]");
            }
            const auto [earlier, first] = seen.emplace(section + "/" + key, number);
            if (!first) {
                throw SettingsError(key + ": given twice in [" + section + "], on lines " +
                                    std::to_string(earlier->second) + " and " + std::to_string(number));
            }
            found->second(value, key);
        } catch (const SettingsError& e) {
            throw SettingsError(where + e.what());
        }
    }
    if (!any) {
        throw SettingsError(source + ": no settings in the file");
    }
}

namespace {

const char* const usageText = "Usage: ravenlink-web [--config FILE] [--broker URL] [--listen ADDR:PORT] [options]\n"
                              "Run 'ravenlink-web --help' for more.\n";

struct RawValues {
    std::string config;
    std::string broker;
    std::string protocol;
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string topicPrefix;
    std::string keepalive;
    std::string listen;
    std::string tlsCert;
    std::string tlsKey;
    bool insecureListen = false;
    std::string webRoot;
    std::string commandTimeout;
    std::string sessionIdle;
    std::string sessionLifetime;
    std::string maxStreams;
    std::string probeTopic;
};

void addOptions(CLI::App& app, RawValues& raw)
{
    app.add_option("-c,--config", raw.config, "read the configuration from FILE")->type_name("FILE");
    app.add_option("-b,--broker", raw.broker, "mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (default mqtt://localhost)")
        ->type_name("URL");
    app.add_option("--protocol", raw.protocol, "MQTT version; 5, the only one served")->type_name("5");
    app.add_option("--ca-file", raw.caFile, "CA certificates for the broker's TLS (PEM); switches TLS on")->type_name("FILE");
    app.add_option("--cert-file", raw.certFile, "client certificate for the broker's TLS (PEM)")->type_name("FILE");
    app.add_option("--key-file", raw.keyFile, "key of the client certificate (PEM)")->type_name("FILE");
    app.add_option("--topic-prefix", raw.topicPrefix, "first topic levels (default ravenlink)")->type_name("PREFIX");
    app.add_option("--keepalive", raw.keepalive, "MQTT keepalive, 5 to 3600 (default 30)")->type_name("SECONDS");
    app.add_option("-l,--listen", raw.listen, "address and port of the page (default 127.0.0.1:8080)")
        ->type_name("ADDR:PORT");
    app.add_option("--tls-cert", raw.tlsCert, "serve HTTPS with this certificate (PEM)")->type_name("FILE");
    app.add_option("--tls-key", raw.tlsKey, "key of the HTTPS certificate (PEM)")->type_name("FILE");
    app.add_flag("--insecure-listen", raw.insecureListen,
                 "allow plain HTTP on an address that other machines reach (passwords cross the network readable)");
    app.add_option("--web-root", raw.webRoot, "the page's files (default /usr/share/ravenlink/web)")->type_name("DIR");
    app.add_option("--command-timeout", raw.commandTimeout, "wait for a command's result (default 20)")
        ->type_name("SECONDS");
    app.add_option("--session-idle", raw.sessionIdle, "close a user's broker connection unused this long (default 600)")
        ->type_name("SECONDS");
    app.add_option("--session-lifetime", raw.sessionLifetime,
                   "check a user's login with the broker again after this long (default 3600)")
        ->type_name("SECONDS");
    app.add_option("--max-streams", raw.maxStreams, "event streams served at once (default 32)")->type_name("N");
    app.add_option("--probe-topic", raw.probeTopic,
                   "accounts that may publish here see the command controls (default ravenlink-web/may-command)")
        ->type_name("TOPIC");
    app.set_version_flag("--version", std::string("ravenlink-web ") + RAVENLINK_WEB_VERSION);
}

void apply(const RawValues& raw, WebSettings& settings)
{
    if (!raw.config.empty()) {
        // An empty file is one without settings, as parseConfig says.
        const ravenlink::tools::ConfigText read = ravenlink::tools::readConfigText(raw.config);
        if (read.reason != 0) {
            throw SettingsError(raw.config + ": cannot be read");
        }
        parseConfig(read.text, raw.config, settings);
    }
    // The command line wins over the file, key by key, with the file's rules.
    const struct {
        const char* section;
        const char* key;
        const std::string& value;
    } given[] = {
        {"broker", "url", raw.broker},
        {"broker", "protocol", raw.protocol},
        {"broker", "ca-file", raw.caFile},
        {"broker", "cert-file", raw.certFile},
        {"broker", "key-file", raw.keyFile},
        {"broker", "topic-prefix", raw.topicPrefix},
        {"broker", "keepalive", raw.keepalive},
        {"web", "listen", raw.listen},
        {"web", "tls-cert", raw.tlsCert},
        {"web", "tls-key", raw.tlsKey},
        {"web", "web-root", raw.webRoot},
        {"web", "command-timeout", raw.commandTimeout},
        {"web", "session-idle", raw.sessionIdle},
        {"web", "session-lifetime", raw.sessionLifetime},
        {"web", "max-streams", raw.maxStreams},
        {"web", "probe-topic", raw.probeTopic},
    };
    for (const auto& [section, key, value] : given) {
        if (value.empty()) {
            continue;
        }
        if (value.find('\n') != std::string::npos) {
            throw SettingsError(std::string("--") + key + ": a value of one line");
        }
        try {
            parseConfig(std::string("[") + section + "]\n" + key + " = " + value + "\n", "command line", settings);
        } catch (const SettingsError& e) {
            // "command line:2: key: ..." reads better as "--key: ...".
            std::string text = e.what();
            const std::string head = "command line:2: ";
            throw SettingsError("--" + (text.rfind(head, 0) == 0 ? text.substr(head.size()) : text));
        }
    }
    if (raw.insecureListen) {
        settings.insecureListen = true;
    }
    checkSettings(settings);
}

} // namespace

std::optional<int> parseArguments(int argc, char** argv, WebSettings& settings)
{
    CLI::App app("Serves the stations on an MQTT broker as a web page, to each user as their broker account allows.",
                 "ravenlink-web");
    RawValues raw;
    addOptions(app, raw);
    const auto refuse = [](const std::string& arg) {
        if (arg.rfind("--password", 0) != 0 && arg.rfind("--username", 0) != 0) {
            return std::string();
        }
        return "there is no " + arg.substr(0, arg.find('=')) +
               " option: the server has no account of its own; every user of the page logs in to the broker with "
               "their own";
    };
    return ravenlink::tools::parseArguments<SettingsError>(app, argc, argv, usageText, refuse,
                                                           [&] { apply(raw, settings); });
}

} // namespace web
