// What the station composes, the library reads back: randomised stores are
// composed into complete replies and run through the reply check and the
// decoders, which must return exactly the values that were set.
#include "StationComposer.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

constexpr int kSeeds = 200;

// Texts of up to 40 bytes from the whole 7-bit range: quotes, backslashes
// and control bytes must survive the trip; more than 31 bytes are cut.
std::string randomText(std::mt19937& rng)
{
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> byte(1, 127);
    std::uniform_int_distribution<int> special(0, 5);
    std::string text(static_cast<std::size_t>(length(rng)), ' ');
    for (char& ch : text) {
        const int pick = special(rng);
        ch = pick == 0 ? '"' : pick == 1 ? '\\' : static_cast<char>(byte(rng));
    }
    return text;
}

std::string stored(const std::string& text)
{
    return text.substr(0, SC_TEXT_CAPACITY - 1);
}

template <typename T>
T randomValue(std::mt19937& rng)
{
    return static_cast<T>(std::uniform_int_distribution<std::uint32_t>()(rng));
}

// A group flag: mostly on, sometimes off, missing, or an odd code.
std::uint8_t randomFlag(std::mt19937& rng)
{
    static const std::uint8_t flags[] = {1, 1, 1, 0, 255, 7};
    return flags[std::uniform_int_distribution<int>(0, 5)(rng)];
}

// Every value of a store, drawn at random, set through the composer's
// setters and turned into the records the decoders should produce.
struct StoreValues {
    explicit StoreValues(unsigned seed) : rng(seed) {}

    std::mt19937 rng;
    std::uint16_t msgId = randomValue<std::uint16_t>(rng);
    std::uint8_t flags[5] = {randomFlag(rng), randomFlag(rng), randomFlag(rng), randomFlag(rng), randomFlag(rng)};
    std::uint8_t authEnable = std::uniform_int_distribution<int>(0, 1)(rng) ? randomValue<std::uint8_t>(rng) : 0;

    std::uint8_t activation = randomValue<std::uint8_t>(rng), retStatus = randomValue<std::uint8_t>(rng);
    std::uint16_t retTorque = randomValue<std::uint16_t>(rng), retStart = randomValue<std::uint16_t>(rng);

    std::int16_t length = randomValue<std::int16_t>(rng), speed = randomValue<std::int16_t>(rng);
    std::uint8_t tether = randomValue<std::uint8_t>(rng), guide = randomValue<std::uint8_t>(rng),
                 reel = randomValue<std::uint8_t>(rng);

    std::int8_t temps[4] = {randomValue<std::int8_t>(rng), randomValue<std::int8_t>(rng),
                            randomValue<std::int8_t>(rng), randomValue<std::int8_t>(rng)};
    std::int8_t hum = randomValue<std::int8_t>(rng);
    std::uint16_t press = randomValue<std::uint16_t>(rng);
    std::uint8_t sensors[4] = {randomValue<std::uint8_t>(rng), randomValue<std::uint8_t>(rng),
                               randomValue<std::uint8_t>(rng), randomValue<std::uint8_t>(rng)};
    std::uint16_t fanRpm[2] = {randomValue<std::uint16_t>(rng), randomValue<std::uint16_t>(rng)};
    std::uint8_t fanStatus[2] = {randomValue<std::uint8_t>(rng), randomValue<std::uint8_t>(rng)};

    std::int16_t mainsU = randomValue<std::int16_t>(rng), mainsI = randomValue<std::int16_t>(rng);
    std::uint16_t mainsF = randomValue<std::uint16_t>(rng);
    std::uint8_t mainsStatus = randomValue<std::uint8_t>(rng), ctrlSuplStatus = randomValue<std::uint8_t>(rng),
                 batU = randomValue<std::uint8_t>(rng), batStatus = randomValue<std::uint8_t>(rng);

    std::int16_t uavU = randomValue<std::int16_t>(rng), uavI = randomValue<std::int16_t>(rng);
    std::uint8_t extStatus = randomValue<std::uint8_t>(rng), cellCount = randomValue<std::uint8_t>(rng);

