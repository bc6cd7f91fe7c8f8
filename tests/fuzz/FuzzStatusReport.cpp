// Decode a status reply and print its report: only DataException may come
// out, a failed decode leaves the record as it was, and every record prints.
#include "DecodeAndReport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return decodeAndReport<SystemStatus>(data, size, StationLinkImpl::processStatusData, "Current system status\n");
}
