// The station's values as every front end takes them: what is accepted at
// each bound, how the ranges read, the group names, and that the encoding
// is the one the requests use.
#include <StationValues.h>
#include <StationVocabulary.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace ravenlink::vocab;

TEST(Vocabulary, AcceptsEachRangeToItsBoundsAndNoFurther)
{
    const struct {
        const Setting& setting;
        std::vector<std::string> taken, refused;
    } cases[] = {
        {retractionTorque, {"0", "100", "42.7", "-0", "1e2"}, {"-0.01", "100.001", "nan", "inf", "", "50%"}},
        // 0.3 passes as the float that is sent; 655.35 m is the most the
        // station reports back in 16-bit centimetres.
        {retractionStart, {"0.3", "655.35", "1.05"}, {"0.29", "655.36", "1e30", "1e999", "-1"}},
        // Whole milliseconds, written with digits alone.
        {connectionTimeout, {"1", "3600000", "0300"}, {"0", "3600001", "1e3", "1.0", "+5", "-1", " 5"}},
        {readingInterval, {"0.001", "86400", "1"}, {"0.0009", "86400.5", "0x10"}},
    };
    for (const auto& c : cases) {
        for (const std::string& text : c.taken) {
            EXPECT_TRUE(accept(c.setting, text).has_value()) << c.setting.name << " " << text;
        }
        for (const std::string& text : c.refused) {
            EXPECT_FALSE(accept(c.setting, text).has_value()) << c.setting.name << " " << text;
        }
    }
    // JSON numbers: beyond the float range, not finite, or not whole.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(accept(retractionTorque, nan).has_value());
    EXPECT_FALSE(accept(retractionStart, 1e300).has_value());
    EXPECT_FALSE(accept(connectionTimeout, 2.5).has_value());
    EXPECT_EQ(accept(connectionTimeout, 3600000.0), 3600000.0F);
    EXPECT_EQ(accept(retractionStart, 0.3), 0.3F);
}

TEST(Vocabulary, RangesReadAsTheMessagesSayThem)
{
    EXPECT_EQ(rangeText(retractionTorque), "a number from 0 to 100");
    EXPECT_EQ(rangeText(retractionStart), "a number of metres from 0.3 to 655.35");
    EXPECT_EQ(rangeText(connectionTimeout), "a whole number from 1 to 3600000");
    EXPECT_EQ(rangeText(readingInterval), "a number of seconds from 0.001 to 86400");
}

TEST(Vocabulary, GroupsHaveOneNameForTheCommandLineAndOneForJson)
{
    EXPECT_EQ(groupList(), "cab, env, energy-gs, energy-uav, sys-state");
    EXPECT_EQ(groupList(true), "cab, env, energyGS, energyUAV, sysState");
    EXPECT_EQ(groupByCliName("energy-gs"), 2);
    EXPECT_EQ(groupByJsonKey("energyGS"), 2);
    EXPECT_EQ(groupByCliName("energyGS"), -1);
    EXPECT_EQ(groupByJsonKey("sys-state"), -1);
    ConfigStatus config;
    config.*statusGroups[4].flag = 1;
    EXPECT_EQ(config.sysState, 1);
}

TEST(Vocabulary, EncodingIsWhatTheRequestsSend)
{
    // The largest accepted start length is the largest the station reports.
    EXPECT_EQ(encode(retractionStart, *accept(retractionStart, "655.35")), 65535);
    for (const float value : {0.0F, 0.29F, 1.05F, 2.999F, 42.7F, 99.99F, 150.0F, 1e12F}) {
        EXPECT_EQ(encode(retractionTorque, value), sentRetractionTorque(value)) << value;
        EXPECT_EQ(encode(retractionStart, value), sentRetractionStartLength(value)) << value;
    }
}
