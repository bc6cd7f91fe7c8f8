// A status record as a sound station reports it: the defaults of the fields
// that would otherwise read as faults (a status never received is one) set
// to their healthy codes, so that a test can add exactly one finding.
#ifndef RAVENLINK_TESTS_HEALTHY_STATUS_H
#define RAVENLINK_TESTS_HEALTHY_STATUS_H

#include <StationLink.h>

namespace ravenlinktest {

inline SystemStatus healthyStatus()
{
    SystemStatus status;
    status.sysState.error = 0;
    status.cab.tetherStatus = 0;
    status.energyUAV.extSuplStatus = 0;
    return status;
}

} // namespace ravenlinktest

#endif // RAVENLINK_TESTS_HEALTHY_STATUS_H
