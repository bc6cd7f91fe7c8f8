// One request line out, one reply text in: the message id, the request
// line, the reply as the line reader collected it (see LineReader.cpp for
// how a reply ends and what bounds it) and the reply check.
//
// A reply line that carries a message id other than the current request's
// answers some other request: one this link gave up on (no reply in time,
// or a reply cut off), or one of another program that used the port before
// us. It is dropped while the current request's wait goes on, so that an old
// answer is never taken for the new one; the line observer sees it as
// dropped, and the link counts it. A reply that was cut off may still be on
// its way; the next request then first waits for the line to fall quiet.
#include "Session.h"

#include "Decoders.h"
#include "Failure.h"
#include "ProtocolKeys.h"
#include "Reply.h"
#include "Requests.h"

#include <chrono>
#include <random>
#include <utility>

namespace ravenlink::protocol {

// ---- sending ----

void Session::sendData(std::string requestData, uint16_t& msgID)
{
    // The engine is seeded from the non-deterministic source once per
    // thread: opening that source costs more than the rest of a short
    // exchange, and an engine per thread needs no lock.
    thread_local std::mt19937 random_engine{std::random_device{}()};
    std::uniform_int_distribution<uint16_t> rnDist(1000, 65535);
    msgID = rnDist(random_engine);

    requestData = composeRequest(requestData, msgID);

    if (!port.isConnected()) {
        throwIO("sendData", ": no connection established");
    }

    reader.drainBeforeRequest();
    pendingId = msgID;
    if (lineObserver) {
        lineObserver(LineDirection::request, requestData);
    }
    port.write(requestData);
}

// ---- receiving ----

void Session::receiveData(std::string& replyData, int64_t timeout)
{
    const std::size_t entry = replyData.size();
    const auto stale = [this](const std::string& line) {
        if (!answersAnother(line, pendingId)) {
            return false;
        }
        droppedReplies.fetch_add(1, std::memory_order_relaxed);
        if (lineObserver) {
            lineObserver(LineDirection::dropped, line + "\n");
        }
        return true;
    };
    reader.receive(replyData, timeout, replyEnd, stale);

    if (lineObserver) {
        lineObserver(LineDirection::reply, replyData.substr(entry));
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

// ---- the transaction ----

Reply Session::transact(const char* operation, const std::string& payload, int64_t waitFactor)
{
    std::string replyData;
    uint16_t msgID = 0;
    {
        // A command that cannot get the line within one connection timeout
        // fails instead of queueing behind a long exchange.
        std::unique_lock<std::timed_mutex> lock(linkMutex, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(port.timeout()))) {
            throwIO(operation, ": Communication timeout");
        }
        sendData(payload, msgID);
        receiveData(replyData, waitFactor * static_cast<int64_t>(port.timeout()));
    }
    // The line is free again; checking and decoding need no port.
    Reply reply(std::move(replyData));
    checkReply(reply, msgID);
    return reply;
}

// ---- the handshake ----

void Session::initConnection()
{
    if (!port.isConnected()) {
        throwIO("initConnection", ": initialize communication failed. no connection established.");
    }
    // The open dropped what was waiting; the line is drained once more, as
    // before every request, when the handshake is sent. When the open found
    // bytes, the station may be in the middle of a line whose rest is still
    // on its way: the handshake's drain then first waits until the line has
    // been quiet for the settling time, so that the rest is dropped too
    // instead of reaching the first reply. A line that was silent at the
    // open costs no pause: whatever comes later starts a line of its own,
    // which the message id tells from the handshake's reply.
    if (port.takeInputAtOpen()) {
        reader.settleBeforeNextRequest(settleMs);
    }

    getDeviceProtocolVersion();
}

void Session::getDeviceProtocolVersion()
{
    const std::string requestData = readRequestPayload(SC_KEY_GET_PROTOCOL);
    std::string replyData;
    uint16_t msgID = 0;

    sendData(requestData, msgID);
    receiveData(replyData, port.timeout());
    const Reply reply(std::move(replyData));
    checkReply(reply, msgID);

    decodeProtocolVersion(reply, protocolMajor, protocolMinor, protocolPatch);
}

// ---- the last-resort net ----

void Session::shield(const char* operation, const std::function<void()>& call)
{
    try {
        call();
    } catch (const nlohmann::json::exception&) {
        throw HALVERN::DataException((std::string(operation) + ": reply data malformed").c_str());
    }
}

} // namespace ravenlink::protocol
