// What the station composes, the library reads back: randomised stores are
// composed into complete replies and run through the reply check and the
// decoders, which must return exactly the values that were set.
#include "RoundTripOracle.h"
#include "StationComposer.h"
#include "StationLinkImpl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

using roundtrip::StoreModel;

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

// A group flag: mostly on, sometimes off, missing, or an odd code.
std::uint8_t randomFlag(std::mt19937& rng)
{
    static const std::uint8_t flags[] = {1, 1, 1, 0, 255, 7};
    return flags[std::uniform_int_distribution<int>(0, 5)(rng)];
}

// Every value of a store drawn at random, row by row of the composer's
// table; extended mode on for about half of the seeds.
StoreModel randomStore(unsigned seed)
{
    std::mt19937 rng(seed);
    sc_reset_store();
    StoreModel model = StoreModel::current();
    for (std::size_t row = 0; row < sc_value_count; ++row) {
        const sc_value& value = sc_values[row];
        if (value.kind == SC_KIND_TEXT) {
            const std::string text = randomText(rng);
            model.setText(row, text.c_str(), text.substr(0, SC_TEXT_CAPACITY - 1));
        } else if (value.group == SC_KEY_CONFIG_STATUS) {
            model.setNumber(row, randomFlag(rng));
        } else if (value.key == SC_KEY_AUTH_ENABLE && rng() % 2 == 0) {
            model.setNumber(row, 0);
        } else {
            model.setNumber(row, static_cast<std::int64_t>(rng()));
        }
    }
    // A refusing status code would stop the reply check.
    model.setNumber(roundtrip::rowOf(SC_KEY_COM, SC_KEY_COM_STATUS), 0);
    return model;
}

// COM, a comma and one member, wrapped: a complete reply as the station sends it.
std::string reply(sc_result (*member)(char*))
{
    char buffer[SC_MESSAGE_CAPACITY] = "";
    EXPECT_EQ(composeCom(buffer), SC_OK);
    EXPECT_EQ(appendComma(buffer), SC_OK);
    EXPECT_EQ(member(buffer), SC_OK);
    EXPECT_EQ(wrapMessage(buffer), SC_OK);
    return buffer;
}

std::string reply(std::uint16_t msgId, sc_result (*member)(char*))
{
    setMsgId(msgId);
    setComStatus(0);
    return reply(member);
}

// The reply of \p member for a random store, checked member by member and
// by the reply check.
std::string checkedReply(const StoreModel& model, sc_result (*member)(char*), sc_key part)
{
    const std::string text = reply(member);
    const auto msgId = static_cast<std::uint16_t>(model.number(SC_KEY_COM, SC_KEY_MSG_ID));
    EXPECT_NO_THROW(StationLinkImpl::checkReply(text, msgId)) << text;
    ravenlink::json root;
    EXPECT_TRUE(ravenlink::parseReply(text, root)) << text;
    EXPECT_EQ(roundtrip::replyMismatch(root, part, model), "") << text;
    return text;
}

// Hands \p decodes the store and the checked reply of \p member for each
// seed, under the seed's trace; a fatal failure ends the test.
template <typename Decodes>
void forEachRandomReply(sc_result (*member)(char*), sc_key part, Decodes decodes)
{
    for (unsigned seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const StoreModel model = randomStore(seed);
        decodes(model, checkedReply(model, member, part));
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

} // namespace

TEST(ComposerRoundTrip, StatusOfRandomStoresDecodesToTheValuesSet)
{
    forEachRandomReply(composeSystemStatus, SC_KEY_SYSTEM_STATUS, [](const StoreModel& model, const std::string& text) {
        SystemStatus status;
        ASSERT_NO_THROW(StationLinkImpl::processStatusData(text, status)) << text;
        const SystemStatus want = roundtrip::expectedStatus(model);
        EXPECT_EQ(status.configStatus, want.configStatus) << text;
        EXPECT_EQ(status.cab, want.cab) << text;
        EXPECT_EQ(status.env, want.env) << text;
        EXPECT_EQ(status.energyGS, want.energyGS) << text;
        EXPECT_EQ(status.energyUAV, want.energyUAV) << text;
        EXPECT_EQ(status.sysState, want.sysState) << text;
    });
}

TEST(ComposerRoundTrip, DetailsOfRandomStoresDecodeToTheTextsAndCountersSet)
{
    forEachRandomReply(composeSystemDetails, SC_KEY_SYSTEM_DETAILS, [](const StoreModel& model, const std::string& text) {
        SystemDetails details;
        ASSERT_NO_THROW(StationLinkImpl::processSystemDetails(text, details)) << text;
        EXPECT_EQ(details, roundtrip::expectedDetails(model)) << text;
    });
}

TEST(ComposerRoundTrip, ConfigOfRandomStoresDecodesToTheSettingsSet)
{
    forEachRandomReply(composeSystemConfig, SC_KEY_SYSTEM_CONFIG, [](const StoreModel& model, const std::string& text) {
        SystemConfig config{};
        ASSERT_NO_THROW(StationLinkImpl::processSystemConfig(text, config)) << text;
        EXPECT_EQ(config, roundtrip::expectedConfig(model)) << text;
    });
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
