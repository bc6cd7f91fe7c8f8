#include "StationPort.h"

#include "StationSignals.h"

#include <serial.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

class PseudoTerminalPort : public StationPort {
public:
    PseudoTerminalPort()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            throw systemError("cannot create a pseudo-terminal");
        }
        slavePath = name;
        // Raw 8N1 like the station's UART: no echo, no line editing, no CR/LF mapping.
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        tcsetattr(slave, TCSANOW, &tio);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
        // The slave stays open here as well: otherwise the master reports a
        // hang-up whenever no client holds the port, and poll() would spin.
    }

    ~PseudoTerminalPort() override { close(); }

    std::string path() const override { return slavePath; }

    PortWait waitReadable(int timeoutMs) override { return waitFor(POLLIN, timeoutMs); }

    std::string readAvailable() override
    {
        std::string data;
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n > 0) {
                data.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO) {
                throw systemError("reading the pseudo-terminal failed");
            }
            return data;
        }
    }

    bool writeAll(const std::string& data) override
    {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(master, data.data() + done, data.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Nobody reads: wait until the line drains, or a stop.
                if (waitFor(POLLOUT, -1) == PortWait::Stopped) {
                    return false;
                }
            } else if (n < 0 && errno != EINTR) {
                throw systemError("writing the pseudo-terminal failed");
            }
            if (stopRequested()) {
                return false;
            }
        }
        return true;
    }

    void drain(int maxMs) override
    {
        // Closing the master discards what the client has not read yet;
        // the slave's input queue shows how much that is. Bytes just written
        // reach that queue a moment later, so the first look waits a little.
        const int settleMs = std::min(maxMs, 20);
        if (slave < 0 || !pauseUnlessStopped(settleMs)) {
            return;
        }
        for (int waited = settleMs; waited < maxMs; waited += 10) {
            int pending = 0;
            if (ioctl(slave, FIONREAD, &pending) != 0 || pending == 0 || !pauseUnlessStopped(10)) {
                return;
            }
        }
    }

    void close() override
    {
        for (int* fd : {&master, &slave}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
    }

private:
    PortWait waitFor(short events, int timeoutMs)
    {
        pollfd fds[2] = {{master, events, 0}, {stopFd(), POLLIN, 0}};
        for (;;) {
            if (stopRequested()) {
                return PortWait::Stopped;
            }
            const int n = poll(fds, 2, timeoutMs);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw systemError("waiting on the pseudo-terminal failed");
            }
            if (stopRequested()) {
                return PortWait::Stopped;
            }
            return n == 0 ? PortWait::Timeout : PortWait::Readable;
        }
    }

    int master = -1;
    int slave = -1;
    std::string slavePath;
};

class SerialDevicePort : public StationPort {
public:
    explicit SerialDevicePort(const std::string& device)
        : port(device, 115200, serial::Timeout::simpleTimeout(kSliceMs))
    {
    }

    std::string path() const override { return port.getPort(); }

    PortWait waitReadable(int timeoutMs) override
    {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        for (;;) {
            if (stopRequested()) {
                return PortWait::Stopped;
            }
            if (available() > 0) {
                return PortWait::Readable;
            }
            int slice = kSliceMs;
            if (timeoutMs >= 0) {
                const auto spent =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
                if (spent >= timeoutMs) {
                    return PortWait::Timeout;
                }
                slice = static_cast<int>(std::min<long long>(kSliceMs, timeoutMs - spent));
            }
            // The serial library waits with select() for up to its read timeout;
            // short slices keep a stop request from waiting long.
            serial::Timeout timeout = serial::Timeout::simpleTimeout(static_cast<std::uint32_t>(slice));
            port.setTimeout(timeout);
            guarded([&] { port.waitReadable(); });
        }
    }

    std::string readAvailable() override
    {
        std::string data;
        guarded([&] {
            const std::size_t n = port.available();
            if (n > 0) {
                port.read(data, n);
            }
        });
        return data;
    }

    bool writeAll(const std::string& data) override
    {
        guarded([&] { port.write(data); });
        return !stopRequested();
    }

    void drain(int) override
    {
        guarded([&] { port.flush(); });
    }

    void close() override
    {
        guarded([&] { port.close(); });
    }

private:
    static constexpr int kSliceMs = 100;

    std::size_t available()
    {
        std::size_t n = 0;
        guarded([&] { n = port.available(); });
        return n;
    }

    template <typename F>
    void guarded(F&& f)
    {
        try {
            f();
        } catch (const std::exception& e) {
            throw std::runtime_error(std::string("serial device failed: ") + e.what());
        }
    }

    serial::Serial port;
};

} // namespace

std::unique_ptr<StationPort> openPseudoTerminal()
{
    return std::make_unique<PseudoTerminalPort>();
}

std::unique_ptr<StationPort> openSerialDevice(const std::string& device)
{
    try {
        return std::make_unique<SerialDevicePort>(device);
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot open " + device + ": " + e.what());
    }
}

PortLink::PortLink(std::string linkPathIn, std::string targetIn)
    : linkPath(std::move(linkPathIn)), target(std::move(targetIn))
{
    struct stat info {};
    if (lstat(linkPath.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            throw std::runtime_error("cannot make the link " + linkPath + ": a file that is not a link is there");
        }
        ::unlink(linkPath.c_str());
    }
    if (symlink(target.c_str(), linkPath.c_str()) != 0) {
        throw systemError("cannot make the link " + linkPath);
    }
}

PortLink::~PortLink()
{
    remove();
}

void PortLink::remove()
{
    if (linkPath.empty()) {
        return;
    }
    char current[4096];
    const ssize_t n = readlink(linkPath.c_str(), current, sizeof current - 1);
    if (n >= 0 && target == std::string(current, static_cast<std::size_t>(n))) {
        ::unlink(linkPath.c_str());
    }
    linkPath.clear();
}
