// Looking at a console program from the outside while it is being stopped:
// the station's view of its line (does anyone still hold it open?), the
// children of a process a test started (found by name), and whether a signal
// sent to one of them has been taken (so that the next one counts apart).
#ifndef RAVENLINK_TESTS_CONSOLE_PROBES_H
#define RAVENLINK_TESTS_CONSOLE_PROBES_H

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace consoleprobes {

using Ms = std::chrono::milliseconds;

/// Counts the opens and closes of a device (a station's line) from the
/// moment it is constructed on.
class LineWatch {
public:
    explicit LineWatch(const std::string& path)
    {
        fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0 || ::inotify_add_watch(fd, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
            throw std::runtime_error("cannot watch " + path);
        }
    }
    ~LineWatch() { ::close(fd); }
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    /// Waits until every open seen so far has been closed again; false
    /// after \p timeout.
    bool waitUntilReleased(Ms timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            takeEvents();
            if (closes >= opens) {
                return true;
            }
            const auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
            pollfd pfd{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
        }
    }

    /// How often the line was opened so far.
    int openCount()
    {
        takeEvents();
        return opens;
    }

private:
    void takeEvents()
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opens += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                closes += (event->mask & IN_CLOSE) != 0 ? 1 : 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
    }

    int fd = -1;
    int opens = 0;
    int closes = 0;
};

/// The pid of a running child of \p parent whose program is \p name (as
/// the kernel shortens it, 15 characters); -1 when there is none. For a
/// process a test did not start itself, such as the console a script runs.
inline pid_t childNamed(pid_t parent, const std::string& name)
{
    const std::string task = "/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent);
    std::ifstream children(task + "/children");
    for (pid_t pid = 0; children >> pid;) {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string program;
        if (std::getline(comm, program) && program == name) {
            return pid;
        }
    }
    return -1;
}

/// Waits until \p signalNumber is no longer pending for \p pid: its handler
/// has taken it, or the process has ended. false after \p timeout.
inline bool waitSignalTaken(pid_t pid, int signalNumber, Ms timeout)
{
    const unsigned long long bit = 1ULL << (signalNumber - 1);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        bool pending = false;
        bool ended = !status;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("State:", 0) == 0) {
                ended = ended || line.find('Z') != std::string::npos || line.find('X') != std::string::npos;
            } else if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) {
                pending = pending || (std::strtoull(line.c_str() + 7, nullptr, 16) & bit) != 0;
            }
        }
        if (ended || !pending) {
            return true;
        }
        std::this_thread::sleep_for(Ms(1));
    }
    return false;
}

} // namespace consoleprobes

#endif // RAVENLINK_TESTS_CONSOLE_PROBES_H
