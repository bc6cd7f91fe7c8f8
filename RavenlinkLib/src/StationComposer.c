/*
 * The station's side of the payload format: one static store of values,
 * described by const tables, and a single table-driven writer that turns a
 * group description into JSON text.
 *
 * Every fragment is produced twice by the same code: first against a cursor
 * without a buffer, which only counts, then, if the count fits, into the
 * caller's buffer. That keeps appending all or nothing without staging
 * copies, and a refused fragment leaves the caller's bytes untouched.
 */
#include "StationComposer.h"

#include <string.h>

#define SC_KEY_TEXT_ENTRY(name) #name,

const char *const sc_key_text[SC_KEY_COUNT] = {SC_KEY_LIST(SC_KEY_TEXT_ENTRY)};

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

/* Used twice: for the static initialisation and for sc_reset_store(). */
#define SC_STORE_DEFAULTS                                                       \
    {                                                                           \
        .swVersion = {"0", "0", "0", "0", "0", "0", "0"},                       \
        .details = {.productType = "0", .model = "0", .sn = "0", .dop = "0",    \
                    .hwVersion = "0", .uavCellVoltages = "0", .cableType = "0"},\
        .configStatus = {1, 1, 1, 1, 1},                                        \
        .env = {.temp = {-127, -127, -127, -127}},                              \
        .energyGS = {.batU = 255, .batStatus = 255},                            \
        .command = {1, 1, 1, 1, 1, 1, 0, 0, 0, {0}, 0},                         \
    }

static struct sc_store store = SC_STORE_DEFAULTS;

/* The station speaks this protocol version; it has no setter. */
static const char sc_protocol_version[] = "1.20";

/* ---- the tables describing the store ------------------------------------ */

typedef enum sc_kind { SC_U8, SC_U16, SC_U32, SC_S8, SC_S16, SC_TEXT, SC_MEMBER } sc_kind;

/* One member of a group: its key, how its slot is read, and the slot. A
 * shared entry simply points at the slot of its owning group. A gated entry
 * is written only while its gate slot holds exactly 1. */
typedef struct sc_entry {
    sc_key key;
    sc_kind kind;
    const void *slot; /* number, text, or for SC_MEMBER the nested sc_group */
    const uint8_t *gate;
} sc_entry;

/* A JSON object member. Extended entries follow the others while
 * "AUTH_ENABLE" is non-zero. */
typedef struct sc_group {
    sc_key name;
    const sc_entry *entries;
    size_t count;
    const sc_entry *extended;
    size_t extendedCount;
} sc_group;

#define SC_ENTRY(k, kind, slot) {SC_KEY_##k, kind, slot, NULL}
#define SC_GATED(k, group, gate) {SC_KEY_##k, SC_MEMBER, &group, gate}
#define SC_COUNT(table) (sizeof(table) / sizeof((table)[0]))
#define SC_GROUP(k, table) {SC_KEY_##k, table, SC_COUNT(table), NULL, 0}
#define SC_EXT_GROUP(k, table, ext) {SC_KEY_##k, table, SC_COUNT(table), ext, SC_COUNT(ext)}

static const sc_entry swVersionEntries[] = {
    SC_ENTRY(MAIN_CTRL, SC_TEXT, store.swVersion.mainCtrl),
    SC_ENTRY(REEL_CTRL, SC_TEXT, store.swVersion.reelCtrl),
    SC_ENTRY(LPWR_CTRL, SC_TEXT, store.swVersion.lpwrCtrl),
    SC_ENTRY(HPWR_CTRL, SC_TEXT, store.swVersion.hpwrCtrl),
    SC_ENTRY(ENV_CTRL, SC_TEXT, store.swVersion.envCtrl),
    SC_ENTRY(NET_CTRL, SC_TEXT, store.swVersion.netCtrl),
    SC_ENTRY(BBAT_CTRL, SC_TEXT, store.swVersion.bbatCtrl),
};
static const sc_group swVersionGroup = SC_GROUP(SW_VERSION, swVersionEntries);

