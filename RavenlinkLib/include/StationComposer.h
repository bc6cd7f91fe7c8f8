/**
 * @file StationComposer.h
 * @brief The ground station's side of the payload format: the one table of
 * protocol key texts, a static store of station values, and the compositions
 * that write reply members as JSON text. Plain C, usable from C and C++.
 */
#ifndef RAVENLINK_STATION_COMPOSER_H
#define RAVENLINK_STATION_COMPOSER_H

#include "RavenlinkExport.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Every function and table declared here is part of the library's API. */
RAVENLINK_EXPORT_BEGIN

/**
 * Every group, key and command name of the wire protocol, spelled once.
 * Each name is also its own text on the wire, so the table below is generated
 * from this list and nothing else spells a key.
 */
#define SC_KEY_LIST(X)                                                          \
    /* envelope and top-level members */                                        \
    X(COM) X(MSG_ID) X(COM_STATUS) X(COMMAND)                                   \
    X(SYSTEM_STATUS) X(SYSTEM_DETAILS) X(SYSTEM_CONFIG) X(CONFIG_STATUS)        \
    /* status groups; also the flags of CONFIG_STATUS */                        \
    X(CAB) X(ENV) X(ENERGY_GS) X(ENERGY_UAV) X(SYS_STATE)                       \
    /* SW_VERSION */                                                            \
    X(SW_VERSION) X(MAIN_CTRL) X(REEL_CTRL) X(LPWR_CTRL) X(HPWR_CTRL)           \
    X(ENV_CTRL) X(NET_CTRL) X(BBAT_CTRL)                                        \
    /* SYSTEM_DETAILS */                                                        \
    X(PRODUCT_TYPE) X(MODEL) X(SN) X(DOP) X(HW_VERSION) X(PROTOCOL_VERSION)     \
    X(UAV_CELL_VOLTAGES) X(MAX_POWER) X(CABLE_TYPE) X(MAX_CABLE_LENGTH)         \
    X(NETWORK_TYPE) X(FLIGHT_TIME_SUM) X(FLIGHT_COUNT) X(OPERATION_TIME_SUM)    \
    X(OPERATION_COUNT) X(SYSTEM_TIME_SUM) X(SYSTEM_USE_COUNT) X(TTM)            \
    X(MAINTENANCE_REQUIRED)                                                     \
    /* SYSTEM_CONFIG, shared with CAB and SYS_STATE */                          \
    X(ACTIVATION) X(RET_STATUS) X(RET_TORQUE) X(RET_START)                      \
    /* CAB */                                                                   \
    X(LENGTH) X(SPEED) X(TETHER_STATUS) X(GUIDE_STATUS) X(REEL_STATUS)          \
    /* ENV */                                                                   \
    X(TEMP1) X(TEMP2) X(TEMP3) X(TEMP4) X(HUM1) X(PRESS1)                       \
    X(ENVSENSOR1_STATUS) X(ENVSENSOR2_STATUS) X(ENVSENSOR3_STATUS)              \
    X(ENVSENSOR4_STATUS) X(FAN1_RPM) X(FAN2_RPM) X(FAN1_STATUS) X(FAN2_STATUS)  \
    /* ENERGY_GS */                                                             \
    X(MAINS_U) X(MAINS_I) X(MAINS_F) X(MAINS_STATUS)                            \
    X(CTRL_SUPL1) X(CTRL_SUPL2) X(CTRL_SUPL3) X(CTRL_SUPL4) X(CTRL_SUPL5)       \
    X(CTRL_SUPL6) X(CTRL_SUPL_STATUS)                                           \
    X(CTRL_SUPL1_STATUS) X(CTRL_SUPL2_STATUS) X(CTRL_SUPL3_STATUS)              \
    X(CTRL_SUPL4_STATUS) X(CTRL_SUPL5_STATUS) X(CTRL_SUPL6_STATUS)              \
    X(BAT_U) X(BAT_STATUS)                                                      \
    /* ENERGY_UAV */                                                            \
    X(EXT_SUPL_U) X(EXT_SUPL_I) X(UAV_SUPL_U) X(UAV_SUPL_I)                     \
    X(EXT_SUPL_STATUS) X(UAV_SUPL_STATUS) X(UAV_CELL_COUNT)                     \
    /* SYS_STATE */                                                             \
    X(FLIGHT_TIME) X(FLIGHT_TIME_OP_SUM) X(FLIGHT_COUNT_OP_SUM)                 \
    X(OPERATION_TIME) X(SYSTEM_TIME) X(ERROR) X(NETWORK_STATUS)                 \
    X(MEMORY_STATUS) X(AUTH_ENABLE)                                             \
    /* COMMAND vocabulary */                                                    \
    X(GET_SYSTEM_STATUS) X(GET_SYSTEM_CONFIG) X(GET_SYSTEM_DETAILS)             \
    X(GET_HWVERSION) X(GET_SWVERSION) X(GET_PROTOCOL)                           \
    X(SET_ACTIVATION) X(SET_RET_TORQUE) X(SET_RET_START) X(SET_AUTH) X(SET_TIME)

