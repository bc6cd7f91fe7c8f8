#include "RavenlinkTools.h"

#include <ReportText.h>
#include <StationVocabulary.h>

#include <unistd.h>

#include <cerrno>
#include <new>
#include <stdexcept>

namespace ravenlink::tools {

namespace {

// The UTF-8 sequence at \p at: its length, and whether it is well formed.
// An ill-formed one is its maximal part, as Unicode recommends (a stray
// byte, or the start of a sequence as far as it went right), so that each
// becomes one replacement character.
struct Sequence {
    std::size_t length;
    bool wellFormed;
};

Sequence sequenceAt(const std::string& text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return {1, true};
    }
    // The length the lead byte announces and the range of the byte after
    // it, which excludes overlong forms, surrogates and code points beyond
    // U+10FFFF; every later byte is 0x80 to 0xBF.
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {1, false};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned byte = at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0U;
        if (byte < low || byte > high) {
            return {i, false};
        }
        low = 0x80;
        high = 0xBF;
    }
    return {length, true};
}

} // namespace

bool writeAll(int fd, const std::string& text)
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

std::string oneLine(const std::string& text)
{
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

std::string shownText(const std::string& text) { return reportToUtf8(visibleText(text)); }

std::string shownLine(const std::string& text) { return shownText(oneLine(text)); }

std::string printable(const std::string& text, std::size_t limit)
{
    // The library's rule for station bytes (control bytes as \n, \r, \t or
    // \xNN), on whole characters: the C1 controls U+0080 to U+009F steer a
    // terminal as the C0 ones do and are shown as \x80 to \x9f, and a byte
    // that is no UTF-8 becomes U+FFFD, so that every record is valid UTF-8.
    std::string shown;
    std::size_t at = 0;
    while (at < text.size() && at < limit) {
        const auto [length, wellFormed] = sequenceAt(text, at);
        if (!wellFormed) {
            shown += "\xEF\xBF\xBD";
            at += length;
        } else if (length == 2 && static_cast<unsigned char>(text[at]) == 0xC2 &&
                   static_cast<unsigned char>(text[at + 1]) <= 0x9F) {
            static const char hex[] = "0123456789abcdef";
            const auto code = static_cast<unsigned char>(text[at + 1]);
            shown += std::string("\\x") + hex[code >> 4] + hex[code & 0x0F];
            at += 2;
        } else if (length == 1) {
            shown += visibleText(std::string(1, text[at]));
            ++at;
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return at < text.size() ? shown + "..." : shown;
}

std::string describeFailure(std::string_view operation, const std::exception& failure)
{
    const std::string name(operation);
    if (dynamic_cast<const std::logic_error*>(&failure) != nullptr) {
        // The handshake reads the version with std::stoi, whose own text
        // ("stoi") would tell the user nothing.
        if (operation == "openConnection") {
            return "openConnection: the station's protocol version is not a number";
        }
        return name + ": unexpected failure (" + oneLine(failure.what()) + ")";
    }
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) {
        return name + ": out of memory";
    }
    return oneLine(failure.what());
}

bool parseNumber(const std::string& text, double& value)
{
    const std::optional<double> number = vocab::readNumber(text);
    if (number) {
        value = *number;
    }
    return number.has_value();
}

} // namespace ravenlink::tools
