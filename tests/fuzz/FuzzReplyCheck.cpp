// Any bytes a station may send must either pass the reply check or raise the
// library's DataException; nothing else may escape.
#include "StationLinkImpl.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const uint16_t msgID = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 4711;
    try {
        StationLinkImpl::checkReply(reply, msgID);
    } catch (const HALVERN::DataException&) {
    }
    return 0;
}
