// Reading the station's replies off the serial port: every wait, the
// framing of a reply (the quiet-line rule and the complete-object rule),
// its bounds, and draining the line before a request. Byte framing only:
// the text is not parsed here; which lines answer another request is for
// the caller to say.
#ifndef RAVENLINK_LINE_READER_H
#define RAVENLINK_LINE_READER_H

#include "SerialPort.h"
#include "StationLink.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace ravenlink::transport {

class LineReader {
public:
    using Clock = std::chrono::steady_clock;
    /// Says of one whole reply line (line feed cut off) that it answers
    /// another request, so that it is dropped instead of kept.
    using StaleLine = std::function<bool(const std::string& line)>;

    explicit LineReader(SerialPort& port) : port(port) {}

    /// A reply longer than this is abandoned, so a station that keeps sending
    /// cannot make the buffer grow.
    static constexpr std::size_t maxReplyBytes = 65536;
    /// Collecting a reply may take this many times the command's wait...
    static constexpr int64_t replyTimeFactor = 4;
    /// ...but never less than this many milliseconds.
    static constexpr int64_t minReplyTimeMs = 2000;
    /// The end-of-reply pause is a hundredth of the wait, but at most this.
    static constexpr int64_t maxPollPauseMs = 100;

    /// Before a request: drops leftovers of earlier replies, and after a
    /// reply that was abandoned while the station still sent, first waits
    /// for the line to fall quiet. Failures are "sendData: ...".
    void drainBeforeRequest();
    /// The next drainBeforeRequest() also waits until the line has been
    /// quiet for \p quietMs: the station may be in the middle of a line.
    void settleBeforeNextRequest(int64_t quietMs) { settleMs = std::max(settleMs, quietMs); }

    /// Appends one reply to \p reply, which ends by \p replyEnd's rule.
    /// \param timeout wait for the first byte, milliseconds (64-bit so that
    ///        30 x connectionTimeout cannot overflow)
    /// \throw HALVERN::IOException "receiveData: ..." no reply, a reply too
    ///        long or too slow, or a port failure; \p reply is then as it came
    void receive(std::string& reply, int64_t timeout, ReplyEnd replyEnd, const StaleLine& isStale);

    /// The longest gathering setGathering() takes, in milliseconds.
    static constexpr int maxGatherMs = 100;
    /// Once a reply's bytes have been arriving for \p ms, sleeps \p ms
    /// between two reads so that the pieces the line delivers meanwhile are
    /// taken in one read (0, the default: every piece is read as it
    /// arrives). Clamped to 0..maxGatherMs. Under the quiet-line rule alone
    /// the reader naps for its pause anyway; the nap is then the longer of
    /// the two. The first byte of a reply is still read the moment it
    /// arrives, a reply that is in within \p ms ends as it would without,
    /// and every bound of receive() stays as it was.
    void setGathering(int ms) { gatherMs = std::clamp(ms, 0, maxGatherMs); }
    int gathering() const { return gatherMs; }

    /// Waits in the kernel until the line has input or \p deadline passes.
    /// \return false on timeout
    /// \throw HALVERN::IOException under \p operation's name: the line hung up
    bool waitForInput(const char* operation, Clock::time_point deadline);

private:
    /// What ended the collection of a reply.
    enum class Collected { complete, cutOff, tooLong, tooSlow, noReply };
    struct Reception;
    /// Reads the reply into \p rx until it ends or one of its bounds passes.
    Collected collect(Reception& rx, const StaleLine& isStale);
    /// How long to nap after a read of \p rx: the quiet-line pause under
    /// that rule alone, the gathering once bytes have come for that long.
    int64_t napLength(const Reception& rx) const;
    /// The receive's error for a reply that did not come or did not end.
    [[noreturn]] static void raiseReceiveFailure(Collected result);
    /// Reads and drops waiting input until the line has been quiet for
    /// \p quietMs, for at most \p limitMs. Never keeps what it reads.
    void discardInput(int64_t quietMs, int64_t limitMs);

    SerialPort& port;
    /// Set when a reply was abandoned while the station was still sending;
    /// the next request first waits for the line to fall quiet.
    bool inputUnsettled = false;
    /// See setGathering().
    int gatherMs = 0;
    /// See settleBeforeNextRequest().
    int64_t settleMs = 0;
};

} // namespace ravenlink::transport

#endif // RAVENLINK_LINE_READER_H
