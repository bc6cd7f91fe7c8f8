// Request handling: one request line in, one reply line out. Requests are
// checked completely before any setting changes, so a rejected request
// changes nothing.
#ifndef RAVENLINK_STATION_PROTOCOL_H
#define RAVENLINK_STATION_PROTOCOL_H

#include "StationState.h"

#include <cstdint>
#include <string>

/// Transfer status codes of "COM_STATUS".
enum class TransferStatus : std::uint16_t {
    Ok = 0,
    BufferOverflow = 1,
    Timeout = 2,
    Malformed = 3,
    WrongCommand = 4,
    DataMismatch = 5,
};

struct ProtocolOptions {
    int comStatus = -1;    // forced "COM_STATUS", -1 for the honest one
    bool wrongId = false;  // echo another id than the request's
};

class StationProtocol {
public:
    /// A checked request: what the reply carries and what changes.
    struct Plan;

    StationProtocol(StationState& state, ProtocolOptions options);

    /// The reply to one request line (without its line feed), ending in "\n".
    std::string answer(const std::string& request, StationState::Clock::time_point now);
    /// A complete status reply for \p msgId, as a flooding station sends it.
    std::string statusReply(std::uint16_t msgId, StationState::Clock::time_point now);
    /// The reply to a request that overran the receive buffer.
    std::string overflowReply();
    /// The id of the last request that carried one.
    std::uint16_t lastMsgId() const { return lastId; }

private:
    std::string compose(std::uint16_t msgId, TransferStatus status, const Plan& plan);

    StationState& state;
    ProtocolOptions options;
    std::uint16_t lastId = 0;
};

#endif // RAVENLINK_STATION_PROTOCOL_H