static const sc_entry detailsEntries[] = {
    SC_ENTRY(PRODUCT_TYPE, SC_TEXT, store.details.productType),
    SC_ENTRY(MODEL, SC_TEXT, store.details.model),
    SC_ENTRY(SN, SC_TEXT, store.details.sn),
    SC_ENTRY(DOP, SC_TEXT, store.details.dop),
    SC_ENTRY(HW_VERSION, SC_TEXT, store.details.hwVersion),
    SC_ENTRY(SW_VERSION, SC_MEMBER, &swVersionGroup),
    SC_ENTRY(PROTOCOL_VERSION, SC_TEXT, sc_protocol_version),
    SC_ENTRY(UAV_CELL_VOLTAGES, SC_TEXT, store.details.uavCellVoltages),
    SC_ENTRY(MAX_POWER, SC_U16, &store.details.maxPower),
    SC_ENTRY(CABLE_TYPE, SC_TEXT, store.details.cableType),
    SC_ENTRY(MAX_CABLE_LENGTH, SC_U16, &store.details.maxCableLength),
    SC_ENTRY(NETWORK_TYPE, SC_U16, &store.details.networkType),
    SC_ENTRY(FLIGHT_TIME_SUM, SC_U32, &store.details.flightTimeSum),
    SC_ENTRY(FLIGHT_COUNT, SC_U32, &store.details.flightCount),
    SC_ENTRY(OPERATION_TIME_SUM, SC_U32, &store.details.operationTimeSum),
    SC_ENTRY(OPERATION_COUNT, SC_U32, &store.details.operationCount),
    SC_ENTRY(SYSTEM_TIME_SUM, SC_U32, &store.details.systemTimeSum),
    SC_ENTRY(SYSTEM_USE_COUNT, SC_U32, &store.details.systemUseCount),
    SC_ENTRY(TTM, SC_U32, &store.details.ttm),
    SC_ENTRY(MAINTENANCE_REQUIRED, SC_U8, &store.details.maintenanceRequired),
};
static const sc_group detailsGroup = SC_GROUP(SYSTEM_DETAILS, detailsEntries);

static const sc_entry hwVersionEntries[] = {
    SC_ENTRY(HW_VERSION, SC_TEXT, store.details.hwVersion),
};
static const sc_group hwVersionGroup = SC_GROUP(SYSTEM_DETAILS, hwVersionEntries);

static const sc_entry swVersionDetailsEntries[] = {
    SC_ENTRY(SW_VERSION, SC_MEMBER, &swVersionGroup),
};
static const sc_group swVersionDetailsGroup = SC_GROUP(SYSTEM_DETAILS, swVersionDetailsEntries);

static const sc_entry protocolVersionEntries[] = {
    SC_ENTRY(PROTOCOL_VERSION, SC_TEXT, sc_protocol_version),
};
static const sc_group protocolVersionGroup = SC_GROUP(SYSTEM_DETAILS, protocolVersionEntries);

static const sc_entry configEntries[] = {
    SC_ENTRY(ACTIVATION, SC_U8, &store.config.activation),
    SC_ENTRY(RET_STATUS, SC_U8, &store.config.retStatus),
    SC_ENTRY(RET_TORQUE, SC_U16, &store.config.retTorque),
    SC_ENTRY(RET_START, SC_U16, &store.config.retStart),
};
static const sc_group configGroup = SC_GROUP(SYSTEM_CONFIG, configEntries);

static const sc_entry configStatusEntries[] = {
    SC_ENTRY(CAB, SC_U8, &store.configStatus.cab),
    SC_ENTRY(ENV, SC_U8, &store.configStatus.env),
    SC_ENTRY(ENERGY_GS, SC_U8, &store.configStatus.energyGS),
    SC_ENTRY(ENERGY_UAV, SC_U8, &store.configStatus.energyUAV),
    SC_ENTRY(SYS_STATE, SC_U8, &store.configStatus.sysState),
};
static const sc_group configStatusGroup = SC_GROUP(CONFIG_STATUS, configStatusEntries);

