// plot. The log becomes a gnuplot script with the data inline; gnuplot draws
// into a file beside the picture, which takes the picture's name only when
// gnuplot succeeded, so a failed run never leaves half a picture behind.
#include "Plot.h"

#include "Commands.h"
#include "CtlOutput.h"

#include <RavenlinkTools.h>

#include <StationJson.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ctl {

namespace {

struct Series {
    const char* title;
    int column;  // in the data block: 1 is the time
    const char* axes;
};

struct Panel {
    const char* title;
    const char* unit;
    std::vector<Series> series;
    const char* rightUnit;
};

const Panel panels[] = {
    {"Cable length", "m", {{"cable length", 2, "x1y1"}}, nullptr},
    {"UAV supply", "V", {{"voltage", 3, "x1y1"}, {"power (W)", 4, "x1y2"}}, "W"},
    {"Temperatures", "°C",
     {{"temperature 1", 5, "x1y1"}, {"temperature 2", 6, "x1y1"}, {"temperature 3", 7, "x1y1"}, {"temperature 4", 8, "x1y1"}},
     nullptr},
};

double columnValue(const RunSample& s, int column)
{
    switch (column) {
    case 2: return s.cableLength;
    case 3: return s.uavVoltage;
    case 4: return s.uavPower;
    default: return s.temperatures[column - 5];
    }
}

std::string number(double value)
{
    if (!std::isfinite(value)) {
        return "NaN";
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// One line per reading; a lost link is one empty line, which gnuplot draws
// as a gap.
std::string timeText(double seconds)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string dataBlock(const RunLog& log)
{
    std::string block = "$run << EOD\n";
    bool gap = true;
    for (const RunSample& s : log.samples) {
        if (s.linkLost) {
            block += gap ? "" : "\n";
            gap = true;
            continue;
        }
        block += timeText(s.time);
        for (int column = 2; column <= 8; ++column) {
            block += " " + number(columnValue(s, column));
        }
        block += "\n";
        gap = false;
    }
    return block + "EOD\n";
}

bool hasData(const RunLog& log, int column)
{
    for (const RunSample& s : log.samples) {
        if (!s.linkLost && std::isfinite(columnValue(s, column))) {
            return true;
        }
    }
    return false;
}

// A series without a single value would stop gnuplot; a panel without any
// says so instead.
std::string panelScript(const RunLog& log, const Panel& panel)
{
    std::string plots;
    for (const Series& series : panel.series) {
        if (hasData(log, series.column)) {
            plots += std::string(plots.empty() ? "plot " : ", ") + "$run using 1:" + std::to_string(series.column) +
                     " with linespoints pt 7 ps 0.3 lw 1.5 axes " + series.axes + " title \"" + series.title + "\"";
        }
    }
    std::string script = std::string("set title \"") + panel.title + "\"\nset ylabel \"" + panel.unit + "\"\n";
    if (panel.rightUnit != nullptr) {
        script += std::string("set ytics nomirror\nset y2tics\nset y2label \"") + panel.rightUnit + "\"\n";
    }
    if (plots.empty()) {
        script += "set label 1 \"no data\" at graph 0.5, graph 0.5 center\nset yrange [0:1]\nplot 2 notitle\n"
                  "unset label 1\nset yrange [*:*]\n";
    } else {
        script += plots + "\n";
    }
    if (panel.rightUnit != nullptr) {
        script += "unset y2tics\nunset y2label\nset ytics mirror\n";
    }
    return script;
}

std::string runTitle(const RunLog& log, double first, double last)
{
    const auto at = [](double seconds) {
        const auto t = std::chrono::system_clock::time_point(
            std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000.0))));
        const std::string iso = toIsoTime(t);
        return iso.substr(0, 10) + " " + iso.substr(11, 8);
    };
    std::size_t losses = 0;
    for (const RunSample& s : log.samples) {
        losses += s.linkLost ? 1 : 0;
    }
    return "Ravenlink monitor run, " + at(first) + " to " + at(last) + " UTC, " + std::to_string(log.statusRecords) +
           (log.statusRecords == 1 ? " reading, " : " readings, ") + std::to_string(losses) +
           (losses == 1 ? " link loss" : " link losses");
}

// gnuplot quotes in single quotes; a quote inside is written twice.
std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

std::string tempName(const std::string& output) { return output + ".part"; }

