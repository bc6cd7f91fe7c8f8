// The encodings themselves live with the commands that send them; these only
// make them visible to clients.
#include "StationValues.h"

#include "StationLinkImpl.h"

int sentRetractionTorque(float percent) { return StationLinkImpl::encodeTorque(percent); }

int sentRetractionStartLength(float metres) { return StationLinkImpl::encodeStartLength(metres); }
