// The gate between receiving a reply and decoding it: the reply must be one
// JSON object with a "COM" block, and the station's transfer status must not
// report a failure. And the look at each arriving line that tells a reply to
// another request.
#include "Reply.h"

#include "Failure.h"
#include "ProtocolKeys.h"
#include "ReplyTree.h"

#include <cstdlib>
#include <utility>

namespace ravenlink::protocol {

namespace {

struct TransferFailure {
    uint16_t status;
    const char* reason;
};

// The failure codes of the station's transfer status, in look-up order.
constexpr TransferFailure transferFailures[] = {
    {1, ": buffer overflow on remote communication controller"},
    {4, ": wrong command sent"},
    {5, ": data does not fit to sent command"},
    {3, ": sent request malformed"},
    {2, ": timeout during request transmission"},
};

} // namespace

Reply::Reply(std::string text) : replyText(std::move(text)), parsed(std::make_unique<Tree>())
{
    parseReply(replyText, parsed->value);
}

Reply::~Reply() = default;
Reply::Reply(Reply&&) noexcept = default;
Reply& Reply::operator=(Reply&&) noexcept = default;

bool Reply::wellFormed() const { return !parsed->value.is_discarded(); }

void checkReply(const std::string& replyData, uint16_t msgID) { checkReply(Reply(replyData), msgID); }

void checkReply(const Reply& reply, uint16_t msgID)
{
    if (!reply.wellFormed()) {
        throwData("checkReply", ": malformed buffer data");
    }
    const json& jData = treeOf(reply);
    if (jData.is_null() || !jData.is_object()) {
        throwData("checkReply", ": reply data malformed");
    }
    const json* comData = findObject(jData, SC_KEY_COM);
    if (comData == nullptr) {
        throwData("checkReply", ": reply data malformed");
    }

    // Absent or non-integer members leave these markers: id 0 matches no
    // request, status 255 is no failure code.
    uint16_t id = 0;
    uint16_t status = 255;
    readInteger(*comData, SC_KEY_MSG_ID, id);
    readInteger(*comData, SC_KEY_COM_STATUS, status);

    if (id == msgID && status == 0) {
        return;
    }
    // A reply that names another request answers that one, whatever its
    // status says: taking it would confirm or refuse the wrong command. The
    // exchange drops such lines as they arrive; this catches one that did
    // not stand on a line of its own. Id 0 is what a station without ids
    // sends (no request is ever given 0), so it keeps the plain rule.
    if (id != 0 && id != msgID) {
        throwData("checkReply", ": reply carries another request's message id");
    }
    // Any status code the station may add later is accepted.
    for (const TransferFailure& failure : transferFailures) {
        if (status == failure.status) {
            throwData("checkReply", failure.reason);
        }
    }
}

// The message id of a reply line that is a JSON object with a "COM" block
// (stray bytes in front allowed, as the reply check sees it); 0 otherwise.
uint16_t replyId(const std::string& line)
{
    const std::size_t brace = line.find('{');
    if (brace == std::string::npos) {
        return 0;
    }
    json jData;
    if (!parseReply(line.substr(brace), jData)) {
        return 0;
    }
    uint16_t id = 0;
    const json* comData = findObject(jData, SC_KEY_COM);
    if (comData != nullptr) {
        readInteger(*comData, SC_KEY_MSG_ID, id);
    }
    return id;
}

bool answersAnother(const std::string& line, uint16_t pendingId)
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

} // namespace ravenlink::protocol
