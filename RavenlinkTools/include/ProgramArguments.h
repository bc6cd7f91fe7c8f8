// The command line of a long-running program (ravenlink-bridge,
// ravenlink-web): parsed with CLI11, then its values checked by the
// program. Header-only, so that only the programs that parse with CLI11 need
// it.
#ifndef RAVENLINK_TOOLS_PROGRAM_ARGUMENTS_H
#define RAVENLINK_TOOLS_PROGRAM_ARGUMENTS_H

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>
#include <string>

namespace ravenlink::tools {

/// Parses \p argv with \p app, then calls \p apply, which checks the values
/// and throws \p Error for one that cannot be used. Before the parse, which
/// would echo what follows an option it does not know (a password), each
/// argument is shown to \p refuse, which returns why it is refused or "".
/// \return the exit status when the program is to end at once: 0 after
/// --help or --version (2 when that text cannot be shown), 2 for a refused
/// argument ("APP: why"), a command line that does not parse ("APP: reason"
/// and \p usage) or one that \p apply refused ("APP: what()"), each on
/// standard error; APP is the app's name.
template <class Error, class Refuse, class Apply>
std::optional<int> parseArguments(CLI::App& app, int argc, char** argv, const char* usage, Refuse refuse, Apply apply)
{
    constexpr int done = 0;
    constexpr int usageStatus = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string why = refuse(std::string(argv[i]));
        if (!why.empty()) {
            std::cerr << app.get_name() << ": " << why << '\n';
            return usageStatus;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Error& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            return app.exit(e, std::cout, std::cerr) == 0 ? done : usageStatus;
        }
        std::cerr << app.get_name() << ": " << e.what() << '\n' << usage;
        return usageStatus;
    }
    try {
        apply();
    } catch (const Error& e) {
        std::cerr << app.get_name() << ": " << e.what() << '\n';
        return usageStatus;
    }
    return std::nullopt;
}

} // namespace ravenlink::tools

#endif // RAVENLINK_TOOLS_PROGRAM_ARGUMENTS_H
