// The command line of ravenlinkctl: what the user asked for, checked and
// parsed, or the exit status of a usage error or of --help / --version.
#ifndef RAVENLINKCTL_ARGUMENTS_H
#define RAVENLINKCTL_ARGUMENTS_H

#include <StationLink.h>

#include <optional>
#include <string>
#include <vector>

namespace ctl {

enum ExitStatus : int {
    exitDone = 0,
    exitFailed = 1,  // the station, the link or a file failed
    exitUsage = 2,   // the command line is wrong
};

// The exit statuses of "check", in the monitoring-plugin convention.
enum CheckStatus : int { checkOk = 0, checkWarning = 1, checkCritical = 2, checkUnknown = 3 };

enum class LogFormat { jsonl, csv };

struct MonitorRequest {
    double intervalSeconds = 1.0;
    unsigned long count = 0;  // 0: until a signal ends it
    std::string output;       // empty: standard output
    LogFormat format = LogFormat::jsonl;
};

struct PlotRequest {
    std::string log;
    std::string output;  // empty: the log's name with ".svg"
};

struct Invocation {
    std::string port;
    int timeoutMs = 300;
    bool json = false;
    bool verbose = false;
    std::string command;

    float torque = 0.0F;       // torque
    float startLength = 0.0F;  // start-length, configure
    bool activation = false;   // configure
    // groups: the flags named on the command line; the others stay unset
    std::optional<int> groupFlags[5];
    MonitorRequest monitor;
    PlotRequest plot;
};

// The group names on the command line, in the order of ConfigStatus.
extern const char* const groupNames[5];
int& groupFlag(ConfigStatus& config, std::size_t index);

// Parses argv into \p invocation. Returns an exit status when the program is
// to end at once (help, version, usage error; the texts are already printed).
std::optional<int> parseArguments(int argc, char** argv, Invocation& invocation);

// Reports a usage error found after parsing: the reason and the usage on
// standard error. Returns exitUsage.
int usageError(const std::string& reason);

} // namespace ctl

#endif // RAVENLINKCTL_ARGUMENTS_H
