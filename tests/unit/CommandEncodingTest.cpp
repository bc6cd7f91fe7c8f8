// Value encodings of the setting commands and the exact request texts they
// produce, without a station.
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

TEST(CommandEncoding, RequestEnvelopeWrapsThePayload)
{
    const std::string request =
        StationLinkImpl::composeRequest(StationLinkImpl::readRequestPayload(SC_KEY_GET_SYSTEM_STATUS), 4711);
    EXPECT_EQ(request, "{\"COM\":{\"MSG_ID\":4711},\"COMMAND\":{\"GET_SYSTEM_STATUS\":1}}\n");
    EXPECT_EQ(request.size(), 58U);
    EXPECT_EQ(StationLinkImpl::composeRequest("\"X\":1", 65535), "{\"COM\":{\"MSG_ID\":65535},\"X\":1}\n");
}

TEST(CommandEncoding, ActivationIsSixteenOrZero)
{
    EXPECT_EQ(StationLinkImpl::activationPayload(true), R"("COMMAND":{"SET_ACTIVATION":16})");
    EXPECT_EQ(StationLinkImpl::activationPayload(false), R"("COMMAND":{"SET_ACTIVATION":0})");
}

TEST(CommandEncoding, TorqueIsClampedAndTruncated)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int> cases[] = {
        {-5.0F, 0}, {-0.0F, 0}, {0.0F, 0},   {0.99F, 0}, {42.7F, 42},   {99.9F, 99},
        {100.0F, 100}, {150.0F, 100}, {nan, 0}, {inf, 100}, {-inf, 0},
    };
    for (const auto& [percent, sent] : cases) {
        EXPECT_EQ(StationLinkImpl::encodeTorque(percent), sent) << percent;
    }
    EXPECT_EQ(StationLinkImpl::torquePayload(42.7F), R"("COMMAND":{"SET_RET_TORQUE":42})");
}

TEST(CommandEncoding, StartLengthIsCentimetresFromThirty)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int> cases[] = {
        {0.1F, 30},  {0.3F, 30},    {-5.0F, 30},       {nan, 30},        {0.31F, 31},
        {1.15F, 115}, {2.0F, 200},  {12.5F, 1250},     {1e12F, INT_MAX}, {inf, INT_MAX},
        // Lengths whose float lies a hair below the typed value are sent as
        // typed; a real fraction of a centimetre is still dropped.
        {1.05F, 105}, {0.29F, 30},  {0.58F, 58},       {655.35F, 65535}, {2.999F, 299}, {2.9999F, 299},
    };
    for (const auto& [metres, sent] : cases) {
        EXPECT_EQ(StationLinkImpl::encodeStartLength(metres), sent) << metres;
    }
    EXPECT_EQ(StationLinkImpl::startLengthPayload(1.15F), R"("COMMAND":{"SET_RET_START":115})");
}

TEST(CommandEncoding, CombinedPayloadsKeepTheirOrder)
{
    SystemConfig config;
    config.activation = false;
    config.retTorque = 50.0F;
    config.retStart = 2.0F;
    config.retStatus = 9;
    EXPECT_EQ(StationLinkImpl::systemConfigPayload(config),
              R"("COMMAND":{"SET_ACTIVATION":0,"SET_RET_TORQUE":50,"SET_RET_START":200})");

    ConfigStatus flags;
    flags.cab = 1;
    flags.env = 0;
    flags.energyGS = 255;
    flags.energyUAV = -1;
    flags.sysState = 1;
    EXPECT_EQ(StationLinkImpl::statusConfigPayload(flags),
              R"("COMMAND":{"CONFIG_STATUS":{"CAB":1,"ENV":0,"ENERGY_GS":255,"ENERGY_UAV":-1,"SYS_STATE":1}})");

    EXPECT_EQ(StationLinkImpl::readRequestPayload(SC_KEY_GET_SYSTEM_DETAILS), R"("COMMAND":{"GET_SYSTEM_DETAILS":1})");
}
