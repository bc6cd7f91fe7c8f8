#include "StationLinkImpl.h"

// Placeholder until the handshake lands.
void StationLinkImpl::initConnection() {}
void StationLinkImpl::getDeviceProtocolVersion() {}
