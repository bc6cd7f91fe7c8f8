// The web server's log records: the tools' one-line records on standard
// error (ProgramLog.h), which ravenlink-bridge writes too; control
// characters are shown as escapes, so that nothing a client or the broker
// sends can split or forge a record.
#ifndef RAVENLINK_WEB_LOG_H
#define RAVENLINK_WEB_LOG_H

#include <ProgramLog.h>

namespace web {

using LogLevel = ravenlink::tools::LogLevel;
using ravenlink::tools::logLine;

} // namespace web

#endif // RAVENLINK_WEB_LOG_H