    std::uint32_t times[5] = {randomValue<std::uint32_t>(rng), randomValue<std::uint32_t>(rng),
                              randomValue<std::uint32_t>(rng), randomValue<std::uint32_t>(rng),
                              randomValue<std::uint32_t>(rng)};
    std::uint8_t error = randomValue<std::uint8_t>(rng);

    std::string texts[14] = {randomText(rng), randomText(rng), randomText(rng), randomText(rng), randomText(rng),
                             randomText(rng), randomText(rng), randomText(rng), randomText(rng), randomText(rng),
                             randomText(rng), randomText(rng), randomText(rng), randomText(rng)};
    std::uint16_t maxPower = randomValue<std::uint16_t>(rng), maxCable = randomValue<std::uint16_t>(rng),
                  networkType = randomValue<std::uint16_t>(rng);
    std::uint32_t counters[7] = {randomValue<std::uint32_t>(rng), randomValue<std::uint32_t>(rng),
                                 randomValue<std::uint32_t>(rng), randomValue<std::uint32_t>(rng),
                                 randomValue<std::uint32_t>(rng), randomValue<std::uint32_t>(rng),
                                 randomValue<std::uint32_t>(rng)};
    std::uint8_t maintenance = randomValue<std::uint8_t>(rng);

    void applyStatus() const
    {
        setConfigCab(flags[0]);
        setConfigEnv(flags[1]);
        setConfigEnergyGS(flags[2]);
        setConfigEnergyUAV(flags[3]);
        setConfigSysState(flags[4]);
        setAuthEnable(authEnable);
        setActivation(activation);
        setRetStatus(retStatus);
        setRetTorque(retTorque);
        setRetStart(retStart);
        setLength(length);
        setSpeed(speed);
        setTetherStatus(tether);
        setGuideStatus(guide);
        setReelStatus(reel);
        setTemp1(temps[0]);
        setTemp2(temps[1]);
        setTemp3(temps[2]);
        setTemp4(temps[3]);
        setHum1(hum);
        setPress1(press);
        setEnvSensor1Status(sensors[0]);
        setEnvSensor2Status(sensors[1]);
        setEnvSensor3Status(sensors[2]);
        setEnvSensor4Status(sensors[3]);
        setFan1Rpm(fanRpm[0]);
        setFan2Rpm(fanRpm[1]);
        setFan1Status(fanStatus[0]);
        setFan2Status(fanStatus[1]);
        setMainsU(mainsU);
        setMainsI(mainsI);
        setMainsF(mainsF);
        setMainsStatus(mainsStatus);
        setCtrlSuplStatus(ctrlSuplStatus);
        setBatU(batU);
        setBatStatus(batStatus);
        setUavSuplU(uavU);
        setUavSuplI(uavI);
        setExtSuplStatus(extStatus);
        setUavCellCount(cellCount);
        setFlightTime(times[0]);
        setFlightTimeOpSum(times[1]);
        setFlightCountOpSum(times[2]);
        setOperationTime(times[3]);
        setSystemTime(times[4]);
        setError(error);
    }

    void applyDetails() const
    {
        using TextSetter = void (*)(const char*);
        static const TextSetter textSetters[14] = {
            setProductType, setModel,    setSn,      setDop,     setHwVersion, setUavCellVoltages, setCableType,
            setMainCtrl,    setReelCtrl, setLpwrCtrl, setHpwrCtrl, setEnvCtrl,  setNetCtrl,         setBbatCtrl};
        for (int i = 0; i < 14; ++i) {
            textSetters[i](texts[i].c_str());
        }
        setMaxPower(maxPower);
        setMaxCableLength(maxCable);
        setNetworkType(networkType);
        setFlightTimeSum(counters[0]);
        setFlightCount(counters[1]);
        setOperationTimeSum(counters[2]);
        setOperationCount(counters[3]);
        setSystemTimeSum(counters[4]);
        setSystemUseCount(counters[5]);
        setTtm(counters[6]);
        setMaintenanceRequired(maintenance);
    }

