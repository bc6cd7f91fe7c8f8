// Small output helpers shared by the commands: one-line error texts, whole
// writes to a descriptor, and the verbose trace of the wire.
#ifndef RAVENLINKCTL_OUTPUT_H
#define RAVENLINKCTL_OUTPUT_H

#include <StationLink.h>

#include <iosfwd>
#include <string>

namespace ctl {

// \p text on one line: line breaks become blanks, trailing blanks go.
std::string oneLine(const std::string& text);

// \p text as it may reach a terminal or a log: control bytes shown as
// escapes, bytes that are no UTF-8 replaced (see reportToUtf8).
std::string shownText(const std::string& text);

// shownText of oneLine: for messages that name a port, a file, an argument
// or a station's words.
std::string shownLine(const std::string& text);

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