#define SC_KEY_ENUM_ENTRY(name) SC_KEY_##name,

/** One protocol key; sc_key_text[SC_KEY_name] is its wire text "name". */
typedef enum sc_key { SC_KEY_LIST(SC_KEY_ENUM_ENTRY) SC_KEY_COUNT } sc_key;

/** The wire text of every key, indexed by sc_key. */
extern const char *const sc_key_text[SC_KEY_COUNT];

/* ======================================================================== */
/* Results, capacities and the composition contract                         */
/* ======================================================================== */

/**
 * Capacity of one complete reply, terminating zero included. A buffer of
 * this size passed to the compose...() and wrapMessage() calls is never
 * written past, whatever the store and the buffer already hold.
 */
#define SC_MESSAGE_CAPACITY 2990

/** Size of a text slot: at most 31 characters and the terminating zero. */
#define SC_TEXT_CAPACITY 32

/** Size of the "SET_AUTH" text area of the command vocabulary. */
#define SC_AUTH_CAPACITY 64

/**
 * Outcome of appending a fragment.
 *
 * Appending is all or nothing: a fragment is written completely, with its
 * terminating zero, or not at all. When it does not fit, not one byte of
 * the caller's buffer changes (not even behind its terminating zero) and
 * SC_ERR_NO_ROOM is returned, so a refused fragment can always be told
 * from one that filled the buffer exactly.
 */
typedef enum sc_result {
    SC_OK = 0,           /**< the fragment was appended whole */
    SC_ERR_ARG = -1,     /**< NULL buffer, zero capacity, or no terminating
                              zero within the capacity; nothing written */
    SC_ERR_NO_ROOM = -2  /**< the fragment does not fit; nothing written */
} sc_result;

/** The fragments the station can append to a reply, one per composition. */
typedef enum sc_part {
    SC_PART_COMMA,              /**< "," (appendComma) */
    SC_PART_SW_VERSION,         /**< "SW_VERSION" member */
    SC_PART_SYSTEM_DETAILS,     /**< full "SYSTEM_DETAILS" member */
    SC_PART_HW_VERSION,         /**< "SYSTEM_DETAILS" with "HW_VERSION" only */
    SC_PART_SW_VERSION_DETAILS, /**< "SYSTEM_DETAILS" with "SW_VERSION" only */
    SC_PART_PROTOCOL_VERSION,   /**< "SYSTEM_DETAILS" with "PROTOCOL_VERSION" only */
    SC_PART_SYSTEM_CONFIG,      /**< "SYSTEM_CONFIG" member */
    SC_PART_CONFIG_STATUS,      /**< "CONFIG_STATUS" member */
    SC_PART_CAB,                /**< "CAB" member */
    SC_PART_ENV,                /**< "ENV" member */
    SC_PART_ENERGY_GS,          /**< "ENERGY_GS" member */
    SC_PART_ENERGY_UAV,         /**< "ENERGY_UAV" member */
    SC_PART_SYS_STATE,          /**< "SYS_STATE" member */
    SC_PART_SYSTEM_STATUS,      /**< full "SYSTEM_STATUS" member */
    SC_PART_COM,                /**< envelope group "COM" */
    SC_PART_COUNT
} sc_part;

