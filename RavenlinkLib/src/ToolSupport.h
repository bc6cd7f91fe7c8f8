// Small pieces that the project's command-line programs (ravenlinkctl and
// ravenlink-bridge) share. Not part of the library's interface and not
// installed; the programs reach it through the library's internal target.
// Being replaced by ravenlink_tools (RavenlinkTools.h).
#ifndef RAVENLINK_TOOL_SUPPORT_H
#define RAVENLINK_TOOL_SUPPORT_H

#include <unistd.h>

#include <StationVocabulary.h>

#include <cerrno>
#include <optional>
#include <string>

namespace ravenlink {

/// Reads \p text as a finite decimal number written in full
/// (vocab::readNumber). \return false (and \p value unspecified) otherwise
inline bool parseNumber(const std::string& text, double& value)
{
    const std::optional<double> number = vocab::readNumber(text);
    value = number.value_or(0.0);
    return number.has_value();
}

/// Writes all of \p text to \p fd in as few writes as the kernel allows,
/// going on after an interrupted write. \return false when a write fails
inline bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            // A write that takes nothing would otherwise be tried forever.
            return false;
        }
    }
    return true;
}

} // namespace ravenlink

#endif // RAVENLINK_TOOL_SUPPORT_H
