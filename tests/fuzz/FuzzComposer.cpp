// The station's composer under random setter sequences. Every reply it
// composes must parse as JSON and carry exactly the values set (texts come
// back unchanged because the composer escapes them); the library's reply
// check and decoders must read the same values back. Appending is bounded
// and all or nothing: a refused fragment changes no byte, an accepted one
// writes nothing past its terminating zero.
#include "ProtocolKeys.h"
#include "StationLinkImpl.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using ravenlink::json;

namespace {

enum class Kind { u8, u16, u32, s8, s16, text };

using Apply = void (*)(int64_t number, const char* text);

struct Slot {
    sc_key owner; // the group whose setter owns the slot
    sc_key key;
    Kind kind;
    int64_t defaultNumber;
    Apply apply;
};

#define NUM(owner, key, kind, type, setter, dflt)                                                           \
    Slot{SC_KEY_##owner, SC_KEY_##key, Kind::kind, dflt,                                                     \
         [](int64_t v, const char*) { setter(static_cast<type>(v)); }}
#define TXT(owner, key, setter) Slot{SC_KEY_##owner, SC_KEY_##key, Kind::text, 0, [](int64_t, const char* t) { setter(t); }}

const Slot slots[] = {
    TXT(SW_VERSION, MAIN_CTRL, setMainCtrl), TXT(SW_VERSION, REEL_CTRL, setReelCtrl),
    TXT(SW_VERSION, LPWR_CTRL, setLpwrCtrl), TXT(SW_VERSION, HPWR_CTRL, setHpwrCtrl),
    TXT(SW_VERSION, ENV_CTRL, setEnvCtrl), TXT(SW_VERSION, NET_CTRL, setNetCtrl),
    TXT(SW_VERSION, BBAT_CTRL, setBbatCtrl),
    TXT(SYSTEM_DETAILS, PRODUCT_TYPE, setProductType), TXT(SYSTEM_DETAILS, MODEL, setModel),
    TXT(SYSTEM_DETAILS, SN, setSn), TXT(SYSTEM_DETAILS, DOP, setDop),
    TXT(SYSTEM_DETAILS, HW_VERSION, setHwVersion), TXT(SYSTEM_DETAILS, UAV_CELL_VOLTAGES, setUavCellVoltages),
    NUM(SYSTEM_DETAILS, MAX_POWER, u16, uint16_t, setMaxPower, 0),
    TXT(SYSTEM_DETAILS, CABLE_TYPE, setCableType),
    NUM(SYSTEM_DETAILS, MAX_CABLE_LENGTH, u16, uint16_t, setMaxCableLength, 0),
    NUM(SYSTEM_DETAILS, NETWORK_TYPE, u16, uint16_t, setNetworkType, 0),
    NUM(SYSTEM_DETAILS, FLIGHT_TIME_SUM, u32, uint32_t, setFlightTimeSum, 0),
    NUM(SYSTEM_DETAILS, FLIGHT_COUNT, u32, uint32_t, setFlightCount, 0),
    NUM(SYSTEM_DETAILS, OPERATION_TIME_SUM, u32, uint32_t, setOperationTimeSum, 0),
    NUM(SYSTEM_DETAILS, OPERATION_COUNT, u32, uint32_t, setOperationCount, 0),
    NUM(SYSTEM_DETAILS, SYSTEM_TIME_SUM, u32, uint32_t, setSystemTimeSum, 0),
    NUM(SYSTEM_DETAILS, SYSTEM_USE_COUNT, u32, uint32_t, setSystemUseCount, 0),
    NUM(SYSTEM_DETAILS, TTM, u32, uint32_t, setTtm, 0),
    NUM(SYSTEM_DETAILS, MAINTENANCE_REQUIRED, u8, uint8_t, setMaintenanceRequired, 0),
    NUM(SYSTEM_CONFIG, ACTIVATION, u8, uint8_t, setActivation, 0),
    NUM(SYSTEM_CONFIG, RET_STATUS, u8, uint8_t, setRetStatus, 0),
    NUM(SYSTEM_CONFIG, RET_TORQUE, u16, uint16_t, setRetTorque, 0),
    NUM(SYSTEM_CONFIG, RET_START, u16, uint16_t, setRetStart, 0),
    NUM(CONFIG_STATUS, CAB, u8, uint8_t, setConfigCab, 1), NUM(CONFIG_STATUS, ENV, u8, uint8_t, setConfigEnv, 1),
    NUM(CONFIG_STATUS, ENERGY_GS, u8, uint8_t, setConfigEnergyGS, 1),
    NUM(CONFIG_STATUS, ENERGY_UAV, u8, uint8_t, setConfigEnergyUAV, 1),
    NUM(CONFIG_STATUS, SYS_STATE, u8, uint8_t, setConfigSysState, 1),
    NUM(CAB, LENGTH, s16, int16_t, setLength, 0), NUM(CAB, SPEED, s16, int16_t, setSpeed, 0),
    NUM(CAB, TETHER_STATUS, u8, uint8_t, setTetherStatus, 0), NUM(CAB, GUIDE_STATUS, u8, uint8_t, setGuideStatus, 0),
    NUM(CAB, REEL_STATUS, u8, uint8_t, setReelStatus, 0),
    NUM(COM, MSG_ID, u16, uint16_t, setMsgId, 0), NUM(COM, COM_STATUS, u16, uint16_t, setComStatus, 0),
    NUM(ENV, TEMP1, s8, int8_t, setTemp1, -127), NUM(ENV, TEMP2, s8, int8_t, setTemp2, -127),
    NUM(ENV, TEMP3, s8, int8_t, setTemp3, -127), NUM(ENV, TEMP4, s8, int8_t, setTemp4, -127),
    NUM(ENV, HUM1, s8, int8_t, setHum1, 0), NUM(ENV, PRESS1, u16, uint16_t, setPress1, 0),
    NUM(ENV, ENVSENSOR1_STATUS, u8, uint8_t, setEnvSensor1Status, 0),
    NUM(ENV, ENVSENSOR2_STATUS, u8, uint8_t, setEnvSensor2Status, 0),
    NUM(ENV, ENVSENSOR3_STATUS, u8, uint8_t, setEnvSensor3Status, 0),
    NUM(ENV, ENVSENSOR4_STATUS, u8, uint8_t, setEnvSensor4Status, 0),
    NUM(ENV, FAN1_RPM, u16, uint16_t, setFan1Rpm, 0), NUM(ENV, FAN2_RPM, u16, uint16_t, setFan2Rpm, 0),
    NUM(ENV, FAN1_STATUS, u8, uint8_t, setFan1Status, 0), NUM(ENV, FAN2_STATUS, u8, uint8_t, setFan2Status, 0),
    NUM(ENERGY_GS, MAINS_U, s16, int16_t, setMainsU, 0), NUM(ENERGY_GS, MAINS_I, s16, int16_t, setMainsI, 0),
    NUM(ENERGY_GS, MAINS_F, u16, uint16_t, setMainsF, 0), NUM(ENERGY_GS, MAINS_STATUS, u8, uint8_t, setMainsStatus, 0),
    NUM(ENERGY_GS, CTRL_SUPL1, s16, int16_t, setCtrlSupl1, 0), NUM(ENERGY_GS, CTRL_SUPL2, s16, int16_t, setCtrlSupl2, 0),
    NUM(ENERGY_GS, CTRL_SUPL3, s16, int16_t, setCtrlSupl3, 0), NUM(ENERGY_GS, CTRL_SUPL4, s16, int16_t, setCtrlSupl4, 0),
    NUM(ENERGY_GS, CTRL_SUPL5, s16, int16_t, setCtrlSupl5, 0), NUM(ENERGY_GS, CTRL_SUPL6, s16, int16_t, setCtrlSupl6, 0),
    NUM(ENERGY_GS, CTRL_SUPL_STATUS, u8, uint8_t, setCtrlSuplStatus, 0),
    NUM(ENERGY_GS, CTRL_SUPL1_STATUS, u8, uint8_t, setCtrlSupl1Status, 0),
    NUM(ENERGY_GS, CTRL_SUPL2_STATUS, u8, uint8_t, setCtrlSupl2Status, 0),
    NUM(ENERGY_GS, CTRL_SUPL3_STATUS, u8, uint8_t, setCtrlSupl3Status, 0),
    NUM(ENERGY_GS, CTRL_SUPL4_STATUS, u8, uint8_t, setCtrlSupl4Status, 0),
    NUM(ENERGY_GS, CTRL_SUPL5_STATUS, u8, uint8_t, setCtrlSupl5Status, 0),
    NUM(ENERGY_GS, CTRL_SUPL6_STATUS, u8, uint8_t, setCtrlSupl6Status, 0),
    NUM(ENERGY_GS, BAT_U, u8, uint8_t, setBatU, 255), NUM(ENERGY_GS, BAT_STATUS, u8, uint8_t, setBatStatus, 255),
    NUM(ENERGY_UAV, EXT_SUPL_U, s16, int16_t, setExtSuplU, 0), NUM(ENERGY_UAV, EXT_SUPL_I, s16, int16_t, setExtSuplI, 0),
    NUM(ENERGY_UAV, UAV_SUPL_U, s16, int16_t, setUavSuplU, 0), NUM(ENERGY_UAV, UAV_SUPL_I, s16, int16_t, setUavSuplI, 0),
    NUM(ENERGY_UAV, EXT_SUPL_STATUS, u8, uint8_t, setExtSuplStatus, 0),
    NUM(ENERGY_UAV, UAV_SUPL_STATUS, u8, uint8_t, setUavSuplStatus, 0),
    NUM(ENERGY_UAV, UAV_CELL_COUNT, u8, uint8_t, setUavCellCount, 0),
    NUM(SYS_STATE, FLIGHT_TIME, u32, uint32_t, setFlightTime, 0),
    NUM(SYS_STATE, FLIGHT_TIME_OP_SUM, u32, uint32_t, setFlightTimeOpSum, 0),
    NUM(SYS_STATE, FLIGHT_COUNT_OP_SUM, u32, uint32_t, setFlightCountOpSum, 0),
    NUM(SYS_STATE, OPERATION_TIME, u32, uint32_t, setOperationTime, 0),
    NUM(SYS_STATE, SYSTEM_TIME, u32, uint32_t, setSystemTime, 0), NUM(SYS_STATE, ERROR, u8, uint8_t, setError, 0),
    NUM(SYS_STATE, NETWORK_STATUS, u8, uint8_t, setNetworkStatus, 0),
    NUM(SYS_STATE, MEMORY_STATUS, u8, uint8_t, setMemoryStatus, 0),
    NUM(SYS_STATE, AUTH_ENABLE, u8, uint8_t, setAuthEnable, 0),
};
constexpr std::size_t slotCount = sizeof slots / sizeof slots[0];

// The table row of each (owner, key) pair, looked up once.
std::size_t slotIndex(sc_key owner, sc_key key)
{
    static const std::vector<int> index = [] {
        std::vector<int> rows(std::size_t(SC_KEY_COUNT) * SC_KEY_COUNT, -1);
        for (std::size_t i = 0; i < slotCount; ++i) {
            rows[std::size_t(slots[i].owner) * SC_KEY_COUNT + slots[i].key] = int(i);
        }
        return rows;
    }();
    const int row = index[std::size_t(owner) * SC_KEY_COUNT + key];
    if (row < 0) {
        std::abort(); // a layout below names a slot the table lacks
    }
    return std::size_t(row);
}

// What the store should hold, slot by slot.
struct Value {
    int64_t number = 0;
    std::string text;
};

struct Model {
    std::vector<Value> values;

