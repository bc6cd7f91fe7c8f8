// monitor: the status every interval as records, across lost links.
#ifndef RAVENLINKCTL_MONITOR_H
#define RAVENLINKCTL_MONITOR_H

#include "CtlArguments.h"

namespace ctl {

// Runs until --count records are written or SIGINT / SIGTERM; returns the
// exit status.
int runMonitor(const Invocation& invocation);

} // namespace ctl

#endif // RAVENLINKCTL_MONITOR_H
