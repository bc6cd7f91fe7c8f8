// monitor: whole, stamped records in either format, a record for a lost link
// and carrying on once the station is back, an immediate end on a signal, and
// the live view on a terminal only.
#include "CtlSupport.h"
#include "PtyStation.h"
#include "SimulatorProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>

using namespace ctltest;
using ravenlinktest::Simulator;
using namespace std::chrono_literals;

namespace {

const std::regex isoTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");

std::vector<std::string> cells(const std::string& row)
{
    std::vector<std::string> all(1);
    for (const char c : row) {
        if (c == ',') {
            all.emplace_back();
        } else {
            all.back().push_back(c);
        }
    }
    return all;
}

// The kinds of the JSON records in \p text: 's' status, 'l' lost link.
std::string recordKinds(const std::string& text)
{
    std::string kinds;
    for (const std::string& line : lines(text)) {
        const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        EXPECT_TRUE(record.is_object() && std::regex_match(record.value("time", ""), isoTime)) << line;
        kinds += record.contains("status") ? 's' : record.value("link", "") == "lost" ? 'l' : '?';
    }
    return kinds;
}

} // namespace

TEST(CtlMonitor, RecordsAreWholeStampedAndAppended)
{
    Simulator station({"--seed", "5"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    ScratchFile jsonl("append.jsonl");
    ScratchFile csv("append.csv");
    for (int run = 0; run < 2; ++run) {
        for (const auto* file : {&jsonl, &csv}) {
            const ChildResult result = runCtl({"-p", port, "monitor", "--interval", "0.05", "--count", "2", "--format",
                                               file == &csv ? "csv" : "jsonl", "--output", file->path()});
            EXPECT_EQ(result.exitStatus, 0) << result.errors;
            EXPECT_EQ(result.output + result.errors, "");
        }
    }
    const std::string text = readFile(jsonl.path());
    EXPECT_EQ(recordKinds(text), "ssss");
    EXPECT_EQ(text.find_first_of("\r\x1b"), std::string::npos);

    // One header, even when a second run appends.
    const std::vector<std::string> rows = lines(readFile(csv.path()));
    ASSERT_EQ(rows.size(), 5U);
    EXPECT_EQ(rows[0].rfind("time,configStatus.cab,configStatus.env,", 0), 0U) << rows[0];
    EXPECT_NE(rows[0].find(",cab.length,cab.speed,"), std::string::npos);
    EXPECT_EQ(rows[0].substr(rows[0].size() - 21), ",sysState.error,error");
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(cells(rows[i]).size(), cells(rows[0]).size());
        EXPECT_TRUE(std::regex_match(cells(rows[i]).front(), isoTime));
        EXPECT_EQ(cells(rows[i]).back(), "");
    }
}

TEST(CtlMonitor, GroupsNotSentAreNullInJsonAndEmptyInCsv)
{
    Simulator station({"--seed", "8"});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    ASSERT_EQ(runCtl({"-p", port, "groups", "cab=0"}).exitStatus, 0);
    const ChildResult json = runCtl({"-p", port, "monitor", "--count", "1"});
    EXPECT_EQ(json.exitStatus, 0) << json.errors;
    const nlohmann::json record = nlohmann::json::parse(json.output, nullptr, false);
    EXPECT_TRUE(record["status"]["cab"].is_null()) << json.output;
    EXPECT_TRUE(record["status"]["env"]["temp1"].is_number()) << json.output;

    ScratchFile csv("groups-off.csv");
    const ChildResult run = runCtl({"-p", port, "monitor", "--count", "2", "--interval", "0.05", "--format", "csv",
                                    "--output", csv.path()});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    const std::vector<std::string> rows = lines(readFile(csv.path()));
    ASSERT_EQ(rows.size(), 3U);
    const std::vector<std::string> header = cells(rows[0]);
    const std::vector<std::string> row = cells(rows[1]);
    ASSERT_EQ(row.size(), header.size());
    for (std::size_t i = 1; i + 1 < header.size(); ++i) {
        SCOPED_TRACE(header[i]);
        EXPECT_EQ(row[i].empty(), header[i].rfind("cab.", 0) == 0) << row[i];
    }
    // Such a log is still a run to draw.
    ScratchFile svg("groups-off.svg");
    const ChildResult plot = runCtl({"plot", csv.path(), "--output", svg.path()});
    EXPECT_EQ(plot.exitStatus, 0) << plot.errors;
}

TEST(CtlMonitor, CsvOnStandardOutputStartsWithTheHeader)
{
    // Standard output appended to a file that already holds a line is still
    // a stream of its own: the rows need their header.
    Simulator station({});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    ScratchFile out("stdout.csv", "run of the day\n");
    ChildRun run;
    run.program = "/bin/sh";
    run.arguments = {"-c", "exec /usr/bin/env -u RAVENLINK_PORT \"$0\" -p \"$1\" monitor --count 1 --format csv >> \"$2\"",
                     RAVENLINKCTL_PATH, port, out.path()};
    run.timeout = 60s;
    const ChildResult result = ravenlinktest::runChildProcess(run);
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    const std::vector<std::string> rows = lines(readFile(out.path()));
    ASSERT_EQ(rows.size(), 3U) << readFile(out.path());
    EXPECT_EQ(rows[1].rfind("time,configStatus.cab,", 0), 0U) << rows[1];
    EXPECT_TRUE(std::regex_match(cells(rows[2]).front(), isoTime)) << rows[2];
}

TEST(CtlMonitor, RefusesToAppendToALogOfAnotherKind)
{
    const std::string jsonRecord = R"({"time":"2023-11-14T22:13:21.000Z","link":"lost","error":"x"})" "\n";
    const struct {
        std::string tag;
        std::string contents;
        std::string format;
        std::string reason;
    } cases[] = {
        {"json.log", jsonRecord, "csv",
         " is a JSON lines log: append to it with --format jsonl, or write the CSV to another file"},
        {"csv.log", "time,cab.length,error\n", "jsonl",
         " is a CSV log: append to it with --format csv, or write JSON lines to another file"},
        {"columns.csv", "time,cab.length,error\n2023-11-14T22:13:20.000Z,1,\n", "csv",
         " is a CSV log with other columns: write to another file"},
        {"notes.txt", "shopping list\n", "jsonl",
         " is not a log written by ravenlinkctl monitor; records are appended to such logs only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        ScratchFile log(c.tag, c.contents);
        // The refusal comes before the port is opened.
        const ChildResult result =
            runCtl({"-p", "/dev/null", "monitor", "--count", "1", "--format", c.format, "--output", log.path()});
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(lines(result.errors).at(0), "ravenlinkctl: monitor: " + log.path() + c.reason);
        EXPECT_EQ(readFile(log.path()), c.contents);
    }
}

TEST(CtlMonitor, LostLinkIsARecordInCsvToo)
{
    PtyStation station;
    station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":"1.20"}})" "\n"));
    station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_STATUS":{"CONFIG_STATUS":{"CAB":1}}})" "\n"));
    station.then(PtyStation::reply("x{ no json\n"));
    const ChildResult result =
        runCtl({"-p", station.port(), "monitor", "--interval", "0.05", "--count", "2", "--format", "csv"});
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    const std::vector<std::string> rows = lines(result.output);
    ASSERT_EQ(rows.size(), 3U) << result.output;
    const std::vector<std::string> lost = cells(rows[2]);
    ASSERT_EQ(lost.size(), cells(rows[0]).size());
    EXPECT_TRUE(std::regex_match(lost.front(), isoTime));
    EXPECT_EQ(lost.back(), "Data Stream Exception: checkReply: malformed buffer data");
    EXPECT_EQ(std::count(lost.begin() + 1, lost.end() - 1, ""), static_cast<long>(lost.size()) - 2);
}

