// One request line out, one reply text in: the message id, the request
// line, and the reply as the line reader collected it (see LineReader.cpp
// for how a reply ends and what bounds it).
//
// A reply line that carries a message id other than the current request's
// answers some other request: one this link gave up on (no reply in time,
// or a reply cut off), or one of another program that used the port before
// us. It is dropped while the current request's wait goes on, so that an old
// answer is never taken for the new one; the line observer sees it as
// dropped, and the link counts it. A reply that was cut off may still be on
// its way; the next request then first waits for the line to fall quiet.
#include "StationLinkImpl.h"

#include "Failure.h"
#include "ProtocolKeys.h"

#include <cstdlib>
#include <random>

using ravenlink::key;

namespace {

// The message id of a reply line that is a JSON object with a "COM" block
// (stray bytes in front allowed, as the reply check sees it); 0 otherwise.
uint16_t replyId(const std::string& line)
{
    const std::size_t brace = line.find('{');
    if (brace == std::string::npos) {
        return 0;
    }
    ravenlink::json jData;
    if (!ravenlink::parseReply(line.substr(brace), jData)) {
        return 0;
    }
    uint16_t id = 0;
    const ravenlink::json* comData = ravenlink::findObject(jData, SC_KEY_COM);
    if (comData != nullptr) {
        ravenlink::readInteger(*comData, SC_KEY_MSG_ID, id);
    }
    return id;
}

} // namespace

// ---- errors ----

void StationLinkImpl::raiseIO(const char* operation, const std::string& reason)
{
    ravenlink::throwIO(operation, reason);
}

void StationLinkImpl::raiseData(const char* operation, const std::string& reason)
{
    ravenlink::throwData(operation, reason);
}

// ---- replies to other requests ----

bool StationLinkImpl::answersAnother(const std::string& line) const
{
    // Most lines carry the current id: a look at the digits behind the id
    // key settles those without parsing the whole line. Whatever the look
    // misjudges, the reply check still refuses a reply to another request.
    const std::string tag = std::string("\"") + key(SC_KEY_MSG_ID) + "\":";
    const std::size_t at = line.find(tag);
    if (at == std::string::npos) {
        return false;
    }
    const unsigned long digits = std::strtoul(line.c_str() + at + tag.size(), nullptr, 10);
    if (digits == pendingId) {
        return false;
    }
    const uint16_t id = replyId(line);
    return id != 0 && id != pendingId;
}

// ---- sending ----

std::string StationLinkImpl::composeRequest(const std::string& payload, uint16_t msgID)
{
    const std::string comData = std::string("\"") + key(SC_KEY_COM) + "\":{\"" + key(SC_KEY_MSG_ID) +
                                "\":" + std::to_string(msgID) + "}";
    return "{" + comData + "," + payload + "}\n";
}

void StationLinkImpl::sendData(std::string requestData, uint16_t& msgID)
{
    // The engine is seeded from the non-deterministic source once per
    // thread: opening that source costs more than the rest of a short
    // exchange, and an engine per thread needs no lock.
    thread_local std::mt19937 random_engine{std::random_device{}()};
    std::uniform_int_distribution<uint16_t> rnDist(1000, 65535);
    msgID = rnDist(random_engine);

    requestData = composeRequest(requestData, msgID);

    if (!isConnected()) {
        raiseIO("sendData", ": no connection established");
    }

    reader.drainBeforeRequest();
    pendingId = msgID;
    if (lineObserver) {
        lineObserver(LineDirection::request, requestData);
    }
    port.write(requestData);
}

// ---- receiving ----

void StationLinkImpl::receiveData(std::string& replyData, int64_t timeout)
{
    const std::size_t entry = replyData.size();
    const auto stale = [this](const std::string& line) {
        if (!answersAnother(line)) {
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
