// The settings: activation, cable retraction torque and start length, all
// three at once, and the status groups. Values arrive as text and are
// checked here, so that every bad value gets one plain reason instead of a
// parser's conversion message, and "nan" or "1e999" can never pass a range
// check. The confirmations name what the station was sent, which is what it
// now holds, not the number typed: 50.999 % is sent as 50.
#include "Commands.h"

#include <StationJson.h>
#include <StationValues.h>

#include <CLI/CLI.hpp>

namespace ctl {

namespace {

const char* const groupNames[5] = {"cab", "env", "energy-gs", "energy-uav", "sys-state"};

int& groupFlag(ConfigStatus& config, std::size_t index)
{
    int* const flags[5] = {&config.cab, &config.env, &config.energyGS, &config.energyUAV, &config.sysState};
    return *flags[index];
}

const char* onOff(bool on) { return on ? "on" : "off"; }

std::string okJson() { return "{\"ok\":true}\n"; }

std::string okJson(int sent) { return "{\"ok\":true,\"sent\":" + std::to_string(sent) + "}\n"; }

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

float percentOf(const std::string& text, const std::string& command)
{
    return static_cast<float>(numberIn(text, 0.0, 100.0, command + ": PERCENT must be a number from 0 to 100"));
}

float metresOf(const std::string& text, const std::string& command)
{
    // Compared as the float that is sent, so that 0.3 itself is accepted.
    const std::string what = command + ": METRES must be a number of at least 0.3";
    const auto metres = static_cast<float>(numberIn(text, 0.0, 1e30, what));
    if (metres < 0.3F) {
        throw UsageError(what);
    }
    return metres;
}

} // namespace

std::string ActivationCommand::output(Context& context)
{
    context.station().setSystemActivation(activate);
    if (context.options.json) {
        return okJson();
    }
    return activate ? "Halvern Loftward system successful activated!\n"
                    : "Halvern Loftward system successful deactivated!\n";
}

void TorqueCommand::declare(CLI::App& command)
{
    command.add_option("PERCENT", percentText, "0 to 100")->required();
}

void TorqueCommand::convert() { percent = percentOf(percentText, name()); }

std::string TorqueCommand::output(Context& context)
{
    context.station().setCableRetractionTorque(percent);
    const int sent = sentRetractionTorque(percent);
    if (context.options.json) {
        return okJson(sent);
    }
    return "Halvern Loftward system successful set cable retraction torque to " + std::to_string(sent) + "%!\n";
}

void StartLengthCommand::declare(CLI::App& command)
{
    command.add_option("METRES", metresText, "at least 0.3")->required();
}

void StartLengthCommand::convert() { metres = metresOf(metresText, name()); }

std::string StartLengthCommand::output(Context& context)
{
    context.station().setCableRetractionStartLength(metres);
    const int sent = sentRetractionStartLength(metres);
    if (context.options.json) {
        return okJson(sent);
    }
    return "Halvern Loftward system successful set cable retraction start length " + centimetresAsMetres(sent) + "m!\n";
}

void ConfigureCommand::declare(CLI::App& command)
{
    command.add_option("--activation", activationText, "on or off")
        ->required()
        ->type_name("on|off")
        ->check(CLI::IsMember({"on", "off"}));
    command.add_option("--torque", percentText, "0 to 100")->required()->type_name("PERCENT");
    command.add_option("--start-length", metresText, "at least 0.3")->required()->type_name("METRES");
}

void ConfigureCommand::convert()
{
    percent = percentOf(percentText, name());
    metres = metresOf(metresText, name());
    activation = activationText == "on";
}

std::string ConfigureCommand::output(Context& context)
{
    SystemConfig config{};
    config.activation = activation;
    config.retTorque = percent;
    config.retStart = metres;
    context.station().setSystemConfig(config);
    if (context.options.json) {
        return okJson();
    }
    return std::string("Halvern Loftward successful update system configuration: activation ") + onOff(activation) +
           ", cable retraction torque " + std::to_string(sentRetractionTorque(percent)) +
           "%, cable retraction start length " + centimetresAsMetres(sentRetractionStartLength(metres)) + "m\n";
}

void GroupsCommand::declare(CLI::App& command)
{
    command.add_option("SETTINGS", settings, "cab, env, energy-gs, energy-uav, sys-state = 0 or 1");
}

void GroupsCommand::convert()
{
    for (const std::string& setting : settings) {
        const std::size_t eq = setting.find('=');
        const std::string group = setting.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : setting.substr(eq + 1);
        std::size_t index = 0;
        while (index < 5 && group != groupNames[index]) {
            ++index;
        }
        if (index == 5 || (value != "0" && value != "1")) {
            throw UsageError(std::string(name()) + ": '" + setting +
                             "' is not NAME=0 or NAME=1 with NAME one of cab, env, energy-gs, energy-uav, sys-state");
        }
        flags[index] = value == "1" ? 1 : 0;
    }
}

std::string GroupsCommand::output(Context& context)
{
    StationLink& link = context.station();
    ConfigStatus groups;
    link.getSystemStatusConfig(groups);
    bool changed = false;
    for (std::size_t i = 0; i < 5; ++i) {
        if (flags[i]) {
            groupFlag(groups, i) = *flags[i];
            changed = true;
        }
    }
    if (changed) {
        link.setSystemStatusConfig(groups);
    }
    if (context.options.json) {
        return toJson(groups) + "\n";
    }
    std::string out;
    for (std::size_t i = 0; i < 5; ++i) {
        out += std::string(groupNames[i]) + ": " + std::to_string(groupFlag(groups, i)) + "\n";
    }
    return out;
}

} // namespace ctl
