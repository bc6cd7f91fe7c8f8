// One running ravenlinkstation child process, and a raw client line on a
// station's pseudo-terminal, for tests of the simulator and for end to end
// runs of the console and the command-line tool against it.
#ifndef RAVENLINK_TESTS_SIMULATOR_PROCESS_H
#define RAVENLINK_TESTS_SIMULATOR_PROCESS_H

#include "InteractiveChild.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace ravenlinktest {

/// A raw client line on one station's pseudo-terminal: requests out, reply
/// lines in, with the harness's one bounded read.
class StationLine {
public:
    using Ms = std::chrono::milliseconds;

    StationLine() = default;
    explicit StationLine(const std::string& path) { open(path); }
    ~StationLine()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    StationLine(const StationLine&) = delete;
    StationLine& operator=(const StationLine&) = delete;

    /// \return false when \p path cannot be opened
    bool open(const std::string& path)
    {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            return false;
        }
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
        return true;
    }
    bool isOpen() const { return fd >= 0; }

    /// \return false when the request line could not be written whole
    bool send(const std::string& request)
    {
        const std::string line = request + "\n";
        return ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    }

    /// One reply line, line feed included; "" when none came within \p limit.
    std::string receive(Ms limit = Ms(3000))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        std::size_t lineEnd = 0;
        while ((lineEnd = pending.find('\n')) == std::string::npos) {
            const auto left = std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now());
            const ReadResult got = left.count() > 0 ? readAvailable(fd, pending, left) : ReadResult::quiet;
            if (got == ReadResult::quiet || got == ReadResult::ended) {
                return "";
            }
        }
        const std::string line = pending.substr(0, lineEnd + 1);
        pending.erase(0, lineEnd + 1);
        return line;
    }

    /// The reply line to \p request, or "" when none came within \p limit.
    std::string ask(const std::string& request, Ms limit = Ms(3000))
    {
        return send(request) ? receive(limit) : "";
    }

private:
    int fd = -1;
    std::string pending;  // read past the last reply line
};

class Simulator {
public:
    using Ms = std::chrono::milliseconds;

    /// Starts the simulator with \p args; its standard error is not read.
    explicit Simulator(const std::vector<std::string>& args)
        : process(RAVENLINKSTATION_PATH, args, ErrorStream::discarded)
    {
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
        ASSERT_TRUE(line.open(path)) << path;
    }

    void send(const std::string& request) { ASSERT_TRUE(line.send(request)); }

    /// One reply line, line feed included; "" when none came within \p limit.
    std::string receive(Ms limit = Ms(3000)) { return line.receive(limit); }

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

private:
    InteractiveChild process;
    StationLine line;
};

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_SIMULATOR_PROCESS_H
