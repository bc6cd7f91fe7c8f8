// The configuration file, the command line laid over it, and the checks
// that refuse a setting before anything connects.
#include "BridgeArguments.h"
#include "BridgeSettings.h"
#include "BridgeSupport.h"
#include "Outcome.h"

using namespace bridge;
using ravenlinktest::failureOf;

namespace {

BridgeSettings resolved(const std::string& text, const std::vector<StationSettings>& extra = {})
{
    return resolve(parseConfig(text, "test.conf"), StationDefaults{}, extra);
}

// A configuration text and the refusal it must end in.
struct Mistake {
    std::string text;
    std::string error;
};

void expectRefusals(const std::vector<Mistake>& mistakes)
{
    for (const Mistake& m : mistakes) {
        EXPECT_EQ(failureOf<SettingsError>([&] { resolved(m.text); }), m.error) << m.text;
    }
}

} // namespace

TEST(BridgeSettings, ShippedExampleReadsAsDocumented)
{
    const BridgeSettings settings =
        resolve(readConfigFile(std::string(RAVENLINK_PROJECT_DIR) + "/RavenlinkBridge/bridge.conf.example"), {}, {});
    const BrokerSettings& b = settings.broker;
    EXPECT_EQ(b.host, "broker.example.org");
    EXPECT_EQ(b.effectivePort(), 8883);
    EXPECT_TRUE(b.tls);
    EXPECT_EQ(b.protocol, MqttProtocol::v5);
    EXPECT_EQ(b.username, "ravenlink-bridge");
    EXPECT_EQ(b.passwordFile, "/etc/ravenlink/bridge.password");
    EXPECT_EQ(b.clientId, "ravenlink-bridge-hangar1");
    ASSERT_EQ(settings.stations.size(), 2U);
    EXPECT_EQ(settings.stations[0].id, "north");
    EXPECT_TRUE(settings.stations[0].commands);
    EXPECT_EQ(settings.stations[0].intervalSeconds, 1.0);
    EXPECT_EQ(settings.stations[1].port, "/dev/ttyUSB1");
    EXPECT_FALSE(settings.stations[1].commands);
    EXPECT_EQ(settings.stations[1].intervalSeconds, 2.0);
    EXPECT_EQ(stationClientId(b, "south"), "ravenlink-bridge-hangar1-south");
}

TEST(BridgeSettings, StationValuesComeFromTheNearestSource)
{
    ConfigFile file = parseConfig("[defaults]\ninterval = 5\ntimeout = 700\n[station a]\nport = /dev/a\ninterval: 3\n"
                                  "[station b]\nport = /dev/b\n",
                                  "test.conf");
    StationDefaults commandLine;
    commandLine.intervalSeconds = 0.5;
    const BridgeSettings settings = resolve(file, commandLine, {stationValue("c=/dev/c")});
    ASSERT_EQ(settings.stations.size(), 3U);
    EXPECT_EQ(settings.stations[0].intervalSeconds, 3.0);  // its own
    EXPECT_EQ(settings.stations[1].intervalSeconds, 0.5);  // the command line over [defaults]
    EXPECT_EQ(settings.stations[2].intervalSeconds, 0.5);
    EXPECT_EQ(settings.stations[2].timeoutMs, 700);        // [defaults]
    EXPECT_EQ(settings.broker.host, "localhost");
    EXPECT_EQ(settings.broker.effectivePort(), 1883);
    EXPECT_EQ(settings.broker.topicPrefix, "ravenlink");
    EXPECT_EQ(settings.broker.clientId.rfind("ravenlink-bridge-", 0), 0U);
}

TEST(BridgeSettings, BrokerUrls)
{
    const struct {
        std::string url;
        std::string host;
        int port;
        bool tls;
        std::string user;
    } cases[] = {
        {"mqtt://broker", "broker", 1883, false, ""},
        {"mqtts://broker", "broker", 8883, true, ""},
        {"mqtts://bridge@broker:9000", "broker", 9000, true, "bridge"},
        {"10.0.0.5:1884", "10.0.0.5", 1884, false, ""},
        {"mqtt://[::1]:1885/", "::1", 1885, false, ""},
    };
    for (const auto& c : cases) {
        BrokerSettings broker;
        applyBrokerUrl(c.url, broker);
        EXPECT_EQ(broker.host, c.host) << c.url;
        EXPECT_EQ(broker.effectivePort(), c.port) << c.url;
        EXPECT_EQ(broker.tls, c.tls) << c.url;
        EXPECT_EQ(broker.username, c.user) << c.url;
    }
}

