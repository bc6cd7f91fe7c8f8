// One request line out, one reply text in. The reply has no length field and
// no end marker: it ends when the station stops sending. Every wait here is
// measured on our own (monotonic) clock, because the serial library's read
// timeouts neither bound a trickling line nor stay accurate above about two
// seconds.
//
// Bounds on collecting a reply, so that a station that never stops sending
// can neither hold the caller nor fill memory:
// - at most maxReplyBytes (64 KiB) per reply; the largest reply group is a
//   few KiB, so only a runaway station reaches it;
// - polled every hundredth of the command's wait, at most every
//   maxPollPauseMs (100 ms), which is also the longest gap allowed between
//   two lines of one reply;
// - complete within replyTimeFactor (4) times the command's wait, and never
//   less than minReplyTimeMs (2 s), counted from the start of receiving.
//   At 115200 baud a reply of 20 KiB takes under 2 s, so a real reply fits
//   even when its first byte came late and one line stalled for a full
//   connection timeout.
// An abandoned reply is discarded whole; the station may still be sending
// it, so the next request first waits (bounded the same way) for the line
// to fall quiet.
#include "StationLinkImpl.h"

#include "ProtocolKeys.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <sstream>
#include <thread>

using ravenlink::key;

namespace {

using Clock = std::chrono::steady_clock;

int64_t msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

void sleepMs(int64_t ms)
{
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

// Reads are taken in pieces so that a flooding station never makes us hold
// more than one piece beyond the reply limit.
constexpr std::size_t readPiece = 4096;

enum class Collected { complete, tooLong, tooSlow };

// Gathers the reply once its first byte is waiting. A line that has ended
// (line feed) may be followed by another within one polling pause; a line
// that stalls before its line feed may continue within the read timeout and
// one pause. Either way the whole collection stops at the byte budget and
// at the deadline, so a station that never stops sending cannot keep us.
Collected collectReply(serial::Serial& port, std::string& replyData, std::size_t budget,
                       Clock::time_point deadline, int64_t pauseMs, int64_t stallMs)
{
    std::size_t received = 0;
    Clock::time_point lastByte = Clock::now();
    for (;;) {
        const std::size_t waiting = port.available();
        if (waiting > 0) {
            const std::size_t take = std::min({waiting, readPiece, budget + 1 - received});
            received += port.read(replyData, take);
            if (received > budget) {
                return Collected::tooLong;
            }
            lastByte = Clock::now();
        } else {
            const bool lineEnded = !replyData.empty() && replyData.back() == '\n';
            const int64_t allowance = lineEnded ? pauseMs : stallMs + pauseMs;
            const int64_t quiet = msBetween(lastByte, Clock::now());
            if (quiet >= allowance) {
                return Collected::complete;
            }
            // After a line feed the reply is most likely complete: sleep out
            // the rest of the pause in one go and look once, instead of
            // waking every millisecond (a 90 ms pause cost more than 1 % of
            // a core that way). A line still in flight is read as it comes.
            sleepMs(lineEnded ? allowance - quiet : 1);
        }
        if (Clock::now() >= deadline) {
            return Collected::tooSlow;
        }
    }
}

} // namespace

void StationLinkImpl::raiseWriteFailure(const std::string& exMsg)
{
    std::string reason = trimSerialMessage(exMsg);
    if (reason.empty()) {
        reason = "Serial connection exception";
    }
    raiseIO("sendData", ": " + reason);
}

void StationLinkImpl::raiseIO(const char* operation, const std::string& reason)
{
    std::stringstream exceptionStream;
    exceptionStream << operation << reason;
    throw HALVERN::IOException(exceptionStream.str().c_str());
}

void StationLinkImpl::raiseData(const char* operation, const std::string& reason)
{
    std::stringstream exceptionStream;
    exceptionStream << operation << reason;
    throw HALVERN::DataException(exceptionStream.str().c_str());
}

std::string StationLinkImpl::composeRequest(const std::string& payload, uint16_t msgID)
{
    const std::string comData = std::string("\"") + key(SC_KEY_COM) + "\":{\"" + key(SC_KEY_MSG_ID) +
                                "\":" + std::to_string(msgID) + "}";
    return "{" + comData + "," + payload + "}\n";
}

void StationLinkImpl::discardInput(int64_t quietMs, int64_t limitMs)
{
    const Clock::time_point start = Clock::now();
    Clock::time_point lastByte = start;
    std::string inBuffer;
    for (;;) {
        const std::size_t waiting = serialPort.available();
        if (waiting > 0) {
            inBuffer.clear();
            serialPort.read(inBuffer, std::min(waiting, readPiece));
            lastByte = Clock::now();
        } else if (msBetween(lastByte, Clock::now()) >= quietMs) {
            return;
        } else {
            sleepMs(1);
        }
        if (msBetween(start, Clock::now()) >= limitMs) {
            return;
        }
    }
}

void StationLinkImpl::sendData(std::string requestData, uint16_t& msgID)
{
    std::random_device rd;
    std::mt19937 random_engine(rd());
    std::uniform_int_distribution<uint16_t> rnDist(1000, 65535);
    msgID = rnDist(random_engine);

    requestData = composeRequest(requestData, msgID);

    if (!isConnected()) {
        raiseIO("sendData", ": no connection established");
    }

    try {
        // Leftovers of an earlier reply would otherwise sit in front of the
        // answer to this request. After an abandoned reply the station may
        // still be talking, so then we wait until the line falls quiet.
        const int64_t limit = std::max(replyTimeFactor * connectionTimeout, minReplyTimeMs);
        discardInput(inputUnsettled ? std::max<int64_t>(connectionTimeout, 10) : 0, limit);
        inputUnsettled = false;
        if (lineObserver) {
            lineObserver(LineDirection::request, requestData);
        }
        serialPort.write(requestData);
    } catch (const serial::PortNotOpenedException&) {
        raiseIO("sendData", ": No serial connection established!");
    } catch (const serial::IOException& e) {
        raiseWriteFailure(e.what());
    } catch (const serial::SerialException& e) {
        raiseWriteFailure(e.what());
    }
}

void StationLinkImpl::receiveData(std::string& replyData, int64_t timeout)
{
    const Clock::time_point start = Clock::now();
    // A hundredth of the wait, but never more than maxPollPauseMs: the pause
    // is also how long a reply that is already waiting may sit unread, so a
    // long connection timeout (the operator may set up to 2147483647 ms)
    // must not hold up a station that answers at once.
    const int64_t tSleep = timeout <= 100 ? 1 : std::min(timeout / 100, maxPollPauseMs);

    // The wait for the first byte.
    bool arrived = false;
    while (!arrived && msBetween(start, Clock::now()) < timeout) {
        sleepMs(tSleep);
        arrived = serialPort.available() > 0;
    }
    if (!arrived) {
        raiseIO("receiveData", ": Data Receiver Timeout!");
    }

    const std::size_t entryLength = replyData.size();
    const int64_t limit = std::max(replyTimeFactor * timeout, minReplyTimeMs);
    const Collected result = collectReply(serialPort, replyData, maxReplyBytes, start + std::chrono::milliseconds(limit),
                                          tSleep, std::max(connectionTimeout, 0));
    if (result != Collected::complete) {
        replyData.resize(entryLength);
        inputUnsettled = true;
        if (result == Collected::tooLong) {
            raiseIO("receiveData", ": reply exceeds " + std::to_string(maxReplyBytes) + " bytes");
        }
        raiseIO("receiveData", ": reply did not end in time");
    }

    if (lineObserver) {
        lineObserver(LineDirection::reply, replyData.substr(entryLength));
    }

    // Anything in front of the reply object is a remnant of an earlier
    // exchange or line noise.
    const std::size_t brace = replyData.find('{');
    if (brace == std::string::npos) {
        replyData.clear();
    } else {
        replyData.erase(0, brace);
    }
}
