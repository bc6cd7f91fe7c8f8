// The report text of a record, as the console prints it, in a string.
#ifndef RAVENLINK_TESTS_PRINTED_REPORT_H
#define RAVENLINK_TESTS_PRINTED_REPORT_H

#include "StationLinkImpl.h"

#include <sstream>
#include <string>

namespace ravenlinktest {

inline std::string report(const SystemStatus& status)
{
    std::ostringstream out;
    StationLinkImpl::printSystemStatus(status, out);
    return out.str();
}

inline std::string report(const SystemDetails& details)
{
    std::ostringstream out;
    StationLinkImpl::printSystemDetails(details, out);
    return out.str();
}

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_PRINTED_REPORT_H
