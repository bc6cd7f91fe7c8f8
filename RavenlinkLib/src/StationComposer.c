/*
 * The station's side of the payload format: one static store of values,
 * one list that describes every value of it, and a single table-driven
 * writer that turns a group description into JSON text.
 *
 * Every fragment is produced twice by the same code: first against a cursor
 * without a buffer, which only counts, then, if the count fits, into the
 * caller's buffer. That keeps appending all or nothing without staging
 * copies, and a refused fragment leaves the caller's bytes untouched. Both
 * passes move whole runs of bytes, so a fragment costs a few dozen copies,
 * not one bounds check per character.
 */
#include "StationComposer.h"

#include <string.h>

#define SC_KEY_TEXT_ENTRY(name) #name,
#define SC_KEY_LENGTH_ENTRY(name) sizeof(#name) - 1,

const char *const sc_key_text[SC_KEY_COUNT] = {SC_KEY_LIST(SC_KEY_TEXT_ENTRY)};
static const unsigned char keyLength[SC_KEY_COUNT] = {SC_KEY_LIST(SC_KEY_LENGTH_ENTRY)};

/* ---- the store ---------------------------------------------------------- */

struct sc_store {
    struct {
        char mainCtrl[SC_TEXT_CAPACITY], reelCtrl[SC_TEXT_CAPACITY], lpwrCtrl[SC_TEXT_CAPACITY],
            hpwrCtrl[SC_TEXT_CAPACITY], envCtrl[SC_TEXT_CAPACITY], netCtrl[SC_TEXT_CAPACITY],
            bbatCtrl[SC_TEXT_CAPACITY];
    } swVersion;
    struct {
        char productType[SC_TEXT_CAPACITY], model[SC_TEXT_CAPACITY], sn[SC_TEXT_CAPACITY],
            dop[SC_TEXT_CAPACITY], hwVersion[SC_TEXT_CAPACITY], uavCellVoltages[SC_TEXT_CAPACITY],
            cableType[SC_TEXT_CAPACITY];
        uint16_t maxPower, maxCableLength, networkType;
        uint32_t flightTimeSum, flightCount, operationTimeSum, operationCount, systemTimeSum,
            systemUseCount, ttm;
        uint8_t maintenanceRequired;
    } details;
    struct {
        uint8_t activation, retStatus;
        uint16_t retTorque, retStart;
    } config;
    struct {
        uint8_t cab, env, energyGS, energyUAV, sysState;
    } configStatus;
    struct {
        int16_t length, speed;
        uint8_t tetherStatus, guideStatus, reelStatus;
    } cab;
    struct {
        uint16_t msgId, comStatus;
    } com;
    struct {
        int8_t temp[4], hum1;
        uint16_t press1;
        uint8_t sensorStatus[4];
        uint16_t fanRpm[2];
        uint8_t fanStatus[2];
    } env;
    struct {
        int16_t mainsU, mainsI;
        uint16_t mainsF;
        uint8_t mainsStatus;
        int16_t ctrlSupl[6];
        uint8_t ctrlSuplStatus, ctrlSuplNStatus[6], batU, batStatus;
    } energyGS;
    struct {
        int16_t extSuplU, extSuplI, uavSuplU, uavSuplI;
        uint8_t extSuplStatus, uavSuplStatus, uavCellCount;
    } energyUAV;
    struct {
        uint32_t flightTime, flightTimeOpSum, flightCountOpSum, operationTime, systemTime;
        uint8_t error, networkStatus, memoryStatus, authEnable;
    } sysState;
    struct {
        uint8_t getSystemStatus, getSystemConfig, getSystemDetails, getHwVersion, getSwVersion,
            getProtocol, setActivation, setRetTorque, setRetStart;
        char setAuth[SC_AUTH_CAPACITY];
        uint32_t setTime;
    } command;
};

/* Used twice: for the static initialisation and for sc_reset_store(). Every
 * slot not named here starts at zero. */
#define SC_STORE_DEFAULTS                                                              \
    {                                                                                  \
        .swVersion = {.mainCtrl = "0", .reelCtrl = "0", .lpwrCtrl = "0", .hpwrCtrl = "0", \
                      .envCtrl = "0", .netCtrl = "0", .bbatCtrl = "0"},                \
        .details = {.productType = "0", .model = "0", .sn = "0", .dop = "0",           \
                    .hwVersion = "0", .uavCellVoltages = "0", .cableType = "0"},       \
        .configStatus = {.cab = 1, .env = 1, .energyGS = 1, .energyUAV = 1, .sysState = 1}, \
        .env = {.temp = {-127, -127, -127, -127}},                                     \
        .energyGS = {.batU = 255, .batStatus = 255},                                   \
        .command = {.getSystemStatus = 1, .getSystemConfig = 1, .getSystemDetails = 1, \
                    .getHwVersion = 1, .getSwVersion = 1, .getProtocol = 1},           \
    }

static struct sc_store store = SC_STORE_DEFAULTS;

/* The station speaks this protocol version; it has no setter. */
static const char sc_protocol_version[] = "1.20";

/* ---- the values of the store --------------------------------------------- */

/*
 * Every value with a setter, once: owning group, key, type, setter, slot,
 * and whether it goes on the wire always or in extended mode only. The
 * setters, the exported table sc_values and the slots the compositions read
 * are all generated from this list, in this order.
 */
