#include "StationLinkImpl.h"

// Placeholder until framing lands.
void StationLinkImpl::sendData(std::string, uint16_t&) { throw HALVERN::IOException("sendData: no connection established"); }
void StationLinkImpl::receiveData(std::string&, int64_t) { throw HALVERN::IOException("receiveData: Data Receiver Timeout!"); }
