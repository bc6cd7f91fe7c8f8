// Number texts, code tables and the single guarded write shared by the status
// report and the details report. Every number is turned into text here, so
// that neither the caller's stream flags nor any global locale can change how
// a report reads.
#ifndef RAVENLINK_REPORT_FORMAT_H
#define RAVENLINK_REPORT_FORMAT_H

#include <ReportText.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace ravenlink {

/// The float widened to double with exactly six fraction digits and never an
/// exponent (12.5 -> "12.500000").
std::string sixDecimal(float value);

/// Signed 32-bit integer in base ten, no padding, no grouping.
std::string decimal(std::int32_t value);

/// Unsigned 32-bit integer in base ten, no padding.
std::string unsignedDecimal(std::uint32_t value);

/// Nearest integer, halves away from zero (23.5 -> 24, -0.5 -> -1). Values
/// beyond the 32-bit range are clamped to INT32_MIN / INT32_MAX, NaN gives 0.
std::int32_t roundedInt(float value);

/// Truncated toward zero (12.9 -> 12), clamped as roundedInt.
std::int32_t truncatedInt(float value);

/// Seconds as hours:minutes:seconds without padding, hours not limited to 24
/// (3725 -> "1:2:5").
std::string duration(std::uint32_t seconds);

/// One entry of a code-to-text table.
struct CodeText {
    int code;
    const char* text;
};

/// The text the table gives \p code; codes it does not list print as the
/// code in decimal, so an unknown code from a newer station stays readable.
std::string codeText(const CodeText* table, std::size_t count, int code);

template <std::size_t N>
std::string codeText(const CodeText (&table)[N], int code)
{
    return codeText(table, N, code);
}

// visibleText, the escape of control bytes, is public: ReportText.h.

/// The library's one writer: every printing operation composes its text
/// first and hands it here. Writes \p text to \p out in one insertion and
/// gives the stream back with the format state it came with (width, fill,
/// flags, precision, locale, exceptions mask).
void writeText(std::ostream& out, const std::string& text);

} // namespace ravenlink

#endif // RAVENLINK_REPORT_FORMAT_H
