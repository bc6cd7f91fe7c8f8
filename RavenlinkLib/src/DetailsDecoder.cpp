#include "StationLinkImpl.h"

// Placeholder until details and configuration decoding land.
void StationLinkImpl::processSystemDetails(const std::string&, SystemDetails&) {}
void StationLinkImpl::processSystemConfig(const std::string&, SystemConfig&) {}
