#include "ProgramLog.h"

#include "RavenlinkTools.h"

#include <StationJson.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace ravenlink::tools {

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
    line += printable(text, 4000) + "\n";
    // One write per record, so that records of several threads never mix.
    const std::lock_guard<std::mutex> lock(logMutex);
    writeAll(STDERR_FILENO, line);
}

sigset_t blockSignals(std::initializer_list<int> signals)
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : signals) {
        sigaddset(&set, signal);
    }
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return set;
}

} // namespace ravenlink::tools
