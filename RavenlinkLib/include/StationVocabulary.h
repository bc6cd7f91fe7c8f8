/*!
 * \file StationVocabulary.h
 * \brief Every value a user can set and every status group, spelled once:
 * its names on the command line and in JSON, its unit, the range that is
 * accepted, the key it goes under on the wire and how it is encoded there.
 *
 * ravenlinkctl, ravenlink-bridge, the console's torque prompt, the JSON
 * writer and the simulator all take their words and bounds from here, so
 * that a value one of them accepts is accepted by all of them. Header only:
 * nothing here needs the library's objects, and the simulator (which links
 * only the composer) uses the table as well.
 *
 * The bounds are the ones the station can hold and report back. The start
 * length is the exception that needed a choice: the station is sent it as a
 * 32-bit number of centimetres but reports "RET_START" as an unsigned 16-bit
 * one, so no length above 655.35 m could ever be confirmed; that is the
 * upper bound taken.
 */
#ifndef RAVENLINK_STATION_VOCABULARY_H
#define RAVENLINK_STATION_VOCABULARY_H

#include "StationComposer.h"
#include "StationRecords.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace ravenlink::vocab {

/*! One value a user can set. */
struct Setting {
    std::string_view name;         //!< the command word and option name: "torque"
    std::string_view jsonKey;      //!< its key in JSON records and objects: "retTorque"
    std::string_view unit;         //!< unit symbol: "%", "m", "ms", "s"
    std::string_view placeholder;  //!< what a usage line calls the value: "PERCENT"
    std::string_view unitWords;    //!< the unit in a range text ("metres"), empty where the placeholder says it
    sc_key wireKey;                //!< the request's key; SC_KEY_COUNT for a value that never goes to the station
    double low;                    //!< the least value accepted
    double high;                   //!< the greatest value accepted
    float scale;                   //!< wire units per unit: 100 centimetres per metre
    int snapSteps;                 //!< the scaled value is rounded to 1/snapSteps of a wire unit before
                                   //!< truncation; 0 truncates it as it is
    bool whole;                    //!< only whole numbers, written with digits alone
    bool clampHigh;                //!< encode() limits the value to \p high as well as to \p low
};

/*! The cable retraction torque in percent; sent truncated (42.7 as 42). */
inline constexpr Setting retractionTorque{
    "torque", "retTorque", "%", "PERCENT", "", SC_KEY_SET_RET_TORQUE, 0.0, 100.0, 1.0F, 0, false, true};

/*!
 * The cable retraction start length in metres, sent as whole centimetres.
 * The length is first rounded to a hundredth of a centimetre, so that a
 * float a hair below the typed value (1.05 is 1.0499999...) is still sent as
 * typed (105), then a real fraction of a centimetre is dropped (2.999 as
 * 299). At least 0.3 m is always sent; encode() sets no upper limit (the
 * wire takes a 32-bit number), accept() takes at most 655.35 m, the most the
 * station reports back.
 */
inline constexpr Setting retractionStart{
    "start-length", "retStart", "m", "METRES", "metres", SC_KEY_SET_RET_START, 0.3, 655.35, 100.0F, 100,
    false, false};

/*! How long one exchange with the station may take, in milliseconds. */
inline constexpr Setting connectionTimeout{
    "timeout", "timeoutMs", "ms", "MS", "", SC_KEY_COUNT, 1.0, 3600000.0, 1.0F, 0, true, true};

/*! The pause between two status readings of a monitor, in seconds. */
inline constexpr Setting readingInterval{
    "interval", "intervalSeconds", "s", "SECONDS", "seconds", SC_KEY_COUNT, 0.001, 86400.0, 1.0F, 0,
    false, true};

/*! The settings above, for tables and tests. */
inline constexpr const Setting* settings[] = {&retractionTorque, &retractionStart, &connectionTimeout,
                                               &readingInterval};

/*! One group of the status reply, which the station delivers when its flag is 1. */
struct Group {
    std::string_view cliName;  //!< on the command line: "energy-gs"
    std::string_view jsonKey;  //!< in JSON: "energyGS"
    sc_key wireKey;            //!< the group's key in a reply and in the group flags: SC_KEY_ENERGY_GS
    int ConfigStatus::*flag;   //!< its flag in ConfigStatus
};

/*! The five groups, in the order of ConfigStatus and of every listing. */
inline constexpr Group statusGroups[5] = {
    {"cab", "cab", SC_KEY_CAB, &ConfigStatus::cab},
    {"env", "env", SC_KEY_ENV, &ConfigStatus::env},
    {"energy-gs", "energyGS", SC_KEY_ENERGY_GS, &ConfigStatus::energyGS},
    {"energy-uav", "energyUAV", SC_KEY_ENERGY_UAV, &ConfigStatus::energyUAV},
    {"sys-state", "sysState", SC_KEY_SYS_STATE, &ConfigStatus::sysState},
};

/*! Each group by name. The table's names are string literals, so data() of
 * each is a NUL-terminated text. */
inline constexpr const Group& cabGroup = statusGroups[0];
inline constexpr const Group& envGroup = statusGroups[1];
inline constexpr const Group& energyGSGroup = statusGroups[2];
inline constexpr const Group& energyUAVGroup = statusGroups[3];
inline constexpr const Group& sysStateGroup = statusGroups[4];

