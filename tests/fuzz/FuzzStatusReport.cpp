// Decode a status reply and print its report: only DataException may come
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
    SystemStatus status;
    try {
        StationLinkImpl::processStatusData(reply, status);
    } catch (const HALVERN::DataException&) {
        if (!(status == SystemStatus{})) {
            std::abort();
        }
    }
    std::ostringstream out;
    StationLinkImpl::printSystemStatus(status, out);
    if (out.str().rfind("Current system status\n", 0) != 0) {
        std::abort();
    }
    return 0;
}
