// The status report text, byte for byte.
#include "PrintedReport.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Goldens are written with a readable degree sign; the report writes the
// single console byte 0xF8 instead.
std::string consoleBytes(std::string text)
{
    const std::string sign = "\u00B0";
    for (auto pos = text.find(sign); pos != std::string::npos; pos = text.find(sign, pos + 1)) {
        text.replace(pos, sign.size(), "\xF8");
    }
    return text;
}

using ravenlinktest::report;

SystemStatus allZero()
{
    SystemStatus s;
    s.cab = {0.0F, 0.0F, 0, 0.0F, 0.0F, 0, 0, 0};
    s.env = {0.0F, 0.0F, 0.0F, 0.0F, 0.0F, 0.0F, 0, 0, 0, 0, 0, 0, 0, 0};
    s.energyGS = {0.0F, 0.0F, 0.0F, 0, 0, 0.0F, 0};
    s.energyUAV = {0.0F, 0.0F, 0.0F, 0, 0};
    s.sysState = {0, 0, 0, 0U, 0U, 0U, 0U, 0U, 0};
    return s;
}

// Every code table once, with known, unknown and not-available codes side
// by side; the defaults test covers the remaining not-available texts.
SystemStatus richRecord()
{
    SystemStatus s;
    s.configStatus = {1, 1, 1, 1, 1};
    s.cab = {12.5F, -0.25F, 32, 50.0F, 0.3F, 1, 1, 0};
    s.env = {23.5F, -0.5F, 30.0F, 40.0F, 45.5F, 1013.4F, 0, 255, 9, 4, 1200, 0, 1300, 1};
    s.energyGS = {230.0F, 1.5F, 49.999F, 2, 2, 12.9F, 3};
    s.energyUAV = {48.0F, 20.0F, 960.0F, 34, 40};
    s.sysState = {16, 32, 127, 555U, 90061U, 3725U, 86399U, 4294967295U, 5};
    return s;
}

} // namespace

TEST(StatusReport, AllZeroRecordPrintsDisabledSections)
{
    EXPECT_EQ(report(allZero()), R"(Current system status
Cable status data are disabled.

Envrionment status data are disabled.

Ground Station energy status data are disabled.

UAV energy status data are disabled.

Tether system states data are disabled.

)");
}

TEST(StatusReport, FlagsOtherThanEnabledPrintOneLinePerSection)
{
    SystemStatus status = allZero();
    status.configStatus = {255, 255, 255, 255, 255};
    EXPECT_EQ(report(status), R"(Current system status
Cable status data are not available on this Halvern Loftward system.

Envrionment status data are not available on this Halvern Loftward system.

Ground Station energy status data are not available on this Halvern Loftward system.

UAV energy status data are not available on this Halvern Loftward system.

Tether system states data are not available on this Halvern Loftward system.

)");

    // The UAV energy section has no wording for an unknown flag.
    status.configStatus = {2, 7, -1, 2, 16};
    EXPECT_EQ(report(status), R"(Current system status
Cable status: 2

Environment status: 7

Ground Station energy status: -1


Tether system states: 16

)");
}

TEST(StatusReport, DefaultsWithAllGroupsEnabled)
{
    SystemStatus status;
    status.configStatus = {1, 1, 1, 1, 1};
    EXPECT_EQ(report(status), R"(Current system status
Cable status data:
Cable length unwound: 0.000000 m
Cable speed: 0.000000 m/s
Cable retraction start length: 0.000000 m
Cable retraction torque: 0.000000 %
Cable retraction status: automatic cable retraction is not available on this Halvern Loftward system.
Tether Cable status: failure detected
Cable guide status: Cable guide is not available on this Halvern Loftward system.
Cable reel status: Cable reel is not available on this Halvern Loftward system.

Environment status data:
Environment Sensor 1: 255
Environment Sensor 2: not available
Environment Sensor 3: not available
Environment Sensor 4: not available
Temperatur 1 (System/PCB): failure
Humidity 1: failure
Pressure 1: failure

Ground Station energy status data:
Mains parameters are not available on this Halvern Loftward system.
Backup battery status: No backup battery in this Halvern Loftward ground station configuration available!
Control Supply status: Control Supply parameters are not available on this Halvern Loftward system.

UAV energy status data:
UAV battery type: 0S
UAV supply voltage: 0.000000 V
UAV supply current: 0.000000 A
UAV power consumption: 0.000000 W
UAV external supply status: supply error

System activation status: deactivated
Cable retraction status: automatic cable retraction is not available on this Halvern Loftward system.
Backup battery status: No backup battery in this Halvern Loftward ground station configuration available!
Current flight time: 0:0:0
Flight time sum during operation: 0:0:0
Number of flights during operation: 0
Current operation time: 0:0:0
System error: generic error

)");
}

TEST(StatusReport, RichRecordThroughEveryTable)
{
    const std::string text = report(richRecord());
    EXPECT_EQ(text, consoleBytes(R"(Current system status
Cable status data:
Cable length unwound: 12.500000 m
Cable speed: -0.250000 m/s
Cable retraction start length: 0.300000 m
Cable retraction torque: 50.000000 %
Cable retraction status: breaking
Tether Cable status: 1
Cable guide status: motor failure detected
Cable reel status: OK

Environment status data:
Environment Sensor 1: OK
Environment Sensor 2: not available
Environment Sensor 3: 9
Environment Sensor 4: pressure failure
Temperatur 1 (System/PCB): 24 °C
Temperatur 3: failure
Temperatur 4: failure
Humidity 1: 46 %
Pressure 1: 1013 hPa
Fan 1: 1200 1/min
Fan 2: failure

Ground Station energy status data:
Mains voltage: 230.000000 V
Mains current: 1.500000 A
Mains frequency: 49.999001 Hz
Mains status: Parameters out of range
Backup battery status: 3
Backup battery voltage: 12 %
Control Supply status: Out of range

UAV energy status data:
UAV battery type: 4S HV
UAV supply voltage: 48.000000 V
UAV supply current: 20.000000 A
UAV power consumption: 960.000000 W
UAV external supply status: secondary supply activated 

System activation status: remote activated via UART
Cable retraction status: 32
Backup battery status: Failure on backup battery!
Current flight time: 1:2:5
Flight time sum during operation: 23:59:59
Number of flights during operation: 4294967295
Current operation time: 25:1:1
System error: 5

)"));
    // The blank before the line feed is part of the station's wording.
    EXPECT_NE(text.find("secondary supply activated \n"), std::string::npos);
}
