#include "StationLink.h"

#include <gtest/gtest.h>

// Defaults that differ from zero are what a report prints for a station that
// never sent the value; a status never received must read as a fault.
TEST(Records, StatusDefaultsReadAsFault)
{
    const SystemStatus status;
    EXPECT_EQ(ConfigStatus{}, status.configStatus);
    EXPECT_EQ(0, status.configStatus.cab + status.configStatus.env + status.configStatus.energyGS +
                     status.configStatus.energyUAV + status.configStatus.sysState);
    EXPECT_EQ(3, status.cab.tetherStatus);
    EXPECT_EQ(255, status.cab.retStatus);
    EXPECT_EQ(255, status.cab.guideStatus);
    EXPECT_EQ(255, status.cab.reelStatus);
    for (float v : {status.env.temp1, status.env.temp2, status.env.temp3, status.env.temp4, status.env.hum1}) {
        EXPECT_EQ(-128.0F, v);
    }
    EXPECT_EQ(255, status.env.envSensor1Status);
    EXPECT_EQ(255, status.env.fan2Status);
    EXPECT_EQ(255.0F, status.energyGS.batU);
    EXPECT_EQ(255, status.energyGS.mainsStatus);
    EXPECT_EQ(8, status.energyUAV.extSuplStatus);
    EXPECT_EQ(1, status.sysState.error);
    EXPECT_EQ(255, status.sysState.retStatus);
}

TEST(Records, DetailsDefaultsAndDeepCopy)
{
    SystemDetails details;
    EXPECT_EQ(255, details.networkType);
    EXPECT_TRUE(details.productType.empty());
    EXPECT_TRUE(details.swVersion.bbatCtrl.empty());

    details.swVersion.mainCtrl = "1.2.3";
    details.swVersion.bbatCtrl = "9.9.9";
    details.sn = "SN-1";
    SystemDetails copy = details;
    details.swVersion.mainCtrl = "changed";
    EXPECT_EQ("1.2.3", copy.swVersion.mainCtrl);
    EXPECT_EQ("9.9.9", copy.swVersion.bbatCtrl);
    EXPECT_EQ("SN-1", copy.sn);
}
