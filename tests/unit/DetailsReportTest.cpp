// The details report text, byte for byte.
#include "PrintedReport.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ravenlinktest::report;

SystemDetails richDetails()
{
    SystemDetails d;
    d.productType = "Loftward GS";
    d.model = "LW-400";
    d.sn = "SN-000123";
    d.dop = "2023-04-05";
    d.hwVersion = "2.1";
    d.swVersion = {"1.4.2", "0.0.0 ", "0.0", "", "0.0.0", "0.0.0", "2.0.7"};
    d.protocolVersion = "1.20";
    d.uavCellVoltages = "LiHV 4.35V";
    d.maxPower = -1;
    d.cableType = "T-100";
    d.maxCableLength = 100;
    d.networkType = 3;
    d.flightTimeSum = 4294967295U;
    d.flightCount = 120U;
    d.operationTimeSum = 3725U;
    d.operationCount = 4294967295U;
    d.systemTimeSum = 1U;
    d.systemUseCount = 2U;
    d.ttm = 90061U;
    d.maintenanceRequired = 2;
    return d;
}

std::string lineAfter(const std::string& text, const std::string& label)
{
    const auto start = text.find(label);
    if (start == std::string::npos) {
        return "<missing>";
    }
    const auto end = text.find('\n', start);
    return text.substr(start + label.size(), end - start - label.size());
}

} // namespace

TEST(DetailsReport, FreshRecord)
{
    EXPECT_EQ(report(SystemDetails{}), R"(Product details:
Product type: 
Product model: 
Serial number: 
Day of production: 
Hardware Version: 
Software versions:
Main control: 
Low power management: 
High power management: 
Environment control: 
Cable reel control: 
Backup battery management: 
Network control: 
used Communication Protocol version: 
supported UAV battery cell type: 
Maximum Power: 0 W
Tether cable type equiped: 
Tether cable length: 0 m
Tether type: Network support is not available on this Halvern Loftward system.
Total operation time: 0:0:0
Total number of operations: 0
Total flight time: 0:0:0
Total number of flights: 0
Usage time until next maintenance: 0:0:0
No maintenance necessary.

)");
}

TEST(DetailsReport, OnlyTheExactAbsentVersionIsHidden)
{
    // "0.0.0 " and "0.0" are shown, as is an empty version; "0.0.0" is not.
    EXPECT_EQ(report(richDetails()), R"(Product details:
Product type: Loftward GS
Product model: LW-400
Serial number: SN-000123
Day of production: 2023-04-05
Hardware Version: 2.1
Software versions:
Main control: 1.4.2
Low power management: 0.0
High power management: 
Cable reel control: 0.0.0 
Backup battery management: 2.0.7
used Communication Protocol version: 1.20
supported UAV battery cell type: LiHV 4.35V
Maximum Power: -1 W
Tether cable type equiped: T-100
Tether cable length: 100 m
Tether type: Fiber-optic
Total operation time: 1:2:5
Total number of operations: 4294967295
Total flight time: 1193046:28:15
Total number of flights: 120
Usage time until next maintenance: 25:1:1
Maintenance necessary!

)");
}

TEST(DetailsReport, NoVersionHeadingWhenEveryControllerIsAbsent)
{
    SystemDetails details;
    details.swVersion = {"0.0.0", "0.0.0", "0.0.0", "0.0.0", "0.0.0", "0.0.0", "0.0.0"};
    const std::string text = report(details);
    EXPECT_EQ(text.find("Software versions:"), std::string::npos);
    EXPECT_NE(text.find("Hardware Version: \nused Communication Protocol version: \n"), std::string::npos);
}

TEST(DetailsReport, NetworkTypesAndMaintenance)
{
    const struct {
        int code;
        const char* text;
    } types[] = {
        {1, "2-wire Power Line"},
        {2, "3-wire Power Line"},
        {3, "Fiber-optic"},
        {255, "Network support is not available on this Halvern Loftward system."},
        {0, "0"},
        {4, "4"},
        {-1, "-1"},
    };
    SystemDetails details;
    for (const auto& t : types) {
        details.networkType = t.code;
        EXPECT_EQ(lineAfter(report(details), "Tether type: "), t.text);
    }
    for (const int flag : {0, 1, 2, -1}) {
        details.maintenanceRequired = flag;
        const std::string text = report(details);
        const std::string verdict = flag == 0 ? "\nNo maintenance necessary.\n\n" : "\nMaintenance necessary!\n\n";
        EXPECT_EQ(text.substr(text.size() - verdict.size()), verdict) << flag;
    }
}

TEST(DetailsReport, StationTextsCannotSteerTheTerminal)
{
    // Clearing the screen, setting the window title and forging a report
    // line: every control byte is shown as a visible escape, while UTF-8
    // and every other byte stay as sent.
    SystemDetails d;
    d.productType = "\x1b[2JLoftward";
    d.model = "\x1b]0;pwned\x07LW";
    d.sn = "SN\r\nMaintenance necessary!";
    d.dop = std::string("a\0b\tc\x7f", 6);
    d.hwVersion = "Gr\xc3\xb6\xc3\x9f" "e \\x1b";
    d.swVersion.mainCtrl = "1.0\n";
    d.cableType = "\x9b" "2J";
    const std::string text = report(d);

    EXPECT_NE(text.find("Product type: \\x1b[2JLoftward\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Product model: \\x1b]0;pwned\\x07LW\n"), std::string::npos);
    EXPECT_NE(text.find("Serial number: SN\\r\\nMaintenance necessary!\n"), std::string::npos);
    EXPECT_NE(text.find("Day of production: a\\x00b\\tc\\x7f\n"), std::string::npos);
    EXPECT_NE(text.find("Hardware Version: Gr\xc3\xb6\xc3\x9f" "e \\x1b\n"), std::string::npos);
    EXPECT_NE(text.find("Main control: 1.0\\n\n"), std::string::npos);
    EXPECT_NE(text.find("Tether cable type equiped: \x9b" "2J\n"), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find("\nMaintenance necessary!"), std::string::npos);
}
