// One request line out, one reply text in. The reply has no length field and
// no end marker: by default it ends when the station stops sending (the
// quiet-line rule); with ReplyEnd::completeObject it ends at the line feed
// that closes one complete JSON object. Every wait is measured on our own
// monotonic clock and slept in the kernel (poll on our descriptor of the
// port), so a reply's first byte is read the moment it arrives and a silent
// station costs no wake-ups. The serial library's read timeouts are not used
// for this: they neither bound a trickling line nor stay accurate above about
// two seconds.
//
// Bounds on collecting a reply, so that a station that never stops sending
// can neither hold the caller nor fill memory:
// - at most maxReplyBytes (64 KiB) per reply; the largest reply group is a
//   few KiB, so only a runaway station reaches it;
// - the end-of-reply pause is a hundredth of the command's wait, at most
//   maxPollPauseMs (100 ms): the longest gap allowed between two lines of
//   one reply;
// - complete within replyTimeFactor (4) times the command's wait, and never
//   less than minReplyTimeMs (2 s), counted from the start of receiving.
//   At 115200 baud a reply of 20 KiB takes under 2 s, so a real reply fits
//   even when its first byte came late and one line stalled for a full
//   connection timeout.
#include "LineReader.h"

#include "Failure.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <thread>

namespace ravenlink::transport {

namespace {

using Clock = LineReader::Clock;

int64_t msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

Clock::time_point after(Clock::time_point from, int64_t ms) { return from + std::chrono::milliseconds(ms); }

// Reads are taken in pieces so that a flooding station never makes us hold
// more than one piece beyond the reply limit.
constexpr std::size_t readPiece = 4096;

// Follows the JSON text of a reply as it arrives, to tell when one complete
// object has been closed by a line feed. Strings are tracked so that braces
// inside texts do not count.
class ObjectEnd {
public:
    /// Feeds the bytes of \p text from the last position on; true once a
    /// line feed follows the closed object with nothing but blanks between.
    bool advance(const std::string& text, std::size_t from)
    {
        for (std::size_t i = std::max(from, next); i < text.size(); ++i) {
            step(text[i]);
            if (phase == Phase::ended) {
                next = i + 1;
                return true;
            }
        }
        next = text.size();
        return false;
    }

    void restart() { *this = ObjectEnd(); }

    /// Where the reply ends once advance() said so: just past its line feed.
    std::size_t end() const { return next; }

private:
    // Where the scan stands: before the object, inside it (in a string, just
    // after a backslash in one), past its closing brace (with something
    // other than blanks after it: overrun), or at the line feed that ends it.
    enum class Phase { before, object, string, escape, closed, overrun, ended };

    void step(char ch)
    {
        switch (phase) {
        case Phase::before:
            if (ch == '{') {
                phase = Phase::object;
                depth = 1;
            }
            break;
        case Phase::object:
            if (ch == '"') {
                phase = Phase::string;
            } else if (ch == '{' || ch == '[') {
                ++depth;
            } else if ((ch == '}' || ch == ']') && --depth == 0) {
                phase = Phase::closed;
            }
            break;
        case Phase::string:
            phase = ch == '\\' ? Phase::escape : ch == '"' ? Phase::object : Phase::string;
            break;
        case Phase::escape:
            phase = Phase::string;
            break;
        case Phase::closed:
        case Phase::overrun:
            // Anything but blanks after the object (a second object, noise)
            // leaves the reply to the quiet-line rule and its errors.
            if (ch == '\n') {
                phase = phase == Phase::closed ? Phase::ended : phase;
            } else if (ch != ' ' && ch != '\t' && ch != '\r') {
                phase = Phase::overrun;
            }
            break;
        case Phase::ended:
            break;
        }
    }

    std::size_t next = 0;
    long depth = 0;
    Phase phase = Phase::before;
};

} // namespace

bool LineReader::waitForInput(const char* operation, Clock::time_point deadline)
{
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return false;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        // One wait never exceeds a minute; the loop takes care of the rest.
        const long long capped = std::min<long long>(ns, 60LL * 1000000000LL);
        timespec span{static_cast<time_t>(capped / 1000000000LL), static_cast<long>(capped % 1000000000LL)};
        pollfd pfd{port.descriptor(), POLLIN, 0};
        const int ready = ::ppoll(&pfd, 1, &span, nullptr);
        if (ready > 0 && (pfd.revents & POLLIN) == 0) {
            // Hung up with nothing left to read: the other end is gone, as
            // when a USB adapter is pulled.
            port.markLost();
            throwIO(operation, ": Input/output error");
        }
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            // Input, or a failure that the serial library's own call will
            // report in its words. An interrupted wait simply goes on.
            return true;
        }
    }
}