TEST(BridgeSettings, MistakesAreNamedWithTheirLine)
{
    const std::string station = "[station a]\nport = /dev/a\n";
    expectRefusals({
        {"port = 1\n", "test.conf:1: 'port' before any section: start with [broker] or [station ID]"},
        {"[broker]\npassword = hunter2\n", "test.conf:2: password: a password is never written in the configuration; put it in a file of its own and name that with password-file"},
        {"[broker]\nport = 70000\n", "test.conf:2: port: '70000' is not a whole number from 1 to 65535"},
        {"[broker]\nprotocol = 4\n", "test.conf:2: protocol: '4' is neither 3.1.1 nor 5"},
        {"[brokers]\n", "test.conf:1: unknown section [brokers]: use [broker], [bridge], [defaults] or [station ID]"},
        {"[station a/b]\n", "test.conf:1: station id 'a/b' must be 1 to 64 letters, digits, '-', '_' or '.'"},
        {"[station +]\n", "test.conf:1: station id '+' must be 1 to 64 letters, digits, '-', '_' or '.'"},
        {"[station a]\ninterval = 0\n", "test.conf:2: interval: '0' is not a number of seconds from 0.001 to 86400"},
        {"[station a]\ncommands = yes\n", "test.conf:2: commands: 'yes' is neither on nor off"},
        {"[station a]\nspeed = 3\n", "test.conf:2: unknown key 'speed' in [station]"},
        {"[broker]\nurl = http://x\n", "test.conf:2: broker URL 'http://x': the scheme must be mqtt:// or mqtts://"},
        {"[broker]\nurl = mqtt://bridge:hunter2@x\n", "test.conf:2: broker URL: a password in the URL is refused; put it in a file of its own and name that with --password-file"},
        {"", "no station: name one with --station ID=PORT or a [station ID] section"},
        {"[station a]\n", "[station a] names no port"},
        {station + "[station a]\nport = /dev/b\n", "station a is named twice"},
        {station + "[station b]\nport = /dev/a\n", "port /dev/a is given to two stations"},
        {"[broker]\ntopic-prefix = site/#\n" + station, "topic-prefix: 'site/#' must be one or more topic levels without wildcards, empty levels or a leading $"},
        {"[broker]\ncert-file = c.pem\nkey-file = k.pem\n" + station, "a client certificate needs TLS: give a ca-file or an mqtts:// URL"},
        {"[broker]\nca-file = ca.pem\ncert-file = c.pem\n" + station, "a client certificate needs both cert-file and key-file"},
        {"[broker]\npassword-file = /p\n" + station, "a password file needs a username"},
    });
}

TEST(BridgeSettings, KeyGivenTwiceInOneSectionIsRefusedWithBothLines)
{
    expectRefusals({
        {"[station a]\nport = /dev/a\ninterval = 1\nport: /dev/b\n",
         "test.conf:4: port: given twice in [station a], on lines 2 and 4"},
        {"[broker]\nhost = a\n\n# again\n[broker]\nhost = b\n[station a]\nport = /dev/a\n",
         "test.conf:6: host: given twice in [broker], on lines 2 and 6"},
        {"[defaults]\ncommands = on\ncommands = off\n", "test.conf:3: commands: given twice in [defaults], on lines 2 and 3"},
    });
    // The same key in two sections is two settings.
    const BridgeSettings settings =
        resolved("[defaults]\ninterval = 2\n[station a]\nport = /dev/a\ninterval = 3\n[station b]\nport = /dev/b\n");
    EXPECT_EQ(settings.stations[0].intervalSeconds, 3.0);
    EXPECT_EQ(settings.stations[1].intervalSeconds, 2.0);
}

