// A scripted ground station on a pseudo-terminal, for tests that drive the
// real serial library (or the whole console program) without hardware.
//
// The library opens port() (the slave side, e.g. "/dev/pts/7"); a station
// thread owns the master side. It splits what it receives into request lines
// (line feed removed) and records them. For every request line it runs the
// next step of its script; when the script is used up it asks the responder
// (if one is set); otherwise it stays silent.
//
//   PtyStation station;
//   station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0}})" "\n"));
//   link.openConnection(station.port());
//   EXPECT_EQ(station.requests().at(0), ...);
//
// "$ID" in a reply text stands for the request's message id, so the reply
// echoes it as a real station does. Steps run on the station thread, one at
// a time; input that arrives meanwhile waits in the pseudo-terminal. Every
// wait inside a step ends early when the station is being stopped, so a
// step that never finishes (a flood) cannot hang a test.
//
// The line can also be pulled, as a USB adapter is unplugged: pull() at
// once, or vanishAtRequest(n) instead of answering the n-th request line.
#ifndef RAVENLINK_TESTS_PTY_STATION_H
#define RAVENLINK_TESTS_PTY_STATION_H

#include "ChildProcess.h"

#include <pty.h>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

/// Opens a pseudo-terminal for a test station and returns the name of the
/// side the library opens. Neither end is inherited by child programs (a
/// console started by a test would otherwise keep the line alive), and the
/// line is raw: no echo and no line editing, whoever opens it, or the
/// station would read its own replies back as requests.
inline std::string openStationPty(int& master, int& slave)
{
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    return name;
}

class PtyStation {
public:
    using Ms = std::chrono::milliseconds;

    /// The station's end of the line, handed to every step.
    class Line {
    public:
        explicit Line(PtyStation& owner) : station(owner) {}
        /// Writes all of \p bytes unless the station is being stopped.
        void write(const std::string& bytes) { station.writeAll(bytes); }
        /// Sleeps \p duration, or less when the station is being stopped.
        void pause(Ms duration) { station.pauseFor(duration); }
        /// True once the station is being stopped; long steps poll it.
        bool stopping() const { return station.stopRequested.load(); }

    private:
        PtyStation& station;
    };

    /// One scripted reaction to one request line.
    using Step = std::function<void(Line& line, const std::string& request)>;
    /// Fallback once the script is used up: the reply text for a request
    /// ("$ID" is replaced); an empty text means no answer.
    using Responder = std::function<std::string(const std::string& request)>;

    PtyStation()
    {
        portName = openStationPty(master, slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        worker = std::thread([this] { run(); });
    }

    ~PtyStation() { pull(); }

    PtyStation(const PtyStation&) = delete;
    PtyStation& operator=(const PtyStation&) = delete;

    /// The device name for openConnection().
    const std::string& port() const { return portName; }

    /// Appends \p step to the script: it answers the first request line that
    /// no earlier step has taken.
    void then(Step step)
    {
        std::lock_guard<std::mutex> guard(mutex);
        script.push_back(std::move(step));
    }

    /// Sets the fallback for requests beyond the script.
    void respondWith(Responder responder)
    {
        std::lock_guard<std::mutex> guard(mutex);
        fallback = std::move(responder);
    }

    /// Writes \p bytes now, from the calling thread, outside the script.
    void send(const std::string& bytes) { writeAll(bytes); }

    /// The request lines received so far, line feeds removed.
    std::vector<std::string> requests() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return received;
    }

