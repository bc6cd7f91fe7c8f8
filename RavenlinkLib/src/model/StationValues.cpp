// The encodings that the request payloads use, made visible to clients.
#include "StationValues.h"

#include "Encodings.h"

int sentRetractionTorque(float percent) { return ravenlink::encodeTorque(percent); }

int sentRetractionStartLength(float metres) { return ravenlink::encodeStartLength(metres); }