    Model() : values(slotCount)
    {
        for (std::size_t i = 0; i < slotCount; ++i) {
            values[i].number = slots[i].defaultNumber;
            values[i].text = "0";
        }
    }

    const Value& at(sc_key owner, sc_key key) const { return values[slotIndex(owner, key)]; }
    int64_t number(sc_key owner, sc_key key) const { return at(owner, key).number; }
};

[[noreturn]] void fail() { std::abort(); }

void expect(bool condition)
{
    if (!condition) {
        fail();
    }
}

int64_t toSlotWidth(Kind kind, uint32_t raw)
{
    switch (kind) {
    case Kind::u8: return static_cast<uint8_t>(raw);
    case Kind::u16: return static_cast<uint16_t>(raw);
    case Kind::u32: return raw;
    case Kind::s8: return static_cast<int8_t>(static_cast<uint8_t>(raw));
    case Kind::s16: return static_cast<int16_t>(static_cast<uint16_t>(raw));
    case Kind::text: break;
    }
    return 0;
}

// A text built from whole characters: ASCII (controls, quote and backslash
// included) and UTF-8 sequences of two, three and four bytes. The slot keeps
// the longest run of whole characters within 31 bytes, up to the first zero.
void makeText(FuzzedDataProvider& in, std::string& raw, std::string& kept)
{
    static const char* const wide[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 40);
    bool ended = false;
    for (std::size_t i = 0; i < count && in.remaining_bytes() > 0; ++i) {
        const uint8_t b = in.ConsumeIntegral<uint8_t>();
        const std::string unit = b < 0xE0 ? std::string(1, static_cast<char>(b & 0x7F)) : std::string(wide[b % 3]);
        raw += unit;
        if (unit[0] == '\0') {
            ended = true;
        }
        if (!ended && kept.size() + unit.size() <= SC_TEXT_CAPACITY - 1) {
            kept += unit;
        } else {
            ended = true;
        }
    }
}

// ---- composing, with the bounds checked at every step ----

constexpr unsigned char untouched = 0x5A;

struct Reply {
    std::vector<char> buffer = std::vector<char>(SC_MESSAGE_CAPACITY, static_cast<char>(untouched));
    bool complete = true;