    /// Bytes received after the last line feed (a request cut short).
    std::string unfinishedRequest() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return partial;
    }

    /// Waits until \p count request lines arrived; false after \p timeout.
    bool waitForRequests(std::size_t count, Ms timeout) const
    {
        std::unique_lock<std::mutex> guard(mutex);
        return arrived.wait_for(guard, timeout, [&] { return received.size() >= count; });
    }

    /// Waits until every step of the script has run to its end.
    bool waitForScript(Ms timeout) const
    {
        std::unique_lock<std::mutex> guard(mutex);
        return arrived.wait_for(guard, timeout, [&] { return script.empty() && !stepRunning; });
    }

    /// Unplugs the line for good: the station stops, and whoever holds the
    /// port open keeps a descriptor on which reads find nothing and writes
    /// fail. Idempotent; the destructor pulls too.
    void pull()
    {
        stopRequested = true;
        if (worker.joinable()) {
            worker.join();
        }
        unplug();
    }

    /// Unplugs the line instead of answering the \p n-th request line (1 is
    /// the handshake), so that the library is left waiting for its reply.
    void vanishAtRequest(std::size_t n) { vanishAt = n; }

    // ---- steps ----

    /// Answers with \p text at once.
    static Step reply(std::string text) { return replyAfter(Ms(0), std::move(text)); }

    /// Answers with \p text after \p delay.
    static Step replyAfter(Ms delay, std::string text)
    {
        return [delay, text](Line& line, const std::string& request) {
            line.pause(delay);
            line.write(withId(text, request));
        };
    }

    /// Sends \p pieces one after the other with \p gap between them, e.g. a
    /// reply that pauses in the middle of its line.
    static Step replyInPieces(std::vector<std::string> pieces, Ms gap)
    {
        return [pieces, gap](Line& line, const std::string& request) {
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                if (i > 0) {
                    line.pause(gap);
                }
                line.write(withId(pieces[i], request));
            }
        };
    }

    /// Does not answer this request.
    static Step silent()
    {
        return [](Line&, const std::string&) {};
    }

    /// Sends \p unit again and again, \p count times, or without end when
    /// \p count is 0 (until the station is stopped).
    static Step flood(std::string unit, std::size_t count)
    {
        return [unit, count](Line& line, const std::string&) {
            for (std::size_t i = 0; (count == 0 || i < count) && !line.stopping(); ++i) {
                line.write(unit);
            }
        };
    }

    /// Sends \p unit every \p gap until the station is stopped.
    static Step trickle(std::string unit, Ms gap)
    {
        return [unit, gap](Line& line, const std::string&) {
            while (!line.stopping()) {
                line.write(unit);
                line.pause(gap);
            }
        };
    }

    // ---- request helpers ----

    /// The message id of a request line; 0 when it carries none.
    static unsigned messageId(const std::string& request)
    {
        const std::string tag = "\"MSG_ID\":";
        const std::size_t at = request.find(tag);
        if (at == std::string::npos) {
            return 0;
        }
        return static_cast<unsigned>(std::strtoul(request.c_str() + at + tag.size(), nullptr, 10));
    }

    /// \p request with the digits of its message id replaced by "$ID", so
    /// that whole request texts can be compared.
    static std::string withoutId(const std::string& request)
    {
        const std::string tag = "\"MSG_ID\":";
        const std::size_t at = request.find(tag);
        if (at == std::string::npos) {
            return request;
        }
        const std::size_t begin = at + tag.size();
        std::size_t end = begin;
        while (end < request.size() && request[end] >= '0' && request[end] <= '9') {
            ++end;
        }
        return request.substr(0, begin) + "$ID" + request.substr(end);
    }

    /// \p text with every "$ID" replaced by the message id of \p request.
    static std::string withId(std::string text, const std::string& request)
    {
        const std::string id = std::to_string(messageId(request));
        for (std::size_t at = text.find("$ID"); at != std::string::npos; at = text.find("$ID", at + id.size())) {
            text.replace(at, 3, id);
        }
        return text;
    }

private:
    void run()
    {
        Line line(*this);
        std::string pending;
        while (!stopRequested) {
            // While the library has the port closed, the master reads as an
            // error: the station waits for it to come back.
            if (ravenlinktest::readAvailable(master, pending, std::chrono::milliseconds(5)) != ravenlinktest::ReadResult::data) {
                continue;
            }
            for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
                const std::string request = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (++lineCount == vanishAt.load()) {
                    record(request);
                    unplug();
                    return;
                }
                answer(line, request);
            }
            std::lock_guard<std::mutex> guard(mutex);
            partial = pending;
        }
    }

    void record(const std::string& request)
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            received.push_back(request);
        }
        arrived.notify_all();
    }

    void answer(Line& line, const std::string& request)
    {
        Step step;
        Responder responder;
        {
            std::lock_guard<std::mutex> guard(mutex);
            received.push_back(request);
            if (!script.empty()) {
                step = std::move(script.front());
                script.pop_front();
                stepRunning = true;
            } else {
                responder = fallback;
            }
        }
        arrived.notify_all();
        if (step) {
            step(line, request);
            {
                std::lock_guard<std::mutex> guard(mutex);
                stepRunning = false;
            }
            arrived.notify_all();
        } else if (responder) {
            const std::string text = responder(request);
            if (!text.empty()) {
                line.write(withId(text, request));
            }
        }
    }

    void writeAll(const std::string& bytes)
    {
        std::lock_guard<std::mutex> guard(writeMutex);
        std::size_t done = 0;
        while (done < bytes.size() && !stopRequested) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            } else {
                // The library is not reading: wait for room, but not past
                // the station's destruction.
                pollfd pfd{master, POLLOUT, 0};
                ::poll(&pfd, 1, 5);
            }
        }
    }

    // The slave is held open until then, so that the master stays usable
    // while the library closes and reopens the port.
    void unplug()
    {
        std::lock_guard<std::mutex> guard(writeMutex);
        if (master >= 0) {
            ::close(slave);
            ::close(master);
            master = slave = -1;
        }
    }

    void pauseFor(Ms duration)
    {
        const auto until = std::chrono::steady_clock::now() + duration;
        while (!stopRequested && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(Ms(1));
        }
    }

    int master = -1;
    int slave = -1;
    std::string portName;
    std::atomic<bool> stopRequested{false};
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::mutex writeMutex;
    std::deque<Step> script;
    Responder fallback;
    bool stepRunning = false;
    std::size_t lineCount = 0;  // station thread only
    std::atomic<std::size_t> vanishAt{0};
    std::vector<std::string> received;
    std::string partial;
    std::thread worker;
};

#endif // RAVENLINK_TESTS_PTY_STATION_H
