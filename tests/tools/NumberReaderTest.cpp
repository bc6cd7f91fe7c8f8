// The number reader that ravenlinkctl and the bridge share: decimal numbers
// written in full, and nothing that only strtod would take.
#include <RavenlinkTools.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(NumberReader, TakesDecimalNumbersWrittenInFull)
{
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"0", 0.0},      {"42", 42.0},   {"42.7", 42.7}, {"-3", -3.0},      {"+5", 5.0},
        {".5", 0.5},     {"5.", 5.0},    {"-.25", -0.25}, {"1e3", 1000.0},  {"2.5E-2", 0.025},
        {"1e+2", 100.0}, {"007", 7.0},   {"0.3", 0.3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        double value = -1.0;
        EXPECT_TRUE(ravenlink::tools::parseNumber(c.text, value));
        EXPECT_EQ(value, c.value);
    }
}

TEST(NumberReader, RefusesEverythingElse)
{
    const std::vector<std::string> refused = {
        "",    " 5",  "5 ",  "\t5", "0x10", "0X1A",  "0x1p4", "inf",   "-inf", "infinity", "nan",
        "NaN", "1e999", "-1e999", "1e", "1e+", "e3", ".", "-", "+", "+-5", "--5",
        "5..0", "1.2.3", "12abc", "1,5", "1_000", "5\n", std::string("5\0", 2),
    };
    for (const std::string& text : refused) {
        SCOPED_TRACE(testing::PrintToString(text));
        double value = 0.0;
        EXPECT_FALSE(ravenlink::tools::parseNumber(text, value));
    }
}