#define SC_VALUE_LIST(X)                                                                 \
    X(SW_VERSION, MAIN_CTRL, TEXT, setMainCtrl, swVersion.mainCtrl, ALWAYS)               \
    X(SW_VERSION, REEL_CTRL, TEXT, setReelCtrl, swVersion.reelCtrl, ALWAYS)               \
    X(SW_VERSION, LPWR_CTRL, TEXT, setLpwrCtrl, swVersion.lpwrCtrl, ALWAYS)               \
    X(SW_VERSION, HPWR_CTRL, TEXT, setHpwrCtrl, swVersion.hpwrCtrl, ALWAYS)               \
    X(SW_VERSION, ENV_CTRL, TEXT, setEnvCtrl, swVersion.envCtrl, ALWAYS)                  \
    X(SW_VERSION, NET_CTRL, TEXT, setNetCtrl, swVersion.netCtrl, ALWAYS)                  \
    X(SW_VERSION, BBAT_CTRL, TEXT, setBbatCtrl, swVersion.bbatCtrl, ALWAYS)               \
    X(SYSTEM_DETAILS, PRODUCT_TYPE, TEXT, setProductType, details.productType, ALWAYS)    \
    X(SYSTEM_DETAILS, MODEL, TEXT, setModel, details.model, ALWAYS)                       \
    X(SYSTEM_DETAILS, SN, TEXT, setSn, details.sn, ALWAYS)                                \
    X(SYSTEM_DETAILS, DOP, TEXT, setDop, details.dop, ALWAYS)                             \
    X(SYSTEM_DETAILS, HW_VERSION, TEXT, setHwVersion, details.hwVersion, ALWAYS)          \
    X(SYSTEM_DETAILS, UAV_CELL_VOLTAGES, TEXT, setUavCellVoltages, details.uavCellVoltages, ALWAYS) \
    X(SYSTEM_DETAILS, MAX_POWER, U16, setMaxPower, details.maxPower, ALWAYS)              \
    X(SYSTEM_DETAILS, CABLE_TYPE, TEXT, setCableType, details.cableType, ALWAYS)          \
    X(SYSTEM_DETAILS, MAX_CABLE_LENGTH, U16, setMaxCableLength, details.maxCableLength, ALWAYS) \
    X(SYSTEM_DETAILS, NETWORK_TYPE, U16, setNetworkType, details.networkType, ALWAYS)     \
    X(SYSTEM_DETAILS, FLIGHT_TIME_SUM, U32, setFlightTimeSum, details.flightTimeSum, ALWAYS) \
    X(SYSTEM_DETAILS, FLIGHT_COUNT, U32, setFlightCount, details.flightCount, ALWAYS)     \
    X(SYSTEM_DETAILS, OPERATION_TIME_SUM, U32, setOperationTimeSum, details.operationTimeSum, ALWAYS) \
    X(SYSTEM_DETAILS, OPERATION_COUNT, U32, setOperationCount, details.operationCount, ALWAYS) \
    X(SYSTEM_DETAILS, SYSTEM_TIME_SUM, U32, setSystemTimeSum, details.systemTimeSum, ALWAYS) \
    X(SYSTEM_DETAILS, SYSTEM_USE_COUNT, U32, setSystemUseCount, details.systemUseCount, ALWAYS) \
    X(SYSTEM_DETAILS, TTM, U32, setTtm, details.ttm, ALWAYS)                              \
    X(SYSTEM_DETAILS, MAINTENANCE_REQUIRED, U8, setMaintenanceRequired, details.maintenanceRequired, ALWAYS) \
    X(SYSTEM_CONFIG, ACTIVATION, U8, setActivation, config.activation, ALWAYS)            \
    X(SYSTEM_CONFIG, RET_STATUS, U8, setRetStatus, config.retStatus, ALWAYS)              \
    X(SYSTEM_CONFIG, RET_TORQUE, U16, setRetTorque, config.retTorque, ALWAYS)             \
    X(SYSTEM_CONFIG, RET_START, U16, setRetStart, config.retStart, ALWAYS)                \
    X(CONFIG_STATUS, CAB, U8, setConfigCab, configStatus.cab, ALWAYS)                     \
    X(CONFIG_STATUS, ENV, U8, setConfigEnv, configStatus.env, ALWAYS)                     \
    X(CONFIG_STATUS, ENERGY_GS, U8, setConfigEnergyGS, configStatus.energyGS, ALWAYS)     \
    X(CONFIG_STATUS, ENERGY_UAV, U8, setConfigEnergyUAV, configStatus.energyUAV, ALWAYS)  \
    X(CONFIG_STATUS, SYS_STATE, U8, setConfigSysState, configStatus.sysState, ALWAYS)     \
    X(CAB, LENGTH, S16, setLength, cab.length, ALWAYS)                                    \
    X(CAB, SPEED, S16, setSpeed, cab.speed, ALWAYS)                                       \
    X(CAB, TETHER_STATUS, U8, setTetherStatus, cab.tetherStatus, ALWAYS)                  \
    X(CAB, GUIDE_STATUS, U8, setGuideStatus, cab.guideStatus, ALWAYS)                     \
    X(CAB, REEL_STATUS, U8, setReelStatus, cab.reelStatus, ALWAYS)                        \
    X(COM, MSG_ID, U16, setMsgId, com.msgId, ALWAYS)                                      \
    X(COM, COM_STATUS, U16, setComStatus, com.comStatus, ALWAYS)                          \
    X(ENV, TEMP1, S8, setTemp1, env.temp[0], ALWAYS)                                      \
    X(ENV, TEMP2, S8, setTemp2, env.temp[1], ALWAYS)                                      \
    X(ENV, TEMP3, S8, setTemp3, env.temp[2], ALWAYS)                                      \
    X(ENV, TEMP4, S8, setTemp4, env.temp[3], ALWAYS)                                      \
    X(ENV, HUM1, S8, setHum1, env.hum1, ALWAYS)                                           \
    X(ENV, PRESS1, U16, setPress1, env.press1, ALWAYS)                                    \
    X(ENV, ENVSENSOR1_STATUS, U8, setEnvSensor1Status, env.sensorStatus[0], ALWAYS)       \
    X(ENV, ENVSENSOR2_STATUS, U8, setEnvSensor2Status, env.sensorStatus[1], ALWAYS)       \
    X(ENV, ENVSENSOR3_STATUS, U8, setEnvSensor3Status, env.sensorStatus[2], ALWAYS)       \
    X(ENV, ENVSENSOR4_STATUS, U8, setEnvSensor4Status, env.sensorStatus[3], ALWAYS)       \
    X(ENV, FAN1_RPM, U16, setFan1Rpm, env.fanRpm[0], ALWAYS)                              \
    X(ENV, FAN2_RPM, U16, setFan2Rpm, env.fanRpm[1], ALWAYS)                              \
    X(ENV, FAN1_STATUS, U8, setFan1Status, env.fanStatus[0], ALWAYS)                      \
    X(ENV, FAN2_STATUS, U8, setFan2Status, env.fanStatus[1], ALWAYS)                      \
    X(ENERGY_GS, MAINS_U, S16, setMainsU, energyGS.mainsU, ALWAYS)                        \
    X(ENERGY_GS, MAINS_I, S16, setMainsI, energyGS.mainsI, ALWAYS)                        \
    X(ENERGY_GS, MAINS_F, U16, setMainsF, energyGS.mainsF, ALWAYS)                        \
    X(ENERGY_GS, MAINS_STATUS, U8, setMainsStatus, energyGS.mainsStatus, ALWAYS)          \
    X(ENERGY_GS, CTRL_SUPL1, S16, setCtrlSupl1, energyGS.ctrlSupl[0], EXTENDED)           \
    X(ENERGY_GS, CTRL_SUPL2, S16, setCtrlSupl2, energyGS.ctrlSupl[1], EXTENDED)           \
    X(ENERGY_GS, CTRL_SUPL3, S16, setCtrlSupl3, energyGS.ctrlSupl[2], EXTENDED)           \
    X(ENERGY_GS, CTRL_SUPL4, S16, setCtrlSupl4, energyGS.ctrlSupl[3], EXTENDED)           \
    X(ENERGY_GS, CTRL_SUPL5, S16, setCtrlSupl5, energyGS.ctrlSupl[4], EXTENDED)           \
    X(ENERGY_GS, CTRL_SUPL6, S16, setCtrlSupl6, energyGS.ctrlSupl[5], EXTENDED)           \
    X(ENERGY_GS, CTRL_SUPL_STATUS, U8, setCtrlSuplStatus, energyGS.ctrlSuplStatus, ALWAYS) \
    X(ENERGY_GS, CTRL_SUPL1_STATUS, U8, setCtrlSupl1Status, energyGS.ctrlSuplNStatus[0], EXTENDED) \
    X(ENERGY_GS, CTRL_SUPL2_STATUS, U8, setCtrlSupl2Status, energyGS.ctrlSuplNStatus[1], EXTENDED) \
    X(ENERGY_GS, CTRL_SUPL3_STATUS, U8, setCtrlSupl3Status, energyGS.ctrlSuplNStatus[2], EXTENDED) \
    X(ENERGY_GS, CTRL_SUPL4_STATUS, U8, setCtrlSupl4Status, energyGS.ctrlSuplNStatus[3], EXTENDED) \
    X(ENERGY_GS, CTRL_SUPL5_STATUS, U8, setCtrlSupl5Status, energyGS.ctrlSuplNStatus[4], EXTENDED) \
    X(ENERGY_GS, CTRL_SUPL6_STATUS, U8, setCtrlSupl6Status, energyGS.ctrlSuplNStatus[5], EXTENDED) \
    X(ENERGY_GS, BAT_U, U8, setBatU, energyGS.batU, ALWAYS)                               \
    X(ENERGY_GS, BAT_STATUS, U8, setBatStatus, energyGS.batStatus, ALWAYS)                \
    X(ENERGY_UAV, EXT_SUPL_U, S16, setExtSuplU, energyUAV.extSuplU, EXTENDED)             \
    X(ENERGY_UAV, EXT_SUPL_I, S16, setExtSuplI, energyUAV.extSuplI, EXTENDED)             \
    X(ENERGY_UAV, UAV_SUPL_U, S16, setUavSuplU, energyUAV.uavSuplU, ALWAYS)               \
    X(ENERGY_UAV, UAV_SUPL_I, S16, setUavSuplI, energyUAV.uavSuplI, ALWAYS)               \
    X(ENERGY_UAV, EXT_SUPL_STATUS, U8, setExtSuplStatus, energyUAV.extSuplStatus, ALWAYS) \
    X(ENERGY_UAV, UAV_SUPL_STATUS, U8, setUavSuplStatus, energyUAV.uavSuplStatus, EXTENDED) \
    X(ENERGY_UAV, UAV_CELL_COUNT, U8, setUavCellCount, energyUAV.uavCellCount, ALWAYS)    \
    X(SYS_STATE, FLIGHT_TIME, U32, setFlightTime, sysState.flightTime, ALWAYS)            \
    X(SYS_STATE, FLIGHT_TIME_OP_SUM, U32, setFlightTimeOpSum, sysState.flightTimeOpSum, ALWAYS) \
    X(SYS_STATE, FLIGHT_COUNT_OP_SUM, U32, setFlightCountOpSum, sysState.flightCountOpSum, ALWAYS) \
    X(SYS_STATE, OPERATION_TIME, U32, setOperationTime, sysState.operationTime, ALWAYS)   \
    X(SYS_STATE, SYSTEM_TIME, U32, setSystemTime, sysState.systemTime, ALWAYS)            \
    X(SYS_STATE, ERROR, U8, setError, sysState.error, ALWAYS)                             \
    X(SYS_STATE, NETWORK_STATUS, U8, setNetworkStatus, sysState.networkStatus, EXTENDED)  \
    X(SYS_STATE, MEMORY_STATUS, U8, setMemoryStatus, sysState.memoryStatus, EXTENDED)     \
    X(SYS_STATE, AUTH_ENABLE, U8, setAuthEnable, sysState.authEnable, EXTENDED)