    Reply() { buffer[0] = '\0'; }

    // \p keepsText: the text already there stays where it was (appending;
    // wrapping moves it by one).
    void checkAppend(sc_result result, const std::vector<char>& before, std::size_t need, bool keepsText = true)
    {
        const std::size_t used = std::strlen(before.data());
        if (result == SC_OK) {
            // Exactly the fragment and its zero; nothing behind it.
            expect(used + need + 1 <= buffer.size());
            expect(!keepsText || std::memcmp(buffer.data(), before.data(), used) == 0);
            expect(std::strlen(buffer.data()) == used + need);
            const std::size_t end = used + need + 1;
            expect(std::memcmp(buffer.data() + end, before.data() + end, buffer.size() - end) == 0);
            return;
        }
        expect(result == SC_ERR_NO_ROOM);
        expect(need > buffer.size() - 1 - used);
        expect(std::memcmp(buffer.data(), before.data(), buffer.size()) == 0);
        complete = false;
    }

    void append(sc_part part)
    {
        if (!complete) {
            return;
        }
        const std::vector<char> before = buffer;
        const std::size_t need = sc_measure(part);
        checkAppend(sc_append(part, buffer.data(), buffer.size()), before, need);
    }

    void wrap()
    {
        if (!complete) {
            return;
        }
        const std::vector<char> before = buffer;
        checkAppend(sc_wrap(buffer.data(), buffer.size()), before, 2, false);
        if (complete) {
            const std::size_t length = std::strlen(buffer.data());
            expect(buffer[0] == '{' && buffer[length - 1] == '}');
            expect(std::memcmp(buffer.data() + 1, before.data(), length - 2) == 0);
        }
    }

