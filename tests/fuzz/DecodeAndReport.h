// The check of the decode-and-report fuzzers: only DataException may come out
// of a decoder, a failed decode leaves the record as it was, and every record
// prints its report from the heading on.
#ifndef RAVENLINK_FUZZ_DECODE_AND_REPORT_H
#define RAVENLINK_FUZZ_DECODE_AND_REPORT_H

#include "PrintedReport.h"
#include "StationLinkImpl.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

template <typename Record>
int decodeAndReport(const uint8_t* data, size_t size, void (*decode)(const std::string&, Record&),
                    const std::string& heading)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    Record record;
    try {
        decode(reply, record);
    } catch (const HALVERN::DataException&) {
        if (!(record == Record{})) {
            std::abort();
        }
    }
    if (ravenlinktest::report(record).rfind(heading, 0) != 0) {
        std::abort();
    }
    return 0;
}

#endif // RAVENLINK_FUZZ_DECODE_AND_REPORT_H
