// The commands of ravenlinkctl as a table. A command is one class, which
// declares its own arguments and options (bound to its own members), turns
// their texts into values and runs; and one row in commandTable(), which
// names it, gives its help line and says whether it needs the station's
// port. The dispatcher (CtlApp) checks the global options and the port
// before a command runs, so no command repeats that.
#ifndef RAVENLINKCTL_COMMAND_TABLE_H
#define RAVENLINKCTL_COMMAND_TABLE_H

#include "NamedStations.h"

#include <StationLink.h>
#include <StationVocabulary.h>

#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace ctl {

enum ExitStatus : int {
    exitDone = 0,
    exitFailed = 1,  // the station, the link or a file failed
    exitUsage = 2,   // the command line is wrong
};

// A command line that CLI11 took but whose values are wrong; what() is the
// reason, as the user reads it after "ravenlinkctl: ".
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The options that may stand before or after any command.
struct GlobalOptions {
    std::string port;
    std::string station;       // -s NAME: a station of the stations file
    std::string stationsFile;  // --stations FILE
    bool all = false;          // --all: every station of the stations file
    std::string timeoutText = "300";  // as typed; the dispatcher checks it
    bool timeoutGiven = false;        // -t was given: it wins over the stations file
    int timeoutMs = 300;
    bool json = false;
    bool verbose = false;
};

// What a command runs with: where it prints, the global options, the usage
// text for its usage errors, and the station.
class Context {
public:
    Context(std::ostream& out, std::ostream& err);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    std::ostream& out;
    std::ostream& err;
    GlobalOptions options;
    std::string usage;      // the usage lines, line feed included
    int exit = exitFailed;  // set by the command that ran

    // The link, not opened: for what needs no station (the port list).
    StationLink& link();

    // The link opened on the port of the options, on the first call; later
    // calls give the same open link.
    // \throw as openStation
    StationLink& station();

    // Prints \p output in one piece and flushes it. \return exitDone, or
    // exitFailed (with the reason on err) when it could not be written
    int print(const std::string& output);

    // Prints \p what on err as one shownLine. \return exitFailed
    int fail(const std::string& what);

    // Prints "ravenlinkctl: " \p reason and the usage on err. \return exitUsage
    int usageError(const std::string& reason);

    // Closes the link, if open; the next station() opens \p port with the
    // timeout \p timeoutMs. For commands that read one station after another.
    void useStation(const std::string& port, int timeoutMs);

    // The stations of the stations file, when -s or --all read it.
    std::vector<NamedStation> stations;

private:
    std::unique_ptr<StationLink> link_;
    bool opened = false;
};

// Sets \p link up as \p options ask (timeout before the handshake, the reply
// end, with -v the wire trace on \p trace) and opens the port.
// \throw HALVERN::IOException, HALVERN::DataException as openConnection
// \throw std::runtime_error the port names no character device, or the
//        station's protocol version is no number
void openStation(StationLink& link, const GlobalOptions& options, std::ostream& trace);

// One row of the table.
struct CommandRow {
    std::string name;
    std::string help;  // the line --help shows beside the name
    bool needsPort;    // the dispatcher refuses to run it without -p
};

class CtlCommand {
public:
    explicit CtlCommand(const CommandRow& row) : row(row) {}
    virtual ~CtlCommand() = default;
    CtlCommand(const CtlCommand&) = delete;
    CtlCommand& operator=(const CtlCommand&) = delete;

    const std::string& name() const { return row.name; }
    const std::string& help() const { return row.help; }
    bool needsPort() const { return row.needsPort; }

    // Adds the command's arguments and options to \p command.
    virtual void declare(CLI::App& command);

    // Turns the texts of the arguments into values, after parsing.
    // \throw UsageError
    virtual void convert() {}

    // Runs the command. \return the exit status
    virtual int run(Context& context) = 0;

    // Reports the usage error \p reason of a command line that named this
    // command. \return the exit status
    virtual int refuse(Context& context, const std::string& reason);

    // True for a command that takes --all: every station of the file.
    virtual bool readsEveryStation() const { return false; }

private:
    CommandRow row;
};

// A command that talks to the station once: its whole output is built first
// and printed only once every exchange has succeeded, so a failure never
// shows a success.
class OneShotCommand : public CtlCommand {
public:
    using CtlCommand::CtlCommand;
    int run(Context& context) final;

protected:
    // \throw std::exception whatever the link throws
    virtual std::string output(Context& context) = 0;
};

// Every command, in the order of the usage text and of --help.
std::vector<std::unique_ptr<CtlCommand>> commandTable();

// The value of \p text as \p setting takes it (ravenlink::vocab::accept).
// \throw UsageError "SUBJECT must be" and the setting's range otherwise,
// \p subject naming the command and the value: "torque: PERCENT"
float settingValue(const ravenlink::vocab::Setting& setting, const std::string& text, const std::string& subject);

// The setting's range for a help line: "0 to 100".
std::string rangeHelp(const ravenlink::vocab::Setting& setting);

// The value of \p text when it is written with digits alone and lies from
// \p low to \p high. \throw UsageError \p what otherwise
long long wholeIn(const std::string& text, long long low, long long high, const std::string& what);

} // namespace ctl

#endif // RAVENLINKCTL_COMMAND_TABLE_H
