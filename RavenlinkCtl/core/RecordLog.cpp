// Writing and reading the records of a monitored run. Every record is one
// line ending in a line feed; a last line without one is a record that was
// being written when the program was killed, and is left out.
#include "RecordLog.h"

#include <StationJson.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace ctl {

namespace {

using Values = std::map<std::string, double>;

std::string csvCell(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

// ---- reading ----

bool parseIsoTime(const std::string& text, double& seconds)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour, &minute, &second,
                    &millis, &used) != 7 ||
        static_cast<std::size_t>(used) != text.size()) {
        return false;
    }
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    seconds = static_cast<double>(timegm(&utc)) + millis / 1000.0;
    return true;
}

double valueOf(const Values& values, const std::string& name)
{
    const auto it = values.find(name);
    return it == values.end() ? NAN : it->second;
}

// Only what the station delivered is drawn: a group that is off, or a
// sensor that reports a fault, leaves the record's defaults in its fields.
RunSample sampleOf(double time, const Values& v)
{
    RunSample sample;
    sample.time = time;
    const bool cab = valueOf(v, "configStatus.cab") == 1.0;
    const bool uav = valueOf(v, "configStatus.energyUAV") == 1.0;
    const bool env = valueOf(v, "configStatus.env") == 1.0;
    sample.cableLength = cab ? valueOf(v, "cab.length") : NAN;
    sample.uavVoltage = uav ? valueOf(v, "energyUAV.uavSuplU") : NAN;
    sample.uavPower = uav ? valueOf(v, "energyUAV.uavPower") : NAN;
    for (int k = 0; k < 4; ++k) {
        const std::string n = std::to_string(k + 1);
        const bool ok = env && valueOf(v, "env.envSensor" + n + "Status") == 0.0;
        sample.temperatures[k] = ok ? valueOf(v, "env.temp" + n) : NAN;
    }
    return sample;
}

void flatten(const nlohmann::json& object, const std::string& prefix, Values& values)
{
    for (const auto& item : object.items()) {
        if (item.value().is_object()) {
            flatten(item.value(), prefix + item.key() + ".", values);
        } else if (item.value().is_number()) {
            values[prefix + item.key()] = item.value().get<double>();
        }
    }
}

bool jsonSample(const std::string& line, RunSample& sample)
{
    const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    double time = 0.0;
    if (!record.is_object() || !record.contains("time") || !record["time"].is_string() ||
        !parseIsoTime(record["time"].get<std::string>(), time)) {
        return false;
    }
    if (record.contains("status") && record["status"].is_object()) {
        Values values;
        flatten(record["status"], "", values);
        sample = sampleOf(time, values);
        return true;
    }
    if (record.value("link", "") == "lost") {
        sample = RunSample{};
        sample.time = time;
        sample.linkLost = true;
        return true;
    }
    return false;
}

std::vector<std::string> csvCells(const std::string& line)
{
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

bool csvSample(const std::vector<std::string>& header, const std::string& line, RunSample& sample)
{
    const std::vector<std::string> cells = csvCells(line);
    double time = 0.0;
    if (cells.size() != header.size() || !parseIsoTime(cells[0], time)) {
        return false;
    }
    if (!cells.back().empty()) {
        sample = RunSample{};
        sample.time = time;
        sample.linkLost = true;
        return true;
    }
    Values values;
    for (std::size_t i = 1; i + 1 < cells.size(); ++i) {
        // An empty field is a group the station did not send.
        if (cells[i].empty()) {
            continue;
        }
        char* end = nullptr;
        const double value = std::strtod(cells[i].c_str(), &end);
        if (*end != '\0') {
            return false;
        }
        values[header[i]] = value;
    }
    sample = sampleOf(time, values);
    return true;
}

std::string readFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw LogError(path + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw LogError(path + ": not a regular file");
    }
    std::string text;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    const int readError = n < 0 ? errno : 0;
    ::close(fd);
    if (readError != 0) {
        throw LogError(path + ": " + std::strerror(readError));
    }
    return text;
}

