// A program run as a child process and driven like an operator would: wait
// until it shows a text, then type a line, send a signal or close its input.
// Every wait is bounded; whatever happens, the child is killed before the
// object goes away, so a drill can never leave a process behind or hang.
//
//   InteractiveChild app(RAVENLINKAPP_PATH);
//   ASSERT_TRUE(app.waitFor("connect to port: "));
//   app.signal(SIGINT);
//   app.type(port + "\n");
//   const ChildResult result = app.finish();
#ifndef RAVENLINK_TESTS_INTERACTIVE_CHILD_H
#define RAVENLINK_TESTS_INTERACTIVE_CHILD_H

#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <pty.h>
#include <string>
#include <vector>

namespace ravenlinktest {

/// Where the child's standard error goes.
enum class ErrorStream {
    withOutput,  ///< into the same pipe as standard output, in order
    discarded,   ///< to /dev/null, so that only standard output is read
};

/// Runs the child with all three standard streams on one pseudo-terminal,
/// for programs that behave differently on a terminal.
struct OnTerminal {
};

class InteractiveChild {
public:
    using Ms = std::chrono::milliseconds;

    /// \throw std::runtime_error no pseudo-terminal, or the program cannot be started
    InteractiveChild(OnTerminal, const std::string& program, const std::vector<std::string>& arguments = {})
    {
        detail::ignoreBrokenPipes();
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            detail::throwErrno("openpty");
        }
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
        try {
            childPid = detail::spawnChild(program, "", arguments, slave, slave, slave);
        } catch (...) {
            ::close(master);
            ::close(slave);
            throw;
        }
        ::close(slave);
        // The terminal's one master end both reads and writes; each pipe
        // object owns a descriptor of its own on it.
        in.closeEnd(0);
        in.closeEnd(1);
        out.closeEnd(0);
        out.closeEnd(1);
        in.fd[1] = master;
        out.fd[0] = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
        ::fcntl(out.fd[0], F_SETFL, O_NONBLOCK);
        ::fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
    }

    /// \throw std::runtime_error the pipes cannot be made or the program cannot be started
    explicit InteractiveChild(const std::string& program, const std::vector<std::string>& arguments = {},
                              ErrorStream errors = ErrorStream::withOutput)
    {
        detail::ignoreBrokenPipes();
        const int nowhere = errors == ErrorStream::discarded ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
        try {
            childPid = detail::spawnChild(program, "", arguments, in.fd[0], out.fd[1], nowhere >= 0 ? nowhere : out.fd[1]);
        } catch (...) {
            if (nowhere >= 0) {
                ::close(nowhere);
            }
            throw;
        }
        if (nowhere >= 0) {
            ::close(nowhere);
        }
        in.closeEnd(0);
        out.closeEnd(1);
        ::fcntl(out.fd[0], F_SETFL, O_NONBLOCK);
        ::fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
    }

    ~InteractiveChild()
    {
        if (!reaped) {
            ::kill(childPid, SIGKILL);
            int status = 0;
            ::waitpid(childPid, &status, 0);
        }
    }

    InteractiveChild(const InteractiveChild&) = delete;
    InteractiveChild& operator=(const InteractiveChild&) = delete;

    /// Waits until the output holds \p text for the \p count-th time since
    /// the last successful wait; false after \p timeout.
    bool waitFor(const std::string& text, int count = 1, Ms timeout = Ms(10000))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::size_t at = seen;
            int found = 0;
            while (found < count && (at = output.find(text, at)) != std::string::npos) {
                ++found;
                at += text.size();
            }
            if (found == count) {
                seen = at;
                return true;
            }
            const auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(left)) {
                return false;
            }
        }
    }

    /// The next line of output after the last successful wait, line feed
    /// included; "" when no whole line came within \p timeout.
    std::string nextLine(Ms timeout = Ms(10000))
    {
        const std::size_t from = seen;
        return waitFor("\n", 1, timeout) ? output.substr(from, seen - from) : "";
    }

    /// Writes \p text to the child's input (all of it, within 10 s).
    void type(const std::string& text)
    {
        std::size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + Ms(10000);
        while (done < text.size() && in.fd[1] >= 0 && std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = ::write(in.fd[1], text.data() + done, text.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            }
            // The child reads slower than we write: keep its output flowing.
            readSome(Ms(1));
        }
    }

    /// Sends \p signalNumber to the child.
    void signal(int signalNumber) { ::kill(childPid, signalNumber); }

    /// The child's process id, e.g. to look at it under /proc.
    pid_t pid() const { return childPid; }

    /// Ends the child's input (end of file at its next read).
    void closeInput() { in.closeEnd(1); }

    /// Waits for the child to end, closing its input first unless
    /// \p keepInput; kills it after \p timeout (timedOut is then set).
    /// Once the child has ended, every further call gives the same result.
    ChildResult finish(Ms timeout = Ms(10000), bool keepInput = false)
    {
        if (reaped) {
            return ending;
        }
        if (!keepInput) {
            closeInput();
        }
        ChildResult& result = ending;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.fd[0] >= 0) {
            const auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ::kill(childPid, SIGKILL);
                result.timedOut = true;
                break;
            }
            readSome(left);
        }
        int status = 0;
        while (::waitpid(childPid, &status, 0) < 0 && errno == EINTR) {
        }
        reaped = true;
        if (WIFEXITED(status)) {
            result.exitStatus = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.termSignal = WTERMSIG(status);
        }
        result.output = output;
        return result;
    }

    /// Processor time the child has used so far (user and system), in
    /// milliseconds; -1 when it cannot be read.
    long cpuTimeMs() const
    {
        const long ticks = cpuTicks(childPid);
        return ticks < 0 ? -1 : ticks * 1000 / ::sysconf(_SC_CLK_TCK);
    }

    /// Everything the child wrote so far (standard output and error).
    const std::string& text() const { return output; }

private:
    // Reads what is there, waiting at most \p wait; false once the output
    // has ended or nothing came.
    bool readSome(Ms wait)
    {
        if (out.fd[0] < 0) {
            return false;
        }
        switch (readAvailable(out.fd[0], output, wait)) {
        case ReadResult::quiet:
            return false;
        case ReadResult::ended:
            // A terminal whose child has gone reads as an error, not as end of file.
            out.closeEnd(0);
            return false;
        default:
            return true;
        }
    }

    detail::Pipe in;
    detail::Pipe out;
    pid_t childPid = -1;
    bool reaped = false;
    ChildResult ending;
    std::string output;
    std::size_t seen = 0;
};

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_INTERACTIVE_CHILD_H
