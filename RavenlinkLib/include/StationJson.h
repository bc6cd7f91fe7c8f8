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

#include <chrono>
#include <string>
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

#endif // RAVENLINK_STATION_JSON_H