// ---- draining ----

void LineReader::discardInput(int64_t quietMs, int64_t limitMs)
{
    const Clock::time_point start = Clock::now();
    Clock::time_point lastByte = start;
    std::string inBuffer;
    for (;;) {
        const std::size_t waiting = port.available("sendData");
        if (waiting > 0) {
            inBuffer.clear();
            port.read("sendData", inBuffer, std::min(waiting, readPiece));
            lastByte = Clock::now();
        } else if (msBetween(lastByte, Clock::now()) >= quietMs) {
            return;
        } else {
            waitForInput("sendData", std::min(after(lastByte, quietMs), after(start, limitMs)));
        }
        if (msBetween(start, Clock::now()) >= limitMs) {
            return;
        }
    }
}

void LineReader::drainBeforeRequest()
{
    // Leftovers of an earlier reply would otherwise sit in front of the
    // answer to this request. After a reply that was cut off the station
    // may still be talking, so then we wait until the line falls quiet.
    const int connectionTimeout = port.timeout();
    const int64_t limit = std::max(replyTimeFactor * connectionTimeout, minReplyTimeMs);
    const int64_t quiet = inputUnsettled ? std::max<int64_t>(connectionTimeout, 10) : 0;
    discardInput(std::max(quiet, settleMs), limit);
    inputUnsettled = false;
    settleMs = 0;
}

// ---- receiving ----

// The state of one receive: its deadlines, what has arrived, where the
// current line starts, and the rule that may end the reply early.
struct LineReader::Reception {
    Reception(std::string& reply, int64_t timeout, int connectionTimeout, ReplyEnd replyEnd)
        : text(reply),
          entry(reply.size()),
          lineStart(reply.size()),
          waitMs(timeout),
          // A hundredth of the wait, but never more than maxPollPauseMs:
          // the end-of-reply pause must not make a long connection timeout
          // (the operator may set up to 2147483647 ms) hold up every reply.
          tSleep(timeout <= 100 ? 1 : std::min(timeout / 100, maxPollPauseMs)),
          stallMs(std::max(connectionTimeout, 0)),
          firstByteDeadline(after(start, std::max<int64_t>(timeout, 0))),
          deadline(after(start, std::max(replyTimeFactor * timeout, minReplyTimeMs))),
          endAtObject((static_cast<unsigned>(replyEnd) & static_cast<unsigned>(ReplyEnd::completeObject)) != 0)
    {
    }

    bool holdsReply() const { return text.size() > entry; }
    bool lineEnded() const { return holdsReply() && text.back() == '\n'; }
    Clock::time_point quietUntil() const { return after(lastByte, lineEnded() ? tSleep : stallMs + tSleep); }

    // Looks at the \p got bytes just appended: drops every whole line that
    // \p isStale says answers another request, and with the
    // complete-object end tells whether an object has now been closed by a
    // line feed (the text is then cut behind it).
    template <typename Stale>
    bool absorb(std::size_t got, Stale&& isStale)
    {
        for (std::size_t lf = text.find('\n', text.size() - got); lf != std::string::npos;
             lf = text.find('\n', lineStart)) {
            if (isStale(text.substr(lineStart, lf - lineStart))) {
                text.erase(lineStart, lf + 1 - lineStart);
                objectEnd.restart();
            } else {
                lineStart = lf + 1;
            }
        }
        if (endAtObject && objectEnd.advance(text, entry)) {
            // Whatever came behind it in the same read is not part of this
            // reply; it is dropped as the next request would drop it.
            text.resize(objectEnd.end());
            return true;
        }
        return false;
    }

    std::string& text;
    const std::size_t entry;  // length of the caller's text on entry
    std::size_t lineStart;    // where the line now arriving begins
    std::size_t received = 0; // bytes read, dropped lines included
    const Clock::time_point start = Clock::now();
    Clock::time_point lastByte = start;
    Clock::time_point firstByte = start; // of this receive, dropped lines included
    const int64_t waitMs;
    const int64_t tSleep;
    const int64_t stallMs;
    const Clock::time_point firstByteDeadline;
    const Clock::time_point deadline;
    const bool endAtObject;
    ObjectEnd objectEnd;
};

