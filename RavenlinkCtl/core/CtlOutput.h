// Small output helpers shared by the commands: error texts on one line and
// the verbose trace of the wire.
#ifndef RAVENLINKCTL_OUTPUT_H
#define RAVENLINKCTL_OUTPUT_H

#include <RavenlinkTools.h>
#include <StationLink.h>

#include <iosfwd>
#include <string>

namespace ctl {

// One-line and shown texts, as the bridge shows them.
using ravenlink::tools::oneLine;
using ravenlink::tools::shownLine;
using ravenlink::tools::shownText;

// The prefix of a reply line under -v that the link dropped because it
// carries another request's message id.
extern const char* const droppedPrefix;

// The observer for -v: each line of a request as "> LINE", of a reply as
// "< LINE", of a dropped reply as droppedPrefix and the line, on \p trace
// (standard error), which must outlive the link.
LineObserver wireTrace(std::ostream& trace);

// Prints \p what on \p err as one shownLine; returns exitFailed.
int failure(std::ostream& err, const std::string& what);

} // namespace ctl

#endif // RAVENLINKCTL_OUTPUT_H