static const sc_entry cabEntries[] = {
    SC_ENTRY(LENGTH, SC_S16, &store.cab.length),
    SC_ENTRY(SPEED, SC_S16, &store.cab.speed),
    SC_ENTRY(TETHER_STATUS, SC_U8, &store.cab.tetherStatus),
    SC_ENTRY(GUIDE_STATUS, SC_U8, &store.cab.guideStatus),
    SC_ENTRY(REEL_STATUS, SC_U8, &store.cab.reelStatus),
    SC_ENTRY(RET_STATUS, SC_U8, &store.config.retStatus),
    SC_ENTRY(RET_TORQUE, SC_U16, &store.config.retTorque),
    SC_ENTRY(RET_START, SC_U16, &store.config.retStart),
};
static const sc_group cabGroup = SC_GROUP(CAB, cabEntries);

static const sc_entry envEntries[] = {
    SC_ENTRY(TEMP1, SC_S8, &store.env.temp[0]),
    SC_ENTRY(TEMP2, SC_S8, &store.env.temp[1]),
    SC_ENTRY(TEMP3, SC_S8, &store.env.temp[2]),
    SC_ENTRY(TEMP4, SC_S8, &store.env.temp[3]),
    SC_ENTRY(HUM1, SC_S8, &store.env.hum1),
    SC_ENTRY(PRESS1, SC_U16, &store.env.press1),
    SC_ENTRY(ENVSENSOR1_STATUS, SC_U8, &store.env.sensorStatus[0]),
    SC_ENTRY(ENVSENSOR2_STATUS, SC_U8, &store.env.sensorStatus[1]),
    SC_ENTRY(ENVSENSOR3_STATUS, SC_U8, &store.env.sensorStatus[2]),
    SC_ENTRY(ENVSENSOR4_STATUS, SC_U8, &store.env.sensorStatus[3]),
    SC_ENTRY(FAN1_RPM, SC_U16, &store.env.fanRpm[0]),
    SC_ENTRY(FAN2_RPM, SC_U16, &store.env.fanRpm[1]),
    SC_ENTRY(FAN1_STATUS, SC_U8, &store.env.fanStatus[0]),
    SC_ENTRY(FAN2_STATUS, SC_U8, &store.env.fanStatus[1]),
};
static const sc_group envGroup = SC_GROUP(ENV, envEntries);

static const sc_entry energyGSEntries[] = {
    SC_ENTRY(MAINS_U, SC_S16, &store.energyGS.mainsU),
    SC_ENTRY(MAINS_I, SC_S16, &store.energyGS.mainsI),
    SC_ENTRY(MAINS_F, SC_U16, &store.energyGS.mainsF),
    SC_ENTRY(MAINS_STATUS, SC_U8, &store.energyGS.mainsStatus),
    SC_ENTRY(CTRL_SUPL_STATUS, SC_U8, &store.energyGS.ctrlSuplStatus),
    SC_ENTRY(BAT_U, SC_U8, &store.energyGS.batU),
    SC_ENTRY(BAT_STATUS, SC_U8, &store.energyGS.batStatus),
};
static const sc_entry energyGSExtended[] = {
    SC_ENTRY(CTRL_SUPL1, SC_S16, &store.energyGS.ctrlSupl[0]),
    SC_ENTRY(CTRL_SUPL2, SC_S16, &store.energyGS.ctrlSupl[1]),
    SC_ENTRY(CTRL_SUPL3, SC_S16, &store.energyGS.ctrlSupl[2]),
    SC_ENTRY(CTRL_SUPL4, SC_S16, &store.energyGS.ctrlSupl[3]),
    SC_ENTRY(CTRL_SUPL5, SC_S16, &store.energyGS.ctrlSupl[4]),
    SC_ENTRY(CTRL_SUPL6, SC_S16, &store.energyGS.ctrlSupl[5]),
    SC_ENTRY(CTRL_SUPL1_STATUS, SC_U8, &store.energyGS.ctrlSuplNStatus[0]),
    SC_ENTRY(CTRL_SUPL2_STATUS, SC_U8, &store.energyGS.ctrlSuplNStatus[1]),
    SC_ENTRY(CTRL_SUPL3_STATUS, SC_U8, &store.energyGS.ctrlSuplNStatus[2]),
    SC_ENTRY(CTRL_SUPL4_STATUS, SC_U8, &store.energyGS.ctrlSuplNStatus[3]),
    SC_ENTRY(CTRL_SUPL5_STATUS, SC_U8, &store.energyGS.ctrlSuplNStatus[4]),
    SC_ENTRY(CTRL_SUPL6_STATUS, SC_U8, &store.energyGS.ctrlSuplNStatus[5]),
};
static const sc_group energyGSGroup = SC_EXT_GROUP(ENERGY_GS, energyGSEntries, energyGSExtended);

