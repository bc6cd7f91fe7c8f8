#include "StationLinkImpl.h"

// Placeholder until the status report lands.
void StationLinkImpl::printSystemStatus(const SystemStatus&, std::ostream&) {}
