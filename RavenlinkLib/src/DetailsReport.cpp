#include "StationLinkImpl.h"

// Placeholder until the details report lands.
void StationLinkImpl::printSystemDetails(const SystemDetails&, std::ostream&) {}