/*
 * Texts. Slots keep at most 31 bytes; a longer text is cut at 31 bytes, or
 * a little earlier so that a UTF-8 sequence is never split. On the wire a
 * text is written between double quotes with '"' as \" and '\' as \\ and
 * every control byte below 0x20 as \u00XX, so that every stored text comes
 * back unchanged from a JSON parser. Other bytes are written as stored; a
 * text that is not valid UTF-8 therefore makes a reply that strict parsers
 * reject. Escaping may make a fragment longer than its raw text; the capacity
 * rule above still holds.
 *
 * Numbers. Signed slots (s8, s16) are sign-extended and unsigned slots
 * zero-extended before printing, so "TEMP1" = -127 prints as -127 and a u8
 * status of 200 as 200; u32 slots print in full (0 to 4294967295).
 */

/**
 * Appends one fragment to the zero-terminated text in @p dst.
 *
 * @param[in]     part     the fragment to append.
 * @param[in,out] dst      the text to extend; must not be NULL and must hold
 *                         a terminating zero within @p capacity bytes.
 * @param[in]     capacity the size of @p dst in bytes, terminating zero
 *                         included; must not be 0.
 * @return SC_OK, SC_ERR_NO_ROOM (nothing written) or SC_ERR_ARG (nothing
 *         written; also for an unknown @p part).
 */
sc_result sc_append(sc_part part, char *dst, size_t capacity);

/**
 * Encloses the zero-terminated text in @p dst in braces, in place.
 *
 * @param[in,out] dst      the text to wrap; must not be NULL and must hold a
 *                         terminating zero within @p capacity bytes.
 * @param[in]     capacity the size of @p dst in bytes; the text may be at
 *                         most @p capacity - 3 characters long.
 * @return SC_OK, SC_ERR_NO_ROOM or SC_ERR_ARG; on failure @p dst is unchanged.
 */
sc_result sc_wrap(char *dst, size_t capacity);

/**
 * Number of characters the fragment @p part would append with the store as it
 * is now (terminating zero not counted), or 0 for an unknown part.
 * @param[in] part the fragment to measure.
 */
size_t sc_measure(sc_part part);

/** Puts every slot of the store back to its default. */
void sc_reset_store(void);

/**
 * Value of a numeric slot of the command vocabulary ("GET_SYSTEM_STATUS" and
 * the other reading requests default to 1, the setting requests to 0,
 * "SET_TIME" to 0).
 * @param[in]  command   a key of the command vocabulary.
 * @param[out] value     receives the value; must not be NULL.
 * @return SC_OK, or SC_ERR_ARG when @p command has no numeric slot (for
 *         example "SET_AUTH") or @p value is NULL.
 */
sc_result sc_command_value(sc_key command, uint32_t *value);

/* ======================================================================== */
/* The table of station values                                              */
/* ======================================================================== */
/*
 * Every value of the store that has a setter is one row of sc_values, so a
 * program can fill the store, or look at it, by walking the table instead
 * of calling each setter by name. The request vocabulary ("COMMAND") holds
 * no station values and has no rows.
 */

/** How a value is held. */
typedef enum sc_kind {
    SC_KIND_UNSIGNED, /**< unsigned integer of `width` bytes */
    SC_KIND_SIGNED,   /**< two's-complement integer of `width` bytes */
    SC_KIND_TEXT      /**< text of at most `width` - 1 bytes and a terminating zero */
} sc_kind;

/** The setter of a value; the member that matches the row's kind and width. */
typedef union sc_setter {
    void (*u8)(uint8_t value);
    void (*u16)(uint16_t value);
    void (*u32)(uint32_t value);
    void (*s8)(int8_t value);
    void (*s16)(int16_t value);
    void (*text)(const char *text);
} sc_setter;

/** One value of the store. */
typedef struct sc_value {
    sc_key group;  /**< the group that owns it; a shared value also appears
                        in other groups (see "Setters" below) */
    sc_key key;    /**< its key within that group */
    sc_kind kind;
    size_t width;  /**< bytes of the slot: 1, 2 or 4, or SC_TEXT_CAPACITY */
    int extended;  /**< non-zero: sent only while "AUTH_ENABLE" is non-zero */
    sc_setter set; /**< the public setter of the value, e.g. setLength */
} sc_value;

