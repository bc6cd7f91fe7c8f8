#include "StationLink.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>

TEST(Version, StringsAndReplacingAssignment)
{
    StationLink link;
    EXPECT_EQ("23", link.getLibraryBuild());
    EXPECT_EQ("1.20", link.getProtocolVersion());

    std::string out = "previous contents";
    link.getLibraryBuild(out);
    EXPECT_EQ("23", out);
    out = "previous contents";
    link.getProtocolVersion(out);
    EXPECT_EQ("1.20", out);
}

TEST(Version, BannerIsExactAndRestoresStreamFormat)
{
    StationLink link;
    std::ostringstream os;
    os << std::setw(40) << std::setfill('*') << std::hex << std::showpos << std::setprecision(3);
    link.printLibraryInfo(os);

    EXPECT_EQ("#####################\n"
              "# Halvern Ravenlink #\n"
              "#####################\n"
              "\n"
              "Halvern Loftward Ravenlink Library\n"
              "Library build: 23\n"
              "Communication protocol version: 1.20\n"
              "\n",
              os.str());
    EXPECT_EQ(40, os.width());
    EXPECT_EQ('*', os.fill());
    EXPECT_EQ(3, os.precision());
    EXPECT_TRUE(os.flags() & std::ios::hex);
    EXPECT_TRUE(os.flags() & std::ios::showpos);
}
