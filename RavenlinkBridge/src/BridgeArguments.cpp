// Values arrive as text and go through the same checks as the file's, so a
// setting has one rule and one message wherever it is written. There is no
// option for a password: a command line can be read by every user of the
// machine.
#include "BridgeArguments.h"

#include <ProgramArguments.h>
#include <StationLink.h>

#include <CLI/CLI.hpp>


namespace bridge {

// The options as text, before they are checked.
struct RawArguments {
    std::string config;
    std::vector<std::string> stations;
    std::string broker;
    std::string protocol;
    std::string username;
    std::string passwordFile;
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string clientId;
    std::string topicPrefix;
    std::string keepalive;
    std::string interval;
    std::string timeout;
    std::string commands;
    std::string metricsListen;
    std::string discovery;
};

namespace {

using RawValues = RawArguments;

const char* const usageText = "Usage: ravenlink-bridge --config FILE\n"
                              "       ravenlink-bridge --station ID=PORT [--station ID=PORT ...] --broker URL [options]\n"
                              "Run 'ravenlink-bridge --help' for more.\n";

void addOptions(CLI::App& app, RawValues& raw)
{
    app.add_option("-c,--config", raw.config, "read the configuration from FILE")->type_name("FILE");
    app.add_option("-s,--station", raw.stations, "serve the station on serial port PORT as ID (repeatable)")
        ->type_name("ID=PORT");
    app.add_option("-b,--broker", raw.broker, "mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (default mqtt://localhost)")
        ->type_name("URL");
    app.add_option("--protocol", raw.protocol, "MQTT 3.1.1 (default) or 5")->type_name("3.1.1|5");
    app.add_option("-u,--username", raw.username, "user name at the broker")->type_name("NAME");
    app.add_option("--password-file", raw.passwordFile, "the password is the first line of FILE")->type_name("FILE");
    app.add_option("--ca-file", raw.caFile, "CA certificates for TLS (PEM); switches TLS on")->type_name("FILE");
    app.add_option("--cert-file", raw.certFile, "client certificate for TLS (PEM)")->type_name("FILE");
    app.add_option("--key-file", raw.keyFile, "key of the client certificate (PEM)")->type_name("FILE");
    app.add_option("--client-id", raw.clientId, "MQTT client id; each station adds -ID")->type_name("ID");
    app.add_option("--topic-prefix", raw.topicPrefix, "first topic levels (default ravenlink)")->type_name("PREFIX");
    app.add_option("--keepalive", raw.keepalive, "MQTT keepalive, 5 to 3600 (default 30)")->type_name("SECONDS");
    app.add_option("-i,--interval", raw.interval, "between status readings (default 1)")->type_name("SECONDS");
    app.add_option("-t,--timeout", raw.timeout, "station connection timeout (default 300)")->type_name("MS");
    app.add_option("--commands", raw.commands, "take commands from the cmd topics (default off)")->type_name("on|off");
    app.add_option("--metrics-listen", raw.metricsListen,
                   "serve Prometheus metrics at http://ADDRESS:PORT/metrics (ADDRESS 127.0.0.1 unless given)")
        ->type_name("[ADDRESS:]PORT");
    app.add_option("--discovery", raw.discovery, "announce the stations to a home-automation server (default off)")
        ->type_name("homeassistant|off");
    StationLink link;
    app.set_version_flag("--version", std::string("ravenlink-bridge ") + RAVENLINK_BRIDGE_VERSION + " (library build " +
                                          link.getLibraryBuild() + ", protocol " + link.getProtocolVersion() + ")");
}

void applyBroker(const RawValues& raw, BrokerSettings& broker)
{
    if (!raw.broker.empty()) {
        applyBrokerUrl(raw.broker, broker);
    }
    if (!raw.protocol.empty()) {
        broker.protocol = protocolValue(raw.protocol, "--protocol");
    }
    const std::pair<const std::string*, std::string*> texts[] = {
        {&raw.username, &broker.username},     {&raw.passwordFile, &broker.passwordFile},
        {&raw.certFile, &broker.certFile},     {&raw.keyFile, &broker.keyFile},
        {&raw.clientId, &broker.clientId},     {&raw.topicPrefix, &broker.topicPrefix},
    };
    for (const auto& [from, to] : texts) {
        if (!from->empty()) {
            *to = *from;
        }
    }
    if (!raw.caFile.empty()) {
        broker.caFile = raw.caFile;
        broker.tls = true;
    }
    if (!raw.keepalive.empty()) {
        broker.keepaliveSeconds = keepaliveValue(raw.keepalive, "--keepalive");
    }
}

BridgeSettings convert(const RawValues& raw)
{
    ConfigFile file = raw.config.empty() ? ConfigFile{} : readConfigFile(raw.config);
    applyBroker(raw, file.broker);
    StationDefaults commandLine;
    if (!raw.interval.empty()) {
        commandLine.intervalSeconds = intervalValue(raw.interval, "--interval");
    }
    if (!raw.timeout.empty()) {
        commandLine.timeoutMs = timeoutValue(raw.timeout, "--timeout");
    }
    if (!raw.commands.empty()) {
        commandLine.commands = onOffValue(raw.commands, "--commands");
    }
    if (!raw.discovery.empty()) {
        commandLine.discovery = discoveryValue(raw.discovery, "--discovery");
    }
    std::vector<StationSettings> stations;
    for (const std::string& text : raw.stations) {
        stations.push_back(stationValue(text));
    }
    if (!raw.metricsListen.empty()) {
        file.metricsListen = listenValue(raw.metricsListen, "--metrics-listen");
    }
    return resolve(std::move(file), commandLine, stations);
}

} // namespace

bool CommandLine::namesConfigFile() const { return raw && !raw->config.empty(); }

const std::string& CommandLine::configFile() const
{
    static const std::string none;
    return raw ? raw->config : none;
}

BridgeSettings CommandLine::reread(const BridgeSettings& running) const
{
    if (!namesConfigFile()) {
        throw SettingsError("no configuration file to read again");
    }
    BridgeSettings settings = convert(*raw);
    if (settings.broker.clientIdMadeUp && running.broker.clientIdMadeUp) {
        settings.broker.clientId = running.broker.clientId;
    }
    return settings;
}

std::optional<int> parseArguments(int argc, char** argv, BridgeSettings& settings, CommandLine* kept)
{
    CLI::App app("Publishes Halvern Loftward ground stations to an MQTT broker and takes their commands.",
                 "ravenlink-bridge");
    RawValues raw;
    addOptions(app, raw);
    const auto refuse = [](const std::string& arg) {
        // The parser would echo what follows, which is a password.
        return arg.rfind("--password", 0) == 0 && arg.rfind("--password-file", 0) != 0
                   ? "there is no --password option: a password is never given on the command line; put it in a "
                     "file of its own and name that with --password-file"
                   : "";
    };
    return ravenlink::tools::parseArguments<SettingsError>(app, argc, argv, usageText, refuse, [&] {
        settings = convert(raw);
        if (kept != nullptr) {
            kept->raw = std::make_shared<const RawArguments>(raw);
        }
    });
}

} // namespace bridge
