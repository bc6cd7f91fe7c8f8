// Small pieces that the project's command-line programs (ravenlinkctl and
// ravenlink-bridge) share: writing, the texts they show of what the station
// or a user sent, the failure texts and the number reader. Not part of the
// library's interface and not installed.
#ifndef RAVENLINK_TOOLS_H
#define RAVENLINK_TOOLS_H

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace ravenlink::tools {

/// Writes all of \p text to \p fd in as few writes as the kernel allows,
/// going on after an interrupted write. \return false when a write fails
bool writeAll(int fd, const std::string& text);

/// \p text on one line: each line feed and carriage return becomes a space,
/// and spaces at the end are dropped (a message that ended its last line).
std::string oneLine(const std::string& text);

/// \p text as a terminal may be shown it: control bytes as visible escapes
/// (ravenlink::visibleText), the reports' degree byte as "°" and any other
/// byte that is no UTF-8 as U+FFFD, so that the result is valid UTF-8.
std::string shownText(const std::string& text);

/// shownText of oneLine: for messages that name a port, a file, an argument.
std::string shownLine(const std::string& text);

/// \p text for a log record or a message about what a client sent: control
/// bytes as visible escapes, on whole UTF-8 characters (the C1 controls
/// U+0080 to U+009F as \x80 to \x9f), every byte that is no UTF-8 as U+FFFD.
/// At most \p limit bytes are shown, never half a character or escape, and
/// "..." marks a text that was cut.
std::string printable(const std::string& text, std::size_t limit = 200);

/// The text to show for \p failure of the library's \p operation (its name,
/// "openConnection"), on one line. The library's own exceptions name their
/// operation already and are shown as they are. Only a std::logic_error
/// needs words: openConnection lets through std::stoi's ("stoi") when the
/// station's protocol version is no number, which is said as
/// "openConnection: the station's protocol version is not a number".
std::string describeFailure(std::string_view operation, const std::exception& failure);

/// Reads \p text as a finite decimal number written in full, as
/// ravenlink::vocab::readNumber does. \return false (and \p value
/// unspecified) otherwise
bool parseNumber(const std::string& text, double& value);

} // namespace ravenlink::tools

#endif // RAVENLINK_TOOLS_H