    // A group whose flag is not exactly 1 is not sent, so its sub-record
    // keeps what a fresh record holds.
    SystemStatus expectedStatus() const
    {
        SystemStatus s;
        s.configStatus = {flags[0], flags[1], flags[2], flags[3], flags[4]};
        if (flags[0] == 1) {
            s.cab = {float(length) / 100.0F, float(speed) / 100.0F, retStatus, float(retTorque),
                     float(retStart) / 100.0F, tether, guide, reel};
        }
        if (flags[1] == 1) {
            s.env = {float(temps[0]), float(temps[1]), float(temps[2]), float(temps[3]), float(hum), float(press),
                     sensors[0], sensors[1], sensors[2], sensors[3], fanRpm[0], fanStatus[0], fanRpm[1],
                     fanStatus[1]};
        }
        if (flags[2] == 1) {
            s.energyGS = {float(mainsU), float(mainsI) / 1000.0F, float(mainsF) / 1000.0F, mainsStatus,
                          ctrlSuplStatus, float(batU), batStatus};
        }
        if (flags[3] == 1) {
            const float volts = float(uavU) / 1000.0F;
            s.energyUAV = {volts, float(uavI), volts * float(uavI), extStatus, cellCount};
        }
        if (flags[4] == 1) {
            s.sysState = {activation, retStatus, batStatus, times[4], times[3], times[0], times[1], times[2], error};
        }
        return s;
    }

    SystemDetails expectedDetails() const
    {
        SystemDetails d;
        d.productType = stored(texts[0]);
        d.model = stored(texts[1]);
        d.sn = stored(texts[2]);
        d.dop = stored(texts[3]);
        d.hwVersion = stored(texts[4]);
        d.uavCellVoltages = stored(texts[5]);
        d.cableType = stored(texts[6]);
        d.swVersion = {stored(texts[7]),  stored(texts[8]),  stored(texts[9]), stored(texts[10]),
                       stored(texts[11]), stored(texts[12]), stored(texts[13])};
        d.protocolVersion = "1.20";
        d.maxPower = maxPower;
        d.maxCableLength = maxCable;
        d.networkType = networkType;
        d.flightTimeSum = counters[0];
        d.flightCount = counters[1];
        d.operationTimeSum = counters[2];
        d.operationCount = counters[3];
        d.systemTimeSum = counters[4];
        d.systemUseCount = counters[5];
        d.ttm = counters[6];
        d.maintenanceRequired = maintenance;
        return d;
    }
};

// COM, a comma and one member, wrapped: a complete reply as the station sends it.
std::string reply(std::uint16_t msgId, sc_result (*member)(char*))
{
    char buffer[SC_MESSAGE_CAPACITY] = "";
    setMsgId(msgId);
    setComStatus(0);
    EXPECT_EQ(composeCom(buffer), SC_OK);
    EXPECT_EQ(appendComma(buffer), SC_OK);
    EXPECT_EQ(member(buffer), SC_OK);
    EXPECT_EQ(wrapMessage(buffer), SC_OK);
    return buffer;
}

} // namespace

TEST(ComposerRoundTrip, StatusOfRandomStoresDecodesToTheValuesSet)
{
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        sc_reset_store();
        const StoreValues values(seed);
        values.applyStatus();
        const std::string text = reply(values.msgId, composeSystemStatus);
        ASSERT_NO_THROW(StationLinkImpl::checkReply(text, values.msgId)) << text;

        SystemStatus status;
        ASSERT_NO_THROW(StationLinkImpl::processStatusData(text, status)) << text;
        const SystemStatus want = values.expectedStatus();
        EXPECT_EQ(status.configStatus, want.configStatus) << text;
        EXPECT_EQ(status.cab, want.cab) << text;
        EXPECT_EQ(status.env, want.env) << text;
        EXPECT_EQ(status.energyGS, want.energyGS) << text;
        EXPECT_EQ(status.energyUAV, want.energyUAV) << text;
        EXPECT_EQ(status.sysState, want.sysState) << text;
    }
}

