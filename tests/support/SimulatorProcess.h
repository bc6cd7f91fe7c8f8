// One running ravenlinkstation child process, and optionally its
// pseudo-terminal opened as a client, for tests of the simulator and for end
// to end runs of the console against it.
#ifndef RAVENLINK_TESTS_SIMULATOR_PROCESS_H
#define RAVENLINK_TESTS_SIMULATOR_PROCESS_H

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ravenlinktest {

// One running ravenlinkstation with its pseudo-terminal opened as a client.
class Simulator {
public:
    using Clock = std::chrono::steady_clock;

    explicit Simulator(std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0) {
            throw std::runtime_error("pipe");
        }
        args.insert(args.begin(), RAVENLINKSTATION_PATH);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdoutFd = out[0];
        if (rc != 0) {
            pid = -1;
            throw std::runtime_error("cannot start the simulator");
        }
    }

    ~Simulator()
    {
        if (port >= 0) {
            close(port);
        }
        close(stdoutFd);
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // The announced path, or "" when none came within the time limit.
    std::string readyPath()
    {
        const std::string line = readLine(stdoutFd, std::chrono::seconds(5));
        const std::string prefix = "Station ready on ";
        return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size(), line.size() - prefix.size() - 1) : "";
    }

    // Standard output up to its end (or the time limit).
    std::string readOutput()
    {
        std::string all;
        for (std::string line; !(line = readLine(stdoutFd, std::chrono::seconds(3))).empty();) {
            all += line;
        }
        return all;
    }

    void connect()
    {
        const std::string path = readyPath();
        ASSERT_FALSE(path.empty());
        port = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(port, 0) << path;
        termios tio{};
        tcgetattr(port, &tio);
        cfmakeraw(&tio);
        tcsetattr(port, TCSANOW, &tio);
    }

    void send(const std::string& request)
    {
        const std::string line = request + "\n";
        ASSERT_EQ(write(port, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }

    // One reply line, line feed included; "" when none came in time.
    std::string receive(std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) { return readLine(port, limit); }

    std::string ask(const std::string& request)
    {
        send(request);
        return receive();
    }

    // Sends \p sig and waits for the exit; the exit status, or -1.
    int stop(int sig)
    {
        kill(pid, sig);
        return waitExit(std::chrono::seconds(5));
    }

    int waitExit(std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        int status = 0;
        while (Clock::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    pid_t pid = -1;

private:
    std::string readLine(int fd, std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        std::string line;
        while (line.empty() || line.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
                return "";
            }
            char c = 0;
            const ssize_t n = read(fd, &c, 1);
            if (n == 1) {
                line.push_back(c);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return "";
            }
        }
        return line;
    }

    int stdoutFd = -1;
    int port = -1;
    bool exited = false;
};

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_SIMULATOR_PROCESS_H
