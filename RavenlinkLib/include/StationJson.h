/*!
 * \file StationJson.h
 * \brief The records of StationLink.h as JSON text, for scripts, loggers and
 * message brokers.
 *
 * Members carry the record field names and nest as the records nest:
 * `{"configStatus":{"cab":1,...},"cab":{"length":12.5,...},"env":{...},
 * "energyGS":{...},"energyUAV":{...},"sysState":{...}}`. Fields appear in
 * the order the records declare them. The text is one line without white
 * space.
 *
 * Numbers: integers in decimal. A float is written as the shortest decimal
 * that reads back to the very same float (12.5, 0.1, -0, 3.4028235e+38); a
 * float that is not finite has no JSON form and is written as null.
 *
 * Texts: always valid JSON strings, whatever bytes the station sent. Quote,
 * backslash and the control bytes 0x00 to 0x1F and 0x7F are escaped; well
 * formed UTF-8 passes unchanged; each ill-formed UTF-8 sequence (its maximal
 * part, as Unicode recommends: a stray byte, a truncated sequence, an overlong
 * form, a surrogate, a code point beyond U+10FFFF) becomes one \ufffd.
 *
 * This header needs no JSON library; none is exposed.
 */
#ifndef RAVENLINK_STATION_JSON_H
#define RAVENLINK_STATION_JSON_H

#include "StationLink.h"
#include "StationPorts.h"
#include "SystemFindings.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

/*! \return the record as one JSON object */
RAVENLINK_EXPORT std::string toJson(const ConfigStatus& config);
RAVENLINK_EXPORT std::string toJson(const SystemStatus& status);
RAVENLINK_EXPORT std::string toJson(const SwVersions& versions);
RAVENLINK_EXPORT std::string toJson(const SystemDetails& details);
/*! `{"activation":true,"retTorque":33,"retStart":2.5,"retStatus":16}` */
RAVENLINK_EXPORT std::string toJson(const SystemConfig& config);

/*!
 * \return the status as one JSON object in which every group that
 * \p delivered does not mark as sent is null: `{"configStatus":{...},
 * "cab":null,"env":{...},...}`
 */
RAVENLINK_EXPORT std::string toJson(const SystemStatus& status, const StatusGroups& delivered);

/*! \return \p text as a JSON string, quotes included (rules above) */
RAVENLINK_EXPORT std::string toJsonString(const std::string& text);
/*! \return \p value as a JSON number that reads back to the same float, or null */
RAVENLINK_EXPORT std::string toJsonNumber(float value);

/*! \return UTC time in ISO 8601 with milliseconds, "2024-05-01T12:00:00.123Z" */
RAVENLINK_EXPORT std::string toIsoTime(std::chrono::system_clock::time_point time);

/*! \return `{"time":"…","status":{…}}`, one status reading stamped with \p time */
RAVENLINK_EXPORT std::string toTimedJson(std::chrono::system_clock::time_point time,
                                         const SystemStatus& status);
/*! \return `{"time":"…","status":{…}}` with undelivered groups null */
RAVENLINK_EXPORT std::string toTimedJson(std::chrono::system_clock::time_point time,
                                         const SystemStatus& status, const StatusGroups& delivered);
/*! \return `{"time":"…","details":{…}}` */
RAVENLINK_EXPORT std::string toTimedJson(std::chrono::system_clock::time_point time,
                                         const SystemDetails& details);

/*! One leaf of a record's JSON form. */
struct RAVENLINK_EXPORT JsonField {
    std::string name;   //!< dotted path, e.g. "cab.length"
    std::string value;  //!< the member's JSON text, e.g. "12.5"
    bool operator==(const JsonField& o) const;
};

/*!
 * \return every leaf of toJson(status) in the same order, named by its path:
 * "configStatus.cab", ..., "cab.length", ..., "sysState.error"
 */
RAVENLINK_EXPORT std::vector<JsonField> toJsonFields(const SystemStatus& status);
/*!
 * \return the same leaves, those of every group that \p delivered does not
 * mark as sent with the value "null"
 */
RAVENLINK_EXPORT std::vector<JsonField> toJsonFields(const SystemStatus& status, const StatusGroups& delivered);

namespace ravenlink {

namespace json_detail {
inline std::string valueText(const std::string& text) { return toJsonString(text); }
inline std::string valueText(const char* text) { return toJsonString(text); }
inline std::string valueText(bool value) { return value ? "true" : "false"; }
inline std::string valueText(float value) { return toJsonNumber(value); }
inline std::string valueText(double value)
{
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}
template <typename Int, std::enable_if_t<std::is_integral_v<Int> && !std::is_same_v<Int, bool>, int> = 0>
std::string valueText(Int value)
{
    return std::to_string(value);
}


/*! What JsonObject and JsonArray share: the text so far, closed by str(). */
template <char Open, char Close>
class Builder {
public:
    /*! \return true while nothing was added */
    bool empty() const { return text.size() == 1; }
    /*! \return the text as one line of JSON, `{}` or `[]` when empty */
    std::string str() const { return text + Close; }

protected:
    void append(const std::string& piece)
    {
        text += text.size() > 1 ? "," : "";
        text += piece;
    }

private:
    std::string text = std::string(1, Open);
};
} // namespace json_detail

/*!
 * One JSON object, written member by member in the order added, by the
 * rules above (texts always valid JSON strings, floats and doubles as the
 * shortest text that reads back the same, not finite as null):
 * `JsonObject().add("ok", true).add("sent", 50).str()` is `{"ok":true,"sent":50}`.
 * Names are not checked for repeats. Never throws but std::bad_alloc.
 */
class JsonObject : public json_detail::Builder<'{', '}'> {
public:
    /*! Adds the member \p name with \p value: a text, a bool, an integer, a float or a double. */
    template <typename Value>
    JsonObject& add(std::string_view name, const Value& value)
    {
        return addJson(name, json_detail::valueText(value));
    }
    /*! Adds the member \p name as null. */
    JsonObject& addNull(std::string_view name) { return addJson(name, "null"); }
    /*! Adds the member \p name with \p json, which must already be JSON text (a record's toJson, an array). */
    JsonObject& addJson(std::string_view name, const std::string& json)
    {
        append(toJsonString(std::string(name)) + ":" + json);
        return *this;
    }
};

/*! One JSON array, written element by element in the order added, by the rules of JsonObject. */
class JsonArray : public json_detail::Builder<'[', ']'> {
public:
    /*! Adds \p value: a text, a bool, an integer, a float or a double. */
    template <typename Value>
    JsonArray& add(const Value& value)
    {
        return addJson(json_detail::valueText(value));
    }
    JsonArray& addNull() { return addJson("null"); }
    /*! Adds \p json, which must already be JSON text. */
    JsonArray& addJson(const std::string& json)
    {
        append(json);
        return *this;
    }
};

/*!
 * \return the findings as a JSON array in their order,
 * `[{"severity":"error","text":"..."},...]`; severity is "error" or
 * "warning", the text is in UTF-8 (as reportToUtf8 gives it)
 */
RAVENLINK_EXPORT std::string toJson(const std::vector<SystemFinding>& findings);
/*! \return the ports as a JSON array, `[{"port":"/dev/ttyUSB0","description":"...","hardwareId":"..."},...]` */
RAVENLINK_EXPORT std::string toJson(const std::vector<PortInfo>& ports);

} // namespace ravenlink

#endif // RAVENLINK_STATION_JSON_H
