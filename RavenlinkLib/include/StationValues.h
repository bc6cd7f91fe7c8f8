/*!
 * \file StationValues.h
 * \brief The whole numbers that the library sends for a setting, so that a
 * client can tell its user what the station was actually given.
 */
#ifndef RAVENLINK_STATION_VALUES_H
#define RAVENLINK_STATION_VALUES_H

#include "RavenlinkExport.h"

/*!
 * \return the torque StationLink::setCableRetractionTorque sends for
 * \p percent: clamped to 0..100, truncated (42.7 is sent as 42)
 */
RAVENLINK_EXPORT int sentRetractionTorque(float percent);

/*!
 * \return the start length in centimetres that
 * StationLink::setCableRetractionStartLength sends for \p metres: at least
 * 30; whole centimetres, a fraction of one dropped (1.15 is sent as 115,
 * 2.999 as 299). The length is first rounded to a hundredth of a
 * centimetre, so that a float a hair below the typed value (1.05 is
 * 1.0499999...) is still sent as typed (105).
 */
RAVENLINK_EXPORT int sentRetractionStartLength(float metres);

#endif // RAVENLINK_STATION_VALUES_H
