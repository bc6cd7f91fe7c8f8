#include "ConfigReader.h"

#include "RavenlinkTools.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ravenlink::tools {

namespace {

std::string trim(const std::string& text)
{
    const char* const blanks = " \t\r";
    const std::size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

} // namespace

ConfigLine readConfigLine(const std::string& line)
{
    ConfigLine read;
    const std::string text = trim(line);
    if (text.empty() || text.front() == '#' || text.front() == ';') {
        return read;
    }
    if (text.front() == '[') {
        if (text.back() != ']') {
            read.error = "a section header ends with ]";
            return read;
        }
        read.kind = ConfigLine::Kind::section;
        read.name = trim(text.substr(1, text.size() - 2));
        return read;
    }
    const std::size_t separator = text.find_first_of("=:");
    if (separator == std::string::npos) {
        read.error = "expected 'key = value'";
        return read;
    }
    read.kind = ConfigLine::Kind::setting;
    read.name = trim(text.substr(0, separator));
    read.value = trim(text.substr(separator + 1));
    return read;
}

ConfigSection readConfigSection(const std::string& name)
{
    ConfigSection section;
    if (name == "broker" || name == "bridge" || name == "defaults") {
        return section;
    }
    if (name.rfind("station", 0) != 0 || name.size() < 8 || (name[7] != ' ' && name[7] != '\t')) {
        section.error = "unknown section [" + name + "]: use [broker], [bridge], [defaults] or [station ID]";
        return section;
    }
    section.station = true;
    section.id = trim(name.substr(8));
    if (!isStationId(section.id)) {
        section.error = "station id '" + section.id + "' must be 1 to 64 letters, digits, '-', '_' or '.'";
    }
    return section;
}

bool isStationId(const std::string& id)
{
    if (id.empty() || id.size() > 64) {
        return false;
    }
    for (const char c : id) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-' && c != '_' && c != '.') {
            return false;
        }
    }
    return true;
}

ConfigText readConfigText(const std::string& path)
{
    // Read by hand, so that the reason given is the one of the call that
    // failed (a stream reports an empty file or a folder with errno 0).
    ConfigText read;
    const auto failed = [&](int error) {
        read.text.clear();
        read.error = path + ": cannot read the configuration: " + std::strerror(error);
        read.reason = error;
        return read;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return failed(errno);
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            read.text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            return failed(error);
        }
    }
    ::close(fd);
    if (read.text.find_first_not_of(" \t\r\n") == std::string::npos) {
        read.text.clear();
        read.error = path + ": the configuration file is empty";
    }
    return read;
}

std::optional<long> readWholeNumber(const std::string& text, long low, long high)
{
    double value = 0.0;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || !parseNumber(text, value) ||
        value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<long>(value);
}

std::string wholeNumberError(const std::string& text, long low, long high, const std::string& what)
{
    return what + ": '" + text + "' is not a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

} // namespace ravenlink::tools
