// C++ access to the protocol's key table and the type-tested JSON reads that
// the reply check, the handshake and the decoders share. Reads never throw a
// JSON-library exception: every typed read is preceded by its type test.
#ifndef RAVENLINK_PROTOCOL_KEYS_H
#define RAVENLINK_PROTOCOL_KEYS_H

#include "StationComposer.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <type_traits>

namespace ravenlink {

using json = nlohmann::json;

/// The wire text of a protocol key, from the composer's key table.
inline const char* key(sc_key k) { return sc_key_text[k]; }

/// Parses a whole reply text strictly (one value, no comments). Returns
/// false instead of throwing when the text is not well-formed JSON.
inline bool parseReply(const std::string& text, json& out)
{
    out = json::parse(text, nullptr, false, false);
    return !out.is_discarded();
}

/// The member \p k of \p obj when \p obj is an object holding it as an
/// object; nullptr otherwise (absent, null or another type).
inline const json* findObject(const json& obj, sc_key k)
{
    if (!obj.is_object()) {
        return nullptr;
    }
    const auto it = obj.find(key(k));
    return (it != obj.end() && it->is_object()) ? &*it : nullptr;
}

/// Reads member \p k as an integer of type T with two's-complement
/// truncation of wider values. Leaves \p out alone and returns false when
/// the member is absent, null or not a JSON integer (floats included).
template <typename T>
bool readInteger(const json& obj, sc_key k, T& out)
{
    static_assert(std::is_integral<T>::value, "integer fields only");
    if (!obj.is_object()) {
        return false;
    }
    const auto it = obj.find(key(k));
    if (it == obj.end() || !it->is_number_integer()) {
        return false;
    }
    const std::uint64_t bits = it->is_number_unsigned()
                                   ? it->get<std::uint64_t>()
                                   : static_cast<std::uint64_t>(it->get<std::int64_t>());
    out = static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
    return true;
}

/// Reads member \p k as a 32-bit integer converted to float and divided by
/// \p divisor. The station sends fixed-point values as integers; the
/// scaling stays in single precision so a value reads as on the station.
inline bool readScaled(const json& obj, sc_key k, float& field, float divisor = 1.0F)
{
    std::int32_t raw = 0;
    if (!readInteger(obj, k, raw)) {
        return false;
    }
    field = static_cast<float>(raw) / divisor;
    return true;
}

/// Reads member \p k as a string; false (and \p out untouched) otherwise.
inline bool readString(const json& obj, sc_key k, std::string& out)
{
    if (!obj.is_object()) {
        return false;
    }
    const auto it = obj.find(key(k));
    if (it == obj.end() || !it->is_string()) {
        return false;
    }
    out = it->get_ref<const std::string&>();
    return true;
}

} // namespace ravenlink

#endif // RAVENLINK_PROTOCOL_KEYS_H
