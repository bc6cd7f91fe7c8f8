#include "StationSample.h"

#include "StationComposer.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravenlink_bench {

namespace {

struct SampleNumber {
    sc_key group;
    sc_key key;
    std::int64_t value;
};

struct SampleText {
    sc_key group;
    sc_key key;
    const char* value;
};

// A station in flight with its UAV; every value not listed keeps the store's
// default (status codes 0: no fault, every status group reported).
const SampleNumber kNumbers[] = {
    {SC_KEY_SYSTEM_CONFIG, SC_KEY_ACTIVATION, 16},     {SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_STATUS, 16},
    {SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_TORQUE, 45},     {SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_START, 150},
    {SC_KEY_CAB, SC_KEY_LENGTH, 4250},                 {SC_KEY_CAB, SC_KEY_SPEED, -35},
    {SC_KEY_ENV, SC_KEY_TEMP1, 31},                    {SC_KEY_ENV, SC_KEY_TEMP2, 24},
    {SC_KEY_ENV, SC_KEY_TEMP3, 22},                    {SC_KEY_ENV, SC_KEY_TEMP4, -7},
    {SC_KEY_ENV, SC_KEY_HUM1, 41},                     {SC_KEY_ENV, SC_KEY_PRESS1, 1013},
    {SC_KEY_ENV, SC_KEY_FAN1_RPM, 2400},               {SC_KEY_ENV, SC_KEY_FAN2_RPM, 2350},
    {SC_KEY_ENERGY_GS, SC_KEY_MAINS_U, 231},           {SC_KEY_ENERGY_GS, SC_KEY_MAINS_I, 4350},
    {SC_KEY_ENERGY_GS, SC_KEY_MAINS_F, 50020},         {SC_KEY_ENERGY_GS, SC_KEY_CTRL_SUPL1, 12040},
    {SC_KEY_ENERGY_GS, SC_KEY_CTRL_SUPL2, 11980},      {SC_KEY_ENERGY_GS, SC_KEY_CTRL_SUPL3, 5010},
    {SC_KEY_ENERGY_GS, SC_KEY_CTRL_SUPL4, 4990},       {SC_KEY_ENERGY_GS, SC_KEY_CTRL_SUPL5, 3300},
    {SC_KEY_ENERGY_GS, SC_KEY_CTRL_SUPL6, 24100},      {SC_KEY_ENERGY_GS, SC_KEY_BAT_U, 87},
    {SC_KEY_ENERGY_GS, SC_KEY_BAT_STATUS, 0},          {SC_KEY_ENERGY_UAV, SC_KEY_EXT_SUPL_U, -1},
    {SC_KEY_ENERGY_UAV, SC_KEY_EXT_SUPL_I, -1},        {SC_KEY_ENERGY_UAV, SC_KEY_UAV_SUPL_U, 25800},
    {SC_KEY_ENERGY_UAV, SC_KEY_UAV_SUPL_I, 18},        {SC_KEY_ENERGY_UAV, SC_KEY_UAV_CELL_COUNT, 6},
    {SC_KEY_SYS_STATE, SC_KEY_FLIGHT_TIME, 2712},      {SC_KEY_SYS_STATE, SC_KEY_FLIGHT_TIME_OP_SUM, 10843},
    {SC_KEY_SYS_STATE, SC_KEY_FLIGHT_COUNT_OP_SUM, 7}, {SC_KEY_SYS_STATE, SC_KEY_OPERATION_TIME, 14522},
    {SC_KEY_SYS_STATE, SC_KEY_SYSTEM_TIME, 1718200000}, {SC_KEY_SYS_STATE, SC_KEY_NETWORK_STATUS, 1},
    {SC_KEY_SYS_STATE, SC_KEY_AUTH_ENABLE, 1},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_MAX_POWER, 3000},          {SC_KEY_SYSTEM_DETAILS, SC_KEY_MAX_CABLE_LENGTH, 100},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_NETWORK_TYPE, 1},          {SC_KEY_SYSTEM_DETAILS, SC_KEY_FLIGHT_TIME_SUM, 1284377},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_FLIGHT_COUNT, 612},        {SC_KEY_SYSTEM_DETAILS, SC_KEY_OPERATION_TIME_SUM, 2041158},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_OPERATION_COUNT, 433},     {SC_KEY_SYSTEM_DETAILS, SC_KEY_SYSTEM_TIME_SUM, 3610022},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_SYSTEM_USE_COUNT, 501},    {SC_KEY_SYSTEM_DETAILS, SC_KEY_TTM, 96400},
};

const SampleText kTexts[] = {
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_PRODUCT_TYPE, "Loftward GS-300"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_MODEL, "GS-300 PL"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_SN, "GS3-2024-00417"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_DOP, "2024-03-18"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_HW_VERSION, "3.2.1"},
    {SC_KEY_SW_VERSION, SC_KEY_MAIN_CTRL, "2.14.3"},
    {SC_KEY_SW_VERSION, SC_KEY_REEL_CTRL, "1.9.0"},
    {SC_KEY_SW_VERSION, SC_KEY_LPWR_CTRL, "1.4.2"},
    {SC_KEY_SW_VERSION, SC_KEY_HPWR_CTRL, "1.4.7"},
    {SC_KEY_SW_VERSION, SC_KEY_ENV_CTRL, "1.1.0"},
    {SC_KEY_SW_VERSION, SC_KEY_NET_CTRL, "0.0.0"},
    {SC_KEY_SW_VERSION, SC_KEY_BBAT_CTRL, "1.0.5"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_UAV_CELL_VOLTAGES, "4.2V LiPo / 4.35V LiHV"},
    {SC_KEY_SYSTEM_DETAILS, SC_KEY_CABLE_TYPE, "2-wire 1.5 mm2 aramid"},
};

void refuse(sc_key group, sc_key key)
{
    throw std::logic_error(std::string("the station store has no value ") + sc_key_text[group] + "." +
                           sc_key_text[key] + " of that kind");
}

} // namespace

void fillStationStore()
{
    sc_reset_store();
    for (const SampleNumber& number : kNumbers) {
        if (sc_set_number(sc_find_value(number.group, number.key), number.value) != SC_OK) {
            refuse(number.group, number.key);
        }
    }
    for (const SampleText& text : kTexts) {
        if (sc_set_text(sc_find_value(text.group, text.key), text.value) != SC_OK) {
            refuse(text.group, text.key);
        }
    }
}

namespace {

std::string compose(std::uint16_t msgID, sc_result (*member)(char*))
{
    setMsgId(msgID);
    setComStatus(0);
    std::vector<char> text(SC_MESSAGE_CAPACITY, '\0');
    if (composeCom(text.data()) != SC_OK || appendComma(text.data()) != SC_OK ||
        member(text.data()) != SC_OK || wrapMessage(text.data()) != SC_OK) {
        throw std::runtime_error("the sample reply does not fit the station's message capacity");
    }
    return std::string(text.data()) + "\n";
}

} // namespace

std::string statusReply(std::uint16_t msgID) { return compose(msgID, composeSystemStatus); }

std::string detailsReply(std::uint16_t msgID) { return compose(msgID, composeSystemDetails); }

} // namespace ravenlink_bench