// Runs gnuplot on \p script; the empty text when it succeeded, else why not.
std::string runGnuplot(const std::string& script)
{
    std::FILE* errors = std::tmpfile();
    int in[2] = {-1, -1};
    if (errors == nullptr || ::pipe2(in, O_CLOEXEC) != 0) {
        return std::string("cannot start gnuplot: ") + std::strerror(errno);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ::fileno(errors), STDERR_FILENO);
    char program[] = "gnuplot";
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    const int spawnError = ::posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    if (spawnError != 0) {
        ::close(in[1]);
        std::fclose(errors);
        return spawnError == ENOENT ? "gnuplot not found: install it (Debian package gnuplot-nox)"
                                    : std::string("cannot start gnuplot: ") + std::strerror(spawnError);
    }
    // gnuplot may stop reading at an error; its exit status tells why.
    std::signal(SIGPIPE, SIG_IGN);
    ravenlink::tools::writeAll(in[1], script);
    ::close(in[1]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::string message;
    std::rewind(errors);
    char line[512];
    while (std::fgets(line, sizeof line, errors) != nullptr) {
        if (oneLine(line).find_first_not_of(" ^") != std::string::npos) {
            message = oneLine(line);
        }
    }
    std::fclose(errors);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return "";
    }
    return "gnuplot failed" + (message.empty() ? std::string() : ": " + message);
}

// Why the picture cannot be written into its folder, or "" when it can.
// gnuplot would only say that it cannot open the file, or nothing at all.
std::string folderProblem(const std::string& output)
{
    const std::size_t slash = output.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return "cannot write " + output + ": folder " + folder + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return "cannot write " + output + ": " + folder + " is not a folder";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "cannot write " + output + ": folder " + folder + ": " + std::strerror(errno);
    }
    return "";
}

std::string defaultOutput(const std::string& log)
{
    const std::size_t slash = log.find_last_of('/');
    const std::size_t dot = log.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? log.substr(0, dot) : log) + ".svg";
}

} // namespace

std::string plotScript(const RunLog& log, const std::string& output, bool png)
{
    double first = log.samples.front().time;
    double last = first;
    for (const RunSample& s : log.samples) {
        first = std::min(first, s.time);
        last = std::max(last, s.time);
    }
    const double widen = last > first ? 0.0 : 1.0;
    std::string script = png ? "set terminal pngcairo size 1200,1000 font \"sans,10\"\n"
                             : "set terminal svg size 1200,1000 dynamic font \"sans,11\" background \"#ffffff\"\n";
    script += "set encoding utf8\nset output " + quoted(output) + "\n" + dataBlock(log);
    // Short runs get tenths of seconds, or their ticks would repeat a second.
    const char* const timeFormat = last - first < 30.0 ? "%H:%M:%.1S" : "%H:%M:%S";
    script += std::string("set xdata time\nset timefmt \"%s\"\nset format x \"") + timeFormat + "\"\n";
    // Fixed margins keep the three time axes aligned whatever the labels' widths.
    script += "set grid\nset key outside right top\nset lmargin at screen 0.08\nset rmargin at screen 0.80\n";
    script += "set xrange [\"" + timeText(first - widen) + "\":\"" + timeText(last + widen) + "\"]\n";
    script += "set multiplot layout 3,1 title \"" + runTitle(log, first, last) + "\"\n";
    for (const Panel& panel : panels) {
        script += panelScript(log, panel);
    }
    return script + "unset multiplot\nset output\n";
}

void PlotCommand::declare(CLI::App& command)
{
    command.add_option("LOG", log, "a log written by monitor")->required();
    command.add_option("--output", output, "FILE.svg or FILE.png (default: LOG's name with .svg)")->type_name("FILE");
}

void PlotCommand::convert()
{
    const auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return output.size() > t.size() && output.compare(output.size() - t.size(), t.size(), t) == 0;
    };
    if (!output.empty() && !endsWith(".svg") && !endsWith(".png")) {
        throw UsageError(name() + ": --output must name a .svg or .png file");
    }
}

int PlotCommand::run(Context& context)
{
    const std::string picture = output.empty() ? defaultOutput(log) : output;
    const bool png = picture.size() > 4 && picture.compare(picture.size() - 4, 4, ".png") == 0;
    RunLog run;
    try {
        run = readRunLog(log);
    } catch (const LogError& e) {
        return context.fail(std::string("ravenlinkctl: ") + e.what());
    }
    if (run.lastRecordCut) {
        context.err << "ravenlinkctl: " << shownLine(log) << ": the last record is incomplete and left out\n";
    }
    const std::string folder = folderProblem(picture);
    if (!folder.empty()) {
        return context.fail("ravenlinkctl: " + folder);
    }
    const std::string part = tempName(picture);
    const std::string problem = runGnuplot(plotScript(run, part, png));
    struct stat info {};
    if (problem.empty() && (::stat(part.c_str(), &info) != 0 || info.st_size == 0)) {
        ::unlink(part.c_str());
        return context.fail("ravenlinkctl: gnuplot wrote no picture to " + picture);
    }
    if (!problem.empty()) {
        ::unlink(part.c_str());
        return context.fail("ravenlinkctl: " + problem);
    }
    if (::rename(part.c_str(), picture.c_str()) != 0) {
        const int error = errno;
        ::unlink(part.c_str());
        return context.fail("ravenlinkctl: " + picture + ": " + std::strerror(error));
    }
    return exitDone;
}

} // namespace ctl