TEST(CtlMonitor, CarriesOnAcrossAStationThatVanishesAndComesBack)
{
    ScratchFile link("vanishing-station");
    auto first = std::make_unique<Simulator>(std::vector<std::string>{"--link", link.path(), "--vanish-after", "3"});
    ASSERT_FALSE(first->readyPath().empty());
    auto monitor = startCtl({"-p", link.path(), "monitor", "--interval", "0.05"});
    ASSERT_TRUE(monitor->waitFor("\"link\":\"lost\"", 1, 30s)) << monitor->text();
    EXPECT_EQ(first->waitExit(10s), 0);

    Simulator second({"--link", link.path()});
    ASSERT_FALSE(second.readyPath().empty());
    ASSERT_TRUE(monitor->waitFor("\"status\":", 2, 30s)) << monitor->text();
    monitor->signal(SIGTERM);
    const ChildResult result = monitor->finish(30s);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output.back(), '\n');
    // Readings, one lost record when the station went, readings again.
    EXPECT_TRUE(std::regex_match(recordKinds(result.output), std::regex("s+ls{2,}"))) << result.output;
}

TEST(CtlMonitor, SignalsEndItAtOnceWithTheOutputComplete)
{
    Simulator station({});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    for (const int signal : {SIGINT, SIGTERM}) {
        // The next reading is an hour away: only the signal can end the run.
        auto monitor = startCtl({"-p", port, "monitor", "--interval", "3600", "--format", "csv"});
        ASSERT_TRUE(monitor->waitFor("\n", 2, 30s)) << monitor->text();
        monitor->signal(signal);
        const ChildResult result = monitor->finish(30s);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(lines(result.output).size(), 2U);
        EXPECT_EQ(result.output.back(), '\n');
    }
}

TEST(CtlMonitor, LiveViewOnATerminalOnly)
{
    Simulator station({});
    const std::string port = station.readyPath();
    ASSERT_FALSE(port.empty());
    ScratchFile log("live.jsonl");
    ravenlinktest::InteractiveChild monitor(
        ravenlinktest::OnTerminal{}, "/usr/bin/env",
        envArguments({"-p", port, "monitor", "--interval", "0.05", "--output", log.path()}));
    monitor.waitFor("records 3", 1, 30s);
    monitor.signal(SIGTERM);
    const ravenlinktest::ChildResult result = monitor.finish(10s, true);
    const std::string& screen = result.output;
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(screen.find("\r"), std::string::npos);
    EXPECT_NE(screen.find("records 3  cable 0 m  UAV 0 W  errors 0"), std::string::npos) << screen;
    // The log itself holds records only.
    const std::string text = readFile(log.path());
    EXPECT_GE(recordKinds(text).size(), 3U);
    EXPECT_EQ(text.find_first_of("\r\x1b"), std::string::npos);
}
