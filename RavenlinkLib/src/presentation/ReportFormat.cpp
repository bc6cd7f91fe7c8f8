#include "ReportFormat.h"

#include <charconv>
#include <cmath>
#include <ios>
#include <limits>
#include <ostream>

namespace ravenlink {

namespace {

// std::to_chars is locale-free; a plain printf would follow LC_NUMERIC and
// could print a decimal comma.
template <typename T>
std::string integerText(T value)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// The report prints a float that a 32-bit integer cannot hold (only reachable
// with decoded integers at the very ends of the range) as the nearest end of
// that range instead of leaving the conversion undefined.
std::int32_t clampToInt32(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < -2147483648.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

std::string sixDecimal(float value)
{
    // The widest float in fixed notation has 39 integer digits.
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::fixed, 6);
    return std::string(buf, res.ptr);
}

std::string decimal(std::int32_t value) { return integerText(value); }

std::string unsignedDecimal(std::uint32_t value) { return integerText(value); }

std::int32_t roundedInt(float value) { return clampToInt32(std::round(static_cast<double>(value))); }

std::int32_t truncatedInt(float value) { return clampToInt32(std::trunc(static_cast<double>(value))); }

std::string duration(std::uint32_t seconds)
{
    const std::uint32_t rest = seconds % 3600U;
    return unsignedDecimal(seconds / 3600U) + ":" + unsignedDecimal(rest / 60U) + ":" +
           unsignedDecimal(rest % 60U);
}

std::string codeText(const CodeText* table, std::size_t count, int code)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (table[i].code == code) {
            return table[i].text;
        }
    }
    return decimal(code);
}

std::string visibleText(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte != 0x7F) {
            shown.push_back(ch);
        } else if (ch == '\n') {
            shown += "\\n";
        } else if (ch == '\r') {
            shown += "\\r";
        } else if (ch == '\t') {
            shown += "\\t";
        } else {
            shown += "\\x";
            shown.push_back(hex[byte >> 4]);
            shown.push_back(hex[byte & 0x0F]);
        }
    }
    return shown;
}

void writeText(std::ostream& out, const std::string& text)
{
    // A buffer-less stream is always in a bad state, so copying a caller's
    // exception mask that includes badbit into it would throw. The mask is
    // therefore lifted while the format is saved and put back at the end,
    // where it reports a failed write just as the insertion would have.
    const std::ios::iostate mask = out.exceptions();
    out.exceptions(std::ios::goodbit);
    std::ios state(nullptr);
    state.copyfmt(out);

    out << text;

    out.copyfmt(state);
    out.exceptions(mask);
}

} // namespace ravenlink
