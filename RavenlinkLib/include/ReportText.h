/*!
 * \file ReportText.h
 * \brief The library's reports in UTF-8, for terminals, pipes and message
 * brokers that expect it.
 *
 * The reports of StationLink keep the station's own 8-bit text: the degree
 * sign of a temperature is the single byte 0xF8 (an old PC code page). Tools
 * that print or publish a report turn it into UTF-8 here.
 */
#ifndef RAVENLINK_REPORT_TEXT_H
#define RAVENLINK_REPORT_TEXT_H

#include "RavenlinkExport.h"

#include <string>

/*!
 * \return \p report as valid UTF-8: each byte 0xF8 that is not part of a
 * well-formed sequence (the reports' degree sign) becomes U+00B0 "°",
 * well-formed UTF-8 passes unchanged, and every other ill-formed sequence
 * (its maximal part, as in StationJson.h) becomes U+FFFD. Throws nothing
 * but std::bad_alloc.
 */
RAVENLINK_EXPORT std::string reportToUtf8(const std::string& report);

namespace ravenlink {

/*!
 * \return \p text with every control byte (0x00 to 0x1F and 0x7F) shown as
 * a visible escape: a backslash and n, r or t for line feed, carriage return
 * and tab, otherwise a backslash, x and two lower-case hex digits (ESC is
 * \x1b). Every other byte, UTF-8 included, stays as it is. Texts that come
 * from the station pass through this before they reach a terminal; the
 * reports do it for every text of the station they show.
 */
RAVENLINK_EXPORT std::string visibleText(const std::string& text);

} // namespace ravenlink

#endif // RAVENLINK_REPORT_TEXT_H
