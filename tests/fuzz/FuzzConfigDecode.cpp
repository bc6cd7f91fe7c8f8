// Decode a configuration reply: only DataException may come out, and a
// failed decode leaves the record as it was.
#include "StationLinkImpl.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    SystemConfig config{true, 12.0F, 3.5F, 7};
    const SystemConfig before = config;
    try {
        StationLinkImpl::processSystemConfig(reply, config);
    } catch (const HALVERN::DataException&) {
        if (!(config == before)) {
            std::abort();
        }
    }
    return 0;
}
