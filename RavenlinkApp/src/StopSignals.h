/*!
 * \file StopSignals.h
 * \brief How the operator (or the system) asks the console to stop: Ctrl-C,
 * a terminal that closes, or a request to terminate.
 *
 * The first stop signal only sets exitRequested. The console then sends no
 * further device command: a prompt ends at once, and a command that is
 * waiting for its reply is finished and its outcome printed before the
 * program closes the connection and ends with status 0. A second stop
 * signal ends the program at once, also with status 0.
 */
#ifndef RAVENLINKAPP_STOP_SIGNALS_H
#define RAVENLINKAPP_STOP_SIGNALS_H

#include <csignal>

/*!
 * Set to 1 by a stop signal or by option 11. The menu loop looks at it at the
 * top of each pass, and every prompt ends once it is set.
 */
extern volatile std::sig_atomic_t exitRequested;

/*!
 * Handler of SIGINT, SIGTERM and SIGHUP: sets exitRequested; when a stop was
 * already requested, ends the process at once with status 0.
 */
extern "C" void handleInterrupt(int signalNumber);

/*!
 * Installs handleInterrupt for SIGINT, SIGTERM and SIGHUP, and makes sure
 * none of them is blocked.
 */
void installStopHandlers();

#endif // RAVENLINKAPP_STOP_SIGNALS_H
