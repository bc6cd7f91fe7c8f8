#include "StationLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

TEST(Exceptions, MessageIsPrefixPlusText)
{
    std::stringstream text;
    text << "getSystemStatus" << ": Communication timeout";
    const HALVERN::IOException io(text.str().c_str());
    EXPECT_STREQ("IO Exception: getSystemStatus: Communication timeout", io.what());

    const HALVERN::DataException data("checkReply: malformed buffer data");
    EXPECT_STREQ("Data Stream Exception: checkReply: malformed buffer data", data.what());

    EXPECT_STREQ("IO Exception: ", HALVERN::IOException("").what());
    EXPECT_STREQ("Data Stream Exception: ", HALVERN::DataException("").what());
}

TEST(Exceptions, CopyOutlivesOriginal)
{
    auto original = std::make_unique<HALVERN::DataException>("processStatusData: incomplete status data");
    const HALVERN::DataException copy(*original);
    original.reset();
    EXPECT_STREQ("Data Stream Exception: processStatusData: incomplete status data", copy.what());

    auto io = std::make_unique<HALVERN::IOException>("sendData: no connection established");
    const HALVERN::IOException ioCopy(*io);
    io.reset();
    EXPECT_STREQ("IO Exception: sendData: no connection established", ioCopy.what());
}