TEST(BridgeSettings, NumbersAreDecimalOnly)
{
    expectRefusals({
        {"[station a]\ninterval = 0x10\n", "test.conf:2: interval: '0x10' is not a number of seconds from 0.001 to 86400"},
        {"[station a]\ninterval = 0x1p3\n", "test.conf:2: interval: '0x1p3' is not a number of seconds from 0.001 to 86400"},
        {"[station a]\ntimeout = 0x10\n", "test.conf:2: timeout: '0x10' is not a whole number from 1 to 3600000"},
        {"[broker]\nport = 0x10\n", "test.conf:2: port: '0x10' is not a whole number from 1 to 65535"},
    });
    EXPECT_EQ(failureOf<SettingsError>([] { intervalValue("0x10", "--interval"); }),
              "--interval: '0x10' is not a number of seconds from 0.001 to 86400");
    EXPECT_EQ(intervalValue("2.5e-1", "--interval"), 0.25);
    // The timeout ravenlinkctl takes, up to an hour.
    EXPECT_EQ(timeoutValue("3600000", "--timeout"), 3600000);
    EXPECT_EQ(failureOf<SettingsError>([] { timeoutValue("3600001", "--timeout"); }),
              "--timeout: '3600001' is not a whole number from 1 to 3600000");
}

TEST(BridgeSettings, ConfigurationThatCannotBeUsedNamesTheCause)
{
    bridgetest::ScratchDir dir;
    bridgetest::writeFile(dir.file("empty.conf"), "");
    bridgetest::writeFile(dir.file("blank.conf"), "\n  \n");
    EXPECT_EQ(failureOf<SettingsError>([&] { readConfigFile(dir.file("empty.conf")); }),
              dir.file("empty.conf") + ": the configuration file is empty");
    EXPECT_EQ(failureOf<SettingsError>([&] { readConfigFile(dir.file("blank.conf")); }),
              dir.file("blank.conf") + ": the configuration file is empty");
    EXPECT_EQ(failureOf<SettingsError>([&] { readConfigFile(dir.path); }),
              dir.path + ": cannot read the configuration: Is a directory");
    EXPECT_EQ(failureOf<SettingsError>([&] { readConfigFile(dir.file("none.conf")); }),
              dir.file("none.conf") + ": cannot read the configuration: No such file or directory");
}

TEST(BridgeSettings, PasswordFile)
{
    bridgetest::ScratchDir dir;
    bridgetest::writeFile(dir.file("crlf"), "s3cret\r\nsecond line\n");
    bridgetest::writeFile(dir.file("empty"), "\n");
    EXPECT_EQ(readPassword(dir.file("crlf")), "s3cret");
    EXPECT_EQ(failureOf<SettingsError>([&] { readPassword(dir.file("empty")); }),
              "password-file " + dir.file("empty") + ": its first line is empty");
    EXPECT_EQ(failureOf<SettingsError>([&] { readPassword(dir.file("none")); }),
              "password-file " + dir.file("none") + ": cannot read it: No such file or directory");
}

TEST(BridgeUsage, CommandLineMistakesEndWithStatusTwoAndNeverEchoAPassword)
{
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--station", "a=/dev/a", "--password", "hunter2"}, "ravenlink-bridge: there is no --password option: a password is never given on the command line; put it in a file of its own and name that with --password-file\n"},
        {{"--station", "a=/dev/a", "--password=hunter2"}, "ravenlink-bridge: there is no --password option: a password is never given on the command line; put it in a file of its own and name that with --password-file\n"},
        {{"--station", "a=/dev/a", "--broker", "mqtt://u:hunter2@h"}, "ravenlink-bridge: broker URL: a password in the URL is refused; put it in a file of its own and name that with --password-file\n"},
        {{"--station", "a"}, "ravenlink-bridge: --station: 'a' is not ID=PORT with an ID of 1 to 64 letters, digits, '-', '_' or '.'\n"},
        {{"--station", "a=/dev/a", "--commands", "maybe"}, "ravenlink-bridge: --commands: 'maybe' is neither on nor off\n"},
        {{"--config", "/nonexistent/bridge.conf"}, "ravenlink-bridge: /nonexistent/bridge.conf: cannot read the configuration: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        const auto result = ravenlinktest::runChildProcess(RAVENLINK_BRIDGE_PATH, c.args, "");
        EXPECT_EQ(result.exitStatus, 2) << c.args.back();
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(result.errors, c.error);
        EXPECT_EQ(result.errors.find("hunter2"), std::string::npos);
    }
    // A password file that cannot be read is a failure at start, not usage.
    const auto unreadable = ravenlinktest::runChildProcess(
        RAVENLINK_BRIDGE_PATH, {"--station", "a=/dev/a", "-u", "me", "--password-file", "/nonexistent/pw"}, "");
    EXPECT_EQ(unreadable.exitStatus, 1);
    EXPECT_NE(unreadable.errors.find(" error password-file /nonexistent/pw: cannot read it: No such file or directory\n"),
              std::string::npos)
        << unreadable.errors;
}
