#include "StationLinkImpl.h"

// Placeholder until status decoding lands.
void StationLinkImpl::processStatusData(const std::string&, SystemStatus&) {}
