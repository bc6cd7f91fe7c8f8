/*!
 * \file StationText.h
 * \brief The library's reports as text, and the escape that keeps a text from
 * the station from steering a terminal.
 *
 * The reports are the very texts that StationLink::printSystemStatus and
 * StationLink::printSystemDetails write, in the station's own 8-bit text
 * (see ReportText.h for their UTF-8 form).
 */
#ifndef RAVENLINK_STATION_TEXT_H
#define RAVENLINK_STATION_TEXT_H

#include "RavenlinkExport.h"
#include "StationRecords.h"

#include <string>

namespace ravenlink {

/*!
 * \return \p text with every control byte (0x00 to 0x1F and 0x7F) shown as a
 * visible escape: a backslash and n, r or t for line feed, carriage return
 * and tab, otherwise a backslash, x and two lower-case hex digits (ESC is
 * \x1b). Every other byte, UTF-8 included, stays as it is. Texts that come
 * from the station pass through this before they reach a terminal.
 */
RAVENLINK_EXPORT std::string visibleText(const std::string& text);

/*! \return the status report, as StationLink::printSystemStatus writes it */
RAVENLINK_EXPORT std::string statusReport(const SystemStatus& status);

/*! \return the details report, as StationLink::printSystemDetails writes it */
RAVENLINK_EXPORT std::string detailsReport(const SystemDetails& details);

} // namespace ravenlink

#endif // RAVENLINK_STATION_TEXT_H
