// The command line, parsed with CLI11. Every row of the table becomes a
// subcommand whose callback does what each command needs before it runs:
// the timeout checked, the command's values converted, the port required
// where the row asks for it. A usage error is refused by the command named,
// so that check can answer it in its own convention.
#include "CtlApp.h"

#include "CommandTable.h"
#include "CtlOutput.h"
#include "Perfdata.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <ostream>
#include <sstream>

namespace ctl {

namespace {

// The command table wired into one CLI11 application.
struct Program {
    explicit Program(Context& context);

    std::vector<std::unique_ptr<CtlCommand>> commands = commandTable();
    CLI::App app{"Every Halvern Loftward ground station operation from the command line.", "ravenlinkctl"};
    std::vector<CLI::App*> subcommands;  // in the order of commands
};

std::string environment(const char* name)
{
    const char* const value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The port and timeout of -s NAME, or the stations of --all, from the
// stations file; else the port of -p or of the environment.
void chooseStation(const CtlCommand& command, Context& context)
{
    GlobalOptions& options = context.options;
    if (options.all && !command.readsEveryStation()) {
        throw UsageError("--all: only check reads every station");
    }
    if (options.all && (!options.port.empty() || !options.station.empty())) {
        throw UsageError("--all reads every station of the stations file; -p and -s name one");
    }
    if (!options.port.empty() && !options.station.empty()) {
        throw UsageError("-p and -s both name the port; give one of them");
    }
    if (options.station.empty() && !options.all) {
        if (options.port.empty()) {
            options.port = environment("RAVENLINK_PORT");
        }
        return;
    }
    std::string file = options.stationsFile;
    file = file.empty() ? environment("RAVENLINK_STATIONS") : file;
    file = file.empty() ? defaultStationsFile : file;
    context.stations = readStations(file);
    if (!options.all) {
        const NamedStation& station = stationNamed(context.stations, options.station, file);
        options.port = station.port;
        if (!options.timeoutGiven && station.timeoutMs != 0) {
            options.timeoutMs = station.timeoutMs;
        }
    }
}

// The checks of the dispatcher, then the command. \return the exit status
int dispatch(CtlCommand& command, Context& context)
{
    try {
        const ravenlink::vocab::Setting& timeout = ravenlink::vocab::connectionTimeout;
        context.options.timeoutMs = static_cast<int>(settingValue(
            timeout, context.options.timeoutText, "--" + std::string(timeout.name) + ": " + std::string(timeout.placeholder)));
        command.convert();
        chooseStation(command, context);
        if (command.needsPort() && context.options.port.empty() && !context.options.all) {
            throw UsageError("no port given: use -p PATH, -s NAME or set RAVENLINK_PORT");
        }
    } catch (const UsageError& e) {
        return command.refuse(context, e.what());
    }
    return command.run(context);
}

void addGlobalOptions(CLI::App& app, GlobalOptions& options)
{
    // RAVENLINK_PORT is read by the dispatcher: -s must win over it, and
    // CLI11 would not tell the variable from -p.
    app.add_option("-p,--port", options.port, "serial port of the station (else RAVENLINK_PORT)")->type_name("PATH");
    app.add_option("-s,--station", options.station, "a station of the stations file, by its id")->type_name("NAME");
    app.add_option("--stations", options.stationsFile,
                   std::string("the stations file (else RAVENLINK_STATIONS, else ") + defaultStationsFile + ")")
        ->type_name("FILE");
    app.add_flag("--all", options.all, "check every station of the stations file");
    app.add_option("-t,--timeout", options.timeoutText,
                   "connection timeout, set before the handshake (default the station's in the file, else 300)")
        ->type_name(std::string(ravenlink::vocab::connectionTimeout.placeholder))
        ->each([&options](const std::string&) { options.timeoutGiven = true; });
    app.add_flag("--json", options.json, "print JSON instead of text");
    app.add_flag("-v,--verbose", options.verbose,
                 "show every request (> ), reply (< ) and dropped reply (x ) on standard error");
    StationLink link;
    app.set_version_flag("--version", std::string("ravenlinkctl ") + RAVENLINKCTL_VERSION + " (library build " +
                                          link.getLibraryBuild() + ", protocol " + link.getProtocolVersion() + ")");
}

Program::Program(Context& context)
{
    app.require_subcommand(1, 1);
    app.fallthrough();
    addGlobalOptions(app, context.options);
    for (const std::unique_ptr<CtlCommand>& row : commands) {
        CtlCommand& command = *row;
        CLI::App* sub = app.add_subcommand(command.name(), command.help());
        command.declare(*sub);
        sub->callback([&command, &context] { context.exit = dispatch(command, context); });
        subcommands.push_back(sub);
    }
}

// "Commands:" and the names in the table's order, wrapped before column 80.
std::string commandLines(const std::vector<std::unique_ptr<CtlCommand>>& commands)
{
    std::string lines;
    std::string line = "Commands:";
    for (const std::unique_ptr<CtlCommand>& command : commands) {
        const std::string name = command->name();
        if (line.size() + 1 + name.size() > 79) {
            lines += line + "\n";
            line = std::string(9, ' ');
        }
        line += " " + name;
    }
    return lines + line + "\n";
}

std::string usageOf(const std::vector<std::unique_ptr<CtlCommand>>& commands)
{
    return "Usage: ravenlinkctl [options] COMMAND [args]\n" + commandLines(commands) +
           "Run 'ravenlinkctl --help' or 'ravenlinkctl COMMAND --help' for more.\n";
}

// The first word of \p argv that is neither an option nor an option's
// value: what the user meant as the command. Empty when there is none.
std::string commandWord(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        // "-p PATH", "-vt 500": a short option with a value ends its cluster.
        const bool shortWithValue = word.size() >= 2 && word[0] == '-' && word[1] != '-' &&
                                    (word.back() == 'p' || word.back() == 't' || word.back() == 's');
        if (shortWithValue || word == "--port" || word == "--timeout" || word == "--station" || word == "--stations") {
            ++i;
        } else if (word.empty() || word[0] != '-') {
            return word;
        }
    }
    return "";
}

// CLI11 says only "A subcommand is required" for a command it does not know,
// or that the word "was not expected".
std::string parseErrorText(const CLI::Error& e, const Program& program, int argc, char** argv)
{
    const std::string word = commandWord(argc, argv);
    std::string known;
    bool isKnown = false;
    for (const std::unique_ptr<CtlCommand>& command : program.commands) {
        known += (known.empty() ? "" : ", ") + command->name();
        isKnown = isKnown || word == command->name();
    }
    if (word.empty() || isKnown) {
        return e.what();
    }
    return "unknown command '" + word + "'; the commands are " + known;
}

int refuseCommandLine(const CLI::Error& e, const Program& program, Context& context, int argc, char** argv)
{
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        // --help or --version, printed on standard output.
        return program.app.exit(e, context.out, context.err) == 0 ? exitDone : exitUsage;
    }
    const std::string reason = parseErrorText(e, program, argc, argv);
    for (std::size_t i = 0; i < program.commands.size(); ++i) {
        if (program.subcommands[i]->parsed()) {
            return program.commands[i]->refuse(context, reason);
        }
    }
    return context.usageError(reason);
}

// The long names of \p command's options, "--name" each, blank separated.
std::string longOptions(const CLI::App& command)
{
    std::string names;
    for (const CLI::Option* option : command.get_options()) {
        if (option == command.get_help_ptr()) {
            continue;
        }
        for (const std::string& name : option->get_lnames()) {
            names += (names.empty() ? "--" : " --") + name;
        }
    }
    return names;
}

void replace(std::string& text, const std::string& marker, const std::string& by)
{
    const std::size_t at = text.find(marker);
    if (at != std::string::npos) {
        text.replace(at, marker.size(), by);
    }
}

} // namespace