void LineReader::raiseReceiveFailure(Collected result)
{
    if (result == Collected::tooLong) {
        throwIO("receiveData", ": reply exceeds " + std::to_string(maxReplyBytes) + " bytes");
    }
    if (result == Collected::tooSlow) {
        throwIO("receiveData", ": reply did not end in time");
    }
    throwIO("receiveData", ": Data Receiver Timeout!");
}

int64_t LineReader::napLength(const Reception& rx) const
{
    const bool gathering = gatherMs > 0 && msBetween(rx.firstByte, rx.lastByte) >= gatherMs;
    const int64_t gather = gathering ? gatherMs : 0;
    return rx.endAtObject ? gather : std::max(rx.tSleep, gather);
}

LineReader::Collected LineReader::collect(Reception& rx, const StaleLine& isStale)
{
    // After a read that took all there was, the next bytes are awaited
    // straight away: the wait returns at once if some came meanwhile, so a
    // line arriving piece by piece costs one wake-up and one read per piece
    // and no second look at the port. Before anything ends for want of
    // bytes, the port is looked at once more.
    //
    // Under the quiet-line rule alone the reply cannot end sooner than a
    // pause after its last byte anyway, so after each read the reader naps
    // for that pause and takes whatever came meanwhile in one go: a paced
    // line then costs one wake-up per pause instead of one per piece.
    //
    // With gathering set, once bytes have been arriving for that long the
    // reader naps that long after each read under any rule (the longer of
    // the two under the quiet-line rule alone): a paced line then costs one
    // wake-up per nap, and the closing line feed of a long reply is seen up
    // to one nap late. A reply that is in within the first nap (the short
    // answer to a setting) is read piece by piece and ends at once. No nap
    // runs past the moment the quiet-line rule would judge the reply, nor
    // past its deadline.
    bool drained = false;
    bool napAfterRead = false;
    int64_t nap = 0;
    while (rx.waitMs > 0) {
        const bool looked = !drained;
        const std::size_t waiting = looked ? port.available("receiveData") : 0;
        drained = false;
        if (waiting > 0) {
            const std::size_t take = std::min({waiting, readPiece, maxReplyBytes + 1 - rx.received});
            const std::size_t got = port.read("receiveData", rx.text, take);
            rx.lastByte = Clock::now();
            if (rx.received == 0) {
                rx.firstByte = rx.lastByte;
            }
            rx.received += got;
            drained = got == waiting;
            nap = napLength(rx);
            napAfterRead = nap > 0;
            if (rx.received > maxReplyBytes) {
                return Collected::tooLong;
            }
            if (rx.absorb(got, isStale)) {
                return Collected::complete;
            }
        } else if (!rx.holdsReply()) {
            // Nothing of this reply yet (or only other requests' replies, now dropped).
            if (!waitForInput("receiveData", rx.firstByteDeadline) && looked) {
                return Collected::noReply;
            }
            continue;
        } else if (Clock::now() >= rx.quietUntil()) {
            if (looked) {
                return rx.lineEnded() ? Collected::complete : Collected::cutOff;
            }
            continue;
        } else if (napAfterRead) {
            napAfterRead = false;
            std::this_thread::sleep_until(std::min({rx.quietUntil(), rx.deadline, after(Clock::now(), nap)}));
            continue;
        } else {
            waitForInput("receiveData", std::min(rx.quietUntil(), rx.deadline));
        }
        if (Clock::now() >= rx.deadline) {
            return Collected::tooSlow;
        }
    }
    return Collected::noReply;
}

void LineReader::receive(std::string& reply, int64_t timeout, ReplyEnd replyEnd, const StaleLine& isStale)
{
    Reception rx(reply, timeout, port.timeout(), replyEnd);
    const Collected result = collect(rx, isStale);
    if (result != Collected::complete && result != Collected::cutOff) {
        reply.resize(rx.entry);
        inputUnsettled = inputUnsettled || result != Collected::noReply;
        raiseReceiveFailure(result);
    }
    if (result == Collected::cutOff) {
        // The line stalled past the read timeout: what we hold is the front
        // of a reply whose rest may still come. The reply check will reject
        // it; its tail must not be taken for the next reply.
        inputUnsettled = true;
    }
}

} // namespace ravenlink::transport
