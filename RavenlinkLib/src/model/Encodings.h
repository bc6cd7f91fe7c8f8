// The whole numbers that the station is sent for a setting. Pure, so that the
// request payloads, the public StationValues.h and the tests share one rule.
#ifndef RAVENLINK_ENCODINGS_H
#define RAVENLINK_ENCODINGS_H

namespace ravenlink {

/// 16 (switched on over the serial link) or 0 (off).
int encodeActivation(bool activate);

/// Percent clamped to 0..100 and truncated; NaN is sent as 0
/// (vocab::encode of vocab::retractionTorque).
int encodeTorque(float percent);

/// Centimetres, at least 30: rounded to a hundredth of a centimetre, then
/// truncated; NaN is sent as 30, and anything beyond the 32-bit range as
/// INT_MAX (vocab::encode of vocab::retractionStart).
int encodeStartLength(float metres);

} // namespace ravenlink

#endif // RAVENLINK_ENCODINGS_H
