#include "BridgeLog.h"

#include "ReportFormat.h"
#include "ToolSupport.h"

#include <StationJson.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace bridge {

namespace {

std::mutex logMutex;

bool underJournal()
{
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    return journal;
}

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

std::string printable(const std::string& text, std::size_t limit)
{
    // The library's rule for station bytes (control bytes as \n, \r, \t or
    // \xNN), on whole characters: the C1 controls U+0080 to U+009F steer a
    // terminal as the C0 ones do and are shown as \x80 to \x9f, and a byte
    // that is no UTF-8 becomes U+FFFD, so that every record is valid UTF-8.
    // At most \p limit bytes are shown, never half a character or escape.
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
            shown += ravenlink::visibleText(std::string(1, text[at]));
            ++at;
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return at < text.size() ? shown + "..." : shown;
}

void logLine(LogLevel level, const std::string& text)
{
    static const char* const priorities[] = {"<3>", "<4>", "<6>"};
    static const char* const words[] = {"error", "warning", "info"};
    const auto index = static_cast<int>(level);
    std::string line = underJournal() ? std::string(priorities[index])
                                      : toIsoTime(std::chrono::system_clock::now()) + " " + words[index] + " ";
    line += printable(text, 4000) + "\n";
    // One write per record, so that records of several threads never mix.
    const std::lock_guard<std::mutex> lock(logMutex);
    ravenlink::writeAll(STDERR_FILENO, line);
}

} // namespace bridge