int run(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    try {
        Context context(out, err);
        Program program(context);
        context.usage = usageOf(program.commands);
        try {
            program.app.parse(argc, argv);
        } catch (const CLI::Error& e) {
            return refuseCommandLine(e, program, context, argc, argv);
        }
        return context.exit;
    } catch (const std::exception& e) {
        // Reached only by failures without a handler of their own, such as
        // running out of memory.
        err << "ravenlinkctl: " << e.what() << '\n' << std::flush;
        return exitFailed;
    }
}

std::string usageText() { return usageOf(commandTable()); }

std::string completionScript(std::string script)
{
    std::ostringstream none;
    Context context(none, none);
    const Program program(context);
    std::string names;
    std::string branches;
    for (std::size_t i = 0; i < program.commands.size(); ++i) {
        const std::string name = program.commands[i]->name();
        names += (names.empty() ? "" : " ") + name;
        const std::string options = longOptions(*program.subcommands[i]);
        if (!options.empty()) {
            branches += "        " + name + ") options=\"" + options + "\" ;;\n";
        }
    }
    std::string labels;
    for (const std::string& label : readingLabels()) {
        labels += (labels.empty() ? "" : " ") + label + "=";
    }
    replace(script, "@COMMANDS@", names);
    replace(script, "@READING_LABELS@", labels);
    replace(script, "@COMMAND_OPTIONS@\n", branches);
    return script;
}

} // namespace ctl
