#include "StationLink.h"

#include <gtest/gtest.h>

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

TEST(Version, BannerIsExact)
{
    StationLink link;
    std::ostringstream os;
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
}
