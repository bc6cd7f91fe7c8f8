#include "Encodings.h"

#include <climits>
#include <cmath>

namespace ravenlink {

int encodeActivation(bool activate) { return activate ? 16 : 0; }

int encodeTorque(float percent)
{
    // Not a number is no torque at all: send the lower bound.
    if (std::isnan(percent) || percent < 0.0F) {
        return 0;
    }
    if (percent > 100.0F) {
        return 100;
    }
    return static_cast<int>(percent);
}

int encodeStartLength(float metres)
{
    if (std::isnan(metres) || metres <= 0.3F) {
        metres = 0.3F;
    }
    // Single precision on purpose: 1.15F * 100 rounds to 115 in float, where
    // the same product in double would truncate to 114.
    const float centimetres = metres * 100.0F;
    // There is no upper bound for the length, but the wire takes a 32-bit
    // integer: converting anything larger (or infinity) would be undefined.
    if (!(centimetres < 2147483648.0F)) {
        return INT_MAX;
    }
    return static_cast<int>(centimetres);
}

} // namespace ravenlink
