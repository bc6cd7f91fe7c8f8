// The log of a monitored run: the records monitor writes (JSON lines or
// CSV), and reading them back for a picture.
#ifndef RAVENLINKCTL_RECORD_LOG_H
#define RAVENLINKCTL_RECORD_LOG_H

#include <StationLink.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace ctl {

enum class LogFormat { jsonl, csv };

using WallTime = std::chrono::system_clock::time_point;

// The CSV header: time, the dotted status fields, error; with line feed.
std::string csvHeader();

// One status record, line feed included. A group that \p delivered does not
// mark as sent is null in JSON; in CSV its fields are empty.
std::string statusRecord(LogFormat format, WallTime time, const SystemStatus& status,
                         const StatusGroups& delivered);

// One record of a lost link with its error, line feed included.
std::string lostRecord(LogFormat format, WallTime time, const std::string& error);

// Why records of \p format must not be appended to the log \p path, or ""
// when they may: it is empty, missing, no regular file, or a log of the
// same format and (CSV) the same columns. The file is only read.
std::string appendRefusal(const std::string& path, LogFormat format);

// What a picture of the run shows at one moment. A value that the station
// did not deliver (group off, sensor failed) is NaN.
struct RunSample {
    double time = 0.0;  // seconds since 1970, UTC
    bool linkLost = false;
    double cableLength = 0.0;
    double uavVoltage = 0.0;
    double uavPower = 0.0;
    double temperatures[4] = {};
};

struct RunLog {
    std::vector<RunSample> samples;  // in the order of the log
    std::size_t statusRecords = 0;
    bool lastRecordCut = false;      // the log ends inside a record
};

class LogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a log that monitor wrote, in either format.
// \throw LogError the file cannot be read, is empty, is no such log, or holds
//        no status record
RunLog readRunLog(const std::string& path);

} // namespace ctl

#endif // RAVENLINKCTL_RECORD_LOG_H
