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

// What the state evaluation finds, without the time: compared with the last
// one, so that the check topic changes only when the findings do.
struct CheckFindings {
    std::string state;     // "ok", "warning", "critical" or "unknown"; empty: nothing known yet
    std::string reason;    // why the state is unknown
    std::string findings;  // the findings as a JSON array
    bool operator==(const CheckFindings& o) const
    {
        return state == o.state && reason == o.reason && findings == o.findings;
    }
    bool operator!=(const CheckFindings& o) const { return !(*this == o); }
};

// The findings in the delivered groups; maintenance counts, from \p details.
CheckFindings checkFindings(const SystemStatus& status, const StatusGroups& delivered, const SystemDetails& details);

// The same while no reading can be taken: state "unknown", no findings.
CheckFindings unknownFindings(const std::string& reason);

// `{"time":"…","state":"…",["reason":"…",]"findings":[…]}`
std::string checkPayload(std::chrono::system_clock::time_point time, const CheckFindings& findings);

} // namespace bridge

#endif // RAVENLINK_BRIDGE_PAYLOADS_H
