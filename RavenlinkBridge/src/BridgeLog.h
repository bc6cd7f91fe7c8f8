// One-line log records on standard error, from any thread. Under journald
// (JOURNAL_STREAM set) each line starts with its syslog priority ("<6>") and
// carries no time, which the journal adds; elsewhere it starts with the UTC
// time and the level.
#ifndef RAVENLINK_BRIDGE_LOG_H
#define RAVENLINK_BRIDGE_LOG_H

#include <string>

namespace bridge {

enum class LogLevel { error, warning, info };

// Writes \p text as one record; line breaks and control bytes in it are
// shown as \xNN so that nothing a station or a client sends can split or
// forge a record.
void logLine(LogLevel level, const std::string& text);

// The first \p limit bytes of \p text ("..." behind them when there were
// more), with control bytes shown as visible escapes (\n, \r, \t, else \xNN).
std::string printable(const std::string& text, std::size_t limit = 200);

} // namespace bridge

#endif // RAVENLINK_BRIDGE_LOG_H
