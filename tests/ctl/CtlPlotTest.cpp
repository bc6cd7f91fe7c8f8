// plot: a logged run becomes a valid SVG or PNG; logs that are no such run
// and a missing gnuplot give one line, status 1 and no picture.
#include "CtlSupport.h"
#include "SimulatorProcess.h"

#include <StationJson.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ctltest;

namespace {

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool isSvg(const std::string& picture)
{
    return picture.rfind("<?xml", 0) == 0 && picture.find("<svg") != std::string::npos &&
           picture.find("</svg>") != std::string::npos && picture.find("Cable length") != std::string::npos;
}

// PNG signature first, the image-end chunk last.
bool isPng(const std::string& picture)
{
    return picture.rfind("\x89PNG\r\n\x1a\n", 0) == 0 && picture.size() > 20 &&
           picture.compare(picture.size() - 8, 4, "IEND") == 0;
}

std::string statusLine()
{
    SystemStatus status;
    status.configStatus = {1, 1, 1, 1, 1};
    status.env.envSensor1Status = 0;
    return toTimedJson(std::chrono::system_clock::time_point(std::chrono::seconds(1700000000)), status) + "\n";
}

} // namespace

TEST(CtlPlot, DrawsALoggedRunAsSvgOrPng)
{
    ravenlinktest::Simulator station({"--activated", "--seed", "2"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    for (const std::string format : {"jsonl", "csv"}) {
        ScratchFile log("run." + format);
        ASSERT_EQ(runCtl({"-p", port, "monitor", "--interval", "0.05", "--count", "4", "--format", format, "--output",
                          log.path()})
                      .exitStatus,
                  0);
        ScratchFile png("run-" + format + ".png");
        ScratchFile svg("run.svg");
        const ChildResult toPng = runCtl({"plot", log.path(), "--output", png.path()});
        EXPECT_EQ(toPng.exitStatus, 0) << toPng.errors;
        EXPECT_TRUE(isPng(readFile(png.path())));
        // Without --output the picture is an SVG beside the log.
        const ChildResult toSvg = runCtl({"plot", log.path()});
        EXPECT_EQ(toSvg.exitStatus, 0) << toSvg.errors;
        EXPECT_EQ(toSvg.output + toSvg.errors, "");
        EXPECT_TRUE(isSvg(readFile(svg.path())));
    }
}

TEST(CtlPlot, RecordCutByAKillIsLeftOut)
{
    ScratchFile log("cut.jsonl", statusLine() + R"({"time":"2023-11-14T22:13:21.000Z","link":"lost","error":"x"})"
                                 "\n" + statusLine() + R"({"time":"2023-11-14T22:13:2)");
    ScratchFile svg("cut.svg");
    const ChildResult result = runCtl({"plot", log.path(), "--output", svg.path()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.errors, "ravenlinkctl: " + log.path() + ": the last record is incomplete and left out\n");
    EXPECT_TRUE(isSvg(readFile(svg.path())));
}

TEST(CtlPlot, LogsThatAreNoRunGiveOneLine)
{
    ScratchFile folder("log-folder");
    ASSERT_EQ(::mkdir(folder.path().c_str(), 0700), 0);
    const struct {
        std::string tag;
        std::string contents;
        bool create;
        std::string reason;
    } cases[] = {
        {"missing.jsonl", "", false, ": No such file or directory"},
        {"empty.jsonl", "", true, ": empty log, nothing to plot"},
        {"cut-only.jsonl", R"({"time":"2023-)", false, ": holds no complete record"},
        {"text.jsonl", "hello\n", false, ": not a log written by ravenlinkctl monitor"},
        {"bad-record.jsonl", statusLine() + "{\"time\":\"yesterday\"}\n" + statusLine(), false,
         ":2: not a record of ravenlinkctl monitor"},
        {"bad-row.csv", "time,cab.length,error\n2023-11-14T22:13:20.000Z,abc,\n", false,
         ":2: not a record of ravenlinkctl monitor"},
        {"lost-only.jsonl", R"({"time":"2023-11-14T22:13:21.000Z","link":"lost","error":"x"})" "\n", false,
         ": no status record to plot"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        ScratchFile log(c.tag, c.contents, c.create);
        ScratchFile svg(c.tag + ".svg");
        const ChildResult result = runCtl({"plot", log.path(), "--output", svg.path()});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.errors, "ravenlinkctl: " + log.path() + c.reason + "\n");
        EXPECT_FALSE(exists(svg.path()));
    }
    const ChildResult directory = runCtl({"plot", folder.path(), "--output", folder.path() + ".svg"});
    EXPECT_EQ(directory.errors, "ravenlinkctl: " + folder.path() + ": not a regular file\n");
    ::rmdir(folder.path().c_str());
}

TEST(CtlPlot, OutputIntoAMissingFolderNamesTheFolder)
{
    ScratchFile log("no-folder.jsonl", statusLine());
    ScratchFile file("not-a-folder", "x");
    const struct {
        std::string output;
        std::string reason;
    } cases[] = {
        {"/nonexistent-ravenlink/dir/x.png", "cannot write /nonexistent-ravenlink/dir/x.png: folder "
                                             "/nonexistent-ravenlink/dir: No such file or directory"},
        {file.path() + "/x.svg", "cannot write " + file.path() + "/x.svg: " + file.path() + " is not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const ChildResult result = runCtl({"plot", log.path(), "--output", c.output});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.errors, "ravenlinkctl: " + c.reason + "\n");
    }
}

TEST(CtlPlot, MissingGnuplotIsAClearError)
{
    ScratchFile log("no-gnuplot.jsonl", statusLine());
    ScratchFile svg("no-gnuplot.svg");
    const ChildResult result = runCtl({"plot", log.path(), "--output", svg.path()}, {"PATH=/nonexistent"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.errors, "ravenlinkctl: gnuplot not found: install it (Debian package gnuplot-nox)\n");
    EXPECT_FALSE(exists(svg.path()));
    EXPECT_FALSE(exists(svg.path() + ".part"));
}
