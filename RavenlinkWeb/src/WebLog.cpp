#include "WebLog.h"

#include <RavenlinkTools.h>
#include <StationJson.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace web {

namespace {

std::mutex logMutex;

bool underJournal()
{
    static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
    return journal;
}

} // namespace

void logLine(LogLevel level, const std::string& text)
{
    static const char* const priorities[] = {"<3>", "<4>", "<6>"};
    static const char* const words[] = {"error", "warning", "info"};
    const auto index = static_cast<int>(level);
    std::string line = underJournal() ? std::string(priorities[index])
                                      : toIsoTime(std::chrono::system_clock::now()) + " " + words[index] + " ";
    line += ravenlink::tools::printable(text, 4000) + "\n";
    const std::lock_guard<std::mutex> lock(logMutex);
    ravenlink::tools::writeAll(STDERR_FILENO, line);
}

} // namespace web