static const sc_entry energyUAVEntries[] = {
    SC_ENTRY(UAV_SUPL_U, SC_S16, &store.energyUAV.uavSuplU),
    SC_ENTRY(UAV_SUPL_I, SC_S16, &store.energyUAV.uavSuplI),
    SC_ENTRY(EXT_SUPL_STATUS, SC_U8, &store.energyUAV.extSuplStatus),
    SC_ENTRY(UAV_CELL_COUNT, SC_U8, &store.energyUAV.uavCellCount),
};
static const sc_entry energyUAVExtended[] = {
    SC_ENTRY(EXT_SUPL_U, SC_S16, &store.energyUAV.extSuplU),
    SC_ENTRY(EXT_SUPL_I, SC_S16, &store.energyUAV.extSuplI),
    SC_ENTRY(UAV_SUPL_STATUS, SC_U8, &store.energyUAV.uavSuplStatus),
};
static const sc_group energyUAVGroup = SC_EXT_GROUP(ENERGY_UAV, energyUAVEntries, energyUAVExtended);

static const sc_entry sysStateEntries[] = {
    SC_ENTRY(ACTIVATION, SC_U8, &store.config.activation),
    SC_ENTRY(RET_STATUS, SC_U8, &store.config.retStatus),
    SC_ENTRY(BAT_STATUS, SC_U8, &store.energyGS.batStatus),
    SC_ENTRY(FLIGHT_TIME, SC_U32, &store.sysState.flightTime),
    SC_ENTRY(FLIGHT_TIME_OP_SUM, SC_U32, &store.sysState.flightTimeOpSum),
    SC_ENTRY(FLIGHT_COUNT_OP_SUM, SC_U32, &store.sysState.flightCountOpSum),
    SC_ENTRY(OPERATION_TIME, SC_U32, &store.sysState.operationTime),
    SC_ENTRY(SYSTEM_TIME, SC_U32, &store.sysState.systemTime),
    SC_ENTRY(ERROR, SC_U8, &store.sysState.error),
};
static const sc_entry sysStateExtended[] = {
    SC_ENTRY(NETWORK_STATUS, SC_U8, &store.sysState.networkStatus),
    SC_ENTRY(MEMORY_STATUS, SC_U8, &store.sysState.memoryStatus),
    SC_ENTRY(AUTH_ENABLE, SC_U8, &store.sysState.authEnable),
};
static const sc_group sysStateGroup = SC_EXT_GROUP(SYS_STATE, sysStateEntries, sysStateExtended);

