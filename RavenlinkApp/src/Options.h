/*!
 * \file Options.h
 * \brief The menu loop, its options, the start-up status report and the
 * shutdown, all working on a StationControl and two text streams.
 */
#ifndef RAVENLINKAPP_OPTIONS_H
#define RAVENLINKAPP_OPTIONS_H

#include "StationControl.h"
#include "StopSignals.h"

#include <iosfwd>

/*!
 * Reads the station's status once and prints its report. A failure prints the
 * exception's text without a line end: the menu's first line end ends it.
 */
void reportStartupStatus(StationControl& station, SystemStatus& tetherStatus, std::ostream& out);

/*!
 * Shows the menu and performs the chosen options until exitRequested is set
 * or the input ends; once a stop is requested no further option is
 * performed. Every failure of an option is printed and the loop carries on.
 * \param tetherStatus the record filled at start-up; option 1 reads into it again
 */
void runMenuLoop(StationControl& station, SystemStatus& tetherStatus, std::istream& in, std::ostream& out);

/*!
 * Closes the connection. A failure to close is printed with a line end; the
 * program still ends normally.
 * \return the exit status, 0
 */
int shutDown(StationControl& station, std::ostream& out);

#endif // RAVENLINKAPP_OPTIONS_H