/** The rows, in the order of the setters below; sc_value_count of them. */
extern const sc_value sc_values[];
/** Number of rows of sc_values. */
extern const size_t sc_value_count;

/**
 * The row of @p key in @p group, or NULL when the store has no such value.
 * @param[in] group the owning group, e.g. SC_KEY_SYSTEM_CONFIG for
 *                  "RET_TORQUE" (not SC_KEY_CAB, where it is shared).
 * @param[in] key   the value's key.
 */
const sc_value *sc_find_value(sc_key group, sc_key key);

/**
 * Sets a number value through its setter, cut to its width as a conversion
 * to the setter's parameter type would cut it (two's complement).
 * @param[in] value  a row of sc_values, or NULL.
 * @param[in] number the new value.
 * @return SC_OK, or SC_ERR_ARG (nothing set) for NULL or a text row.
 */
sc_result sc_set_number(const sc_value *value, int64_t number);

/**
 * Sets a text value through its setter (the rules under "Texts" apply).
 * @param[in] value a row of sc_values, or NULL.
 * @param[in] text  the new text; NULL stores the empty text.
 * @return SC_OK, or SC_ERR_ARG (nothing set) for NULL or a number row.
 */
sc_result sc_set_text(const sc_value *value, const char *text);

/**
 * Reads a number value as it is printed (sign- or zero-extended).
 * @param[in]  value  a row of sc_values, or NULL.
 * @param[out] number receives the value; must not be NULL.
 * @return SC_OK, or SC_ERR_ARG for NULL arguments or a text row.
 */
sc_result sc_get_number(const sc_value *value, int64_t *number);

/**
 * The stored text of a text value, or NULL for NULL or a number row.
 * @param[in] value a row of sc_values, or NULL.
 */
const char *sc_get_text(const sc_value *value);

/* ======================================================================== */
/* Compositions                                                             */
/* ======================================================================== */
/*
 * Each appends one fragment to the zero-terminated text in @p dst, which must
 * not be NULL and must be at least SC_MESSAGE_CAPACITY bytes large; the
 * rules of sc_append() apply with that capacity. A station builds a reply by
 * starting from an empty text, appending composeCom() and the members the
 * reply needs with appendComma() between them, and ending with
 * wrapMessage().
 */

/** Appends ",". @param[in,out] dst reply text, not NULL. @return as sc_append(). */
sc_result appendComma(char *dst);
/** Appends the "SW_VERSION" member: seven controller version texts.
 *  @param[in,out] dst reply text, not NULL. @return as sc_append(). */
sc_result composeSwVersion(char *dst);
/** Appends the full "SYSTEM_DETAILS" member, "SW_VERSION" and
 *  "PROTOCOL_VERSION" included. @param[in,out] dst reply text, not NULL.
 *  @return as sc_append(). */
sc_result composeSystemDetails(char *dst);
/** Appends "SYSTEM_DETAILS" holding "HW_VERSION" only.
 *  @param[in,out] dst reply text, not NULL. @return as sc_append(). */
sc_result composeHwVersion(char *dst);
/** Appends "SYSTEM_DETAILS" holding the "SW_VERSION" member only.
 *  @param[in,out] dst reply text, not NULL. @return as sc_append(). */
sc_result composeSwVersionDetails(char *dst);
/** Appends "SYSTEM_DETAILS" holding "PROTOCOL_VERSION" ("1.20") only: the
 *  answer to "GET_PROTOCOL". @param[in,out] dst reply text, not NULL.
 *  @return as sc_append(). */
sc_result composeProtocolVersion(char *dst);
/** Appends the "SYSTEM_CONFIG" member. @param[in,out] dst reply text, not
 *  NULL. @return as sc_append(). */
sc_result composeSystemConfig(char *dst);
/** Appends the "CONFIG_STATUS" member. @param[in,out] dst reply text, not
 *  NULL. @return as sc_append(). */
sc_result composeConfigStatus(char *dst);
/** Appends the "CAB" member. @param[in,out] dst reply text, not NULL.
 *  @return as sc_append(). */
sc_result composeCab(char *dst);
/** Appends the "ENV" member. @param[in,out] dst reply text, not NULL.
 *  @return as sc_append(). */
