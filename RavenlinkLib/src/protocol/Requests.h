// The request lines the library sends: one payload per command, and the
// line that carries a payload under its message id.
#ifndef RAVENLINK_REQUESTS_H
#define RAVENLINK_REQUESTS_H

#include "StationComposer.h"
#include "StationRecords.h"

#include <cstdint>
#include <string>

namespace ravenlink::protocol {

/// `"COMMAND":{"GET_...":1}` for the reading command \p request.
std::string readRequestPayload(sc_key request);
std::string activationPayload(bool activate);
std::string torquePayload(float percent);
std::string startLengthPayload(float metres);
std::string systemConfigPayload(const SystemConfig& config);
std::string statusConfigPayload(const ConfigStatus& config);

/// The request line for \p payload under message id \p msgID, line feed included.
std::string composeRequest(const std::string& payload, uint16_t msgID);

} // namespace ravenlink::protocol

#endif // RAVENLINK_REQUESTS_H
