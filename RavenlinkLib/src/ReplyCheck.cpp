// The gate between receiving a reply and decoding it: the reply must be one
// JSON object with a "COM" block, and the station's transfer status must not
// report a failure.
#include "StationLinkImpl.h"

#include "ProtocolKeys.h"

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

void StationLinkImpl::checkReply(const std::string& replyData, uint16_t msgID)
{
    ravenlink::json jData;
    if (!ravenlink::parseReply(replyData, jData)) {
        raiseData("checkReply", ": malformed buffer data");
    }
    if (jData.is_null() || !jData.is_object()) {
        raiseData("checkReply", ": reply data malformed");
    }
    const ravenlink::json* comData = ravenlink::findObject(jData, SC_KEY_COM);
    if (comData == nullptr) {
        raiseData("checkReply", ": reply data malformed");
    }

    // Absent or non-integer members leave these markers: id 0 matches no
    // request, status 255 is no failure code.
    uint16_t id = 0;
    uint16_t status = 255;
    ravenlink::readInteger(*comData, SC_KEY_MSG_ID, id);
    ravenlink::readInteger(*comData, SC_KEY_COM_STATUS, status);

    if (id == msgID && status == 0) {
        return;
    }
    // A reply that names another request answers that one, whatever its
    // status says: taking it would confirm or refuse the wrong command. The
    // exchange drops such lines as they arrive; this catches one that did
    // not stand on a line of its own. Id 0 is what a station without ids
    // sends (no request is ever given 0), so it keeps the plain rule.
    if (id != 0 && id != msgID) {
        raiseData("checkReply", ": reply carries another request's message id");
    }
    // Any status code the station may add later is accepted.
    for (const TransferFailure& failure : transferFailures) {
        if (status == failure.status) {
            raiseData("checkReply", failure.reason);
        }
    }
}