TEST(ComposerRoundTrip, DetailsOfRandomStoresDecodeToTheTextsAndCountersSet)
{
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        sc_reset_store();
        const StoreValues values(seed);
        values.applyDetails();
        const std::string text = reply(values.msgId, composeSystemDetails);
        ASSERT_NO_THROW(StationLinkImpl::checkReply(text, values.msgId)) << text;

        SystemDetails details;
        ASSERT_NO_THROW(StationLinkImpl::processSystemDetails(text, details)) << text;
        EXPECT_EQ(details, values.expectedDetails()) << text;
    }
}

TEST(ComposerRoundTrip, ConfigOfRandomStoresDecodesToTheSettingsSet)
{
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        sc_reset_store();
        const StoreValues values(seed);
        values.applyStatus();
        const std::string text = reply(values.msgId, composeSystemConfig);
        ASSERT_NO_THROW(StationLinkImpl::checkReply(text, values.msgId)) << text;

        SystemConfig config{};
        ASSERT_NO_THROW(StationLinkImpl::processSystemConfig(text, config)) << text;
        const SystemConfig want{values.activation == 1 || values.activation == 16, float(values.retTorque),
                                float(values.retStart) / 100.0F, values.retStatus};
        EXPECT_EQ(config, want) << text;
    }
}

TEST(ComposerRoundTrip, FreshStoreDecodesToTheStationDefaults)
{
    sc_reset_store();
    const std::string text = reply(1000, composeSystemStatus);
    SystemStatus status;
    StationLinkImpl::processStatusData(text, status);
    EXPECT_EQ(status.configStatus, (ConfigStatus{1, 1, 1, 1, 1}));
    EXPECT_EQ(status.env.temp1, -127.0F);
    EXPECT_EQ(status.energyGS.batU, 255.0F);
    EXPECT_EQ(status.sysState.batStatus, 255);
    EXPECT_EQ(status.sysState.error, 0);

    SystemDetails details;
    StationLinkImpl::processSystemDetails(reply(1000, composeSystemDetails), details);
    EXPECT_EQ(details.protocolVersion, "1.20");
    EXPECT_EQ(details.sn, "0");
    EXPECT_EQ(details.swVersion.bbatCtrl, "0");
    EXPECT_EQ(details.networkType, 0);
}

TEST(ComposerRoundTrip, CutTextsStayValidUtf8)
{
    // 29 ASCII bytes and a three-byte sequence across the cut at 31.
    const std::string text = std::string(29, 'a') + "\xE2\x82\xAC" + "tail";
    sc_reset_store();
    setSn(text.c_str());
    setModel("Modell \xC3\x9C" "bersicht");
    SystemDetails details;
    ASSERT_NO_THROW(StationLinkImpl::processSystemDetails(reply(1000, composeSystemDetails), details));
    EXPECT_EQ(details.sn, std::string(29, 'a'));
    EXPECT_EQ(details.model, "Modell \xC3\x9C" "bersicht");
}

TEST(ComposerRoundTrip, StatusCodesOfTheEnvelopeReachTheReplyCheck)
{
    sc_reset_store();
    setMsgId(4711);
    setComStatus(4);
    char buffer[SC_MESSAGE_CAPACITY] = "";
    ASSERT_EQ(composeCom(buffer), SC_OK);
    ASSERT_EQ(wrapMessage(buffer), SC_OK);
    try {
        StationLinkImpl::checkReply(buffer, 4711);
        FAIL() << "status 4 was accepted";
    } catch (const HALVERN::DataException& e) {
        EXPECT_STREQ(e.what(), "Data Stream Exception: checkReply: wrong command sent");
    }
    setComStatus(0);
    buffer[0] = '\0';
    ASSERT_EQ(composeCom(buffer), SC_OK);
    ASSERT_EQ(wrapMessage(buffer), SC_OK);
    EXPECT_NO_THROW(StationLinkImpl::checkReply(buffer, 4711));
}
