// The command classes of the table (CommandTable.cpp names each in a row).
// Reads in ReadCommands.cpp, settings in SettingCommands.cpp, check in
// CheckCommand.cpp, monitor in Monitor.cpp, plot in Plot.cpp.
#ifndef RAVENLINKCTL_COMMANDS_H
#define RAVENLINKCTL_COMMANDS_H

#include "CommandTable.h"
#include "RecordLog.h"
#include "Thresholds.h"

#include <StationCommand.h>

#include <string>
#include <vector>

namespace ctl {

// ---- reads ----

// ports, status, details and config: one class, a row each, told apart by
// what they read.
class ReadCommand : public OneShotCommand {
public:
    using Reader = std::string (*)(Context& context);
    ReadCommand(const CommandRow& row, Reader read) : OneShotCommand(row), read(read) {}

private:
    std::string output(Context& context) override { return read(context); }
    Reader read;
};

// The port list of this machine: no station needed.
std::string readPorts(Context& context);
// The status, the details and the settings, as text or JSON (--json).
std::string readStatus(Context& context);
std::string readDetails(Context& context);
std::string readConfig(Context& context);

// ---- settings ----

// activate and deactivate: one class, two rows.
class ActivationCommand : public OneShotCommand {
public:
    ActivationCommand(const CommandRow& row, bool activate) : OneShotCommand(row), activate(activate) {}

private:
    std::string output(Context& context) override;
    bool activate;
};

// A command that sends one value of the vocabulary, its only argument.
class ValueCommand : public OneShotCommand {
public:
    ValueCommand(const CommandRow& row, const ravenlink::vocab::Setting& setting, ravenlink::tools::CommandKind kind)
        : OneShotCommand(row), setting(setting), kind(kind)
    {
    }
    void declare(CLI::App& command) override;
    void convert() override;

private:
    std::string output(Context& context) override;
    // The confirmation that the station was sent \p sent, in its wire units.
    virtual std::string confirmation(int sent) const = 0;

    const ravenlink::vocab::Setting& setting;
    ravenlink::tools::CommandKind kind;
    std::string text;
    float value = 0.0F;
};

class TorqueCommand : public ValueCommand {
public:
    explicit TorqueCommand(const CommandRow& row);

private:
    std::string confirmation(int sent) const override;
};

class StartLengthCommand : public ValueCommand {
public:
    explicit StartLengthCommand(const CommandRow& row);

private:
    std::string confirmation(int sent) const override;
};

class ConfigureCommand : public OneShotCommand {
public:
    using OneShotCommand::OneShotCommand;
    void declare(CLI::App& command) override;
    void convert() override;

private:
    std::string output(Context& context) override;
    std::string activationText;
    std::string percentText;
    std::string metresText;
    bool activation = false;
    float percent = 0.0F;
    float metres = 0.0F;
};

class GroupsCommand : public OneShotCommand {
public:
    using OneShotCommand::OneShotCommand;
    void declare(CLI::App& command) override;
    void convert() override;

private:
    std::string output(Context& context) override;
    std::vector<std::string> settings;
    // The flags named on the command line; the others stay as they are.
    ravenlink::tools::GroupChanges changes;
};

// ---- check ----

// The findings and readings of the station, judged against --warning and
// --critical, in the monitoring-plugin convention (exit status CheckStatus).
class CheckCommand : public CtlCommand {
public:
    using CtlCommand::CtlCommand;
    void declare(CLI::App& command) override;
    void convert() override;
    int run(Context& context) override;
    // A monitoring system must not read a wrong command line as a fault.
    int refuse(Context& context, const std::string& reason) override;
    bool readsEveryStation() const override { return true; }

private:
    std::vector<std::string> warningTexts;
    std::vector<std::string> criticalTexts;
    std::vector<Threshold> warning;
    std::vector<Threshold> critical;
};

// ---- monitor ----

struct MonitorRequest {
    double intervalSeconds = 1.0;
    unsigned long count = 0;  // 0: until a signal ends it
    std::string output;       // empty: standard output
    LogFormat format = LogFormat::jsonl;
};

// Runs until --count records are written or SIGINT / SIGTERM. It writes to
// the process's standard output itself (one write per record, and a signal
// handler that must not wait on a stream), so it is driven as a process.
class MonitorCommand : public CtlCommand {
public:
    using CtlCommand::CtlCommand;
    void declare(CLI::App& command) override;
    void convert() override;
    int run(Context& context) override;

private:
    std::string intervalText = "1";
    std::string countText;
    std::string formatText = "jsonl";
    MonitorRequest request;
};

// ---- plot ----

class PlotCommand : public CtlCommand {
public:
    using CtlCommand::CtlCommand;
    void declare(CLI::App& command) override;
    void convert() override;
    int run(Context& context) override;

private:
    std::string log;
    std::string output;  // empty: the log's name with ".svg"
};

} // namespace ctl

#endif // RAVENLINKCTL_COMMANDS_H
