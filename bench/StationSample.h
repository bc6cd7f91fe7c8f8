// A realistic station store and the complete replies composed from it, the
// way the ground station builds them.
#ifndef RAVENLINK_BENCH_STATION_SAMPLE_H
#define RAVENLINK_BENCH_STATION_SAMPLE_H

#include <cstdint>
#include <string>

namespace ravenlink_bench {

/// Fills the composer's store with values of a station in flight: every
/// status group reported, extended mode on ("AUTH_ENABLE" non-zero).
void fillStationStore();

/// The full reply to "GET_SYSTEM_STATUS" under message id \p msgID.
std::string statusReply(std::uint16_t msgID);

/// The full reply to "GET_SYSTEM_DETAILS" under message id \p msgID.
std::string detailsReply(std::uint16_t msgID);

} // namespace ravenlink_bench

#endif
