#include "CtlOutput.h"

#include "CommandTable.h"

#include <ostream>

namespace ctl {

const char* const droppedPrefix = "x (dropped: another request's id) ";

LineObserver wireTrace(std::ostream& trace)
{
    return [&trace](LineDirection direction, const std::string& text) {
        const char* const prefix = direction == LineDirection::request ? "> "
                                   : direction == LineDirection::reply ? "< "
                                                                       : droppedPrefix;
        std::string lines;
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find('\n', begin);
            if (end == std::string::npos) {
                end = text.size();
            }
            lines += prefix + shownText(text.substr(begin, end - begin)) + "\n";
            begin = end + 1;
        }
        if (text.empty()) {
            lines = std::string(prefix) + "\n";
        }
        // One write per text, so that the trace of one line stays together.
        trace << lines << std::flush;
    };
}

int failure(std::ostream& err, const std::string& what)
{
    err << shownLine(what) << '\n';
    return exitFailed;
}

} // namespace ctl