/* The pieces each column of the list turns into. */
#define SC_KIND_OF_U8 SC_KIND_UNSIGNED
#define SC_KIND_OF_U16 SC_KIND_UNSIGNED
#define SC_KIND_OF_U32 SC_KIND_UNSIGNED
#define SC_KIND_OF_S8 SC_KIND_SIGNED
#define SC_KIND_OF_S16 SC_KIND_SIGNED
#define SC_KIND_OF_TEXT SC_KIND_TEXT
#define SC_SETTER_OF_U8(setter) {.u8 = setter}
#define SC_SETTER_OF_U16(setter) {.u16 = setter}
#define SC_SETTER_OF_U32(setter) {.u32 = setter}
#define SC_SETTER_OF_S8(setter) {.s8 = setter}
#define SC_SETTER_OF_S16(setter) {.s16 = setter}
#define SC_SETTER_OF_TEXT(setter) {.text = setter}
#define SC_SENT_ALWAYS 0
#define SC_SENT_EXTENDED 1

#define SC_VALUE_INDEX(group, key, type, setter, slot, sent) SC_VALUE_##group##_##key,
#define SC_VALUE_ROW(group, key, type, setter, slot, sent)                                       \
    {SC_KEY_##group, SC_KEY_##key, SC_KIND_OF_##type, sizeof store.slot, SC_SENT_##sent, \
     SC_SETTER_OF_##type(setter)},
#define SC_VALUE_SLOT(group, key, type, setter, slot, sent) &store.slot,

/* The row of each value in sc_values, named SC_VALUE_<group>_<key>. */
enum sc_value_index { SC_VALUE_LIST(SC_VALUE_INDEX) SC_VALUE_INDEX_COUNT };

const sc_value sc_values[] = {SC_VALUE_LIST(SC_VALUE_ROW)};
const size_t sc_value_count = sizeof sc_values / sizeof sc_values[0];

/* Where each row lives, in the order of sc_values. */
static const void *const slots[] = {SC_VALUE_LIST(SC_VALUE_SLOT)};

/* The request vocabulary; it is never composed, only looked up. "SET_AUTH"
 * is a text area and has no numeric value. */
static const struct {
    sc_key key;
    const uint8_t *flag;
    const uint32_t *number;
} commands[] = {
    {SC_KEY_GET_SYSTEM_STATUS, &store.command.getSystemStatus, NULL},
    {SC_KEY_GET_SYSTEM_CONFIG, &store.command.getSystemConfig, NULL},
    {SC_KEY_GET_SYSTEM_DETAILS, &store.command.getSystemDetails, NULL},
    {SC_KEY_GET_HWVERSION, &store.command.getHwVersion, NULL},
    {SC_KEY_GET_SWVERSION, &store.command.getSwVersion, NULL},
    {SC_KEY_GET_PROTOCOL, &store.command.getProtocol, NULL},
    {SC_KEY_SET_ACTIVATION, &store.command.setActivation, NULL},
    {SC_KEY_SET_RET_TORQUE, &store.command.setRetTorque, NULL},
    {SC_KEY_SET_RET_START, &store.command.setRetStart, NULL},
    {SC_KEY_SET_TIME, NULL, &store.command.setTime},
};

/* ---- the groups as they go on the wire ---------------------------------- */

typedef enum sc_item { SC_ITEM_VALUE, SC_ITEM_MEMBER, SC_ITEM_CONSTANT } sc_item;

/* One member of a group: a value of the store (a shared one simply names
 * the row of its owning group), a nested group, or a constant text. A gated
 * member is written only while its gate slot holds exactly 1; a value sent
 * in extended mode only, while "AUTH_ENABLE" is non-zero. */
typedef struct sc_entry {
    sc_item item;
    sc_key key;
    size_t value;       /* SC_ITEM_VALUE: the row in sc_values */
    const void *detail; /* SC_ITEM_MEMBER: the sc_group; SC_ITEM_CONSTANT: the text */
    const uint8_t *gate;
} sc_entry;

typedef struct sc_group {
    sc_key name;
    const sc_entry *entries;
    size_t count;
} sc_group;

#define SC_AT(group, key) {SC_ITEM_VALUE, SC_KEY_##key, SC_VALUE_##group##_##key, NULL, NULL}
#define SC_NESTED(group) {SC_ITEM_MEMBER, SC_KEY_COUNT, 0, &group, NULL}
#define SC_GATED(group, gate) {SC_ITEM_MEMBER, SC_KEY_COUNT, 0, &group, gate}
#define SC_CONSTANT(key, text) {SC_ITEM_CONSTANT, SC_KEY_##key, 0, text, NULL}
#define SC_COUNT(table) (sizeof(table) / sizeof((table)[0]))
#define SC_GROUP(k, table) {SC_KEY_##k, table, SC_COUNT(table)}

static const sc_entry swVersionEntries[] = {
    SC_AT(SW_VERSION, MAIN_CTRL), SC_AT(SW_VERSION, REEL_CTRL), SC_AT(SW_VERSION, LPWR_CTRL),
    SC_AT(SW_VERSION, HPWR_CTRL), SC_AT(SW_VERSION, ENV_CTRL),  SC_AT(SW_VERSION, NET_CTRL),
    SC_AT(SW_VERSION, BBAT_CTRL),
};
static const sc_group swVersionGroup = SC_GROUP(SW_VERSION, swVersionEntries);

static const sc_entry detailsEntries[] = {
    SC_AT(SYSTEM_DETAILS, PRODUCT_TYPE),
    SC_AT(SYSTEM_DETAILS, MODEL),
    SC_AT(SYSTEM_DETAILS, SN),
    SC_AT(SYSTEM_DETAILS, DOP),
    SC_AT(SYSTEM_DETAILS, HW_VERSION),
    SC_NESTED(swVersionGroup),
    SC_CONSTANT(PROTOCOL_VERSION, sc_protocol_version),
    SC_AT(SYSTEM_DETAILS, UAV_CELL_VOLTAGES),
    SC_AT(SYSTEM_DETAILS, MAX_POWER),
    SC_AT(SYSTEM_DETAILS, CABLE_TYPE),
    SC_AT(SYSTEM_DETAILS, MAX_CABLE_LENGTH),
    SC_AT(SYSTEM_DETAILS, NETWORK_TYPE),
    SC_AT(SYSTEM_DETAILS, FLIGHT_TIME_SUM),
    SC_AT(SYSTEM_DETAILS, FLIGHT_COUNT),
    SC_AT(SYSTEM_DETAILS, OPERATION_TIME_SUM),
    SC_AT(SYSTEM_DETAILS, OPERATION_COUNT),
    SC_AT(SYSTEM_DETAILS, SYSTEM_TIME_SUM),
    SC_AT(SYSTEM_DETAILS, SYSTEM_USE_COUNT),
    SC_AT(SYSTEM_DETAILS, TTM),
    SC_AT(SYSTEM_DETAILS, MAINTENANCE_REQUIRED),
};
static const sc_group detailsGroup = SC_GROUP(SYSTEM_DETAILS, detailsEntries);

static const sc_entry hwVersionEntries[] = {SC_AT(SYSTEM_DETAILS, HW_VERSION)};
static const sc_group hwVersionGroup = SC_GROUP(SYSTEM_DETAILS, hwVersionEntries);

static const sc_entry swVersionDetailsEntries[] = {SC_NESTED(swVersionGroup)};
static const sc_group swVersionDetailsGroup = SC_GROUP(SYSTEM_DETAILS, swVersionDetailsEntries);

static const sc_entry protocolVersionEntries[] = {SC_CONSTANT(PROTOCOL_VERSION, sc_protocol_version)};
static const sc_group protocolVersionGroup = SC_GROUP(SYSTEM_DETAILS, protocolVersionEntries);

static const sc_entry configEntries[] = {
    SC_AT(SYSTEM_CONFIG, ACTIVATION), SC_AT(SYSTEM_CONFIG, RET_STATUS),
    SC_AT(SYSTEM_CONFIG, RET_TORQUE), SC_AT(SYSTEM_CONFIG, RET_START),
};
static const sc_group configGroup = SC_GROUP(SYSTEM_CONFIG, configEntries);

static const sc_entry configStatusEntries[] = {
    SC_AT(CONFIG_STATUS, CAB),        SC_AT(CONFIG_STATUS, ENV),       SC_AT(CONFIG_STATUS, ENERGY_GS),
    SC_AT(CONFIG_STATUS, ENERGY_UAV), SC_AT(CONFIG_STATUS, SYS_STATE),
};
static const sc_group configStatusGroup = SC_GROUP(CONFIG_STATUS, configStatusEntries);

static const sc_entry cabEntries[] = {
    SC_AT(CAB, LENGTH),        SC_AT(CAB, SPEED),
    SC_AT(CAB, TETHER_STATUS), SC_AT(CAB, GUIDE_STATUS),
    SC_AT(CAB, REEL_STATUS),   SC_AT(SYSTEM_CONFIG, RET_STATUS),
    SC_AT(SYSTEM_CONFIG, RET_TORQUE), SC_AT(SYSTEM_CONFIG, RET_START),
};
static const sc_group cabGroup = SC_GROUP(CAB, cabEntries);

static const sc_entry envEntries[] = {
    SC_AT(ENV, TEMP1),    SC_AT(ENV, TEMP2),    SC_AT(ENV, TEMP3),
    SC_AT(ENV, TEMP4),    SC_AT(ENV, HUM1),     SC_AT(ENV, PRESS1),
    SC_AT(ENV, ENVSENSOR1_STATUS), SC_AT(ENV, ENVSENSOR2_STATUS),
    SC_AT(ENV, ENVSENSOR3_STATUS), SC_AT(ENV, ENVSENSOR4_STATUS),
    SC_AT(ENV, FAN1_RPM), SC_AT(ENV, FAN2_RPM), SC_AT(ENV, FAN1_STATUS),
    SC_AT(ENV, FAN2_STATUS),
};
static const sc_group envGroup = SC_GROUP(ENV, envEntries);

/* The values sent in extended mode only come last. */
static const sc_entry energyGSEntries[] = {
    SC_AT(ENERGY_GS, MAINS_U),           SC_AT(ENERGY_GS, MAINS_I),
    SC_AT(ENERGY_GS, MAINS_F),           SC_AT(ENERGY_GS, MAINS_STATUS),
    SC_AT(ENERGY_GS, CTRL_SUPL_STATUS),  SC_AT(ENERGY_GS, BAT_U),
    SC_AT(ENERGY_GS, BAT_STATUS),        SC_AT(ENERGY_GS, CTRL_SUPL1),
    SC_AT(ENERGY_GS, CTRL_SUPL2),        SC_AT(ENERGY_GS, CTRL_SUPL3),
    SC_AT(ENERGY_GS, CTRL_SUPL4),        SC_AT(ENERGY_GS, CTRL_SUPL5),
    SC_AT(ENERGY_GS, CTRL_SUPL6),        SC_AT(ENERGY_GS, CTRL_SUPL1_STATUS),
    SC_AT(ENERGY_GS, CTRL_SUPL2_STATUS), SC_AT(ENERGY_GS, CTRL_SUPL3_STATUS),
    SC_AT(ENERGY_GS, CTRL_SUPL4_STATUS), SC_AT(ENERGY_GS, CTRL_SUPL5_STATUS),
    SC_AT(ENERGY_GS, CTRL_SUPL6_STATUS),
};
static const sc_group energyGSGroup = SC_GROUP(ENERGY_GS, energyGSEntries);

static const sc_entry energyUAVEntries[] = {
    SC_AT(ENERGY_UAV, UAV_SUPL_U),      SC_AT(ENERGY_UAV, UAV_SUPL_I),
    SC_AT(ENERGY_UAV, EXT_SUPL_STATUS), SC_AT(ENERGY_UAV, UAV_CELL_COUNT),
    SC_AT(ENERGY_UAV, EXT_SUPL_U),      SC_AT(ENERGY_UAV, EXT_SUPL_I),
    SC_AT(ENERGY_UAV, UAV_SUPL_STATUS),
};
static const sc_group energyUAVGroup = SC_GROUP(ENERGY_UAV, energyUAVEntries);

static const sc_entry sysStateEntries[] = {
    SC_AT(SYSTEM_CONFIG, ACTIVATION),  SC_AT(SYSTEM_CONFIG, RET_STATUS),
    SC_AT(ENERGY_GS, BAT_STATUS),      SC_AT(SYS_STATE, FLIGHT_TIME),
    SC_AT(SYS_STATE, FLIGHT_TIME_OP_SUM), SC_AT(SYS_STATE, FLIGHT_COUNT_OP_SUM),
    SC_AT(SYS_STATE, OPERATION_TIME),  SC_AT(SYS_STATE, SYSTEM_TIME),
    SC_AT(SYS_STATE, ERROR),           SC_AT(SYS_STATE, NETWORK_STATUS),
    SC_AT(SYS_STATE, MEMORY_STATUS),   SC_AT(SYS_STATE, AUTH_ENABLE),
};
static const sc_group sysStateGroup = SC_GROUP(SYS_STATE, sysStateEntries);

static const sc_entry systemStatusEntries[] = {
    SC_NESTED(configStatusGroup),
    SC_GATED(cabGroup, &store.configStatus.cab),
    SC_GATED(envGroup, &store.configStatus.env),
    SC_GATED(energyGSGroup, &store.configStatus.energyGS),
    SC_GATED(energyUAVGroup, &store.configStatus.energyUAV),
    SC_GATED(sysStateGroup, &store.configStatus.sysState),
};
static const sc_group systemStatusGroup = SC_GROUP(SYSTEM_STATUS, systemStatusEntries);

static const sc_entry comEntries[] = {SC_AT(COM, MSG_ID), SC_AT(COM, COM_STATUS)};
static const sc_group comGroup = SC_GROUP(COM, comEntries);

/* The fragment of every sc_part; the comma has no group. */
static const sc_group *const partGroups[SC_PART_COUNT] = {
    [SC_PART_COMMA] = NULL,
    [SC_PART_SW_VERSION] = &swVersionGroup,
    [SC_PART_SYSTEM_DETAILS] = &detailsGroup,
    [SC_PART_HW_VERSION] = &hwVersionGroup,
    [SC_PART_SW_VERSION_DETAILS] = &swVersionDetailsGroup,
    [SC_PART_PROTOCOL_VERSION] = &protocolVersionGroup,
    [SC_PART_SYSTEM_CONFIG] = &configGroup,
    [SC_PART_CONFIG_STATUS] = &configStatusGroup,
    [SC_PART_CAB] = &cabGroup,
    [SC_PART_ENV] = &envGroup,
    [SC_PART_ENERGY_GS] = &energyGSGroup,
    [SC_PART_ENERGY_UAV] = &energyUAVGroup,
    [SC_PART_SYS_STATE] = &sysStateGroup,
    [SC_PART_SYSTEM_STATUS] = &systemStatusGroup,
    [SC_PART_COM] = &comGroup,
};

/* ---- reading a slot ------------------------------------------------------ */

/* The value of a number row, widened as printed: signed slots by sign
 * extension, unsigned ones by zero extension. */
static int64_t slotNumber(size_t row)
{
    const void *slot = slots[row];
    if (sc_values[row].kind == SC_KIND_SIGNED) {
        return sc_values[row].width == 1 ? *(const int8_t *)slot : *(const int16_t *)slot;
    }
    switch (sc_values[row].width) {
    case 1: return *(const uint8_t *)slot;
    case 2: return *(const uint16_t *)slot;
    default: return *(const uint32_t *)slot;
    }
}

/* ---- the bounded writer ------------------------------------------------- */

/* Output position. With buf NULL it only counts; otherwise it writes what
 * still fits before the last byte, which stays free for the terminating
 * zero, and always counts. */
typedef struct sc_cursor {
    char *buf;
    size_t cap;
    size_t len;
} sc_cursor;

static void putBytes(sc_cursor *c, const char *bytes, size_t n)
{
    if (c->buf != NULL && c->len + 1 < c->cap) {
        const size_t room = c->cap - 1 - c->len;
        memcpy(c->buf + c->len, bytes, n < room ? n : room);
    }
    c->len += n;
}

static void putChar(sc_cursor *c, char ch)
{
    putBytes(c, &ch, 1);
}

static void terminate(sc_cursor *c)
{
    if (c->buf != NULL && c->cap > 0) {
        c->buf[c->len < c->cap ? c->len : c->cap - 1] = '\0';
    }
}

static void putUnsigned(sc_cursor *c, uint64_t value)
{
    char digits[24];
    size_t at = sizeof digits;
    do {
        digits[--at] = (char)('0' + value % 10U);
        value /= 10U;
    } while (value != 0U);
    putBytes(c, digits + at, sizeof digits - at);
}

static void putSigned(sc_cursor *c, int64_t value)
{
    if (value < 0) {
        putChar(c, '-');
        putUnsigned(c, 0U - (uint64_t)value);
    } else {
        putUnsigned(c, (uint64_t)value);
    }
}

/* A text between quotes, escaped so that a JSON parser returns it as stored.
 * Runs of bytes that need no escape go out in one piece. */
static void putQuoted(sc_cursor *c, const char *text)
{
    static const char hex[] = "0123456789abcdef";
    const char *run = text;
    putChar(c, '"');
    for (; *text != '\0'; ++text) {
        const unsigned char ch = (unsigned char)*text;
        if (ch != '"' && ch != '\\' && ch >= 0x20U) {
            continue;
        }
        putBytes(c, run, (size_t)(text - run));
        run = text + 1;
        if (ch < 0x20U) {
            const char escape[6] = {'\\', 'u', '0', '0', hex[ch >> 4], hex[ch & 0x0FU]};
            putBytes(c, escape, sizeof escape);
        } else {
            const char escape[2] = {'\\', (char)ch};
            putBytes(c, escape, sizeof escape);
        }
    }
    putBytes(c, run, (size_t)(text - run));
    putChar(c, '"');
}

static void putKey(sc_cursor *c, sc_key key)
{
    putChar(c, '"');
    putBytes(c, sc_key_text[key], keyLength[key]);
    putBytes(c, "\":", 2);
}

static void putGroup(sc_cursor *c, const sc_group *group);

static void putEntry(sc_cursor *c, const sc_entry *entry)
{
    if (entry->item == SC_ITEM_MEMBER) {
        putGroup(c, (const sc_group *)entry->detail);
        return;
    }
    putKey(c, entry->key);
    if (entry->item == SC_ITEM_CONSTANT) {
        putQuoted(c, (const char *)entry->detail);
    } else if (sc_values[entry->value].kind == SC_KIND_TEXT) {
        putQuoted(c, (const char *)slots[entry->value]);
    } else if (sc_values[entry->value].kind == SC_KIND_SIGNED) {
        putSigned(c, slotNumber(entry->value));
    } else {
        putUnsigned(c, (uint64_t)slotNumber(entry->value));
    }
}

/* Whether an entry is written with the store as it is now. */
static int isDue(const sc_entry *entry)
{
    if (entry->gate != NULL && *entry->gate != 1U) {
        return 0;
    }
    return entry->item != SC_ITEM_VALUE || !sc_values[entry->value].extended ||
           store.sysState.authEnable != 0U;
}

static void putGroup(sc_cursor *c, const sc_group *group)
{
    size_t i;
    int first = 1;
    putKey(c, group->name);
    putChar(c, '{');
    for (i = 0; i < group->count; ++i) {
        if (!isDue(&group->entries[i])) {
            continue;
        }
        if (!first) {
            putChar(c, ',');
        }
        first = 0;
        putEntry(c, &group->entries[i]);
    }
    putChar(c, '}');
}

static void putPart(sc_cursor *c, sc_part part)
{
    if (partGroups[part] == NULL) {
        putChar(c, ',');
    } else {
        putGroup(c, partGroups[part]);
    }
}

/* Length of the text in dst, or 0 with *ok cleared when dst is unusable. */
static size_t textLength(const char *dst, size_t capacity, int *ok)
{
    const char *end = dst != NULL && capacity > 0 ? memchr(dst, '\0', capacity) : NULL;
    *ok = end != NULL;
    return end != NULL ? (size_t)(end - dst) : 0;
}

/* ---- public: bounded composition ---------------------------------------- */

size_t sc_measure(sc_part part)
{
    sc_cursor counter = {NULL, 0, 0};
    if ((unsigned)part >= (unsigned)SC_PART_COUNT) {
        return 0;
    }
    putPart(&counter, part);
    return counter.len;
}

sc_result sc_append(sc_part part, char *dst, size_t capacity)
{
    int ok = 0;
    const size_t used = textLength(dst, capacity, &ok);
    size_t need;
    sc_cursor out;
    if (!ok || (unsigned)part >= (unsigned)SC_PART_COUNT) {
        return SC_ERR_ARG;
    }
    need = sc_measure(part);
    if (need > capacity - 1 - used) {
        return SC_ERR_NO_ROOM;
    }
    out.buf = dst + used;
    out.cap = capacity - used;
    out.len = 0;
    putPart(&out, part);
    terminate(&out);
    return SC_OK;
}

sc_result sc_wrap(char *dst, size_t capacity)
{
    int ok = 0;
    const size_t used = textLength(dst, capacity, &ok);
    if (!ok) {
        return SC_ERR_ARG;
    }
    if (capacity - used < 3) {
        return SC_ERR_NO_ROOM;
    }
    memmove(dst + 1, dst, used);
    dst[0] = '{';
    dst[used + 1] = '}';
    dst[used + 2] = '\0';
    return SC_OK;
}

void sc_reset_store(void)
{
    static const struct sc_store defaults = SC_STORE_DEFAULTS;
    store = defaults;
}

sc_result sc_command_value(sc_key command, uint32_t *value)
{
    size_t i;
    if (value == NULL) {
        return SC_ERR_ARG;
    }
    for (i = 0; i < SC_COUNT(commands); ++i) {
        if (commands[i].key == command) {
            *value = commands[i].flag != NULL ? *commands[i].flag : *commands[i].number;
            return SC_OK;
        }
    }
    return SC_ERR_ARG;
}

/* ---- public: the table of values ---------------------------------------- */

const sc_value *sc_find_value(sc_key group, sc_key key)
{
    size_t i;
    for (i = 0; i < sc_value_count; ++i) {
        if (sc_values[i].group == group && sc_values[i].key == key) {
            return &sc_values[i];
        }
    }
    return NULL;
}

/* Row index of a row of sc_values (which it must be, or NULL). */
static size_t rowOf(const sc_value *value)
{
    return value == NULL ? sc_value_count : (size_t)(value - sc_values);
}

/* The low byte and the low two bytes as two's-complement numbers. */
static int8_t lowS8(int64_t number)
{
    const unsigned bits = (unsigned)((uint64_t)number & 0xFFU);
    return (int8_t)(bits > 0x7FU ? (int)bits - 0x100 : (int)bits);
}

static int16_t lowS16(int64_t number)
{
    const unsigned long bits = (unsigned long)((uint64_t)number & 0xFFFFU);
    return (int16_t)(bits > 0x7FFFUL ? (long)bits - 0x10000L : (long)bits);
}

sc_result sc_set_number(const sc_value *value, int64_t number)
{
    if (rowOf(value) == sc_value_count || value->kind == SC_KIND_TEXT) {
        return SC_ERR_ARG;
    }
    if (value->kind == SC_KIND_SIGNED && value->width == 1) {
        value->set.s8(lowS8(number));
    } else if (value->kind == SC_KIND_SIGNED) {
        value->set.s16(lowS16(number));
    } else if (value->width == 1) {
        value->set.u8((uint8_t)((uint64_t)number & 0xFFU));
    } else if (value->width == 2) {
        value->set.u16((uint16_t)((uint64_t)number & 0xFFFFU));
    } else {
        value->set.u32((uint32_t)((uint64_t)number & 0xFFFFFFFFU));
    }
    return SC_OK;
}

sc_result sc_set_text(const sc_value *value, const char *text)
{
    if (rowOf(value) == sc_value_count || value->kind != SC_KIND_TEXT) {
        return SC_ERR_ARG;
    }
    value->set.text(text);
    return SC_OK;
}

sc_result sc_get_number(const sc_value *value, int64_t *number)
{
    const size_t row = rowOf(value);
    if (row == sc_value_count || value->kind == SC_KIND_TEXT || number == NULL) {
        return SC_ERR_ARG;
    }
    *number = slotNumber(row);
    return SC_OK;
}

const char *sc_get_text(const sc_value *value)
{
    const size_t row = rowOf(value);
    return row == sc_value_count || value->kind != SC_KIND_TEXT ? NULL : (const char *)slots[row];
}

/* ---- public: the station's compositions --------------------------------- */

#define SC_COMPOSITION(name, part) \
    sc_result name(char *dst) { return sc_append(part, dst, SC_MESSAGE_CAPACITY); }

SC_COMPOSITION(appendComma, SC_PART_COMMA)
SC_COMPOSITION(composeSwVersion, SC_PART_SW_VERSION)
SC_COMPOSITION(composeSystemDetails, SC_PART_SYSTEM_DETAILS)
SC_COMPOSITION(composeHwVersion, SC_PART_HW_VERSION)
SC_COMPOSITION(composeSwVersionDetails, SC_PART_SW_VERSION_DETAILS)
SC_COMPOSITION(composeProtocolVersion, SC_PART_PROTOCOL_VERSION)
SC_COMPOSITION(composeSystemConfig, SC_PART_SYSTEM_CONFIG)
SC_COMPOSITION(composeConfigStatus, SC_PART_CONFIG_STATUS)
SC_COMPOSITION(composeCab, SC_PART_CAB)
SC_COMPOSITION(composeEnv, SC_PART_ENV)
SC_COMPOSITION(composeEnergyGS, SC_PART_ENERGY_GS)
SC_COMPOSITION(composeEnergyUAV, SC_PART_ENERGY_UAV)
SC_COMPOSITION(composeSysState, SC_PART_SYS_STATE)
SC_COMPOSITION(composeSystemStatus, SC_PART_SYSTEM_STATUS)
SC_COMPOSITION(composeCom, SC_PART_COM)

sc_result wrapMessage(char *dst)
{
    return sc_wrap(dst, SC_MESSAGE_CAPACITY);
}

/* ---- public: setters ---------------------------------------------------- */

/* Keeps at most SC_TEXT_CAPACITY - 1 bytes, backing off over a UTF-8
 * sequence that the cut would split (at most three continuation bytes). */
static void copyText(char *slot, const char *text)
{
    size_t n = 0;
    int backOff = 3;
    if (text != NULL) {
        while (n < SC_TEXT_CAPACITY - 1 && text[n] != '\0') {
            ++n;
        }
        while (text[n] != '\0' && n > 0 && backOff-- > 0 &&
               ((unsigned char)text[n] & 0xC0U) == 0x80U) {
            --n;
        }
        memcpy(slot, text, n);
    }
    slot[n] = '\0';
}

#define SC_DEFINE_NUMBER(name, type, slot) \
    void name(type value) { store.slot = value; }
#define SC_DEFINE_U8(name, slot) SC_DEFINE_NUMBER(name, uint8_t, slot)
#define SC_DEFINE_U16(name, slot) SC_DEFINE_NUMBER(name, uint16_t, slot)
#define SC_DEFINE_U32(name, slot) SC_DEFINE_NUMBER(name, uint32_t, slot)
#define SC_DEFINE_S8(name, slot) SC_DEFINE_NUMBER(name, int8_t, slot)
#define SC_DEFINE_S16(name, slot) SC_DEFINE_NUMBER(name, int16_t, slot)
#define SC_DEFINE_TEXT(name, slot) \
    void name(const char *text) { copyText(store.slot, text); }
#define SC_DEFINE_SETTER(group, key, type, setter, slot, sent) SC_DEFINE_##type(setter, slot)

SC_VALUE_LIST(SC_DEFINE_SETTER)