/*! \return the group's index in statusGroups by its command-line name, or -1 */
inline int groupByCliName(std::string_view name)
{
    for (int i = 0; i < 5; ++i) {
        if (statusGroups[i].cliName == name) {
            return i;
        }
    }
    return -1;
}

/*! \return the group's index in statusGroups by its JSON key, or -1 */
inline int groupByJsonKey(std::string_view key)
{
    for (int i = 0; i < 5; ++i) {
        if (statusGroups[i].jsonKey == key) {
            return i;
        }
    }
    return -1;
}

/*! \return the groups' names, comma separated: "cab, env, energy-gs, energy-uav, sys-state"
 * (or their JSON keys with \p json) */
inline std::string groupList(bool json = false)
{
    std::string list;
    for (const Group& group : statusGroups) {
        list += (list.empty() ? "" : ", ") + std::string(json ? group.jsonKey : group.cliName);
    }
    return list;
}

/*!
 * Reads \p text as a finite decimal number written in full: an optional
 * sign ('-' or '+'), digits with at most one decimal point (".5" and "5."
 * count), and an optional exponent ("1e3", "2.5E-2"). Nothing in front,
 * nothing behind; no hexadecimal ("0x10"), no "inf" or "nan", no digit
 * grouping. The locale plays no part.
 * \return the number, or nothing (also for a number beyond the range of double)
 */
inline std::optional<double> readNumber(std::string_view text)
{
    const auto digitsFrom = [&](std::size_t at) {
        std::size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            ++end;
        }
        return end;
    };
    std::size_t at = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    std::size_t digits = digitsFrom(at) - at;
    at += digits;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fraction = digitsFrom(at + 1) - (at + 1);
        digits += fraction;
        at += 1 + fraction;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '-' || text[exponent] == '+')) {
            ++exponent;
        }
        const std::size_t end = digitsFrom(exponent);
        if (end == exponent) {
            return std::nullopt;
        }
        at = end;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    // from_chars takes no '+' and ignores the locale, unlike strtod.
    const char* const first = text.data() + (text[0] == '+' ? 1 : 0);
    double value = 0.0;
    const auto result = std::from_chars(first, text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

/*!
 * \return \p value as \p setting takes it, or nothing when it is not finite,
 * not whole for a whole setting, or out of range. The range is compared on
 * the float that is sent, so that 0.3 itself passes.
 */
inline std::optional<float> accept(const Setting& setting, double value)
{
    // Beyond the float range the conversion below would be undefined.
    if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::nullopt;
    }
    if (setting.whole && std::floor(value) != value) {
        return std::nullopt;
    }
    const float sent = static_cast<float>(value);
    if (sent < static_cast<float>(setting.low) || sent > static_cast<float>(setting.high)) {
        return std::nullopt;
    }
    return sent;
}

/*!
 * \return \p text as \p setting takes it: a decimal number as readNumber()
 * reads it (for a whole setting, digits alone), then as accept(setting, double)
 */
inline std::optional<float> accept(const Setting& setting, std::string_view text)
{
    if (setting.whole && (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)) {
        return std::nullopt;
    }
    const std::optional<double> value = readNumber(text);
    return value ? accept(setting, *value) : std::nullopt;
}

/*! \return the shortest decimal text that reads back as \p value: 0.3 as "0.3", 3600000 as "3600000" */
inline std::string numberText(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

/*!
 * \return what \p setting takes, for a message that continues "must be ":
 * "a number from 0 to 100", "a number of metres from 0.3 to 655.35",
 * "a whole number from 1 to 3600000"
 */
inline std::string rangeText(const Setting& setting)
{
    return std::string(setting.whole ? "a whole number" : "a number") +
           (setting.unitWords.empty() ? "" : " of " + std::string(setting.unitWords)) + " from " +
           numberText(setting.low) + " to " + numberText(setting.high);
}

/*!
 * \return the whole number the station is sent for \p value: not a number
 * is sent as the lower bound; the value is limited to the lower bound (and
 * to the upper one where the setting says so), scaled in single precision,
 * rounded to the setting's snapSteps, truncated, and held to the 32-bit range
 */
inline int encode(const Setting& setting, float value)
{
    const auto low = static_cast<float>(setting.low);
    const auto high = static_cast<float>(setting.high);
    if (std::isnan(value) || value < low) {
        value = low;
    }
    if (setting.clampHigh && value > high) {
        value = high;
    }
    double scaled = 0.0;
    if (setting.snapSteps > 0) {
        const double steps = setting.snapSteps;
        scaled = std::round(static_cast<double>(value) * (static_cast<double>(setting.scale) * steps)) / steps;
    } else {
        // Single precision, as the value was always scaled.
        scaled = static_cast<double>(value * setting.scale);
    }
    // The wire takes a 32-bit integer: converting anything larger (or
    // infinity) would be undefined.
    if (!(scaled < 2147483648.0)) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(scaled);
}

} // namespace ravenlink::vocab

#endif // RAVENLINK_STATION_VOCABULARY_H
