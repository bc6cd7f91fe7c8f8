// The command line: usage errors end with status 2, a reason and the usage,
// and never touch the port; help and version end with 0. Run in-process; the
// last test runs the built program, whose main is ctl::run.
#include "CtlSupport.h"
#include "Perfdata.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace ctltest;

TEST(CtlUsage, BadCommandLinesEndWithStatusTwoAndAReason)
{
    // An empty reason checks only that there is one.
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{}, "ravenlinkctl: A subcommand is required"},
        {{"frobnicate"}, "ravenlinkctl: unknown command 'frobnicate'; the commands are ports, status, details, config, "
                         "activate, deactivate, torque, start-length, configure, groups, check, monitor, plot"},
        {{"-p", "/dev/null", "--json", "frobnicate", "status"}, "ravenlinkctl: unknown command 'frobnicate'; the "
                         "commands are ports, status, details, config, activate, deactivate, torque, start-length, "
                         "configure, groups, check, monitor, plot"},
        {{"status", "--bogus"}, ""},
        {{"-p", "/dev/null", "torque"}, ""},
        {{"-p", "/dev/null", "torque", "150"}, "ravenlinkctl: torque: PERCENT must be a number from 0 to 100"},
        {{"-p", "/dev/null", "torque", "nan"}, "ravenlinkctl: torque: PERCENT must be a number from 0 to 100"},
        {{"-p", "/dev/null", "torque", "12abc"}, "ravenlinkctl: torque: PERCENT must be a number from 0 to 100"},
        // Numbers are decimal: no hexadecimal, no infinity.
        {{"-p", "/dev/null", "torque", "0x10"}, "ravenlinkctl: torque: PERCENT must be a number from 0 to 100"},
        {{"-p", "/dev/null", "start-length", "0x1p4"}, "ravenlinkctl: start-length: METRES must be a number of metres from 0.3 to 655.35"},
        {{"-p", "/dev/null", "start-length", "inf"}, "ravenlinkctl: start-length: METRES must be a number of metres from 0.3 to 655.35"},
        {{"-p", "/dev/null", "configure", "--activation", "on", "--torque", "0X1A", "--start-length", "1"},
         "ravenlinkctl: configure: PERCENT must be a number from 0 to 100"},
        {{"-p", "/dev/null", "monitor", "--interval", "0x1"},
         "ravenlinkctl: monitor: --interval must be a number of seconds from 0.001 to 86400"},
        {{"-p", "/dev/null", "start-length", "0.29"}, "ravenlinkctl: start-length: METRES must be a number of metres from 0.3 to 655.35"},
        {{"-p", "/dev/null", "start-length", "1e999"}, "ravenlinkctl: start-length: METRES must be a number of metres from 0.3 to 655.35"},
        // The most the station reports back: 65535 cm.
        {{"-p", "/dev/null", "start-length", "655.36"}, "ravenlinkctl: start-length: METRES must be a number of metres from 0.3 to 655.35"},
        {{"-p", "/dev/null", "configure", "--activation", "on", "--torque", "5", "--start-length", "1000"},
         "ravenlinkctl: configure: METRES must be a number of metres from 0.3 to 655.35"},
        {{"-p", "/dev/null", "configure", "--activation", "on", "--torque", "5"}, ""},
        {{"-p", "/dev/null", "configure", "--activation", "yes", "--torque", "5", "--start-length", "1"}, ""},
        {{"-p", "/dev/null", "groups", "cab=2"}, "ravenlinkctl: groups: 'cab=2' is not NAME=0 or NAME=1 with NAME one of "
                                                 "cab, env, energy-gs, energy-uav, sys-state"},
        {{"-p", "/dev/null", "groups", "wind=1"}, ""},
        {{"-p", "/dev/null", "-t", "0", "status"}, "ravenlinkctl: --timeout: MS must be a whole number from 1 to 3600000"},
        {{"-p", "/dev/null", "-t", "1.5", "status"}, "ravenlinkctl: --timeout: MS must be a whole number from 1 to 3600000"},
        {{"-p", "/dev/null", "monitor", "--interval", "0"},
         "ravenlinkctl: monitor: --interval must be a number of seconds from 0.001 to 86400"},
        {{"-p", "/dev/null", "monitor", "--count", "0"}, "ravenlinkctl: monitor: --count must be a whole number of at least 1"},
        {{"-p", "/dev/null", "monitor", "--format", "xml"}, ""},
        {{"plot", "run.jsonl", "--output", "run.jpg"}, "ravenlinkctl: plot: --output must name a .svg or .png file"},
        {{"status"}, "ravenlinkctl: no port given: use -p PATH, -s NAME or set RAVENLINK_PORT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ChildResult result = runCtlHere(c.args);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.output, "");
        const std::vector<std::string> errors = lines(result.errors);
        ASSERT_GE(errors.size(), 2U);
        EXPECT_EQ(errors[0].rfind("ravenlinkctl: ", 0), 0U) << errors[0];
        if (!c.reason.empty()) {
            EXPECT_EQ(errors[0], c.reason);
        }
        EXPECT_EQ(errors[1], "Usage: ravenlinkctl [options] COMMAND [args]");
    }
}