sc_result composeEnv(char *dst);
/** Appends the "ENERGY_GS" member; in extended mode ("AUTH_ENABLE" non-zero)
 *  with the twelve control supply keys. @param[in,out] dst reply text, not
 *  NULL. @return as sc_append(). */
sc_result composeEnergyGS(char *dst);
/** Appends the "ENERGY_UAV" member; in extended mode with "EXT_SUPL_U",
 *  "EXT_SUPL_I" and "UAV_SUPL_STATUS". @param[in,out] dst reply text, not
 *  NULL. @return as sc_append(). */
sc_result composeEnergyUAV(char *dst);
/** Appends the "SYS_STATE" member; in extended mode with "NETWORK_STATUS",
 *  "MEMORY_STATUS" and "AUTH_ENABLE". @param[in,out] dst reply text, not
 *  NULL. @return as sc_append(). */
sc_result composeSysState(char *dst);
/** Appends the "SYSTEM_STATUS" member: "CONFIG_STATUS" first, then each of
 *  "CAB", "ENV", "ENERGY_GS", "ENERGY_UAV", "SYS_STATE" whose flag in
 *  "CONFIG_STATUS" is exactly 1. @param[in,out] dst reply text, not NULL.
 *  @return as sc_append(). */
sc_result composeSystemStatus(char *dst);
/** Appends the envelope group "COM" with "MSG_ID" and "COM_STATUS".
 *  @param[in,out] dst reply text, not NULL. @return as sc_append(). */
sc_result composeCom(char *dst);
/** Encloses the reply text in braces; the text may be at most 2987
 *  characters. @param[in,out] dst reply text, not NULL, at least
 *  SC_MESSAGE_CAPACITY bytes. @return as sc_wrap(). */
sc_result wrapMessage(char *dst);

/* ======================================================================== */
/* Setters                                                                  */
/* ======================================================================== */
/*
 * One per slot, named after its key. Number setters store @p value as given.
 * Text setters copy the zero-terminated @p text (which should not be NULL; a
 * NULL pointer stores the empty text) and keep at most 31 bytes of it, see
 * "Texts" above. Shared entries are set through their owning group: the
 * "ACTIVATION", "RET_STATUS", "RET_TORQUE" and "RET_START" of "CAB" and
 * "SYS_STATE" through "SYSTEM_CONFIG", the "BAT_STATUS" of "SYS_STATE"
 * through "ENERGY_GS". "PROTOCOL_VERSION" is constant.
 */

/* "SW_VERSION": controller software versions. @param[in] text version text. */
void setMainCtrl(const char *text);  /**< @param[in] text "MAIN_CTRL" */
void setReelCtrl(const char *text);  /**< @param[in] text "REEL_CTRL" */
void setLpwrCtrl(const char *text);  /**< @param[in] text "LPWR_CTRL" */
void setHpwrCtrl(const char *text);  /**< @param[in] text "HPWR_CTRL" */
void setEnvCtrl(const char *text);   /**< @param[in] text "ENV_CTRL" */
void setNetCtrl(const char *text);   /**< @param[in] text "NET_CTRL" */
void setBbatCtrl(const char *text);  /**< @param[in] text "BBAT_CTRL" */

/* "SYSTEM_DETAILS": identity and lifetime counters. */
void setProductType(const char *text);      /**< @param[in] text "PRODUCT_TYPE" */
void setModel(const char *text);            /**< @param[in] text "MODEL" */
void setSn(const char *text);               /**< @param[in] text "SN", serial number */
void setDop(const char *text);              /**< @param[in] text "DOP", day of production */
void setHwVersion(const char *text);        /**< @param[in] text "HW_VERSION" */
void setUavCellVoltages(const char *text);  /**< @param[in] text "UAV_CELL_VOLTAGES" */
void setMaxPower(uint16_t value);           /**< @param[in] value "MAX_POWER", watts */
void setCableType(const char *text);        /**< @param[in] text "CABLE_TYPE" */
void setMaxCableLength(uint16_t value);     /**< @param[in] value "MAX_CABLE_LENGTH", metres */
void setNetworkType(uint16_t value);        /**< @param[in] value "NETWORK_TYPE" code */
void setFlightTimeSum(uint32_t value);      /**< @param[in] value "FLIGHT_TIME_SUM", seconds */
void setFlightCount(uint32_t value);        /**< @param[in] value "FLIGHT_COUNT" */
void setOperationTimeSum(uint32_t value);   /**< @param[in] value "OPERATION_TIME_SUM", seconds */
void setOperationCount(uint32_t value);     /**< @param[in] value "OPERATION_COUNT" */
void setSystemTimeSum(uint32_t value);      /**< @param[in] value "SYSTEM_TIME_SUM", seconds */
void setSystemUseCount(uint32_t value);     /**< @param[in] value "SYSTEM_USE_COUNT" */
void setTtm(uint32_t value);                /**< @param[in] value "TTM", seconds to maintenance */
void setMaintenanceRequired(uint8_t value); /**< @param[in] value "MAINTENANCE_REQUIRED" */

