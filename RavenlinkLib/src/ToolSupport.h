// Small pieces that the project's command-line programs (ravenlinkctl and
// ravenlink-bridge) share. Not part of the library's interface and not
// installed; the programs reach it through the library's internal target.
#ifndef RAVENLINK_TOOL_SUPPORT_H
#define RAVENLINK_TOOL_SUPPORT_H

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace ravenlink {

/// Reads \p text as a finite number written in full: no blank in front,
/// nothing behind it. \return false (and \p value unspecified) otherwise
inline bool parseNumber(const std::string& text, double& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno == 0 && std::isfinite(value);
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