std::vector<std::string> completeLines(const std::string& text, bool& lastCut)
{
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', begin)) {
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    lastCut = begin < text.size();
    return lines;
}

} // namespace

std::string csvHeader()
{
    std::string header = "time";
    for (const JsonField& field : toJsonFields(SystemStatus{})) {
        header += "," + field.name;
    }
    return header + ",error\n";
}

std::string statusRecord(LogFormat format, WallTime time, const SystemStatus& status,
                         const StatusGroups& delivered)
{
    if (format == LogFormat::jsonl) {
        return toTimedJson(time, status, delivered) + "\n";
    }
    std::string row = toIsoTime(time);
    for (const JsonField& field : toJsonFields(status, delivered)) {
        row += "," + (field.value == "null" ? std::string() : field.value);
    }
    return row + ",\n";
}

std::string lostRecord(LogFormat format, WallTime time, const std::string& error)
{
    if (format == LogFormat::jsonl) {
        return ravenlink::JsonObject().add("time", toIsoTime(time)).add("link", "lost").add("error", error).str() + "\n";
    }
    const std::size_t fields = toJsonFields(SystemStatus{}).size();
    return toIsoTime(time) + std::string(fields + 1, ',') + csvCell(error) + "\n";
}

std::string appendRefusal(const std::string& path, LogFormat format)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) {
        // Opening it for the records will say what is wrong with it, if anything.
        if (fd >= 0) {
            ::close(fd);
        }
        return "";
    }
    // The first line tells the format; a CSV header may be long, never this long.
    std::string head(65536, '\0');
    const ssize_t n = ::read(fd, &head[0], head.size());
    ::close(fd);
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0U);
    head = head.substr(0, head.find('\n') == std::string::npos ? head.size() : head.find('\n') + 1);
    const bool csv = head.rfind("time,", 0) == 0;
    const bool jsonl = head.rfind("{\"time\":", 0) == 0;
    if (!csv && !jsonl) {
        return path + " is not a log written by ravenlinkctl monitor; records are appended to such logs only";
    }
    if (format == LogFormat::csv && jsonl) {
        return path + " is a JSON lines log: append to it with --format jsonl, or write the CSV to another file";
    }
    if (format == LogFormat::jsonl && csv) {
        return path + " is a CSV log: append to it with --format csv, or write JSON lines to another file";
    }
    if (csv && head != csvHeader()) {
        return path + " is a CSV log with other columns: write to another file";
    }
    return "";
}

RunLog readRunLog(const std::string& path)
{
    RunLog log;
    const std::vector<std::string> lines = completeLines(readFile(path), log.lastRecordCut);
    if (lines.empty()) {
        throw LogError(path + (log.lastRecordCut ? ": holds no complete record" : ": empty log, nothing to plot"));
    }
    const bool csv = lines.front().rfind("time,", 0) == 0;
    if (!csv && lines.front().rfind("{", 0) != 0) {
        throw LogError(path + ": not a log written by ravenlinkctl monitor");
    }
    const std::vector<std::string> header = csv ? csvCells(lines.front()) : std::vector<std::string>{};
    for (std::size_t i = csv ? 1 : 0; i < lines.size(); ++i) {
        if (lines[i].empty()) {
            continue;
        }
        RunSample sample;
        if (!(csv ? csvSample(header, lines[i], sample) : jsonSample(lines[i], sample))) {
            throw LogError(path + ":" + std::to_string(i + 1) + ": not a record of ravenlinkctl monitor");
        }
        log.statusRecords += sample.linkLost ? 0 : 1;
        log.samples.push_back(sample);
    }
    if (log.statusRecords == 0) {
        throw LogError(path + ": no status record to plot");
    }
    return log;
}

} // namespace ctl
