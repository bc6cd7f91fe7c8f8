// SIGINT, SIGTERM and SIGHUP ask the station to stop. The handler only sets
// a flag and writes one byte into a pipe, so a poll() that includes
// stopFd() wakes at once instead of sleeping on.
#ifndef RAVENLINK_STATION_SIGNALS_H
#define RAVENLINK_STATION_SIGNALS_H

/// Installs the handlers. Returns false when the wake-up pipe cannot be made.
bool installStopHandlers();
bool stopRequested();
/// Asks every wait to stop, as the signals do (a station whose port failed
/// ends the others of its process).
void requestStop();
/// Read end of the wake-up pipe; readable once a stop was requested.
int stopFd();
/// Sleeps \p ms milliseconds; returns false at once when a stop is requested.
bool pauseUnlessStopped(int ms);

#endif // RAVENLINK_STATION_SIGNALS_H
