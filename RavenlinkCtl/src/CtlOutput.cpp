#include "CtlOutput.h"

#include "CtlArguments.h"

#include "ReportFormat.h"

#include <ReportText.h>

#include <iostream>

namespace ctl {

std::string oneLine(const std::string& text)
{
    std::string line;
    for (const char c : text) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

std::string shownText(const std::string& text) { return reportToUtf8(ravenlink::visibleText(text)); }

std::string shownLine(const std::string& text) { return shownText(oneLine(text)); }

const char* const droppedPrefix = "x (dropped: another request's id) ";

LineObserver wireTrace()
{
    return [](LineDirection direction, const std::string& text) {
        const char* const prefix = direction == LineDirection::request ? "> "
                                   : direction == LineDirection::reply ? "< "
                                                                       : droppedPrefix;
        std::string trace;
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find('\n', begin);
            if (end == std::string::npos) {
                end = text.size();
            }
            trace += prefix + shownText(text.substr(begin, end - begin)) + "\n";
            begin = end + 1;
        }
        if (text.empty()) {
            trace = std::string(prefix) + "\n";
        }
        // One write per text, so that the trace of one line stays together.
        std::cerr << trace << std::flush;
    };
}

int failure(const std::string& what)
{
    std::cerr << shownLine(what) << '\n';
    return exitFailed;
}

} // namespace ctl