    std::string text() const { return std::string(buffer.data()); }
};

// The reply a station sends: "COM", a comma, one member, in braces.
Reply composeReply(sc_part member)
{
    Reply reply;
    reply.append(SC_PART_COM);
    reply.append(SC_PART_COMMA);
    reply.append(member);
    reply.wrap();
    return reply;
}

// ---- reading the JSON back ----

struct Member {
    sc_key key;
    sc_key owner;
};

void expectGroup(const json& parent, sc_key name, const Model& model, const std::vector<Member>& members,
                 std::size_t extraMembers = 0)
{
    const json* group = ravenlink::findObject(parent, name);
    expect(group != nullptr);
    expect(group->size() == members.size() + extraMembers);
    for (const Member& m : members) {
        const auto it = group->find(ravenlink::key(m.key));
        expect(it != group->end());
        if (slots[slotIndex(m.owner, m.key)].kind == Kind::text) {
            expect(it->is_string() && it->get<std::string>() == model.at(m.owner, m.key).text);
        } else {
            expect(it->is_number_integer() && it->get<int64_t>() == model.number(m.owner, m.key));
        }
    }
}

#define M(owner, key) Member{SC_KEY_##key, SC_KEY_##owner}

const std::vector<Member> comMembers = {M(COM, MSG_ID), M(COM, COM_STATUS)};
const std::vector<Member> swMembers = {M(SW_VERSION, MAIN_CTRL), M(SW_VERSION, REEL_CTRL), M(SW_VERSION, LPWR_CTRL),
                                       M(SW_VERSION, HPWR_CTRL), M(SW_VERSION, ENV_CTRL),  M(SW_VERSION, NET_CTRL),
                                       M(SW_VERSION, BBAT_CTRL)};
const std::vector<Member> detailsMembers = {
    M(SYSTEM_DETAILS, PRODUCT_TYPE),     M(SYSTEM_DETAILS, MODEL),           M(SYSTEM_DETAILS, SN),
    M(SYSTEM_DETAILS, DOP),              M(SYSTEM_DETAILS, HW_VERSION),      M(SYSTEM_DETAILS, UAV_CELL_VOLTAGES),
    M(SYSTEM_DETAILS, MAX_POWER),        M(SYSTEM_DETAILS, CABLE_TYPE),      M(SYSTEM_DETAILS, MAX_CABLE_LENGTH),
    M(SYSTEM_DETAILS, NETWORK_TYPE),     M(SYSTEM_DETAILS, FLIGHT_TIME_SUM), M(SYSTEM_DETAILS, FLIGHT_COUNT),
    M(SYSTEM_DETAILS, OPERATION_TIME_SUM), M(SYSTEM_DETAILS, OPERATION_COUNT), M(SYSTEM_DETAILS, SYSTEM_TIME_SUM),
    M(SYSTEM_DETAILS, SYSTEM_USE_COUNT), M(SYSTEM_DETAILS, TTM),             M(SYSTEM_DETAILS, MAINTENANCE_REQUIRED)};
const std::vector<Member> configMembers = {M(SYSTEM_CONFIG, ACTIVATION), M(SYSTEM_CONFIG, RET_STATUS),
                                           M(SYSTEM_CONFIG, RET_TORQUE), M(SYSTEM_CONFIG, RET_START)};
const std::vector<Member> flagMembers = {M(CONFIG_STATUS, CAB), M(CONFIG_STATUS, ENV), M(CONFIG_STATUS, ENERGY_GS),
                                         M(CONFIG_STATUS, ENERGY_UAV), M(CONFIG_STATUS, SYS_STATE)};
const std::vector<Member> cabMembers = {M(CAB, LENGTH),      M(CAB, SPEED),       M(CAB, TETHER_STATUS),
                                        M(CAB, GUIDE_STATUS), M(CAB, REEL_STATUS), M(SYSTEM_CONFIG, RET_STATUS),
                                        M(SYSTEM_CONFIG, RET_TORQUE), M(SYSTEM_CONFIG, RET_START)};
const std::vector<Member> envMembers = {
    M(ENV, TEMP1),  M(ENV, TEMP2),  M(ENV, TEMP3), M(ENV, TEMP4), M(ENV, HUM1), M(ENV, PRESS1),
    M(ENV, ENVSENSOR1_STATUS), M(ENV, ENVSENSOR2_STATUS), M(ENV, ENVSENSOR3_STATUS), M(ENV, ENVSENSOR4_STATUS),
    M(ENV, FAN1_RPM), M(ENV, FAN2_RPM), M(ENV, FAN1_STATUS), M(ENV, FAN2_STATUS)};
const std::vector<Member> energyGSMembers = {M(ENERGY_GS, MAINS_U), M(ENERGY_GS, MAINS_I), M(ENERGY_GS, MAINS_F),
                                             M(ENERGY_GS, MAINS_STATUS), M(ENERGY_GS, CTRL_SUPL_STATUS),
                                             M(ENERGY_GS, BAT_U), M(ENERGY_GS, BAT_STATUS)};
const std::vector<Member> energyGSExtended = {
    M(ENERGY_GS, CTRL_SUPL1), M(ENERGY_GS, CTRL_SUPL2), M(ENERGY_GS, CTRL_SUPL3), M(ENERGY_GS, CTRL_SUPL4),
    M(ENERGY_GS, CTRL_SUPL5), M(ENERGY_GS, CTRL_SUPL6), M(ENERGY_GS, CTRL_SUPL1_STATUS),
    M(ENERGY_GS, CTRL_SUPL2_STATUS), M(ENERGY_GS, CTRL_SUPL3_STATUS), M(ENERGY_GS, CTRL_SUPL4_STATUS),
    M(ENERGY_GS, CTRL_SUPL5_STATUS), M(ENERGY_GS, CTRL_SUPL6_STATUS)};
const std::vector<Member> energyUAVMembers = {M(ENERGY_UAV, UAV_SUPL_U), M(ENERGY_UAV, UAV_SUPL_I),
                                              M(ENERGY_UAV, EXT_SUPL_STATUS), M(ENERGY_UAV, UAV_CELL_COUNT)};
const std::vector<Member> energyUAVExtended = {M(ENERGY_UAV, EXT_SUPL_U), M(ENERGY_UAV, EXT_SUPL_I),
                                               M(ENERGY_UAV, UAV_SUPL_STATUS)};
const std::vector<Member> sysStateMembers = {
    M(SYSTEM_CONFIG, ACTIVATION), M(SYSTEM_CONFIG, RET_STATUS), M(ENERGY_GS, BAT_STATUS),
    M(SYS_STATE, FLIGHT_TIME),    M(SYS_STATE, FLIGHT_TIME_OP_SUM), M(SYS_STATE, FLIGHT_COUNT_OP_SUM),
    M(SYS_STATE, OPERATION_TIME), M(SYS_STATE, SYSTEM_TIME),    M(SYS_STATE, ERROR)};
const std::vector<Member> sysStateExtended = {M(SYS_STATE, NETWORK_STATUS), M(SYS_STATE, MEMORY_STATUS),
                                              M(SYS_STATE, AUTH_ENABLE)};

std::vector<Member> joined(std::vector<Member> a, const std::vector<Member>& b, bool withB)
{
    if (withB) {
        a.insert(a.end(), b.begin(), b.end());
    }
    return a;
}

// Parses \p reply, checks "COM" and the reply check's verdict, and returns the
// root for the member checks.
json expectEnvelope(const std::string& reply, const Model& model, std::size_t members)
{
    json root;
    expect(ravenlink::parseReply(reply, root));
    expect(root.is_object() && root.size() == members);
    expectGroup(root, SC_KEY_COM, model, comMembers);

    const int64_t comStatus = model.number(SC_KEY_COM, SC_KEY_COM_STATUS);
    const bool refused = comStatus >= 1 && comStatus <= 5;
    try {
        StationLinkImpl::checkReply(reply, static_cast<uint16_t>(model.number(SC_KEY_COM, SC_KEY_MSG_ID)));
        expect(!refused);
    } catch (const HALVERN::DataException&) {
        expect(refused);
    }
    return root;
}

float asFloat(int64_t v) { return static_cast<float>(static_cast<int32_t>(v)); }

void checkStatusReply(const std::string& reply, const Model& model)
{
    const json root = expectEnvelope(reply, model, 2);
    const json* status = ravenlink::findObject(root, SC_KEY_SYSTEM_STATUS);
    expect(status != nullptr);
    const bool extended = model.number(SC_KEY_SYS_STATE, SC_KEY_AUTH_ENABLE) != 0;
    const auto flag = [&](sc_key group) { return model.number(SC_KEY_CONFIG_STATUS, group); };
    std::size_t groups = 1;
    expectGroup(*status, SC_KEY_CONFIG_STATUS, model, flagMembers);

    SystemStatus expected;
    expected.configStatus = {int(flag(SC_KEY_CAB)), int(flag(SC_KEY_ENV)), int(flag(SC_KEY_ENERGY_GS)),
                             int(flag(SC_KEY_ENERGY_UAV)), int(flag(SC_KEY_SYS_STATE))};
    const auto n = [&](sc_key owner, sc_key key) { return model.number(owner, key); };
    if (flag(SC_KEY_CAB) == 1) {
        ++groups;
        expectGroup(*status, SC_KEY_CAB, model, cabMembers);
        CableStatus& c = expected.cab;
        c.length = asFloat(n(SC_KEY_CAB, SC_KEY_LENGTH)) / 100.0F;
        c.speed = asFloat(n(SC_KEY_CAB, SC_KEY_SPEED)) / 100.0F;
        c.retStatus = int(n(SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_STATUS));
        c.retTorque = asFloat(n(SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_TORQUE));
        c.retStart = asFloat(n(SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_START)) / 100.0F;
        c.tetherStatus = int(n(SC_KEY_CAB, SC_KEY_TETHER_STATUS));
        c.guideStatus = int(n(SC_KEY_CAB, SC_KEY_GUIDE_STATUS));
        c.reelStatus = int(n(SC_KEY_CAB, SC_KEY_REEL_STATUS));
    }
    if (flag(SC_KEY_ENV) == 1) {
        ++groups;
        expectGroup(*status, SC_KEY_ENV, model, envMembers);
        EnvStatus& e = expected.env;
        e.temp1 = asFloat(n(SC_KEY_ENV, SC_KEY_TEMP1));
        e.temp2 = asFloat(n(SC_KEY_ENV, SC_KEY_TEMP2));
        e.temp3 = asFloat(n(SC_KEY_ENV, SC_KEY_TEMP3));
        e.temp4 = asFloat(n(SC_KEY_ENV, SC_KEY_TEMP4));
        e.hum1 = asFloat(n(SC_KEY_ENV, SC_KEY_HUM1));
        e.press1 = asFloat(n(SC_KEY_ENV, SC_KEY_PRESS1));
        e.envSensor1Status = int(n(SC_KEY_ENV, SC_KEY_ENVSENSOR1_STATUS));
        e.envSensor2Status = int(n(SC_KEY_ENV, SC_KEY_ENVSENSOR2_STATUS));
        e.envSensor3Status = int(n(SC_KEY_ENV, SC_KEY_ENVSENSOR3_STATUS));
        e.envSensor4Status = int(n(SC_KEY_ENV, SC_KEY_ENVSENSOR4_STATUS));
        e.fan1Rpm = int(n(SC_KEY_ENV, SC_KEY_FAN1_RPM));
        e.fan1Status = int(n(SC_KEY_ENV, SC_KEY_FAN1_STATUS));
        e.fan2Rpm = int(n(SC_KEY_ENV, SC_KEY_FAN2_RPM));
        e.fan2Status = int(n(SC_KEY_ENV, SC_KEY_FAN2_STATUS));
    }
    if (flag(SC_KEY_ENERGY_GS) == 1) {
        ++groups;
        expectGroup(*status, SC_KEY_ENERGY_GS, model, joined(energyGSMembers, energyGSExtended, extended));
        EnergyGSStatus& g = expected.energyGS;
        g.mainsU = asFloat(n(SC_KEY_ENERGY_GS, SC_KEY_MAINS_U));
        g.mainsI = asFloat(n(SC_KEY_ENERGY_GS, SC_KEY_MAINS_I)) / 1000.0F;
        g.mainsF = asFloat(n(SC_KEY_ENERGY_GS, SC_KEY_MAINS_F)) / 1000.0F;
        g.mainsStatus = int(n(SC_KEY_ENERGY_GS, SC_KEY_MAINS_STATUS));
        g.ctrlSuplStatus = int(n(SC_KEY_ENERGY_GS, SC_KEY_CTRL_SUPL_STATUS));
        g.batU = asFloat(n(SC_KEY_ENERGY_GS, SC_KEY_BAT_U));
        g.batStatus = int(n(SC_KEY_ENERGY_GS, SC_KEY_BAT_STATUS));
    }
    if (flag(SC_KEY_ENERGY_UAV) == 1) {
        ++groups;
        expectGroup(*status, SC_KEY_ENERGY_UAV, model, joined(energyUAVMembers, energyUAVExtended, extended));
        EnergyUAVStatus& u = expected.energyUAV;
        u.uavSuplU = asFloat(n(SC_KEY_ENERGY_UAV, SC_KEY_UAV_SUPL_U)) / 1000.0F;
        u.uavSuplI = asFloat(n(SC_KEY_ENERGY_UAV, SC_KEY_UAV_SUPL_I));
        u.extSuplStatus = int(n(SC_KEY_ENERGY_UAV, SC_KEY_EXT_SUPL_STATUS));
        u.uavCellCount = int(n(SC_KEY_ENERGY_UAV, SC_KEY_UAV_CELL_COUNT));
        u.uavPower = u.uavSuplU * u.uavSuplI;
    }
    if (flag(SC_KEY_SYS_STATE) == 1) {
        ++groups;
        expectGroup(*status, SC_KEY_SYS_STATE, model, joined(sysStateMembers, sysStateExtended, extended));
        SysState& s = expected.sysState;
        s.activation = int(n(SC_KEY_SYSTEM_CONFIG, SC_KEY_ACTIVATION));
        s.retStatus = int(n(SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_STATUS));
        s.batStatus = int(n(SC_KEY_ENERGY_GS, SC_KEY_BAT_STATUS));
        s.systemTime = uint32_t(n(SC_KEY_SYS_STATE, SC_KEY_SYSTEM_TIME));
        s.operationTime = uint32_t(n(SC_KEY_SYS_STATE, SC_KEY_OPERATION_TIME));
        s.flightTime = uint32_t(n(SC_KEY_SYS_STATE, SC_KEY_FLIGHT_TIME));
        s.flightTimeOpSum = uint32_t(n(SC_KEY_SYS_STATE, SC_KEY_FLIGHT_TIME_OP_SUM));
        s.flightCountOpSum = uint32_t(n(SC_KEY_SYS_STATE, SC_KEY_FLIGHT_COUNT_OP_SUM));
        s.error = int(n(SC_KEY_SYS_STATE, SC_KEY_ERROR));
    }
    expect(status->size() == groups);

    SystemStatus decoded;
    StationLinkImpl::processStatusData(reply, decoded);
    expect(decoded == expected);
}

void checkDetailsReply(const std::string& reply, const Model& model)
{
    const json root = expectEnvelope(reply, model, 2);
    const json* details = ravenlink::findObject(root, SC_KEY_SYSTEM_DETAILS);
    expect(details != nullptr);
    // "SW_VERSION" and the constant "PROTOCOL_VERSION" come on top.
    expectGroup(root, SC_KEY_SYSTEM_DETAILS, model, detailsMembers, 2);
    expectGroup(*details, SC_KEY_SW_VERSION, model, swMembers);

    const auto t = [&](sc_key owner, sc_key key) { return model.at(owner, key).text; };
    const auto n = [&](sc_key key) { return model.number(SC_KEY_SYSTEM_DETAILS, key); };
    SystemDetails expected;
    expected.productType = t(SC_KEY_SYSTEM_DETAILS, SC_KEY_PRODUCT_TYPE);
    expected.model = t(SC_KEY_SYSTEM_DETAILS, SC_KEY_MODEL);
    expected.sn = t(SC_KEY_SYSTEM_DETAILS, SC_KEY_SN);
    expected.dop = t(SC_KEY_SYSTEM_DETAILS, SC_KEY_DOP);
    expected.hwVersion = t(SC_KEY_SYSTEM_DETAILS, SC_KEY_HW_VERSION);
    expected.swVersion = {t(SC_KEY_SW_VERSION, SC_KEY_MAIN_CTRL), t(SC_KEY_SW_VERSION, SC_KEY_REEL_CTRL),
                          t(SC_KEY_SW_VERSION, SC_KEY_LPWR_CTRL), t(SC_KEY_SW_VERSION, SC_KEY_HPWR_CTRL),
                          t(SC_KEY_SW_VERSION, SC_KEY_ENV_CTRL),  t(SC_KEY_SW_VERSION, SC_KEY_NET_CTRL),
                          t(SC_KEY_SW_VERSION, SC_KEY_BBAT_CTRL)};
    expected.protocolVersion = "1.20";
    expected.uavCellVoltages = t(SC_KEY_SYSTEM_DETAILS, SC_KEY_UAV_CELL_VOLTAGES);
    expected.maxPower = int(n(SC_KEY_MAX_POWER));
    expected.cableType = t(SC_KEY_SYSTEM_DETAILS, SC_KEY_CABLE_TYPE);
    expected.maxCableLength = int(n(SC_KEY_MAX_CABLE_LENGTH));
    expected.networkType = int(n(SC_KEY_NETWORK_TYPE));
    expected.flightTimeSum = uint32_t(n(SC_KEY_FLIGHT_TIME_SUM));
    expected.flightCount = uint32_t(n(SC_KEY_FLIGHT_COUNT));
    expected.operationTimeSum = uint32_t(n(SC_KEY_OPERATION_TIME_SUM));
    expected.operationCount = uint32_t(n(SC_KEY_OPERATION_COUNT));
    expected.systemTimeSum = uint32_t(n(SC_KEY_SYSTEM_TIME_SUM));
    expected.systemUseCount = uint32_t(n(SC_KEY_SYSTEM_USE_COUNT));
    expected.ttm = uint32_t(n(SC_KEY_TTM));
    expected.maintenanceRequired = int(n(SC_KEY_MAINTENANCE_REQUIRED));

    SystemDetails decoded;
    StationLinkImpl::processSystemDetails(reply, decoded);
    expect(decoded == expected);
}

void checkConfigReply(const std::string& reply, const Model& model)
{
    const json root = expectEnvelope(reply, model, 2);
    expectGroup(root, SC_KEY_SYSTEM_CONFIG, model, configMembers);
    const auto n = [&](sc_key key) { return model.number(SC_KEY_SYSTEM_CONFIG, key); };
    SystemConfig expected{};
    expected.activation = n(SC_KEY_ACTIVATION) == 1 || n(SC_KEY_ACTIVATION) == 16;
    expected.retTorque = asFloat(n(SC_KEY_RET_TORQUE));
    expected.retStart = asFloat(n(SC_KEY_RET_START)) / 100.0F;
    expected.retStatus = int(n(SC_KEY_RET_STATUS));
    SystemConfig decoded{};
    StationLinkImpl::processSystemConfig(reply, decoded);
    expect(decoded == expected);
}

void checkSmallDetailsReplies(const Model& model)
{
    Reply protocol = composeReply(SC_PART_PROTOCOL_VERSION);
    expect(protocol.complete); // short and fixed: always fits
    expectEnvelope(protocol.text(), model, 2);
    int major = 0, minor = 0, patch = 0;
    StationLinkImpl::parseProtocolVersion(protocol.text(), major, minor, patch);
    expect(major == 1 && minor == 20 && patch == 20);

    Reply hw = composeReply(SC_PART_HW_VERSION);
    expect(hw.complete);
    const json hwRoot = expectEnvelope(hw.text(), model, 2);
    expectGroup(hwRoot, SC_KEY_SYSTEM_DETAILS, model, {M(SYSTEM_DETAILS, HW_VERSION)});

    Reply sw = composeReply(SC_PART_SW_VERSION_DETAILS);
    expect(sw.complete);
    const json swRoot = expectEnvelope(sw.text(), model, 2);
    const json* swDetails = ravenlink::findObject(swRoot, SC_KEY_SYSTEM_DETAILS);
    expect(swDetails != nullptr && swDetails->size() == 1);
    expectGroup(*swDetails, SC_KEY_SW_VERSION, model, swMembers);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    sc_reset_store();
    Model model;

    // The setter sequence; the last byte run, if any, picks free-form parts.
    const std::size_t steps = in.ConsumeIntegralInRange<std::size_t>(0, 200);
    for (std::size_t i = 0; i < steps && in.remaining_bytes() > 0; ++i) {
        const std::size_t index = in.ConsumeIntegralInRange<std::size_t>(0, slotCount - 1);
        const Slot& slot = slots[index];
        if (slot.kind == Kind::text) {
            if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
                slot.apply(0, nullptr); // stores the empty text
                model.values[index].text.clear();
                continue;
            }
            std::string raw;
            std::string kept;
            makeText(in, raw, kept);
            slot.apply(0, raw.c_str());
            model.values[index].text = kept;
        } else {
            const int64_t value = toSlotWidth(slot.kind, in.ConsumeIntegral<uint32_t>());
            slot.apply(value, nullptr);
            model.values[index].number = value;
        }
    }

    Reply status = composeReply(SC_PART_SYSTEM_STATUS);
    if (status.complete) {
        checkStatusReply(status.text(), model);
    }
    Reply details = composeReply(SC_PART_SYSTEM_DETAILS);
    if (details.complete) {
        checkDetailsReply(details.text(), model);
    }
    Reply config = composeReply(SC_PART_SYSTEM_CONFIG);
    expect(config.complete);
    checkConfigReply(config.text(), model);
    checkSmallDetailsReplies(model);

    // Free-form sequences of fragments: not JSON, but every append must keep
    // to the buffer and be all or nothing, up to the exact fit.
    Reply any;
    for (int parts = 0; parts < 64 && in.remaining_bytes() > 0; ++parts) {
        const int pick = in.ConsumeIntegralInRange<int>(0, SC_PART_COUNT);
        any.complete = true;
        if (pick == SC_PART_COUNT) {
            any.wrap();
        } else {
            any.append(static_cast<sc_part>(pick));
        }
    }
    return 0;
}
