// One-line log records on standard error, from any thread, as the
// long-running programs (ravenlink-bridge, ravenlink-web) write them. Under
// journald (JOURNAL_STREAM set) each line starts with its syslog priority
// ("<6>") and carries no time, which the journal adds; elsewhere it starts
// with the UTC time and the level.
#ifndef RAVENLINK_TOOLS_PROGRAM_LOG_H
#define RAVENLINK_TOOLS_PROGRAM_LOG_H

#include <csignal>
#include <initializer_list>
#include <string>

namespace ravenlink::tools {

enum class LogLevel { error, warning, info };

/// Writes \p text as one record, shown as printable() shows it (at most 4000
/// bytes), so that nothing a station, a client or the broker sends can split
/// or forge a record.
void logLine(LogLevel level, const std::string& text);

/// Blocks \p signals in the calling thread, to be taken there by sigwait:
/// called before any thread starts, so that every thread inherits the mask.
/// SIGPIPE is ignored, so that a peer that goes away under a write (a
/// broker, a browser) does not end the process. \return the set blocked
sigset_t blockSignals(std::initializer_list<int> signals);

} // namespace ravenlink::tools

#endif // RAVENLINK_TOOLS_PROGRAM_LOG_H