static const sc_entry systemStatusEntries[] = {
    SC_ENTRY(CONFIG_STATUS, SC_MEMBER, &configStatusGroup),
    SC_GATED(CAB, cabGroup, &store.configStatus.cab),
    SC_GATED(ENV, envGroup, &store.configStatus.env),
    SC_GATED(ENERGY_GS, energyGSGroup, &store.configStatus.energyGS),
    SC_GATED(ENERGY_UAV, energyUAVGroup, &store.configStatus.energyUAV),
    SC_GATED(SYS_STATE, sysStateGroup, &store.configStatus.sysState),
};
static const sc_group systemStatusGroup = SC_GROUP(SYSTEM_STATUS, systemStatusEntries);

static const sc_entry comEntries[] = {
    SC_ENTRY(MSG_ID, SC_U16, &store.com.msgId),
    SC_ENTRY(COM_STATUS, SC_U16, &store.com.comStatus),
};
static const sc_group comGroup = SC_GROUP(COM, comEntries);

/* The request vocabulary; it is never composed, only looked up. */
static const sc_entry commandEntries[] = {
    SC_ENTRY(GET_SYSTEM_STATUS, SC_U8, &store.command.getSystemStatus),
    SC_ENTRY(GET_SYSTEM_CONFIG, SC_U8, &store.command.getSystemConfig),
    SC_ENTRY(GET_SYSTEM_DETAILS, SC_U8, &store.command.getSystemDetails),
    SC_ENTRY(GET_HWVERSION, SC_U8, &store.command.getHwVersion),
    SC_ENTRY(GET_SWVERSION, SC_U8, &store.command.getSwVersion),
    SC_ENTRY(GET_PROTOCOL, SC_U8, &store.command.getProtocol),
    SC_ENTRY(SET_ACTIVATION, SC_U8, &store.command.setActivation),
    SC_ENTRY(SET_RET_TORQUE, SC_U8, &store.command.setRetTorque),
    SC_ENTRY(SET_RET_START, SC_U8, &store.command.setRetStart),
    SC_ENTRY(SET_AUTH, SC_TEXT, store.command.setAuth),
    SC_ENTRY(SET_TIME, SC_U32, &store.command.setTime),
};

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

/* ---- the bounded writer ------------------------------------------------- */

/* Output position. With buf NULL it only counts; otherwise it writes while
 * a byte and the terminating zero still fit, and always counts. */
typedef struct sc_cursor {
    char *buf;
    size_t cap;
    size_t len;
} sc_cursor;

static void putChar(sc_cursor *c, char ch)
{
    if (c->buf != NULL && c->len + 1 < c->cap) {
        c->buf[c->len] = ch;
    }
    c->len++;
}

static void putText(sc_cursor *c, const char *text)
{
    while (*text != '\0') {
        putChar(c, *text++);
    }
}

static void terminate(sc_cursor *c)
{
    if (c->buf != NULL && c->cap > 0) {
        c->buf[c->len < c->cap ? c->len : c->cap - 1] = '\0';
    }
}

static void putUnsigned(sc_cursor *c, unsigned long value)
{
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = (char)('0' + value % 10U);
        value /= 10U;
    } while (value != 0U);
    while (n > 0) {
        putChar(c, digits[--n]);
    }
}

static void putSigned(sc_cursor *c, long value)
{
    if (value < 0) {
        putChar(c, '-');
        putUnsigned(c, 0UL - (unsigned long)value);
    } else {
        putUnsigned(c, (unsigned long)value);
    }
}

/* A text between quotes, escaped so that a JSON parser returns it as stored. */
static void putQuoted(sc_cursor *c, const char *text)
{
    static const char hex[] = "0123456789abcdef";
    putChar(c, '"');
    for (; *text != '\0'; ++text) {
        const unsigned char ch = (unsigned char)*text;
        if (ch == '"' || ch == '\\') {
            putChar(c, '\\');
            putChar(c, (char)ch);
        } else if (ch < 0x20U) {
            putText(c, "\\u00");
            putChar(c, hex[ch >> 4]);
            putChar(c, hex[ch & 0x0FU]);
        } else {
            putChar(c, (char)ch);
        }
    }
    putChar(c, '"');
}

