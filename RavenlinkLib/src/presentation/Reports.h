// The status and details reports as text: what the printers write in one
// insertion, composed whole first so that a failure while composing leaves
// the stream untouched.
#ifndef RAVENLINK_REPORTS_H
#define RAVENLINK_REPORTS_H

#include "StationRecords.h"

#include <string>

namespace ravenlink::report {

/// "Current system status" and one section per status group.
std::string statusReport(const SystemStatus& status);

/// "Product details:" and the station's identity, versions and counters.
std::string detailsReport(const SystemDetails& details);

} // namespace ravenlink::report

#endif // RAVENLINK_REPORTS_H
