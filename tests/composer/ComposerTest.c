/*
 * The composer exercised from C: exact texts of the fresh store, group
 * gating, extended mode, shared slots, value widening, texts, the table of
 * values, and the capacity contract (all or nothing, never a byte past the capacity).
 * Prints "N passed, M failed" and exits non-zero when anything failed.
 */
#include "StationComposer.h"

#include <stdio.h>
#include <string.h>

static int passed;
static int failed;

#define CHECK(cond)                                                         \
    do {                                                                    \
        if (cond) {                                                         \
            ++passed;                                                       \
        } else {                                                            \
            ++failed;                                                       \
            printf("%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); \
        }                                                                   \
    } while (0)

#define CHECK_TEXT(actual, expected)                                                      \
    do {                                                                                  \
        if (strcmp((actual), (expected)) == 0) {                                          \
            ++passed;                                                                     \
        } else {                                                                          \
            ++failed;                                                                     \
            printf("%s:%d: text differs\n  got:  %s\n  want: %s\n", __FILE__, __LINE__, \
                   (actual), (expected));                                                 \
        }                                                                                 \
    } while (0)

static char msg[SC_MESSAGE_CAPACITY];

/* Composes one part on its own, from an empty reply text. */
static const char *composeAlone(sc_result (*compose)(char *))
{
    msg[0] = '\0';
    return compose(msg) == SC_OK ? msg : "<refused>";
}

#define FRESH_CONFIG_STATUS \
    "\"CONFIG_STATUS\":{\"CAB\":1,\"ENV\":1,\"ENERGY_GS\":1,\"ENERGY_UAV\":1,\"SYS_STATE\":1}"
#define FRESH_CAB                                                                                  \
    "\"CAB\":{\"LENGTH\":0,\"SPEED\":0,\"TETHER_STATUS\":0,\"GUIDE_STATUS\":0,\"REEL_STATUS\":0," \
    "\"RET_STATUS\":0,\"RET_TORQUE\":0,\"RET_START\":0}"
#define FRESH_ENV                                                                                 \
    "\"ENV\":{\"TEMP1\":-127,\"TEMP2\":-127,\"TEMP3\":-127,\"TEMP4\":-127,\"HUM1\":0,\"PRESS1\":0," \
    "\"ENVSENSOR1_STATUS\":0,\"ENVSENSOR2_STATUS\":0,\"ENVSENSOR3_STATUS\":0,"                     \
    "\"ENVSENSOR4_STATUS\":0,\"FAN1_RPM\":0,\"FAN2_RPM\":0,\"FAN1_STATUS\":0,\"FAN2_STATUS\":0}"
#define FRESH_ENERGY_GS                                                                      \
    "\"ENERGY_GS\":{\"MAINS_U\":0,\"MAINS_I\":0,\"MAINS_F\":0,\"MAINS_STATUS\":0,"         \
    "\"CTRL_SUPL_STATUS\":0,\"BAT_U\":255,\"BAT_STATUS\":255}"
#define FRESH_ENERGY_UAV \
    "\"ENERGY_UAV\":{\"UAV_SUPL_U\":0,\"UAV_SUPL_I\":0,\"EXT_SUPL_STATUS\":0,\"UAV_CELL_COUNT\":0}"
#define FRESH_SYS_STATE                                                                          \
    "\"SYS_STATE\":{\"ACTIVATION\":0,\"RET_STATUS\":0,\"BAT_STATUS\":255,\"FLIGHT_TIME\":0,"    \
    "\"FLIGHT_TIME_OP_SUM\":0,\"FLIGHT_COUNT_OP_SUM\":0,\"OPERATION_TIME\":0,\"SYSTEM_TIME\":0," \
    "\"ERROR\":0}"
#define FRESH_SW_VERSION                                                                       \
    "\"SW_VERSION\":{\"MAIN_CTRL\":\"0\",\"REEL_CTRL\":\"0\",\"LPWR_CTRL\":\"0\","            \
    "\"HPWR_CTRL\":\"0\",\"ENV_CTRL\":\"0\",\"NET_CTRL\":\"0\",\"BBAT_CTRL\":\"0\"}"

static void testFreshStore(void)
{
    sc_reset_store();
    CHECK_TEXT(composeAlone(composeSystemStatus),
               "\"SYSTEM_STATUS\":{" FRESH_CONFIG_STATUS "," FRESH_CAB "," FRESH_ENV "," FRESH_ENERGY_GS
               "," FRESH_ENERGY_UAV "," FRESH_SYS_STATE "}");
    CHECK_TEXT(composeAlone(composeSystemDetails),
               "\"SYSTEM_DETAILS\":{\"PRODUCT_TYPE\":\"0\",\"MODEL\":\"0\",\"SN\":\"0\",\"DOP\":\"0\","
               "\"HW_VERSION\":\"0\"," FRESH_SW_VERSION ",\"PROTOCOL_VERSION\":\"1.20\","
               "\"UAV_CELL_VOLTAGES\":\"0\",\"MAX_POWER\":0,\"CABLE_TYPE\":\"0\",\"MAX_CABLE_LENGTH\":0,"
               "\"NETWORK_TYPE\":0,\"FLIGHT_TIME_SUM\":0,\"FLIGHT_COUNT\":0,\"OPERATION_TIME_SUM\":0,"
               "\"OPERATION_COUNT\":0,\"SYSTEM_TIME_SUM\":0,\"SYSTEM_USE_COUNT\":0,\"TTM\":0,"
               "\"MAINTENANCE_REQUIRED\":0}");
    CHECK_TEXT(composeAlone(composeSystemConfig),
               "\"SYSTEM_CONFIG\":{\"ACTIVATION\":0,\"RET_STATUS\":0,\"RET_TORQUE\":0,\"RET_START\":0}");
    CHECK_TEXT(composeAlone(composeConfigStatus), FRESH_CONFIG_STATUS);
    CHECK_TEXT(composeAlone(composeSwVersion), FRESH_SW_VERSION);
    CHECK_TEXT(composeAlone(composeHwVersion), "\"SYSTEM_DETAILS\":{\"HW_VERSION\":\"0\"}");
    CHECK_TEXT(composeAlone(composeSwVersionDetails), "\"SYSTEM_DETAILS\":{" FRESH_SW_VERSION "}");
    CHECK_TEXT(composeAlone(composeProtocolVersion), "\"SYSTEM_DETAILS\":{\"PROTOCOL_VERSION\":\"1.20\"}");
    CHECK_TEXT(composeAlone(composeCom), "\"COM\":{\"MSG_ID\":0,\"COM_STATUS\":0}");
}

static void testCompleteReply(void)
{
    sc_reset_store();
    setMsgId(4711);
    msg[0] = '\0';
    CHECK(composeCom(msg) == SC_OK);
    CHECK(appendComma(msg) == SC_OK);
    CHECK(composeSystemConfig(msg) == SC_OK);
    CHECK(wrapMessage(msg) == SC_OK);
    CHECK_TEXT(msg, "{\"COM\":{\"MSG_ID\":4711,\"COM_STATUS\":0},\"SYSTEM_CONFIG\":{\"ACTIVATION\":0,"
                    "\"RET_STATUS\":0,\"RET_TORQUE\":0,\"RET_START\":0}}");
    msg[0] = '\0';
    CHECK(wrapMessage(msg) == SC_OK);
    CHECK_TEXT(msg, "{}");
}

static void testGroupsSwitchedOff(void)
{
    sc_reset_store();
    setConfigEnv(0);
    CHECK_TEXT(composeAlone(composeSystemStatus),
               "\"SYSTEM_STATUS\":{\"CONFIG_STATUS\":{\"CAB\":1,\"ENV\":0,\"ENERGY_GS\":1,\"ENERGY_UAV\":1,"
               "\"SYS_STATE\":1}," FRESH_CAB "," FRESH_ENERGY_GS "," FRESH_ENERGY_UAV "," FRESH_SYS_STATE "}");
    setConfigEnv(255);
    CHECK(strstr(composeAlone(composeSystemStatus), "\"ENV\":255") != NULL);
    CHECK(strstr(msg, "\"ENV\":{") == NULL);
    CHECK(strstr(msg, ",,") == NULL);

    /* First and last data group off, and a flag that is neither 0 nor 1. */
    setConfigCab(0);
    setConfigSysState(2);
    composeAlone(composeSystemStatus);
    CHECK(strstr(msg, "\"CAB\":{") == NULL);
    CHECK(strstr(msg, "\"SYS_STATE\":{") == NULL);
    CHECK(strstr(msg, ",,") == NULL);
    CHECK(strstr(msg, ",}") == NULL);

    setConfigEnergyGS(0);
    setConfigEnergyUAV(0);
    CHECK_TEXT(composeAlone(composeSystemStatus),
               "\"SYSTEM_STATUS\":{\"CONFIG_STATUS\":{\"CAB\":0,\"ENV\":255,\"ENERGY_GS\":0,"
               "\"ENERGY_UAV\":0,\"SYS_STATE\":2}}");
}

static void testExtendedMode(void)
{
    sc_reset_store();
    setAuthEnable(3);
    setCtrlSupl6(-1200);
    setCtrlSupl1Status(200);
    CHECK_TEXT(composeAlone(composeEnergyGS),
               "\"ENERGY_GS\":{\"MAINS_U\":0,\"MAINS_I\":0,\"MAINS_F\":0,\"MAINS_STATUS\":0,"
               "\"CTRL_SUPL_STATUS\":0,\"BAT_U\":255,\"BAT_STATUS\":255,\"CTRL_SUPL1\":0,\"CTRL_SUPL2\":0,"
               "\"CTRL_SUPL3\":0,\"CTRL_SUPL4\":0,\"CTRL_SUPL5\":0,\"CTRL_SUPL6\":-1200,"
               "\"CTRL_SUPL1_STATUS\":200,\"CTRL_SUPL2_STATUS\":0,\"CTRL_SUPL3_STATUS\":0,"
               "\"CTRL_SUPL4_STATUS\":0,\"CTRL_SUPL5_STATUS\":0,\"CTRL_SUPL6_STATUS\":0}");
    CHECK_TEXT(composeAlone(composeEnergyUAV),
               "\"ENERGY_UAV\":{\"UAV_SUPL_U\":0,\"UAV_SUPL_I\":0,\"EXT_SUPL_STATUS\":0,\"UAV_CELL_COUNT\":0,"
               "\"EXT_SUPL_U\":0,\"EXT_SUPL_I\":0,\"UAV_SUPL_STATUS\":0}");
    CHECK_TEXT(composeAlone(composeSysState),
               "\"SYS_STATE\":{\"ACTIVATION\":0,\"RET_STATUS\":0,\"BAT_STATUS\":255,\"FLIGHT_TIME\":0,"
               "\"FLIGHT_TIME_OP_SUM\":0,\"FLIGHT_COUNT_OP_SUM\":0,\"OPERATION_TIME\":0,\"SYSTEM_TIME\":0,"
               "\"ERROR\":0,\"NETWORK_STATUS\":0,\"MEMORY_STATUS\":0,\"AUTH_ENABLE\":3}");
    setAuthEnable(255);
    CHECK(strstr(composeAlone(composeSysState), "\"AUTH_ENABLE\":255}") != NULL);

    setAuthEnable(0);
    CHECK_TEXT(composeAlone(composeEnergyGS), FRESH_ENERGY_GS);
    CHECK_TEXT(composeAlone(composeEnergyUAV), FRESH_ENERGY_UAV);
    CHECK_TEXT(composeAlone(composeSysState), FRESH_SYS_STATE);
    /* Groups without extended keys are not affected. */
    setAuthEnable(1);
    CHECK_TEXT(composeAlone(composeCab), FRESH_CAB);
}

static void testSharedEntries(void)
{
    sc_reset_store();
    setRetTorque(55);
    setRetStart(130);
    setRetStatus(16);
    setActivation(16);
    setBatStatus(2);
    CHECK_TEXT(composeAlone(composeSystemConfig),
               "\"SYSTEM_CONFIG\":{\"ACTIVATION\":16,\"RET_STATUS\":16,\"RET_TORQUE\":55,\"RET_START\":130}");
    CHECK(strstr(composeAlone(composeCab), "\"RET_STATUS\":16,\"RET_TORQUE\":55,\"RET_START\":130}") != NULL);
    CHECK(strstr(composeAlone(composeEnergyGS), "\"BAT_STATUS\":2}") != NULL);
    CHECK(strstr(composeAlone(composeSysState), "{\"ACTIVATION\":16,\"RET_STATUS\":16,\"BAT_STATUS\":2,") !=
          NULL);
}

static void testValueWidening(void)
{
    sc_reset_store();
    setTemp1(-128);
    setTemp2(127);
    setHum1(-1);
    setPress1(65535);
    setFan1Status(255);
    CHECK(strstr(composeAlone(composeEnv), "{\"TEMP1\":-128,\"TEMP2\":127,\"TEMP3\":-127,\"TEMP4\":-127,"
                                           "\"HUM1\":-1,\"PRESS1\":65535,") != NULL);
    CHECK(strstr(msg, "\"FAN1_STATUS\":255,") != NULL);
    setLength(-32768);
    setSpeed(32767);
    CHECK(strstr(composeAlone(composeCab), "{\"LENGTH\":-32768,\"SPEED\":32767,") != NULL);
    setMsgId(65535);
    setComStatus(65535);
    CHECK_TEXT(composeAlone(composeCom), "\"COM\":{\"MSG_ID\":65535,\"COM_STATUS\":65535}");
    setFlightTime(4294967295UL);
    setSystemTime(2147483648UL);
    CHECK(strstr(composeAlone(composeSysState), "\"FLIGHT_TIME\":4294967295,") != NULL);
    CHECK(strstr(msg, "\"SYSTEM_TIME\":2147483648,") != NULL);
    setTtm(4294967295UL);
    setMaxPower(65535);
    CHECK(strstr(composeAlone(composeSystemDetails), "\"TTM\":4294967295,") != NULL);
    CHECK(strstr(msg, "\"MAX_POWER\":65535,") != NULL);
}

static void testTexts(void)
{
    static const char longText[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    /* 30 ASCII bytes, then a two-byte sequence that the cut at 31 would split. */
    static const char utf8Text[] = "012345678901234567890123456789\xC3\xA9xyz";

    sc_reset_store();
    setHwVersion(longText);
    CHECK_TEXT(composeAlone(composeHwVersion),
               "\"SYSTEM_DETAILS\":{\"HW_VERSION\":\"0123456789abcdefghijklmnopqrstu\"}");
    setHwVersion(utf8Text);
    CHECK_TEXT(composeAlone(composeHwVersion),
               "\"SYSTEM_DETAILS\":{\"HW_VERSION\":\"012345678901234567890123456789\"}");
    setHwVersion("a\"b\\c\nd\x01");
    CHECK_TEXT(composeAlone(composeHwVersion),
               "\"SYSTEM_DETAILS\":{\"HW_VERSION\":\"a\\\"b\\\\c\\u000ad\\u0001\"}");
    setHwVersion(NULL);
    CHECK_TEXT(composeAlone(composeHwVersion), "\"SYSTEM_DETAILS\":{\"HW_VERSION\":\"\"}");
    setHwVersion("");
    CHECK_TEXT(composeAlone(composeHwVersion), "\"SYSTEM_DETAILS\":{\"HW_VERSION\":\"\"}");
}

/* Fills a buffer with a pattern so that any stray write shows. */
static void fillPattern(char *buf, size_t size)
{
    memset(buf, 0x5A, size);
}

static int untouchedFrom(const char *buf, size_t from, size_t size)
{
    size_t i;
    for (i = from; i < size; ++i) {
        if (buf[i] != 0x5A) {
            return 0;
        }
    }
    return 1;
}

static void testTinyAndExactBuffers(void)
{
    char buf[400];
    char want[400];
    size_t need;

    sc_reset_store();
    /* Size 1 holds only the terminating zero: nothing fits. */
    fillPattern(buf, sizeof buf);
    buf[0] = '\0';
    CHECK(sc_append(SC_PART_COMMA, buf, 1) == SC_ERR_NO_ROOM);
    CHECK(buf[0] == '\0' && untouchedFrom(buf, 1, sizeof buf));
    /* Size 2 holds exactly one character. */
    CHECK(sc_append(SC_PART_COMMA, buf, 2) == SC_OK);
    CHECK(strlen(buf) == 1 && memcmp(buf, ",", 2) == 0 && untouchedFrom(buf, 2, sizeof buf));
    CHECK(sc_append(SC_PART_COMMA, buf, 2) == SC_ERR_NO_ROOM);
    CHECK(memcmp(buf, ",", 2) == 0);

    /* Exact fit: the fragment and its zero fill the buffer to the last byte. */
    need = sc_measure(SC_PART_CAB);
    CHECK(need == strlen(FRESH_CAB));
    fillPattern(buf, sizeof buf);
    buf[0] = '\0';
    CHECK(sc_append(SC_PART_CAB, buf, need + 1) == SC_OK);
    CHECK(strlen(buf) == need && memcmp(buf, FRESH_CAB, need + 1) == 0);
    CHECK(untouchedFrom(buf, need + 1, sizeof buf));
    /* One byte less: refused, and not a byte changes, behind the zero neither. */
    fillPattern(buf, sizeof buf);
    buf[0] = '\0';
    memcpy(want, buf, sizeof buf);
    CHECK(sc_append(SC_PART_CAB, buf, need) == SC_ERR_NO_ROOM);
    CHECK(memcmp(buf, want, sizeof buf) == 0);

    /* Wrapping needs two more bytes than the text. */
    fillPattern(buf, sizeof buf);
    buf[0] = '\0';
    CHECK(sc_wrap(buf, 2) == SC_ERR_NO_ROOM && buf[0] == '\0' && untouchedFrom(buf, 1, sizeof buf));
    CHECK(sc_wrap(buf, 3) == SC_OK && memcmp(buf, "{}", 3) == 0 && untouchedFrom(buf, 3, sizeof buf));
    CHECK(sc_wrap(buf, 4) == SC_ERR_NO_ROOM && memcmp(buf, "{}", 3) == 0);
    CHECK(sc_wrap(buf, 5) == SC_OK && memcmp(buf, "{{}}", 5) == 0);
}

static void testNearlyFullMessage(void)
{
    char big[SC_MESSAGE_CAPACITY + 64];
    const size_t cabLength = sc_measure(SC_PART_CAB);

    sc_reset_store();
    /* Room for exactly the CAB member. */
    fillPattern(big, sizeof big);
    memset(big, 'x', SC_MESSAGE_CAPACITY - 1 - cabLength);
    big[SC_MESSAGE_CAPACITY - 1 - cabLength] = '\0';
    CHECK(composeCab(big) == SC_OK);
    CHECK(strlen(big) == SC_MESSAGE_CAPACITY - 1);
    CHECK(strcmp(big + SC_MESSAGE_CAPACITY - 1 - cabLength, FRESH_CAB) == 0);
    CHECK(untouchedFrom(big, SC_MESSAGE_CAPACITY, sizeof big));
    CHECK(appendComma(big) == SC_ERR_NO_ROOM);
    CHECK(wrapMessage(big) == SC_ERR_NO_ROOM);
    CHECK(strlen(big) == SC_MESSAGE_CAPACITY - 1);

    /* One byte short of the CAB member: nothing is appended. */
    fillPattern(big, sizeof big);
    memset(big, 'x', SC_MESSAGE_CAPACITY - cabLength);
    big[SC_MESSAGE_CAPACITY - cabLength] = '\0';
    CHECK(composeCab(big) == SC_ERR_NO_ROOM);
    CHECK(strlen(big) == SC_MESSAGE_CAPACITY - cabLength);
    CHECK(untouchedFrom(big, SC_MESSAGE_CAPACITY - cabLength + 1, sizeof big));

    /* Wrapping takes a text of at most 2987 characters. */
    fillPattern(big, sizeof big);
    memset(big, 'x', 2987);
    big[2987] = '\0';
    CHECK(wrapMessage(big) == SC_OK);
    CHECK(strlen(big) == 2989 && big[0] == '{' && big[2988] == '}' && big[1] == 'x');
    CHECK(untouchedFrom(big, SC_MESSAGE_CAPACITY, sizeof big));
    fillPattern(big, sizeof big);
    memset(big, 'x', 2988);
    big[2988] = '\0';
    CHECK(wrapMessage(big) == SC_ERR_NO_ROOM);
    CHECK(strlen(big) == 2988 && big[0] == 'x');
}

static void testUnusableBuffers(void)
{
    char buf[16];
    CHECK(sc_append(SC_PART_COMMA, NULL, 16) == SC_ERR_ARG);
    CHECK(sc_wrap(NULL, 16) == SC_ERR_ARG);
    CHECK(appendComma(NULL) == SC_ERR_ARG);
    /* No terminating zero within the capacity: the text is unknown, so
     * nothing is written. */
    memset(buf, 'x', sizeof buf);
    CHECK(sc_append(SC_PART_COMMA, buf, sizeof buf) == SC_ERR_ARG);
    CHECK(sc_wrap(buf, sizeof buf) == SC_ERR_ARG);
    CHECK(sc_append(SC_PART_COMMA, buf, 0) == SC_ERR_ARG);
    CHECK(buf[0] == 'x' && buf[15] == 'x');
    buf[0] = '\0';
    CHECK(sc_append(SC_PART_COUNT, buf, sizeof buf) == SC_ERR_ARG);
    CHECK(sc_append((sc_part)-1, buf, sizeof buf) == SC_ERR_ARG);
    CHECK(buf[0] == '\0' && sc_measure(SC_PART_COUNT) == 0);
}

/* The largest store there can be: every text 31 control bytes, six bytes
 * each on the wire. No reply can hold it all; none may overrun. */
static void testWorstCaseStore(void)
{
    static char guarded[SC_MESSAGE_CAPACITY + 256];
    char controls[32];
    int part;
    int rounds;
    memset(controls, '\x01', 31);
    controls[31] = '\0';
    sc_reset_store();
    setProductType(controls); setModel(controls); setSn(controls); setDop(controls);
    setHwVersion(controls); setUavCellVoltages(controls); setCableType(controls);
    setMainCtrl(controls); setReelCtrl(controls); setLpwrCtrl(controls); setHpwrCtrl(controls);
    setEnvCtrl(controls); setNetCtrl(controls); setBbatCtrl(controls);
    setAuthEnable(1);

    CHECK(sc_measure(SC_PART_SYSTEM_DETAILS) > SC_MESSAGE_CAPACITY);
    for (part = 0; part < SC_PART_COUNT; ++part) {
        fillPattern(guarded, sizeof guarded);
        guarded[0] = '\0';
        /* Bounded, so that a composer that keeps saying SC_OK fails here. */
        for (rounds = 0; rounds < SC_MESSAGE_CAPACITY; ++rounds) {
            if (sc_append((sc_part)part, guarded, SC_MESSAGE_CAPACITY) != SC_OK) {
                break;
            }
        }
        CHECK(rounds < SC_MESSAGE_CAPACITY);
        CHECK(strlen(guarded) < SC_MESSAGE_CAPACITY);
        CHECK(untouchedFrom(guarded, SC_MESSAGE_CAPACITY, sizeof guarded));
        CHECK(wrapMessage(guarded) != SC_ERR_ARG);
        CHECK(untouchedFrom(guarded, SC_MESSAGE_CAPACITY, sizeof guarded));
    }
    guarded[0] = '\0';
    CHECK(composeSystemDetails(guarded) == SC_ERR_NO_ROOM && guarded[0] == '\0');
    CHECK(composeSwVersionDetails(guarded) == SC_OK);
}

static void testResetAndCommands(void)
{
    uint32_t value = 99;
    setTemp1(20);
    setConfigCab(0);
    setSn("LW2-0451");
    setAuthEnable(1);
    sc_reset_store();
    CHECK_TEXT(composeAlone(composeEnv), FRESH_ENV);
    CHECK_TEXT(composeAlone(composeConfigStatus), FRESH_CONFIG_STATUS);
    CHECK_TEXT(composeAlone(composeSysState), FRESH_SYS_STATE);
    CHECK(strstr(composeAlone(composeSystemDetails), "\"SN\":\"0\"") != NULL);

    CHECK(sc_command_value(SC_KEY_GET_SYSTEM_STATUS, &value) == SC_OK && value == 1);
    CHECK(sc_command_value(SC_KEY_GET_PROTOCOL, &value) == SC_OK && value == 1);
    CHECK(sc_command_value(SC_KEY_SET_ACTIVATION, &value) == SC_OK && value == 0);
    CHECK(sc_command_value(SC_KEY_SET_TIME, &value) == SC_OK && value == 0);
    value = 7;
    CHECK(sc_command_value(SC_KEY_SET_AUTH, &value) == SC_ERR_ARG && value == 7);
    CHECK(sc_command_value(SC_KEY_CAB, &value) == SC_ERR_ARG);
    CHECK(sc_command_value(SC_KEY_GET_SYSTEM_STATUS, NULL) == SC_ERR_ARG);
}

/* Every row reaches a slot of its own: each holds back what it was given,
 * numbers cut to the row's width as the setter's parameter cuts them. */
static void testValueTable(void)
{
    static const char *const texts[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n"};
    const sc_value *temp1 = sc_find_value(SC_KEY_ENV, SC_KEY_TEMP1);
    const sc_value *length = sc_find_value(SC_KEY_CAB, SC_KEY_LENGTH);
    const sc_value *model = sc_find_value(SC_KEY_SYSTEM_DETAILS, SC_KEY_MODEL);
    int64_t number = 0;
    size_t row;
    size_t textRows = 0;
    int distinct = 1;

    sc_reset_store();
    for (row = 0; row < sc_value_count; ++row) {
        if (sc_values[row].kind == SC_KIND_TEXT) {
            CHECK(textRows < sizeof texts / sizeof texts[0] && sc_set_text(&sc_values[row], texts[textRows++]) == SC_OK);
        } else {
            CHECK(sc_set_number(&sc_values[row], (int64_t)row + 1) == SC_OK);
        }
    }
    for (row = 0, textRows = 0; row < sc_value_count; ++row) {
        if (sc_values[row].kind == SC_KIND_TEXT) {
            distinct = distinct && strcmp(sc_get_text(&sc_values[row]), texts[textRows++]) == 0;
        } else {
            distinct = distinct && sc_get_number(&sc_values[row], &number) == SC_OK && number == (int64_t)row + 1;
        }
    }
    CHECK(distinct);

    CHECK(sc_set_number(temp1, 200) == SC_OK && sc_get_number(temp1, &number) == SC_OK && number == -56);
    CHECK(sc_set_number(length, 40000) == SC_OK && sc_get_number(length, &number) == SC_OK && number == -25536);
    CHECK(sc_set_number(sc_find_value(SC_KEY_ENERGY_GS, SC_KEY_BAT_U), 300) == SC_OK);
    CHECK(strstr(composeAlone(composeEnergyGS), "\"BAT_U\":44,") != NULL);
    CHECK(sc_set_number(sc_find_value(SC_KEY_SYS_STATE, SC_KEY_FLIGHT_TIME), -1) == SC_OK);
    CHECK(strstr(composeAlone(composeSysState), "\"FLIGHT_TIME\":4294967295,") != NULL);
    /* A shared value has one row, in its owning group. */
    CHECK(sc_find_value(SC_KEY_CAB, SC_KEY_RET_TORQUE) == NULL);
    CHECK(sc_set_number(sc_find_value(SC_KEY_SYSTEM_CONFIG, SC_KEY_RET_TORQUE), 77) == SC_OK);
    CHECK(strstr(composeAlone(composeCab), "\"RET_TORQUE\":77,") != NULL);

    /* Wrong kinds and missing rows change nothing. */
    CHECK(sc_set_number(model, 5) == SC_ERR_ARG && sc_set_text(temp1, "5") == SC_ERR_ARG);
    CHECK(sc_get_text(temp1) == NULL && sc_get_number(model, &number) == SC_ERR_ARG);
    CHECK(sc_set_number(NULL, 1) == SC_ERR_ARG && sc_set_text(NULL, "x") == SC_ERR_ARG);
    CHECK(sc_get_number(temp1, NULL) == SC_ERR_ARG && sc_get_text(NULL) == NULL);
    CHECK(sc_get_number(temp1, &number) == SC_OK && number == -56);
    CHECK(sc_find_value(SC_KEY_COMMAND, SC_KEY_GET_PROTOCOL) == NULL);
}

int main(void)
{
    testFreshStore();
    testCompleteReply();
    testGroupsSwitchedOff();
    testExtendedMode();
    testSharedEntries();
    testValueWidening();
    testTexts();
    testTinyAndExactBuffers();
    testNearlyFullMessage();
    testUnusableBuffers();
    testWorstCaseStore();
    testResetAndCommands();
    testValueTable();
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
