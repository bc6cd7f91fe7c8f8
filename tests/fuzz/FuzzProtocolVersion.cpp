// The handshake's version parsing on any reply text: besides success, only
// DataException and the two errors of the standard string-to-integer
// conversion may come out, and a failure keeps the numbers it had not
// reached yet.
#include "StationLinkImpl.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    int major = -7;
    int minor = -7;
    int patch = -7;
    try {
        StationLinkImpl::parseProtocolVersion(reply, major, minor, patch);
    } catch (const HALVERN::DataException&) {
        // Refused before the first number: nothing may have changed.
        if (major != -7 || minor != -7 || patch != -7) {
            std::abort();
        }
    } catch (const std::invalid_argument&) {
        if (patch != -7) {
            std::abort();
        }
    } catch (const std::out_of_range&) {
        if (patch != -7) {
            std::abort();
        }
    }
    return 0;
}
