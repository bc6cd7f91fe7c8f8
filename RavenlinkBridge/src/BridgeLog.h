// One-line log records on standard error, from any thread. Under journald
// (JOURNAL_STREAM set) each line starts with its syslog priority ("<6>") and
// carries no time, which the journal adds; elsewhere it starts with the UTC
// time and the level.
#ifndef RAVENLINK_BRIDGE_LOG_H
#define RAVENLINK_BRIDGE_LOG_H

#include <RavenlinkTools.h>

#include <string>

namespace bridge {

enum class LogLevel { error, warning, info };

// Writes \p text as one record, shown as printable() shows it, so that
// nothing a station or a client sends can split or forge a record.
void logLine(LogLevel level, const std::string& text);

// The whole characters in the first limit bytes of a text ("..." behind
// them when there were more), as valid UTF-8: control characters shown as
// visible escapes (\n, \r, \t, else \xNN; the C1 controls U+0080 to
// U+009F as \x80 to \x9f) and each byte that is no UTF-8 as U+FFFD.
using ravenlink::tools::printable;

} // namespace bridge

#endif // RAVENLINK_BRIDGE_LOG_H
