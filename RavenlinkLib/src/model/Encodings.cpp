#include "Encodings.h"

#include <StationVocabulary.h>

namespace ravenlink {

int encodeActivation(bool activate) { return activate ? 16 : 0; }

// The rules themselves are the vocabulary's, which the front ends read too.
int encodeTorque(float percent) { return vocab::encode(vocab::retractionTorque, percent); }

int encodeStartLength(float metres) { return vocab::encode(vocab::retractionStart, metres); }

} // namespace ravenlink
