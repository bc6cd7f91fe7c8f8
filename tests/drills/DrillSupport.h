// Shared pieces of the drills: replies composed the way the station composes
// them, and a responder that answers every request as a sound station does.
#ifndef RAVENLINK_TESTS_DRILL_SUPPORT_H
#define RAVENLINK_TESTS_DRILL_SUPPORT_H

#include "PtyStation.h"

#include <StationComposer.h>

#include <chrono>
#include <mutex>
#include <string>

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

} // namespace drills

#endif // RAVENLINK_TESTS_DRILL_SUPPORT_H
