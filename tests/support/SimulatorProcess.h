// One running ravenlinkstation child process, and optionally its
// pseudo-terminal opened as a client, for tests of the simulator and for end
// to end runs of the console and the command-line tool against it.
#ifndef RAVENLINK_TESTS_SIMULATOR_PROCESS_H
#define RAVENLINK_TESTS_SIMULATOR_PROCESS_H

#include "InteractiveChild.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace ravenlinktest {

class Simulator {
public:
    using Ms = std::chrono::milliseconds;

    /// Starts the simulator with \p args; its standard error is not read.
    explicit Simulator(const std::vector<std::string>& args)
        : process(RAVENLINKSTATION_PATH, args, ErrorStream::discarded)
    {
    }

    ~Simulator()
    {
        if (port >= 0) {
            ::close(port);
        }
    }

    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// The path the simulator announced, or "" when none came in time.
    std::string readyPath()
    {
        const std::string line = process.nextLine();
        const std::string prefix = "Station ready on ";
        return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size(), line.size() - prefix.size() - 1) : "";
    }

    /// Opens the announced pseudo-terminal as a raw client line.
    void connect()
    {
        const std::string path = readyPath();
        ASSERT_FALSE(path.empty());
        port = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(port, 0) << path;
        termios tio{};
        ::tcgetattr(port, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(port, TCSANOW, &tio);
    }

    void send(const std::string& request)
    {
        const std::string line = request + "\n";
        ASSERT_EQ(::write(port, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }

    /// One reply line, line feed included; "" when none came within \p limit.
    std::string receive(Ms limit = Ms(3000)) { return readLine(port, limit); }

    std::string ask(const std::string& request)
    {
        send(request);
        return receive();
    }

    /// Sends \p sig and waits for the exit; the exit status, or -1.
    int stop(int sig)
    {
        process.signal(sig);
        return waitExit(Ms(10000));
    }

    /// Waits for the simulator to end by itself; its exit status, or -1 when
    /// it was still running after \p limit (it is then killed) or ended on a
    /// signal.
    int waitExit(Ms limit) { return process.finish(limit, true).exitStatus; }

    /// One line from \p fd, line feed included; "" when none came in time.
    static std::string readLine(int fd, Ms limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        std::string line;
        while (line.empty() || line.back() != '\n') {
            const auto left = std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now()).count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
                return "";
            }
            char c = 0;
            const ssize_t n = ::read(fd, &c, 1);
            if (n == 1) {
                line.push_back(c);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return "";
            }
        }
        return line;
    }

private:
    InteractiveChild process;
    int port = -1;
};

/// A raw client line on one station's pseudo-terminal, for a simulator that
/// serves several (--count).
class StationLine {
public:
    using Ms = std::chrono::milliseconds;

    explicit StationLine(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    ~StationLine()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    StationLine(const StationLine&) = delete;
    StationLine& operator=(const StationLine&) = delete;

    bool isOpen() const { return fd >= 0; }

    /// The reply line to \p request, or "" when none came within \p limit.
    std::string ask(const std::string& request, Ms limit = Ms(3000))
    {
        const std::string line = request + "\n";
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return "";
        }
        return Simulator::readLine(fd, limit);
    }

private:
    int fd;
};

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_SIMULATOR_PROCESS_H