/* "SYSTEM_CONFIG", also reported in "CAB" and "SYS_STATE". */
void setActivation(uint8_t value);  /**< @param[in] value "ACTIVATION": 0, 1 or 16 */
void setRetStatus(uint8_t value);   /**< @param[in] value "RET_STATUS" code */
void setRetTorque(uint16_t value);  /**< @param[in] value "RET_TORQUE", percent */
void setRetStart(uint16_t value);   /**< @param[in] value "RET_START", centimetres */

/* "CONFIG_STATUS": 1 reports the group, 0 disabled, 255 not available. */
void setConfigCab(uint8_t value);        /**< @param[in] value flag "CAB" */
void setConfigEnv(uint8_t value);        /**< @param[in] value flag "ENV" */
void setConfigEnergyGS(uint8_t value);   /**< @param[in] value flag "ENERGY_GS" */
void setConfigEnergyUAV(uint8_t value);  /**< @param[in] value flag "ENERGY_UAV" */
void setConfigSysState(uint8_t value);   /**< @param[in] value flag "SYS_STATE" */

/* "CAB": tether cable and reel. */
void setLength(int16_t value);        /**< @param[in] value "LENGTH", centimetres */
void setSpeed(int16_t value);         /**< @param[in] value "SPEED", centimetres per second */
void setTetherStatus(uint8_t value);  /**< @param[in] value "TETHER_STATUS" code */
void setGuideStatus(uint8_t value);   /**< @param[in] value "GUIDE_STATUS" code */
void setReelStatus(uint8_t value);    /**< @param[in] value "REEL_STATUS" code */

/* "COM": the envelope of the reply. */
void setMsgId(uint16_t value);      /**< @param[in] value "MSG_ID", echoed request id */
void setComStatus(uint16_t value);  /**< @param[in] value "COM_STATUS" transfer status */

/* "ENV": temperatures, humidity, pressure, sensors and fans. */
void setTemp1(int8_t value);               /**< @param[in] value "TEMP1", degrees Celsius */
void setTemp2(int8_t value);               /**< @param[in] value "TEMP2", degrees Celsius */
void setTemp3(int8_t value);               /**< @param[in] value "TEMP3", degrees Celsius */
void setTemp4(int8_t value);               /**< @param[in] value "TEMP4", degrees Celsius */
void setHum1(int8_t value);                /**< @param[in] value "HUM1", percent */
void setPress1(uint16_t value);            /**< @param[in] value "PRESS1", hPa */
void setEnvSensor1Status(uint8_t value);   /**< @param[in] value "ENVSENSOR1_STATUS" */
void setEnvSensor2Status(uint8_t value);   /**< @param[in] value "ENVSENSOR2_STATUS" */
void setEnvSensor3Status(uint8_t value);   /**< @param[in] value "ENVSENSOR3_STATUS" */
void setEnvSensor4Status(uint8_t value);   /**< @param[in] value "ENVSENSOR4_STATUS" */
void setFan1Rpm(uint16_t value);           /**< @param[in] value "FAN1_RPM" */
void setFan2Rpm(uint16_t value);           /**< @param[in] value "FAN2_RPM" */
void setFan1Status(uint8_t value);         /**< @param[in] value "FAN1_STATUS" */
void setFan2Status(uint8_t value);         /**< @param[in] value "FAN2_STATUS" */

