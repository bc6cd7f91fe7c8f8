// Which status codes leave a measurement without a value. The status report,
// ravenlinkctl's perfdata and the bridge's metrics all ask these functions,
// so a wrong row here shows a failed sensor's number as a reading in all
// three at once.
#include <StationReadings.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using ravenlink::Presence;

namespace {

EnvStatus withSensors(int s1, int s2, int s3, int s4)
{
    EnvStatus env;
    env.envSensor1Status = s1;
    env.envSensor2Status = s2;
    env.envSensor3Status = s3;
    env.envSensor4Status = s4;
    return env;
}

} // namespace

TEST(StationReadings, SensorCodesDecideTemperatureAndClimate)
{
    // Every code but 0 is a failure of the board sensor, its 255 included.
    for (const int code : {1, 2, 3, 4, 255}) {
        const EnvStatus env = withSensors(code, 0, 0, 0);
        EXPECT_EQ(ravenlink::temperaturePresence(env, 1), Presence::failed) << code;
        EXPECT_EQ(ravenlink::climatePresence(env), Presence::failed) << code;
        EXPECT_EQ(ravenlink::temperaturePresence(env, 2), Presence::value) << code;
    }
    // Sensors 2 to 4 report 255 when not fitted, each by its own code.
    const EnvStatus env = withSensors(0, 255, 2, 0);
    EXPECT_EQ(ravenlink::temperaturePresence(env, 1), Presence::value);
    EXPECT_EQ(ravenlink::climatePresence(env), Presence::value);
    EXPECT_EQ(ravenlink::temperaturePresence(env, 2), Presence::absent);
    EXPECT_EQ(ravenlink::temperaturePresence(env, 3), Presence::failed);
    EXPECT_EQ(ravenlink::temperaturePresence(env, 4), Presence::value);
    // No such sensor: nothing to read, and nothing read out of bounds.
    EXPECT_EQ(ravenlink::temperaturePresence(env, 0), Presence::absent);
    EXPECT_EQ(ravenlink::temperaturePresence(env, 5), Presence::absent);
}

TEST(StationReadings, PartCodesDecideFansMainsAndBattery)
{
    EnvStatus env;
    env.fan1Status = 1;
    env.fan2Status = 255;
    EXPECT_EQ(ravenlink::fanPresence(env, 1), Presence::failed);
    EXPECT_EQ(ravenlink::fanPresence(env, 2), Presence::absent);
    env.fan2Status = 0;
    EXPECT_EQ(ravenlink::fanPresence(env, 2), Presence::value);
    EXPECT_EQ(ravenlink::fanPresence(env, 3), Presence::absent);

    EnergyGSStatus gs;
    const struct {
        int code;
        Presence mains, battery;
    } rows[] = {
        {0, Presence::value, Presence::value},
        // A mains error still measures; a battery in use or charging still has a charge.
        {1, Presence::value, Presence::value},
        {2, Presence::value, Presence::value},
        {127, Presence::value, Presence::failed},
        {255, Presence::absent, Presence::absent},
    };
    for (const auto& row : rows) {
        gs.mainsStatus = row.code;
        gs.batStatus = row.code;
        EXPECT_EQ(ravenlink::mainsPresence(gs), row.mains) << row.code;
        EXPECT_EQ(ravenlink::batteryPresence(gs), row.battery) << row.code;
    }
}

TEST(StationReadings, FieldsWithoutValueAreNamedByTheirPaths)
{
    SystemStatus status;
    status.env = withSensors(0, 2, 255, 0);
    status.env.fan1Status = 0;
    status.env.fan2Status = 1;
    status.energyGS.mainsStatus = 255;
    status.energyGS.batStatus = 0;
    StatusGroups delivered = StatusGroups::all();
    delivered.cab = false;
    EXPECT_EQ(ravenlink::fieldsWithoutValue(status, delivered),
              (std::vector<std::string>{"env.temp2", "env.temp3", "env.fan2Rpm", "energyGS.mainsU", "energyGS.mainsI",
                                        "energyGS.mainsF"}));
    EXPECT_EQ(ravenlink::presenceAt(status, delivered, "env.temp2"), Presence::failed);
    EXPECT_EQ(ravenlink::presenceAt(status, delivered, "env.temp3"), Presence::absent);
    EXPECT_EQ(ravenlink::presenceAt(status, delivered, "env.temp4"), Presence::value);
    // No part governs a status code; a group that did not come, or a path
    // that names no field, holds nothing.
    EXPECT_EQ(ravenlink::presenceAt(status, delivered, "env.envSensor2Status"), Presence::value);
    EXPECT_EQ(ravenlink::presenceAt(status, delivered, "cab.length"), Presence::absent);
    EXPECT_EQ(ravenlink::presenceAt(status, delivered, "env.temp9"), Presence::absent);
    EXPECT_EQ(ravenlink::presenceAt(status, delivered, "env"), Presence::absent);
    // Nothing is named of a group that did not come.
    EXPECT_TRUE(ravenlink::fieldsWithoutValue(status, StatusGroups{}).empty());
}
