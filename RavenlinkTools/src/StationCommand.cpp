#include "StationCommand.h"

#include <StationVocabulary.h>

namespace ravenlink::tools {

const std::array<std::string_view, 6> commandWords = {
    "activate", "deactivate", vocab::retractionTorque.name, vocab::retractionStart.name, "configure", "groups"};

std::string_view commandWord(CommandKind kind) { return commandWords[static_cast<std::size_t>(kind)]; }

std::optional<CommandKind> commandByWord(std::string_view word)
{
    for (std::size_t i = 0; i < commandWords.size(); ++i) {
        if (commandWords[i] == word) {
            return static_cast<CommandKind>(i);
        }
    }
    return std::nullopt;
}

std::string commandList()
{
    std::string list;
    for (const std::string_view word : commandWords) {
        list += (list.empty() ? "" : ", ") + std::string(word);
    }
    return list;
}

ConfigStatus mergeGroups(ConfigStatus current, const GroupChanges& changes)
{
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (changes[i]) {
            current.*vocab::statusGroups[i].flag = *changes[i];
        }
    }
    return current;
}

bool StationCommand::operator==(const StationCommand& o) const
{
    return kind == o.kind && number == o.number && config == o.config && groups == o.groups;
}

namespace {

void runGroups(StationLink& link, const GroupChanges& changes, ConfigStatus* groupsAfter)
{
    ConfigStatus current;
    link.getSystemStatusConfig(current);
    bool named = false;
    for (const auto& change : changes) {
        named = named || change.has_value();
    }
    const ConfigStatus merged = mergeGroups(current, changes);
    if (named) {
        link.setSystemStatusConfig(merged);
    }
    if (groupsAfter != nullptr) {
        *groupsAfter = merged;
    }
}

} // namespace

void run(StationLink& link, const StationCommand& command, ConfigStatus* groupsAfter)
{
    switch (command.kind) {
    case CommandKind::activate:
    case CommandKind::deactivate:
        link.setSystemActivation(command.kind == CommandKind::activate);
        return;
    case CommandKind::torque:
        link.setCableRetractionTorque(command.number);
        return;
    case CommandKind::startLength:
        link.setCableRetractionStartLength(command.number);
        return;
    case CommandKind::configure:
        link.setSystemConfig(command.config);
        return;
    case CommandKind::groups:
        runGroups(link, command.groups, groupsAfter);
        return;
    }
}

} // namespace ravenlink::tools