/* "ENERGY_GS": mains input, control supplies, backup battery. */
void setMainsU(int16_t value);            /**< @param[in] value "MAINS_U", volts */
void setMainsI(int16_t value);            /**< @param[in] value "MAINS_I", milliamperes */
void setMainsF(uint16_t value);           /**< @param[in] value "MAINS_F", millihertz */
void setMainsStatus(uint8_t value);       /**< @param[in] value "MAINS_STATUS" */
void setCtrlSupl1(int16_t value);         /**< @param[in] value "CTRL_SUPL1" */
void setCtrlSupl2(int16_t value);         /**< @param[in] value "CTRL_SUPL2" */
void setCtrlSupl3(int16_t value);         /**< @param[in] value "CTRL_SUPL3" */
void setCtrlSupl4(int16_t value);         /**< @param[in] value "CTRL_SUPL4" */
void setCtrlSupl5(int16_t value);         /**< @param[in] value "CTRL_SUPL5" */
void setCtrlSupl6(int16_t value);         /**< @param[in] value "CTRL_SUPL6" */
void setCtrlSuplStatus(uint8_t value);    /**< @param[in] value "CTRL_SUPL_STATUS" */
void setCtrlSupl1Status(uint8_t value);   /**< @param[in] value "CTRL_SUPL1_STATUS" */
void setCtrlSupl2Status(uint8_t value);   /**< @param[in] value "CTRL_SUPL2_STATUS" */
void setCtrlSupl3Status(uint8_t value);   /**< @param[in] value "CTRL_SUPL3_STATUS" */
void setCtrlSupl4Status(uint8_t value);   /**< @param[in] value "CTRL_SUPL4_STATUS" */
void setCtrlSupl5Status(uint8_t value);   /**< @param[in] value "CTRL_SUPL5_STATUS" */
void setCtrlSupl6Status(uint8_t value);   /**< @param[in] value "CTRL_SUPL6_STATUS" */
void setBatU(uint8_t value);              /**< @param[in] value "BAT_U" */
void setBatStatus(uint8_t value);         /**< @param[in] value "BAT_STATUS", also in "SYS_STATE" */

/* "ENERGY_UAV": supply of the UAV through the tether. */
void setExtSuplU(int16_t value);          /**< @param[in] value "EXT_SUPL_U" */
void setExtSuplI(int16_t value);          /**< @param[in] value "EXT_SUPL_I" */
void setUavSuplU(int16_t value);          /**< @param[in] value "UAV_SUPL_U", millivolts */
void setUavSuplI(int16_t value);          /**< @param[in] value "UAV_SUPL_I", amperes */
void setExtSuplStatus(uint8_t value);     /**< @param[in] value "EXT_SUPL_STATUS" */
void setUavSuplStatus(uint8_t value);     /**< @param[in] value "UAV_SUPL_STATUS" */
void setUavCellCount(uint8_t value);      /**< @param[in] value "UAV_CELL_COUNT" */

/* "SYS_STATE": times, counters, error and extended mode. */
void setFlightTime(uint32_t value);        /**< @param[in] value "FLIGHT_TIME", seconds */
void setFlightTimeOpSum(uint32_t value);   /**< @param[in] value "FLIGHT_TIME_OP_SUM", seconds */
void setFlightCountOpSum(uint32_t value);  /**< @param[in] value "FLIGHT_COUNT_OP_SUM" */
void setOperationTime(uint32_t value);     /**< @param[in] value "OPERATION_TIME", seconds */
void setSystemTime(uint32_t value);        /**< @param[in] value "SYSTEM_TIME" */
void setError(uint8_t value);              /**< @param[in] value "ERROR" code */
void setNetworkStatus(uint8_t value);      /**< @param[in] value "NETWORK_STATUS" */
void setMemoryStatus(uint8_t value);       /**< @param[in] value "MEMORY_STATUS" */
/** @param[in] value "AUTH_ENABLE"; non-zero switches extended mode on. */
void setAuthEnable(uint8_t value);

RAVENLINK_EXPORT_END

#ifdef __cplusplus
}
#endif

#endif /* RAVENLINK_STATION_COMPOSER_H */