TEST(CtlUsage, TheBoundsThemselvesAreTaken)
{
    // Each gets past the command line to the port, which is no station.
    const std::string noPort = "ravenlinkctl: /dev/null is not a serial port\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"torque", "0"}, {"torque", "100"}, {"start-length", "0.3"}, {"start-length", "655.35"},
             {"-t", "1", "status"}, {"-t", "3600000", "status"},
             {"configure", "--activation", "off", "--torque", "100", "--start-length", "655.35"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        std::vector<std::string> all = {"-p", "/dev/null"};
        all.insert(all.end(), args.begin(), args.end());
        const ChildResult result = runCtlHere(all);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.errors, noPort);
    }
    // monitor sets signal handlers of its own: as the program.
    for (const char* interval : {"0.001", "86400"}) {
        const ChildResult result = runCtl({"-p", "/dev/null", "monitor", "--count", "1", "--interval", interval});
        EXPECT_EQ(result.exitStatus, 1) << interval;
        EXPECT_EQ(result.errors, noPort);
    }
}

TEST(CtlUsage, CheckReportsABadCommandLineAsUnknown)
{
    const ChildResult result = runCtlHere({"check"});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.output, "RAVENLINK UNKNOWN - no port given: use -p PATH, -s NAME or set RAVENLINK_PORT\n");
    EXPECT_EQ(result.errors, "ravenlinkctl: no port given: use -p PATH, -s NAME or set RAVENLINK_PORT\n" + ctl::usageText());
    const ChildResult bogus = runCtlHere({"check", "--bogus"});
    EXPECT_EQ(bogus.exitStatus, 3);
    EXPECT_EQ(bogus.output, "RAVENLINK UNKNOWN - The following argument was not expected: --bogus\n");
    EXPECT_EQ(runCtlHere({"-p", "/dev/null", "-t", "0", "check"}).exitStatus, 3);
}

TEST(CtlUsage, HelpAndVersion)
{
    const ChildResult help = runCtlHere({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.output.find("monitor"), std::string::npos);
    const ChildResult commandHelp = runCtlHere({"monitor", "-h"});
    EXPECT_EQ(commandHelp.exitStatus, 0);
    EXPECT_NE(commandHelp.output.find("--interval"), std::string::npos);
    const ChildResult version = runCtlHere({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.output.rfind("ravenlinkctl ", 0), 0U);
    EXPECT_NE(version.output.find("(library build 23, protocol 1.20)\n"), std::string::npos) << version.output;
}

TEST(CtlUsage, UsageAndCompletionListTheTable)
{
    EXPECT_EQ(ctl::usageText(),
              "Usage: ravenlinkctl [options] COMMAND [args]\n"
              "Commands: ports status details config activate deactivate torque start-length\n"
              "          configure groups check monitor plot\n"
              "Run 'ravenlinkctl --help' or 'ravenlinkctl COMMAND --help' for more.\n");
    // The completion the build made, with the commands and options filled in.
    const std::string script = readFile(RAVENLINKCTL_COMPLETION_PATH);
    EXPECT_EQ(script.find('@'), script.find("@(jsonl|csv|log)")) << "a marker left unfilled";
    EXPECT_NE(script.find("local commands=\"ports status details config activate deactivate torque start-length "
                          "configure groups check monitor plot\"\n"),
              std::string::npos);
    for (const char* branch : {"configure) options=\"--activation --torque --start-length\" ;;\n",
                               "monitor) options=\"--interval --count --output --format\" ;;\n",
                               "plot) options=\"--output\" ;;\n"}) {
        EXPECT_NE(script.find(branch), std::string::npos) << branch;
    }
}

TEST(CtlUsage, ManualNamesEveryOptionAndReading)
{
    // The manual as a reader sees it: roff's escaped minus undone.
    std::string manual = readFile(std::string(RAVENLINK_SOURCE_DIR) + "/RavenlinkCtl/ravenlinkctl.1");
    for (std::size_t at = manual.find("\\-"); at != std::string::npos; at = manual.find("\\-", at)) {
        manual.erase(at, 1);
    }
    // The global options of the completion and the options of every command
    // of the table, as the built completion lists them.
    const std::string script = readFile(RAVENLINKCTL_COMPLETION_PATH);
    std::vector<std::string> options;
    for (const std::string& marker : {std::string("local globals=\""), std::string("options=\"")}) {
        for (std::size_t at = script.find(marker); at != std::string::npos; at = script.find(marker, at + 1)) {
            std::istringstream words(script.substr(at + marker.size(), script.find('"', at + marker.size()) - at - marker.size()));
            for (std::string word; words >> word;) {
                options.push_back(word);
            }
        }
    }
    EXPECT_GT(options.size(), 20U);
    // The option as a word of its own: "--station" is not found in "--stations".
    const auto mentions = [&manual](const std::string& option) {
        for (std::size_t at = manual.find(option); at != std::string::npos; at = manual.find(option, at + 1)) {
            const char next = at + option.size() < manual.size() ? manual[at + option.size()] : ' ';
            if (std::isalnum(static_cast<unsigned char>(next)) == 0 && next != '-') {
                return true;
            }
        }
        return false;
    };
    for (const std::string& option : options) {
        EXPECT_TRUE(mentions(option)) << option;
    }
    for (const std::string& label : ctl::readingLabels()) {
        EXPECT_NE(manual.find("\\fB" + label + "\\fR"), std::string::npos) << label;
        EXPECT_NE(script.find(label + "="), std::string::npos) << label;
    }
}

TEST(CtlUsage, TheBuiltProgramRunsTheSameTable)
{
    const ChildResult unknown = runCtl({"frobnicate"});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_EQ(unknown.output, "");
    EXPECT_EQ(unknown.errors, runCtlHere({"frobnicate"}).errors);
    const ChildResult version = runCtl({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.output, runCtlHere({"--version"}).output);
}
