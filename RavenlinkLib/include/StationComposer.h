/**
 * @file StationComposer.h
 * @brief The ground station's side of the payload format: the one table of
 * protocol key texts, a static store of station values, and the compositions
 * that write reply members as JSON text. Plain C, usable from C and C++.
 */
#ifndef RAVENLINK_STATION_COMPOSER_H
#define RAVENLINK_STATION_COMPOSER_H

#ifdef __cplusplus
extern "C" {
#endif

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

/* ---- store, setters and compositions follow ---- */

#ifdef __cplusplus
}
#endif

#endif /* RAVENLINK_STATION_COMPOSER_H */
