// The program as the operator starts it: usage, start-up texts, port prompt
// and a failed open, run as a child process with piped standard streams.
#include "ChildProcess.h"
#include "GoldenTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using golden::startText;
using ravenlinktest::ChildResult;
using ravenlinktest::ChildRun;
using ravenlinktest::runChildProcess;

const std::string usageText = golden::programBanner + golden::libraryInfo +
                           "Usage of Halvern RavenlinkApp:\n"
                           "\n"
                           "General call: ravenlinkapp\n"
                           "\n"
                           "    -h ... this help\n";

ChildResult runApp(const std::vector<std::string>& arguments, const std::string& input)
{
    return runChildProcess(RAVENLINKAPP_PATH, arguments, input);
}
} // namespace

TEST(ProgramStart, DashHAnywherePrintsUsageAndEnds)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-h"}, {"x", "-h"}, {"--h", "port", "-h", "-h"}}) {
        const ChildResult result = runApp(arguments, "/dev/ttyNOPE\n");
        EXPECT_EQ(result.output, usageText);
        EXPECT_EQ(result.exitStatus, 0);
    }

    ChildRun run;
    run.program = RAVENLINKAPP_PATH;
    run.argv0 = "-h";
    run.input = "/dev/ttyNOPE\n";
    const ChildResult result = runChildProcess(run);
    EXPECT_EQ(result.output, usageText);
    EXPECT_EQ(result.exitStatus, 0);
}

TEST(ProgramStart, LookAlikeArgumentsAreIgnored)
{
    const std::string expected = startText() + "\n";
    for (const std::string argument : {"--h", "-H", "help", "-h "}) {
        SCOPED_TRACE(argument);
        const ChildResult result = runApp({argument}, "");
        EXPECT_EQ(result.output, expected);
        EXPECT_EQ(result.exitStatus, 0);
    }
}

TEST(ProgramStart, EndOfInputAtPortPromptEndsWithoutOpening)
{
    for (const std::string input : {"", "\n  \n\t\n"}) {
        const ChildResult result = runApp({}, input);
        EXPECT_EQ(result.output, startText() + "\n");
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.errors, "");
    }
}

TEST(ProgramStart, MissingPortPrintsTheFailureAndEndsWithStatusOne)
{
    const ChildResult result = runApp({}, "\n  /dev/ttyNOPE trailing words\n11\n");
    EXPECT_EQ(result.output, startText() + "IO Exception: openConnection: No such file or directory");
    EXPECT_EQ(result.exitStatus, 1);
}