static void putKey(sc_cursor *c, sc_key key)
{
    putChar(c, '"');
    putText(c, sc_key_text[key]);
    putText(c, "\":");
}

static void putGroup(sc_cursor *c, const sc_group *group);

static void putValue(sc_cursor *c, const sc_entry *entry)
{
    switch (entry->kind) {
    case SC_U8: putUnsigned(c, *(const uint8_t *)entry->slot); break;
    case SC_U16: putUnsigned(c, *(const uint16_t *)entry->slot); break;
    case SC_U32: putUnsigned(c, *(const uint32_t *)entry->slot); break;
    case SC_S8: putSigned(c, *(const int8_t *)entry->slot); break;
    case SC_S16: putSigned(c, *(const int16_t *)entry->slot); break;
    case SC_TEXT: putQuoted(c, (const char *)entry->slot); break;
    case SC_MEMBER: putGroup(c, (const sc_group *)entry->slot); break;
    }
}

/* Writes the entries that are due, a comma before all but the first. */
static void putEntries(sc_cursor *c, const sc_entry *entries, size_t count, int *first)
{
    size_t i;
    for (i = 0; i < count; ++i) {
        if (entries[i].gate != NULL && *entries[i].gate != 1U) {
            continue;
        }
        if (!*first) {
            putChar(c, ',');
        }
        *first = 0;
        if (entries[i].kind != SC_MEMBER) {
            putKey(c, entries[i].key);
        }
        putValue(c, &entries[i]);
    }
}

