/*!
 * \file SystemFindings.h
 * \brief What is wrong with a ground station, in words: every error and
 * warning that the state evaluation finds in a status (and, for maintenance,
 * the details).
 *
 * StationLink::evaluateSystemState judges by the same table, so a client that
 * names the findings and the library's severity can never disagree.
 */
#ifndef RAVENLINK_SYSTEM_FINDINGS_H
#define RAVENLINK_SYSTEM_FINDINGS_H

#include "StationLink.h"

#include <cstdint>
#include <string>
#include <vector>

/*! The severity codes that StationLink::evaluateSystemState reports. */
namespace SystemSeverity {
constexpr uint8_t none = 0;       //!< nothing to report
constexpr uint8_t error = 1;      //!< at least one error; outranks a warning
constexpr uint8_t warning = 128;  //!< warnings only
} // namespace SystemSeverity

/*! How serious one finding is. */
enum class FindingSeverity { warning, error };

/*! One thing the evaluation found, e.g. an error "tether failure detected". */
struct RAVENLINK_EXPORT SystemFinding {
    FindingSeverity severity = FindingSeverity::error;
    std::string text;  //!< lower-case words, no final full stop
    bool operator==(const SystemFinding& o) const;
};

/*!
 * Every finding in \p status, errors first, each group in a fixed order.
 * A required maintenance in \p details counts as a warning only when
 * \p checkMaintenance is true. A status group the station never sent keeps
 * the record defaults, which read as errors. Throws nothing but std::bad_alloc.
 */
RAVENLINK_EXPORT std::vector<SystemFinding> findSystemFindings(const SystemStatus& status,
                                                               const SystemDetails& details,
                                                               bool checkMaintenance);

/*!
 * Every finding in the groups of \p status that \p delivered marks as sent,
 * errors first, as above. A group that the station did not send yields no
 * finding: its fields are no reading. Throws nothing but std::bad_alloc.
 */
RAVENLINK_EXPORT std::vector<SystemFinding> findSystemFindings(const SystemStatus& status,
                                                               const StatusGroups& delivered,
                                                               const SystemDetails& details,
                                                               bool checkMaintenance);

/*!
 * \return SystemSeverity::error when any finding is an error, else
 * SystemSeverity::warning when there is any finding, else SystemSeverity::none
 */
RAVENLINK_EXPORT uint8_t severityOf(const std::vector<SystemFinding>& findings);

#endif // RAVENLINK_SYSTEM_FINDINGS_H
