#include "StationLinkImpl.h"

// Placeholder until the reply check lands.
void StationLinkImpl::checkReply(const std::string&, uint16_t) {}