static void putGroup(sc_cursor *c, const sc_group *group)
{
    int first = 1;
    putKey(c, group->name);
    putChar(c, '{');
    putEntries(c, group->entries, group->count, &first);
    if (store.sysState.authEnable != 0U) {
        putEntries(c, group->extended, group->extendedCount, &first);
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
    size_t n = 0;
    *ok = 0;
    if (dst == NULL) {
        return 0;
    }
    while (n < capacity && dst[n] != '\0') {
        ++n;
    }
    *ok = n < capacity;
    return n;
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
    for (i = 0; i < SC_COUNT(commandEntries); ++i) {
        const sc_entry *entry = &commandEntries[i];
        if (entry->key != command || entry->kind == SC_TEXT) {
            continue;
        }
        *value = entry->kind == SC_U8 ? *(const uint8_t *)entry->slot : *(const uint32_t *)entry->slot;
        return SC_OK;
    }
    return SC_ERR_ARG;
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

#define SC_TEXT_SETTER(name, slot) \
    void name(const char *text) { copyText(slot, text); }
#define SC_NUMBER_SETTER(name, type, slot) \
    void name(type value) { slot = value; }

SC_TEXT_SETTER(setMainCtrl, store.swVersion.mainCtrl)
SC_TEXT_SETTER(setReelCtrl, store.swVersion.reelCtrl)
SC_TEXT_SETTER(setLpwrCtrl, store.swVersion.lpwrCtrl)
SC_TEXT_SETTER(setHpwrCtrl, store.swVersion.hpwrCtrl)
SC_TEXT_SETTER(setEnvCtrl, store.swVersion.envCtrl)
SC_TEXT_SETTER(setNetCtrl, store.swVersion.netCtrl)
SC_TEXT_SETTER(setBbatCtrl, store.swVersion.bbatCtrl)

SC_TEXT_SETTER(setProductType, store.details.productType)
SC_TEXT_SETTER(setModel, store.details.model)
SC_TEXT_SETTER(setSn, store.details.sn)
SC_TEXT_SETTER(setDop, store.details.dop)
SC_TEXT_SETTER(setHwVersion, store.details.hwVersion)
SC_TEXT_SETTER(setUavCellVoltages, store.details.uavCellVoltages)
SC_NUMBER_SETTER(setMaxPower, uint16_t, store.details.maxPower)
SC_TEXT_SETTER(setCableType, store.details.cableType)
SC_NUMBER_SETTER(setMaxCableLength, uint16_t, store.details.maxCableLength)
SC_NUMBER_SETTER(setNetworkType, uint16_t, store.details.networkType)
SC_NUMBER_SETTER(setFlightTimeSum, uint32_t, store.details.flightTimeSum)
SC_NUMBER_SETTER(setFlightCount, uint32_t, store.details.flightCount)
SC_NUMBER_SETTER(setOperationTimeSum, uint32_t, store.details.operationTimeSum)
SC_NUMBER_SETTER(setOperationCount, uint32_t, store.details.operationCount)
SC_NUMBER_SETTER(setSystemTimeSum, uint32_t, store.details.systemTimeSum)
SC_NUMBER_SETTER(setSystemUseCount, uint32_t, store.details.systemUseCount)
SC_NUMBER_SETTER(setTtm, uint32_t, store.details.ttm)
SC_NUMBER_SETTER(setMaintenanceRequired, uint8_t, store.details.maintenanceRequired)

SC_NUMBER_SETTER(setActivation, uint8_t, store.config.activation)
SC_NUMBER_SETTER(setRetStatus, uint8_t, store.config.retStatus)
SC_NUMBER_SETTER(setRetTorque, uint16_t, store.config.retTorque)
SC_NUMBER_SETTER(setRetStart, uint16_t, store.config.retStart)

SC_NUMBER_SETTER(setConfigCab, uint8_t, store.configStatus.cab)
SC_NUMBER_SETTER(setConfigEnv, uint8_t, store.configStatus.env)
SC_NUMBER_SETTER(setConfigEnergyGS, uint8_t, store.configStatus.energyGS)
SC_NUMBER_SETTER(setConfigEnergyUAV, uint8_t, store.configStatus.energyUAV)
SC_NUMBER_SETTER(setConfigSysState, uint8_t, store.configStatus.sysState)

SC_NUMBER_SETTER(setLength, int16_t, store.cab.length)
SC_NUMBER_SETTER(setSpeed, int16_t, store.cab.speed)
SC_NUMBER_SETTER(setTetherStatus, uint8_t, store.cab.tetherStatus)
SC_NUMBER_SETTER(setGuideStatus, uint8_t, store.cab.guideStatus)
SC_NUMBER_SETTER(setReelStatus, uint8_t, store.cab.reelStatus)

SC_NUMBER_SETTER(setMsgId, uint16_t, store.com.msgId)
SC_NUMBER_SETTER(setComStatus, uint16_t, store.com.comStatus)

SC_NUMBER_SETTER(setTemp1, int8_t, store.env.temp[0])
SC_NUMBER_SETTER(setTemp2, int8_t, store.env.temp[1])
SC_NUMBER_SETTER(setTemp3, int8_t, store.env.temp[2])
SC_NUMBER_SETTER(setTemp4, int8_t, store.env.temp[3])
SC_NUMBER_SETTER(setHum1, int8_t, store.env.hum1)
SC_NUMBER_SETTER(setPress1, uint16_t, store.env.press1)
SC_NUMBER_SETTER(setEnvSensor1Status, uint8_t, store.env.sensorStatus[0])
SC_NUMBER_SETTER(setEnvSensor2Status, uint8_t, store.env.sensorStatus[1])
SC_NUMBER_SETTER(setEnvSensor3Status, uint8_t, store.env.sensorStatus[2])
SC_NUMBER_SETTER(setEnvSensor4Status, uint8_t, store.env.sensorStatus[3])
SC_NUMBER_SETTER(setFan1Rpm, uint16_t, store.env.fanRpm[0])
SC_NUMBER_SETTER(setFan2Rpm, uint16_t, store.env.fanRpm[1])
SC_NUMBER_SETTER(setFan1Status, uint8_t, store.env.fanStatus[0])
SC_NUMBER_SETTER(setFan2Status, uint8_t, store.env.fanStatus[1])

SC_NUMBER_SETTER(setMainsU, int16_t, store.energyGS.mainsU)
SC_NUMBER_SETTER(setMainsI, int16_t, store.energyGS.mainsI)
SC_NUMBER_SETTER(setMainsF, uint16_t, store.energyGS.mainsF)
SC_NUMBER_SETTER(setMainsStatus, uint8_t, store.energyGS.mainsStatus)
SC_NUMBER_SETTER(setCtrlSupl1, int16_t, store.energyGS.ctrlSupl[0])
SC_NUMBER_SETTER(setCtrlSupl2, int16_t, store.energyGS.ctrlSupl[1])
SC_NUMBER_SETTER(setCtrlSupl3, int16_t, store.energyGS.ctrlSupl[2])
SC_NUMBER_SETTER(setCtrlSupl4, int16_t, store.energyGS.ctrlSupl[3])
SC_NUMBER_SETTER(setCtrlSupl5, int16_t, store.energyGS.ctrlSupl[4])
SC_NUMBER_SETTER(setCtrlSupl6, int16_t, store.energyGS.ctrlSupl[5])
SC_NUMBER_SETTER(setCtrlSuplStatus, uint8_t, store.energyGS.ctrlSuplStatus)
SC_NUMBER_SETTER(setCtrlSupl1Status, uint8_t, store.energyGS.ctrlSuplNStatus[0])
SC_NUMBER_SETTER(setCtrlSupl2Status, uint8_t, store.energyGS.ctrlSuplNStatus[1])
SC_NUMBER_SETTER(setCtrlSupl3Status, uint8_t, store.energyGS.ctrlSuplNStatus[2])
SC_NUMBER_SETTER(setCtrlSupl4Status, uint8_t, store.energyGS.ctrlSuplNStatus[3])
SC_NUMBER_SETTER(setCtrlSupl5Status, uint8_t, store.energyGS.ctrlSuplNStatus[4])
SC_NUMBER_SETTER(setCtrlSupl6Status, uint8_t, store.energyGS.ctrlSuplNStatus[5])
SC_NUMBER_SETTER(setBatU, uint8_t, store.energyGS.batU)
SC_NUMBER_SETTER(setBatStatus, uint8_t, store.energyGS.batStatus)

SC_NUMBER_SETTER(setExtSuplU, int16_t, store.energyUAV.extSuplU)
SC_NUMBER_SETTER(setExtSuplI, int16_t, store.energyUAV.extSuplI)
SC_NUMBER_SETTER(setUavSuplU, int16_t, store.energyUAV.uavSuplU)
SC_NUMBER_SETTER(setUavSuplI, int16_t, store.energyUAV.uavSuplI)
SC_NUMBER_SETTER(setExtSuplStatus, uint8_t, store.energyUAV.extSuplStatus)
SC_NUMBER_SETTER(setUavSuplStatus, uint8_t, store.energyUAV.uavSuplStatus)
SC_NUMBER_SETTER(setUavCellCount, uint8_t, store.energyUAV.uavCellCount)

SC_NUMBER_SETTER(setFlightTime, uint32_t, store.sysState.flightTime)
SC_NUMBER_SETTER(setFlightTimeOpSum, uint32_t, store.sysState.flightTimeOpSum)
SC_NUMBER_SETTER(setFlightCountOpSum, uint32_t, store.sysState.flightCountOpSum)
SC_NUMBER_SETTER(setOperationTime, uint32_t, store.sysState.operationTime)
SC_NUMBER_SETTER(setSystemTime, uint32_t, store.sysState.systemTime)
SC_NUMBER_SETTER(setError, uint8_t, store.sysState.error)
SC_NUMBER_SETTER(setNetworkStatus, uint8_t, store.sysState.networkStatus)
SC_NUMBER_SETTER(setMemoryStatus, uint8_t, store.sysState.memoryStatus)
SC_NUMBER_SETTER(setAuthEnable, uint8_t, store.sysState.authEnable)
