// The six commands that change the station, as ravenlinkctl and the bridge
// both take them: their words, their values, and how each is run. The
// values are checked before a command is built (ravenlink::vocab::accept);
// the library would clamp a torque of 150 to 100 without a word.
#ifndef RAVENLINK_TOOLS_STATION_COMMAND_H
#define RAVENLINK_TOOLS_STATION_COMMAND_H

#include <StationLink.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ravenlink::tools {

enum class CommandKind { activate, deactivate, torque, startLength, configure, groups };

/// The words of the commands, in the order of CommandKind: "activate",
/// "deactivate", "torque", "start-length", "configure", "groups".
extern const std::array<std::string_view, 6> commandWords;

/// \return the command's word
std::string_view commandWord(CommandKind kind);

/// \return the command a word names, or nothing
std::optional<CommandKind> commandByWord(std::string_view word);

/// \return the words, comma separated: "activate, deactivate, ..., groups"
std::string commandList();

/// The group flags a groups command names, in the order of
/// ravenlink::vocab::statusGroups; a group not named stays as it is.
using GroupChanges = std::array<std::optional<int>, 5>;

/// \return \p current with the flags \p changes names set
ConfigStatus mergeGroups(ConfigStatus current, const GroupChanges& changes);

struct StationCommand {
    CommandKind kind = CommandKind::activate;
    float number = 0.0F;     //!< torque in percent, start length in metres
    SystemConfig config{};   //!< configure
    GroupChanges groups{};   //!< groups

    bool operator==(const StationCommand& o) const;
    bool operator!=(const StationCommand& o) const { return !(*this == o); }
};

/// Runs \p command on \p link. A groups command reads the station's flags,
/// sets the ones it names and sends them, unless it names none; the flags
/// the station then has are left in \p groupsAfter when it is given.
/// \throw HALVERN::IOException, HALVERN::DataException as the link's commands
void run(StationLink& link, const StationCommand& command, ConfigStatus* groupsAfter = nullptr);

} // namespace ravenlink::tools

#endif // RAVENLINK_TOOLS_STATION_COMMAND_H
