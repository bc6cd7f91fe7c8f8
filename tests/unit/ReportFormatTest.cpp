// Number texts shared by the reports.
#include "ReportFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>

using namespace ravenlink;

TEST(ReportFormat, SixDecimalMatchesPrintfOfTheWidenedFloat)
{
    EXPECT_EQ(sixDecimal(12.5F), "12.500000");
    EXPECT_EQ(sixDecimal(0.0F), "0.000000");
    EXPECT_EQ(sixDecimal(-0.25F), "-0.250000");
    EXPECT_EQ(sixDecimal(12.34F), "12.340000");
    EXPECT_EQ(sixDecimal(0.0000005F), "0.000000");  // 4.99999987e-07 once widened
    EXPECT_EQ(sixDecimal(3.0e10F), "30000001024.000000");
    EXPECT_EQ(sixDecimal(std::numeric_limits<float>::max()),
              "340282346638528859811704183484516925440.000000");
}

TEST(ReportFormat, RoundedAndTruncatedIntegers)
{
    EXPECT_EQ(roundedInt(23.5F), 24);
    EXPECT_EQ(roundedInt(-0.5F), -1);
    EXPECT_EQ(roundedInt(22.49F), 22);
    EXPECT_EQ(roundedInt(-128.0F), -128);
    EXPECT_EQ(truncatedInt(12.9F), 12);
    EXPECT_EQ(truncatedInt(-12.9F), -12);
    EXPECT_EQ(truncatedInt(255.0F), 255);
}

TEST(ReportFormat, OutOfRangeFloatsAreClamped)
{
    constexpr std::int32_t maxInt = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t minInt = std::numeric_limits<std::int32_t>::min();
    // 2147483647 becomes the float 2^31 when decoded, one beyond the range.
    EXPECT_EQ(roundedInt(static_cast<float>(maxInt)), maxInt);
    EXPECT_EQ(truncatedInt(static_cast<float>(maxInt)), maxInt);
    EXPECT_EQ(roundedInt(static_cast<float>(minInt)), minInt);
    EXPECT_EQ(truncatedInt(static_cast<float>(minInt)), minInt);
    EXPECT_EQ(roundedInt(-3.0e9F), minInt);
    EXPECT_EQ(truncatedInt(std::numeric_limits<float>::infinity()), maxInt);
    EXPECT_EQ(roundedInt(-std::numeric_limits<float>::infinity()), minInt);
    EXPECT_EQ(roundedInt(std::nanf("")), 0);
    EXPECT_EQ(truncatedInt(std::nanf("")), 0);
}

TEST(ReportFormat, IntegersAndDurations)
{
    EXPECT_EQ(decimal(255), "255");
    EXPECT_EQ(decimal(-3), "-3");
    EXPECT_EQ(decimal(std::numeric_limits<std::int32_t>::min()), "-2147483648");
    EXPECT_EQ(unsignedDecimal(4294967295U), "4294967295");
    EXPECT_EQ(duration(0U), "0:0:0");
    EXPECT_EQ(duration(59U), "0:0:59");
    EXPECT_EQ(duration(3600U), "1:0:0");
    EXPECT_EQ(duration(3725U), "1:2:5");
    EXPECT_EQ(duration(86399U), "23:59:59");
    EXPECT_EQ(duration(90061U), "25:1:1");
    EXPECT_EQ(duration(4294967295U), "1193046:28:15");
}

namespace {
struct CommaGrouping : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

TEST(ReportFormat, IgnoresTheGlobalLocale)
{
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaGrouping));
    const std::string six = sixDecimal(1234.5F);
    const std::string dec = decimal(-1234567);
    std::locale::global(previous);
    EXPECT_EQ(six, "1234.500000");
    EXPECT_EQ(dec, "-1234567");
}
