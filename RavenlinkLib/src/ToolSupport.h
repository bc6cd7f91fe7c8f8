// Small pieces that the project's command-line programs (ravenlinkctl and
// ravenlink-bridge) share. Not part of the library's interface and not
// installed; the programs reach it through the library's internal target.
#ifndef RAVENLINK_TOOL_SUPPORT_H
#define RAVENLINK_TOOL_SUPPORT_H

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace ravenlink {

/// Reads \p text as a finite decimal number written in full: an optional
/// sign ('-' or '+'), digits with at most one decimal point (".5" and "5."
/// count), and an optional exponent ("1e3", "2.5E-2"). Nothing in front,
/// nothing behind; no hexadecimal ("0x10"), no "inf" or "nan", no digit
/// grouping. The locale plays no part. \return false (and \p value
/// unspecified) otherwise, also for a number beyond the range of double
inline bool parseNumber(const std::string& text, double& value)
{
    const auto digitsFrom = [&](std::size_t at) {
        std::size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            ++end;
        }
        return end;
    };
    std::size_t at = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    std::size_t digits = digitsFrom(at) - at;
    at += digits;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fraction = digitsFrom(at + 1) - (at + 1);
        digits += fraction;
        at += 1 + fraction;
    }
    if (digits == 0) {
        return false;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '-' || text[exponent] == '+')) {
            ++exponent;
        }
        const std::size_t end = digitsFrom(exponent);
        if (end == exponent) {
            return false;
        }
        at = end;
    }
    if (at != text.size()) {
        return false;
    }
    // from_chars takes no '+' and ignores the locale, unlike strtod.
    const char* const first = text.data() + (text[0] == '+' ? 1 : 0);
    const auto result = std::from_chars(first, text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
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
