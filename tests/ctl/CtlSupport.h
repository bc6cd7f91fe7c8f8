// Runs ravenlinkctl in-process (ctl::run with string streams) or as the
// built program in a child process, either way with RAVENLINK_PORT removed
// from its environment unless a test sets it; and scratch files that go away
// with the test.
#ifndef RAVENLINK_TESTS_CTL_SUPPORT_H
#define RAVENLINK_TESTS_CTL_SUPPORT_H

#include "ChildProcess.h"
#include "CtlApp.h"
#include "InteractiveChild.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace ctltest {

using ravenlinktest::ChildResult;
using ravenlinktest::ChildRun;

/// \p arguments of ravenlinkctl behind env(1), which sets \p environment
/// ("NAME=value" each) and clears the port variable first.
inline std::vector<std::string> envArguments(const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& environment = {})
{
    std::vector<std::string> all = {"-u", "RAVENLINK_PORT"};
    all.insert(all.end(), environment.begin(), environment.end());
    all.push_back(RAVENLINKCTL_PATH);
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

inline ChildResult runCtl(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(60000))
{
    ChildRun run;
    run.program = "/usr/bin/env";
    run.arguments = envArguments(arguments, environment);
    run.timeout = timeout;
    return ravenlinktest::runChildProcess(run);
}

/// "ravenlinkctl" and \p arguments as main would be given them.
class CommandLine {
public:
    explicit CommandLine(const std::vector<std::string>& arguments) : words{"ravenlinkctl"}
    {
        words.insert(words.end(), arguments.begin(), arguments.end());
        for (std::string& word : words) {
            pointers.push_back(word.data());
        }
        pointers.push_back(nullptr);
    }
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;
    int argc() const { return static_cast<int>(words.size()); }
    char** argv() { return pointers.data(); }

private:
    std::vector<std::string> words;
    std::vector<char*> pointers;
};

/// ravenlinkctl's \p arguments run in this process by ctl::run, standard
/// output and error caught in strings; \p environment ("NAME=value" each)
/// is set for the run only, RAVENLINK_PORT cleared first.
inline ChildResult runCtlHere(const std::vector<std::string>& arguments,
                              const std::vector<std::string>& environment = {})
{
    const char* const port = std::getenv("RAVENLINK_PORT");
    const bool hadPort = port != nullptr;
    const std::string portBefore = hadPort ? port : "";
    ::unsetenv("RAVENLINK_PORT");
    std::vector<std::string> names;
    for (const std::string& setting : environment) {
        const std::size_t eq = setting.find('=');
        names.push_back(setting.substr(0, eq));
        ::setenv(names.back().c_str(), setting.substr(eq + 1).c_str(), 1);
    }
    CommandLine line(arguments);
    std::ostringstream out;
    std::ostringstream err;
    ChildResult result;
    result.exitStatus = ctl::run(line.argc(), line.argv(), out, err);
    result.output = out.str();
    result.errors = err.str();
    for (const std::string& name : names) {
        ::unsetenv(name.c_str());
    }
    if (hadPort) {
        ::setenv("RAVENLINK_PORT", portBefore.c_str(), 1);
    }
    return result;
}

/// ravenlinkctl started in the background, its standard output and error
/// in one pipe.
inline std::unique_ptr<ravenlinktest::InteractiveChild> startCtl(const std::vector<std::string>& arguments)
{
    return std::make_unique<ravenlinktest::InteractiveChild>("/usr/bin/env", envArguments(arguments));
}

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        all.push_back(line);
    }
    return all;
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// True when \p text is well-formed UTF-8: no stray or truncated sequence,
/// no overlong form, no surrogate, nothing beyond U+10FFFF.
inline bool isUtf8(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        unsigned long point = length == 1 ? byte : byte & (0x7FU >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next >> 6) != 0x2) {
                return false;
            }
            point = (point << 6) | (next & 0x3FU);
        }
        const unsigned long least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

/// A file name in the build's temporary folder, removed when the object goes.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& tag, const std::string& contents = "", bool create = false)
        : name("/tmp/ravenlinkctl-test-" + std::to_string(::getpid()) + "-" + tag)
    {
        std::remove(name.c_str());
        if (create || !contents.empty()) {
            std::ofstream(name, std::ios::binary) << contents;
        }
    }
    ~ScratchFile() { std::remove(name.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return name; }

private:
    std::string name;
};

} // namespace ctltest

#endif // RAVENLINK_TESTS_CTL_SUPPORT_H
