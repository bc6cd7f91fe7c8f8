#include "StationLink.h"

#include <gtest/gtest.h>

#include <utility>

TEST(Facade, FreshLinkIsUnconnectedWithDefaultTimeout)
{
    StationLink link;
    EXPECT_EQ(0, link.getConnectionStatus());
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(300, link.getConnectionTimeout());
    link.setConnectionTimeout(1000);
    EXPECT_EQ(1000, link.getConnectionTimeout());
    EXPECT_NO_THROW(link.closeConnection());
    EXPECT_EQ(0, link.getConnectionStatus());
}

TEST(Facade, MovedLinkKeepsItsStateAndMovedFromDestroysQuietly)
{
    StationLink first;
    first.setConnectionTimeout(42);
    StationLink second(std::move(first));
    EXPECT_EQ(42, second.getConnectionTimeout());

    StationLink third;
    third = std::move(second);
    EXPECT_EQ(42, third.getConnectionTimeout());
}

TEST(Facade, CommandsWithoutConnectionRaiseIOException)
{
    StationLink link;
    SystemStatus status;
    const SystemStatus untouched = status;
    try {
        link.getSystemStatus(status);
        FAIL() << "no exception";
    } catch (const HALVERN::IOException& e) {
        EXPECT_STREQ("IO Exception: sendData: no connection established", e.what());
    }
    EXPECT_EQ(untouched, status);
    EXPECT_THROW(link.setSystemActivation(true), HALVERN::IOException);
}
