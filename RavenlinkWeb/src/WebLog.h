// One-line log records on standard error, from any thread: under journald
// (JOURNAL_STREAM set) each starts with its syslog priority ("<6>"),
// elsewhere with the UTC time and the level.
#ifndef RAVENLINK_WEB_LOG_H
#define RAVENLINK_WEB_LOG_H

#include <string>

namespace web {

enum class LogLevel { error, warning, info };

// Writes \p text as one record, control characters shown as escapes, so
// that nothing a client or the broker sends can split or forge a record.
void logLine(LogLevel level, const std::string& text);

} // namespace web

#endif // RAVENLINK_WEB_LOG_H
