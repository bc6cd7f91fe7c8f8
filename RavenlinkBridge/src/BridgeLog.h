// The bridge's log records: the tools' one-line records on standard error
// (ProgramLog.h), which ravenlink-web writes too.
#ifndef RAVENLINK_BRIDGE_LOG_H
#define RAVENLINK_BRIDGE_LOG_H

#include <ProgramLog.h>
#include <RavenlinkTools.h>

namespace bridge {

using LogLevel = ravenlink::tools::LogLevel;
// Writes a text as one record, shown as printable() shows it, so that
// nothing a station or a client sends can split or forge a record.
using ravenlink::tools::logLine;

// The whole characters in the first limit bytes of a text ("..." behind
// them when there were more), as valid UTF-8: control characters shown as
// visible escapes (\n, \r, \t, else \xNN; the C1 controls U+0080 to
// U+009F as \x80 to \x9f) and each byte that is no UTF-8 as U+FFFD.
using ravenlink::tools::printable;

} // namespace bridge

#endif // RAVENLINK_BRIDGE_LOG_H
