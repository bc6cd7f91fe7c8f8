// ravenlinkctl as a function: the command line parsed with CLI11, one
// subcommand per row of the command table, whose callback checks the
// values, runs the command and sets the exit status.
#ifndef RAVENLINKCTL_APP_H
#define RAVENLINKCTL_APP_H

#include <iosfwd>
#include <string>

namespace ctl {

// Runs the command line \p argv (argv[0] the program) with \p out as
// standard output and \p err as standard error. \return the exit status:
// 0 done, 1 failed, 2 a wrong command line; check's own 0 to 3. monitor
// writes its records to the process's standard output or to its file.
int run(int argc, char** argv, std::ostream& out, std::ostream& err);

// The usage lines printed after a usage error, the commands listed from
// the table.
std::string usageText();

// \p script, the bash completion's template, with "@COMMANDS@" replaced by
// the table's commands, "@COMMAND_OPTIONS@" by one case branch for each
// command that has options, naming their long forms, and "@READING_LABELS@"
// by check's perfdata labels, "LABEL=" each.
std::string completionScript(std::string script);

} // namespace ctl

#endif // RAVENLINKCTL_APP_H
