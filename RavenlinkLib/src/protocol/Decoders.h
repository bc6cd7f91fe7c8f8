// The decoders of the station's replies, one per reply kind. Each takes a
// reply that passed the reply check and fills its record from the tree that
// the check read, so a reply is parsed once; the text forms parse it first,
// for tests and fuzzers. The failure texts carry the names under which the
// library has always reported them.
#ifndef RAVENLINK_DECODERS_H
#define RAVENLINK_DECODERS_H

#include "Reply.h"
#include "StationRecords.h"

#include <string>

namespace ravenlink::protocol {

/// Reads the "SYSTEM_STATUS" group into \p status; a status group that did
/// not come leaves its sub-record alone.
/// \throw HALVERN::DataException "processStatusData: ..." no status, or no "CONFIG_STATUS"
void decodeStatus(const std::string& data, SystemStatus& status);
/// As above, and sets \p delivered to the groups the reply carried.
void decodeStatus(const std::string& data, SystemStatus& status, StatusGroups& delivered);
void decodeStatus(const Reply& reply, SystemStatus& status);
void decodeStatus(const Reply& reply, SystemStatus& status, StatusGroups& delivered);

/// Reads the "SYSTEM_DETAILS" group into \p details.
/// \throw HALVERN::DataException "processSystemDetails: ..."
void decodeDetails(const std::string& data, SystemDetails& details);
void decodeDetails(const Reply& reply, SystemDetails& details);

/// Reads the "SYSTEM_CONFIG" group into \p config: the last step of getSystemConfig.
/// \throw HALVERN::DataException "getSystemConfig: ..."
void decodeConfig(const std::string& data, SystemConfig& config);
void decodeConfig(const Reply& reply, SystemConfig& config);

/// Reads "PROTOCOL_VERSION" and splits it into the three numbers, each
/// stored as soon as it is read.
/// \throw HALVERN::DataException no JSON, or no non-empty version text
/// \throw std::invalid_argument, std::out_of_range a part that is no
///        number or lies beyond the signed 32-bit range (std::stoi)
void decodeProtocolVersion(const std::string& replyData, int& major, int& minor, int& patch);
void decodeProtocolVersion(const Reply& reply, int& major, int& minor, int& patch);

} // namespace ravenlink::protocol

#endif // RAVENLINK_DECODERS_H
