// The operator's first command, scripts/ravenlink.sh run, with the programs
// of this build and a link of its own: it ends with the console's status,
// and leaves neither a simulator nor its link behind, however the console
// ends; a second run keeps off the link of a first one that is running.
#include "ChildProcess.h"
#include "ConsoleProbes.h"
#include "GoldenTexts.h"
#include "InteractiveChild.h"
#include "Outcome.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using consoleprobes::Ms;
using golden::choicePrompt;
using golden::portPrompt;
using ravenlinktest::ChildResult;
using ravenlinktest::ChildRun;
using ravenlinktest::endsWith;
using ravenlinktest::InteractiveChild;

const std::string runScript = std::string(RAVENLINK_SOURCE_DIR) + "/scripts/ravenlink.sh";
// The console's program name as the kernel keeps it (15 characters at most);
// a debug build names the program differently.
const std::string consoleName = [] {
    const std::string path = RAVENLINKAPP_PATH;
    return path.substr(path.rfind('/') + 1).substr(0, 15);
}();

std::string linkTarget(const std::string& path)
{
    char target[256] = {};
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "";
}

class RunScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dirTemplate[] = "/tmp/ravenlink-run-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(dirTemplate));
        dir = dirTemplate;
        link = dir + "/station";
    }

    void TearDown() override
    {
        // A simulator the script failed to stop must not outlive the test.
        for (pid_t pid : simulatorsOnLink()) {
            ::kill(pid, SIGKILL);
        }
        ::unlink(link.c_str());
        ::unlink((link + ".lock").c_str());
        ::rmdir(dir.c_str());
    }

    // `env VARIABLES... bash ravenlink.sh run`: no build, this build's programs.
    std::vector<std::string> runArguments() const
    {
        return {"RAVENLINK_STATION_LINK=" + link, std::string("RAVENLINK_APP_BIN=") + RAVENLINKAPP_PATH,
                std::string("RAVENLINK_STATION_BIN=") + RAVENLINKSTATION_PATH, "bash", runScript, "run"};
    }

    ChildResult run(const std::string& input) const
    {
        ChildRun child;
        child.program = "/usr/bin/env";
        child.arguments = runArguments();
        child.input = input;
        child.timeout = Ms(30000);
        return ravenlinktest::runChildProcess(child);
    }

    // Running processes that were given this test's link (the simulator's
    // "--link PATH"); the link path is private to the test.
    std::vector<pid_t> simulatorsOnLink() const
    {
        std::vector<pid_t> found;
        DIR* proc = ::opendir("/proc");
        for (dirent* entry; proc != nullptr && (entry = ::readdir(proc)) != nullptr;) {
            const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
            std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
            for (std::string argument; pid > 0 && std::getline(cmdline, argument, '\0');) {
                if (argument == link) {
                    found.push_back(pid);
                    break;
                }
            }
        }
        if (proc != nullptr) {
            ::closedir(proc);
        }
        return found;
    }

    void expectNothingLeft() const
    {
        struct stat info {};
        EXPECT_NE(0, ::lstat(link.c_str(), &info)) << link << " is still there";
        EXPECT_TRUE(simulatorsOnLink().empty()) << "a simulator is still running";
    }

    std::string dir;
    std::string link;
};

} // namespace

TEST_F(RunScript, EndsWithTheConsoleStatusAndLeavesNothingBehind)
{
    struct Case {
        std::string input;
        int status;
        std::string outputEnd;
    };
    const std::vector<Case> cases = {
        {link + "\n11\n", 0, choicePrompt + "\n"},
        {link + "\n", 0, choicePrompt + "\n"},
        {dir + "/mistyped\n", 1, portPrompt + "IO Exception: openConnection: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const ChildResult result = run(c.input);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(c.status, result.exitStatus);
        EXPECT_EQ("", result.errors);
        EXPECT_EQ(0U, result.output.rfind("A simulated ground station is running. At \"connect to port: \" type: " +
                                              link + "\n\n",
                                          0))
            << result.output;
        EXPECT_TRUE(endsWith(result.output, c.outputEnd)) << result.output;
        expectNothingLeft();
    }
}

TEST_F(RunScript, SecondRunIsRefusedAndAKilledConsoleLeavesNothingBehind)
{
    InteractiveChild first("/usr/bin/env", runArguments());
    ASSERT_TRUE(first.waitFor(portPrompt)) << first.text();
    const std::string target = linkTarget(link);
    ASSERT_FALSE(target.empty());

    const ChildResult second = run("");
    EXPECT_EQ(1, second.exitStatus);
    EXPECT_EQ("Another run is using " + link + "; end it first, or set RAVENLINK_STATION_LINK to another path.\n",
              second.errors);
    EXPECT_EQ("", second.output);
    EXPECT_EQ(target, linkTarget(link));

    // env has become the script's shell; the console is one of its children.
    const pid_t console = consoleprobes::childNamed(first.pid(), consoleName);
    ASSERT_GT(console, 0);
    ::kill(console, SIGKILL);
    const ChildResult result = first.finish(Ms(30000), true);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(128 + SIGKILL, result.exitStatus);
    expectNothingLeft();
}
