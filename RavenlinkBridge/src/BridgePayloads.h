// The texts published for a station, beside the records' JSON form that the
// library gives.
#ifndef RAVENLINK_BRIDGE_PAYLOADS_H
#define RAVENLINK_BRIDGE_PAYLOADS_H

#include <StationLink.h>

#include <chrono>
#include <string>

namespace bridge {

// `{"time":"…","status":{…},"seq":N}`: the library's stamped status with the
// reading's number since the bridge started (1, 2, …), so that a subscriber
// can tell a missed reading from a slow one. A group that the reply did not
// carry is null.
std::string statusPayload(std::chrono::system_clock::time_point time, const SystemStatus& status,
                          const StatusGroups& delivered, unsigned long long seq);

// What the state evaluation finds in the delivered groups, without the time:
// `"state":"ok|warning|critical","findings":[{"severity":"error","text":"…"},…]`.
// Maintenance counts, from \p details.
std::string checkFindings(const SystemStatus& status, const StatusGroups& delivered, const SystemDetails& details);

// The same while no reading can be taken:
// `"state":"unknown","reason":"…","findings":[]`.
std::string unknownFindings(const std::string& reason);

// `{"time":"…",` + \p findings + `}`
std::string checkPayload(std::chrono::system_clock::time_point time, const std::string& findings);

} // namespace bridge

#endif // RAVENLINK_BRIDGE_PAYLOADS_H
