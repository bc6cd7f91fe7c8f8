// The named stations of ravenlinkctl read from the bridge's configuration:
// the shipped example as the bridge reads it, and the mistakes in the lines
// ravenlinkctl reads named with their line, in the bridge's words.
#include "CommandTable.h"
#include "NamedStations.h"

#include <gtest/gtest.h>

using namespace ctl;

namespace {

std::string refusal(const std::string& text)
{
    try {
        parseStations(text, "site.conf");
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(no UsageError)";
}

} // namespace

TEST(NamedStations, ShippedBridgeExampleNamesItsStations)
{
    const std::vector<NamedStation> stations =
        readStations(std::string(RAVENLINK_SOURCE_DIR) + "/RavenlinkBridge/bridge.conf.example");
    ASSERT_EQ(stations.size(), 2U);
    EXPECT_EQ(stations[0].id, "north");
    EXPECT_EQ(stations[0].port, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K4N2Q-if00-port0");
    EXPECT_EQ(stations[0].timeoutMs, 300);  // from [defaults]
    EXPECT_EQ(stations[1].id, "south");
    EXPECT_EQ(stations[1].port, "/dev/ttyUSB1");
    EXPECT_EQ(&stationNamed(stations, "south", "x"), &stations[1]);

    const std::vector<NamedStation> own = parseStations("[station a]\ntimeout = 900\nport=/dev/a\n[station b]\nport:/dev/b\n", "s");
    EXPECT_EQ(own[0].timeoutMs, 900);
    EXPECT_EQ(own[1].timeoutMs, 0);  // none: ravenlinkctl's own default
}

TEST(NamedStations, MistakesAreNamedWithTheirLine)
{
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"[station a\nport = /dev/a\n", "site.conf:1: a section header ends with ]"},
        {"# sites\n[stations]\n", "site.conf:2: unknown section [stations]: use [broker], [bridge], [defaults] or [station ID]"},
        {"[station a/b]\n", "site.conf:1: station id 'a/b' must be 1 to 64 letters, digits, '-', '_' or '.'"},
        {"[station a]\n\nport /dev/a\n", "site.conf:3: expected 'key = value'"},
        {"[station a]\nport = /dev/a\ntimeout = 0.5\n", "site.conf:3: timeout: '0.5' is not a whole number from 1 to 3600000"},
        {"[defaults]\ntimeout = soon\n[station a]\nport = /dev/a\n",
         "site.conf:2: timeout: 'soon' is not a whole number from 1 to 3600000"},
        {"[station a]\nport = /dev/a\nport = /dev/b\n", "site.conf:3: port: given twice in [station a], on lines 2 and 3"},
        {"[station a]\nport =\n", "site.conf:2: port: empty"},
        {"[station a]\ncommands = on\n", "site.conf: [station a] names no port"},
        {"[station a]\nport = /dev/a\n[station a]\nport = /dev/b\n", "site.conf: station a is named twice"},
        {"[broker]\nhost = example.org\n", "site.conf: no [station ID] section"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusal(c.text), c.error) << c.text;
    }
    EXPECT_THROW(stationNamed(parseStations("[station a]\nport = /dev/a\n", "s"), "b", "s"), UsageError);
}
