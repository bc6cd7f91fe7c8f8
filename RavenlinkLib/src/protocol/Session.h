// The protocol engine on one port: message ids, the lock that lets commands
// take turns, sending a request and receiving its reply (dropping and
// counting lines that answer another request), the reply check, and the
// handshake that opens every link.
#ifndef RAVENLINK_SESSION_H
#define RAVENLINK_SESSION_H

#include "LineReader.h"
#include "Reply.h"
#include "SerialPort.h"
#include "StationLink.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace ravenlink::protocol {

class Session {
public:
    explicit Session(transport::SerialPort& port) : port(port), reader(port) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// Sends \p payload under a new message id, which is stored in \p msgID.
    /// \throw HALVERN::IOException "sendData: ..." no connection, a failed write
    void sendData(std::string payload, uint16_t& msgID);
    /// Receives the reply to the request last sent; anything in front of its
    /// first brace is dropped.
    /// \param timeout wait for the first byte, milliseconds
    /// \throw HALVERN::IOException "receiveData: ..." (see LineReader::receive)
    void receiveData(std::string& replyData, int64_t timeout);
    /// One locked request/reply under \p operation's name; returns the
    /// reply, parsed once, after it passed checkReply. The lock covers sending and
    /// receiving only; a command that cannot get it within one connection
    /// timeout fails with "OPERATION: Communication timeout".
    Reply transact(const char* operation, const std::string& payload, int64_t waitFactor);

    /// The first exchange on a new link: quiets the line, then asks the
    /// station which protocol version it speaks.
    void initConnection();
    /// How long the line must be quiet before the handshake after an open
    /// that found bytes waiting, in milliseconds.
    static constexpr int64_t settleMs = 2;
    void getDeviceProtocolVersion();
    int deviceProtocolMajor() const { return protocolMajor; }
    int deviceProtocolMinor() const { return protocolMinor; }
    int deviceProtocolPatch() const { return protocolPatch; }

    uint64_t droppedReplyCount() const { return droppedReplies.load(std::memory_order_relaxed); }
    void setReplyEnd(ReplyEnd mode) { replyEnd = mode; }
    ReplyEnd getReplyEnd() const { return replyEnd; }
    /// Between two reads of one reply, naps \p ms (see LineReader::setGathering).
    void setGathering(int ms) { reader.setGathering(ms); }
    int gathering() const { return reader.gathering(); }
    void setLineObserver(LineObserver observer) { lineObserver = std::move(observer); }

    /// Runs \p call and turns a JSON-library exception that escaped it into
    /// HALVERN::DataException "OPERATION: reply data malformed".
    static void shield(const char* operation, const std::function<void()>& call);

private:
    transport::SerialPort& port;
    transport::LineReader reader;
    std::timed_mutex linkMutex;
    int protocolMajor = 0;
    int protocolMinor = 0;
    int protocolPatch = 0;
    /// The id of the last request sent.
    uint16_t pendingId = 0;
    /// Reply lines dropped for carrying another request's id; read from
    /// any thread.
    std::atomic<uint64_t> droppedReplies{0};
    ReplyEnd replyEnd = ReplyEnd::quietLine;
    LineObserver lineObserver;
};

} // namespace ravenlink::protocol

#endif // RAVENLINK_SESSION_H
