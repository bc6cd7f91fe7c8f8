// Decode a details reply and print its report: only DataException may come
// out, a failed decode leaves the record as it was, and every record prints.
#include "StationLinkImpl.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    SystemDetails details;
    try {
        StationLinkImpl::processSystemDetails(reply, details);
    } catch (const HALVERN::DataException&) {
        if (!(details == SystemDetails{})) {
            std::abort();
        }
    }
    std::ostringstream out;
    StationLinkImpl::printSystemDetails(details, out);
    if (out.str().rfind("Product details:\n", 0) != 0) {
        std::abort();
    }
    return 0;
}
