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

#endif // RAVENLINK_REPORT_TEXT_H
