// Small output helpers shared by the commands: one-line error texts, whole
// writes to a descriptor, and the verbose trace of the wire.
#ifndef RAVENLINKCTL_OUTPUT_H
#define RAVENLINKCTL_OUTPUT_H

#include <StationLink.h>

#include <string>

namespace ctl {

// \p text on one line: line breaks become blanks, trailing blanks go.
std::string oneLine(const std::string& text);

// The observer for -v: each line of a request as "> LINE", of a reply as
// "< LINE", on standard error.
LineObserver wireTrace();

// Prints \p what on standard error as one line; returns exitFailed.
int failure(const std::string& what);

} // namespace ctl

#endif // RAVENLINKCTL_OUTPUT_H
