// Shared pieces of the drills: replies composed the way the station composes
// them, a well-behaved responder, and a station whose line can be pulled
// like a USB adapter.
#ifndef RAVENLINK_TESTS_DRILL_SUPPORT_H
#define RAVENLINK_TESTS_DRILL_SUPPORT_H

#include "PtyStation.h"

#include <StationComposer.h>

#include <pty.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace drills {

using Ms = std::chrono::milliseconds;

/// A reply of the station: "COM" with \p id and \p comStatus, and \p member
/// when it is not SC_PART_COMMA. Built by the station's own composer.
inline std::string composedReply(unsigned id, sc_part member, unsigned comStatus = 0)
{
    // The composer's store is one per process; the drills share it.
    static std::mutex storeMutex;
    std::lock_guard<std::mutex> guard(storeMutex);
    char text[SC_MESSAGE_CAPACITY] = {};
    setMsgId(static_cast<uint16_t>(id));
    setComStatus(static_cast<uint16_t>(comStatus));
    setLength(1250);
    setRetTorque(40);
    setProductType("Loftward GS");
    composeCom(text);
    if (member != SC_PART_COMMA) {
        appendComma(text);
        sc_append(member, text, sizeof text);
    }
    wrapMessage(text);
    return std::string(text) + "\n";
}

/// Answers every request as a sound station would, by the command it carries.
inline std::string answerLikeStation(const std::string& request)
{
    const unsigned id = PtyStation::messageId(request);
    const auto asks = [&](sc_key k) { return request.find(sc_key_text[k]) != std::string::npos; };
    if (asks(SC_KEY_GET_PROTOCOL)) {
        return composedReply(id, SC_PART_PROTOCOL_VERSION);
    }
    if (asks(SC_KEY_GET_SYSTEM_STATUS)) {
        return composedReply(id, SC_PART_SYSTEM_STATUS);
    }
    if (asks(SC_KEY_GET_SYSTEM_DETAILS)) {
        return composedReply(id, SC_PART_SYSTEM_DETAILS);
    }
    if (asks(SC_KEY_GET_SYSTEM_CONFIG)) {
        return composedReply(id, SC_PART_SYSTEM_CONFIG);
    }
    return composedReply(id, SC_PART_COMMA);
}

/// A sound station on a pseudo-terminal whose line can be pulled: pull()
/// closes the station's end for good, as when a USB adapter is unplugged.
/// Whoever holds the port open keeps a descriptor on which reads find
/// nothing and writes fail.
class PullableStation {
public:
    PullableStation()
    {
        // Not inherited by a console child: the line must not outlive pull().
        portName = openStationPty(master, slave);
        worker = std::thread([this] { run(); });
    }

    ~PullableStation() { pull(); }

    PullableStation(const PullableStation&) = delete;
    PullableStation& operator=(const PullableStation&) = delete;

    const std::string& port() const { return portName; }

    /// Request lines answered so far.
    int answered() const { return answeredCount.load(); }

    /// Unplugs the line; idempotent.
    void pull()
    {
        if (worker.joinable()) {
            stopRequested = true;
            worker.join();
            unplug();
        }
    }

    /// Unplugs the line instead of answering the \p n-th request line (1 is
    /// the handshake), so the library is left waiting for a reply.
    void vanishAtRequest(int n) { vanishAt = n; }

private:
    void run()
    {
        std::string pending;
        char buffer[4096];
        while (!stopRequested) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, 5) <= 0 || (pfd.revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) {
                continue;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
                if (++requestCount == vanishAt.load()) {
                    unplug();
                    return;
                }
                const std::string reply = answerLikeStation(pending.substr(0, end));
                pending.erase(0, end + 1);
                if (::write(master, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size())) {
                    ++answeredCount;
                }
            }
        }
    }

    void unplug()
    {
        if (master >= 0) {
            ::close(master);
            ::close(slave);
            master = slave = -1;
        }
    }

    int master = -1;
    int slave = -1;
    std::string portName;
    int requestCount = 0;
    std::atomic<int> vanishAt{0};
    std::atomic<bool> stopRequested{false};
    std::atomic<int> answeredCount{0};
    std::thread worker;
};

} // namespace drills

#endif // RAVENLINK_TESTS_DRILL_SUPPORT_H
