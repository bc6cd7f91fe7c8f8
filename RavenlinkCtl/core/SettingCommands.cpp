// The settings: activation, cable retraction torque and start length, all
// three at once, and the status groups. Values arrive as text and are
// checked against the station vocabulary, so that every bad value gets one
// plain reason instead of a parser's conversion message, "nan" or "1e999"
// can never pass a range check, and ravenlinkctl takes what the bridge
// takes. They run as the bridge runs them (ravenlink::tools::run). The
// confirmations name what the station was sent, which is what it now holds,
// not the number typed: 50.999 % is sent as 50.
#include "Commands.h"

#include <StationCommand.h>
#include <StationJson.h>
#include <StationVocabulary.h>

#include <CLI/CLI.hpp>

namespace ctl {

namespace {

namespace tools = ravenlink::tools;
namespace vocab = ravenlink::vocab;

const char* onOff(bool on) { return on ? "on" : "off"; }

std::string okJson() { return ravenlink::JsonObject().add("ok", true).str() + "\n"; }

std::string okJson(int sent) { return ravenlink::JsonObject().add("ok", true).add("sent", sent).str() + "\n"; }

// Centimetres as metres, exactly: 299 is "2.99", 250 "2.5", 300 "3".
std::string centimetresAsMetres(int centimetres)
{
    std::string text = std::to_string(centimetres / 100);
    const int rest = centimetres % 100;
    if (rest != 0) {
        text += "." + std::string(rest < 10 ? "0" : "") + std::to_string(rest % 10 == 0 ? rest / 10 : rest);
    }
    return text;
}

// "torque: PERCENT must be a number from 0 to 100", with the command named.
float valueOf(const vocab::Setting& setting, const std::string& text, const std::string& command)
{
    return settingValue(setting, text, command + ": " + std::string(setting.placeholder));
}

void runOn(Context& context, const tools::StationCommand& command, ConfigStatus* groupsAfter = nullptr)
{
    tools::run(context.station(), command, groupsAfter);
}

} // namespace

std::string ActivationCommand::output(Context& context)
{
    runOn(context, {activate ? tools::CommandKind::activate : tools::CommandKind::deactivate});
    if (context.options.json) {
        return okJson();
    }
    return activate ? "Halvern Loftward system successful activated!\n"
                    : "Halvern Loftward system successful deactivated!\n";
}

void ValueCommand::declare(CLI::App& command)
{
    command.add_option(std::string(setting.placeholder), text, rangeHelp(setting))->required();
}

void ValueCommand::convert() { value = valueOf(setting, text, name()); }

std::string ValueCommand::output(Context& context)
{
    runOn(context, {kind, value});
    const int sent = vocab::encode(setting, value);
    return context.options.json ? okJson(sent) : confirmation(sent);
}

TorqueCommand::TorqueCommand(const CommandRow& row) : ValueCommand(row, vocab::retractionTorque, tools::CommandKind::torque)
{
}

std::string TorqueCommand::confirmation(int sent) const
{
    return "Halvern Loftward system successful set cable retraction torque to " + std::to_string(sent) + "%!\n";
}

StartLengthCommand::StartLengthCommand(const CommandRow& row)
    : ValueCommand(row, vocab::retractionStart, tools::CommandKind::startLength)
{
}

std::string StartLengthCommand::confirmation(int sent) const
{
    return "Halvern Loftward system successful set cable retraction start length " + centimetresAsMetres(sent) + "m!\n";
}

void ConfigureCommand::declare(CLI::App& command)
{
    command.add_option("--activation", activationText, "on or off")
        ->required()
        ->type_name("on|off")
        ->check(CLI::IsMember({"on", "off"}));
    for (const auto& [setting, text] : {std::pair{&vocab::retractionTorque, &percentText},
                                        std::pair{&vocab::retractionStart, &metresText}}) {
        command.add_option("--" + std::string(setting->name), *text, rangeHelp(*setting))
            ->required()
            ->type_name(std::string(setting->placeholder));
    }
}

void ConfigureCommand::convert()
{
    percent = valueOf(vocab::retractionTorque, percentText, name());
    metres = valueOf(vocab::retractionStart, metresText, name());
    activation = activationText == "on";
}

std::string ConfigureCommand::output(Context& context)
{
    tools::StationCommand command{tools::CommandKind::configure};
    command.config.activation = activation;
    command.config.retTorque = percent;
    command.config.retStart = metres;
    runOn(context, command);
    if (context.options.json) {
        return okJson();
    }
    return std::string("Halvern Loftward successful update system configuration: activation ") + onOff(activation) +
           ", cable retraction torque " + std::to_string(vocab::encode(vocab::retractionTorque, percent)) +
           "%, cable retraction start length " + centimetresAsMetres(vocab::encode(vocab::retractionStart, metres)) +
           "m\n";
}

void GroupsCommand::declare(CLI::App& command)
{
    command.add_option("SETTINGS", settings, vocab::groupList() + " = 0 or 1");
}

void GroupsCommand::convert()
{
    for (const std::string& setting : settings) {
        const std::size_t eq = setting.find('=');
        const std::string group = setting.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : setting.substr(eq + 1);
        const int index = vocab::groupByCliName(group);
        if (index < 0 || (value != "0" && value != "1")) {
            throw UsageError(name() + ": '" + setting + "' is not NAME=0 or NAME=1 with NAME one of " + vocab::groupList());
        }
        changes[static_cast<std::size_t>(index)] = value == "1" ? 1 : 0;
    }
}

std::string GroupsCommand::output(Context& context)
{
    tools::StationCommand command{tools::CommandKind::groups};
    command.groups = changes;
    ConfigStatus groups;
    runOn(context, command, &groups);
    if (context.options.json) {
        return toJson(groups) + "\n";
    }
    std::string out;
    for (const vocab::Group& group : vocab::statusGroups) {
        out += std::string(group.cliName) + ": " + std::to_string(groups.*group.flag) + "\n";
    }
    return out;
}

} // namespace ctl
