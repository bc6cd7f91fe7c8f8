/*!
 * \file ChildProcess.h
 * \brief Runs a program as a child process with piped standard streams:
 * feeds it a text on standard input, collects standard output and standard
 * error, and kills it when it overruns its time limit.
 */
#ifndef RAVENLINK_TEST_CHILD_PROCESS_H
#define RAVENLINK_TEST_CHILD_PROCESS_H

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ravenlinktest {

/*! What to run. */
struct ChildRun {
    std::string program;                 //!< path of the program to execute
    std::vector<std::string> arguments;  //!< argv[1] onwards
    std::string input;                   //!< written to standard input, which is then closed
    std::string argv0;                   //!< argv[0]; the program path when empty
    std::chrono::milliseconds timeout{10000};  //!< the child is killed with SIGKILL after this
};

/*! How it went. */
struct ChildResult {
    std::string output;    //!< everything written to standard output
    std::string errors;    //!< everything written to standard error
    int exitStatus = -1;   //!< exit status, or -1 when the child did not exit by itself
    int termSignal = 0;    //!< the signal that ended the child, 0 when it exited
    bool timedOut = false; //!< the child overran its time limit and was killed
};

/*! What one bounded read of a descriptor gave. */
enum class ReadResult {
    data,   //!< bytes were appended
    quiet,  //!< nothing came within the wait
    again,  //!< woken without bytes (EAGAIN, EINTR): look again
    ended,  //!< end of file or a read error: nothing more will come
};

/*!
 * The one read loop step of the test harness, for pipes and pseudo-terminals
 * alike: waits at most \p wait for \p fd to be readable and appends what is
 * there to \p into.
 */
inline ReadResult readAvailable(int fd, std::string& into, std::chrono::milliseconds wait)
{
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0))) <= 0) {
        return ReadResult::quiet;
    }
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        return ReadResult::data;
    }
    return n < 0 && (errno == EAGAIN || errno == EINTR) ? ReadResult::again : ReadResult::ended;
}

/*!
 * Processor time (user and system, all threads) that process \p pid has used
 * so far, in clock ticks (sysconf(_SC_CLK_TCK) a second); -1 when its entry
 * in /proc cannot be read, as once it has been reaped.
 */
inline long cpuTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) {
        return -1;
    }
    // Fields after the command name: state is field 3, utime 14, stime 15.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) {
            ticks += std::stol(field);
        }
    }
    return ticks;
}

namespace detail {

inline void throwErrno(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// Owns both ends of a pipe and closes whatever is still open.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe()
    {
        if (::pipe2(fd, O_CLOEXEC) != 0) {
            throwErrno("pipe2");
        }
    }
    ~Pipe()
    {
        closeEnd(0);
        closeEnd(1);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void closeEnd(int i)
    {
        if (fd[i] >= 0) {
            ::close(fd[i]);
            fd[i] = -1;
        }
    }
};

// Spawn attributes and file actions, destroyed on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attr{};
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Writing to a child that has already closed its input must not kill the
// test program; the child itself gets the default disposition back.
inline void ignoreBrokenPipes()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

/*!
 * Starts \p program with its standard streams on the given descriptors,
 * SIGPIPE and SIGINT at their defaults and no signal blocked, as a shell
 * would start it. \p argv0 replaces the program path as argv[0] when set.
 * \throw std::runtime_error the program cannot be started
 */
inline pid_t spawnChild(const std::string& program, const std::string& argv0,
                        const std::vector<std::string>& arguments, int stdinFd, int stdoutFd, int stderrFd)
{
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, stdinFd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, stdoutFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, stderrFd, STDERR_FILENO);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigmask(&setup.attr, &noneBlocked);
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> args;
    args.push_back(argv0.empty() ? program : argv0);
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawnError = posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attr, argv.data(), environ);
    if (spawnError != 0) {
        errno = spawnError;
        throwErrno("posix_spawn");
    }
    return pid;
}

} // namespace detail

/*!
 * Runs \p run.program and waits until it has ended and closed its output.
 * \throw std::runtime_error the pipes cannot be made or the program cannot be started
 */
inline ChildResult runChildProcess(const ChildRun& run)
{
    detail::ignoreBrokenPipes();
    detail::Pipe in;
    detail::Pipe out;
    detail::Pipe err;

    const pid_t pid = detail::spawnChild(run.program, run.argv0, run.arguments, in.fd[0], out.fd[1], err.fd[1]);
    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);
    if (run.input.empty()) {
        in.closeEnd(1);
    } else {
        ::fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
    }

    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + run.timeout;
    std::size_t written = 0;
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        pollfd fds[3] = {{in.fd[1], POLLOUT, 0}, {out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
        const int ready = ::poll(fds, 3, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            detail::throwErrno("poll");
        }
        if (ready <= 0) {
            continue;
        }
        if (fds[0].revents != 0) {
            const ssize_t n = ::write(in.fd[1], run.input.data() + written, run.input.size() - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            }
            // A child that stopped reading gets no more input.
            if (written == run.input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                in.closeEnd(1);
            }
        }
        detail::Pipe* sources[2] = {&out, &err};
        std::string* sinks[2] = {&result.output, &result.errors};
        for (int i = 0; i < 2; ++i) {
            if (fds[i + 1].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(sources[i]->fd[0], buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                sources[i]->closeEnd(0);
            }
        }
    }
    in.closeEnd(1);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.termSignal = WTERMSIG(status);
    }
    return result;
}

/*! Runs \p program with \p arguments and \p input under the default time limit. */
inline ChildResult runChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                                   const std::string& input)
{
    ChildRun run;
    run.program = program;
    run.arguments = arguments;
    run.input = input;
    return runChildProcess(run);
}

} // namespace ravenlinktest

#endif // RAVENLINK_TEST_CHILD_PROCESS_H
