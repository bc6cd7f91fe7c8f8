// Commands from the cmd topic: checked in full before anything reaches the
// station, run once per id, answered on cmd/result.
#ifndef RAVENLINK_BRIDGE_COMMANDS_H
#define RAVENLINK_BRIDGE_COMMANDS_H

#include <StationCommand.h>
#include <StationLink.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace bridge {

using ravenlink::tools::CommandKind;

// A station command with the id its client gave it.
struct Command : ravenlink::tools::StationCommand {
    std::string id;
};

// The same command in every part, id included: what a second delivery of
// one command is, and an operator's retry of it.
bool sameCommand(const Command& a, const Command& b);

// A payload taken apart: the command when it is valid, else the reason;
// the id whenever the payload carried a usable one.
struct ParsedCommand {
    std::optional<std::string> id;
    std::optional<Command> command;
    std::string error;
};

// The longest payload taken; anything longer is refused unread.
constexpr std::size_t longestCommand = 16384;

// Checks \p payload: a JSON object with "id" (a non-empty string), "command"
// (one of the names) and "value" as the command needs it, nothing else, and
// no NUL byte anywhere.
ParsedCommand parseCommand(const std::string& payload);

// `{"id":"…","ok":true,"error":""}`; the id is null when the payload had
// none. A non-empty \p sent (JSON text) is added as `"sent":…`.
std::string resultJson(const std::optional<std::string>& id, bool ok, const std::string& error,
                       const std::string& sent = "");

// What the station is given for a setting, as JSON text: the whole number
// of a torque (percent) or a start length (centimetres), or for configure
// an object of activation and the two settings under their JSON keys
// (`{"activation":true,...:40,...:250}`); empty for the rest.
std::string sentValue(const Command& command);

// \return the command's name as it is written in the payload
std::string commandName(CommandKind kind);

// The commands seen lately and their answers, so that a command delivered
// twice runs once and each delivery gets its answer. Only commands that
// reached the station stay remembered: one refused before (link lost, queue
// full, expired) may be sent again under its id and then runs.
class CommandMemory {
public:
    enum class Seen { fresh, running, done, otherCommand };

    explicit CommandMemory(std::size_t capacity = 1024) : capacity(capacity) {}

    // Records \p command under its id. fresh: the id is new and now counts
    // as running, and the caller runs the command. running: the same command
    // is under way; finish() will owe one more answer. done: the same
    // command ran; \p answer is the answer given before. otherCommand: the
    // id belongs to another command; nothing is recorded.
    Seen admit(const Command& command, std::string& answer);

    // Ends a fresh id with its answer, kept when \p reachedStation, else
    // forgotten. \return how many times to publish it (once, and once more
    // for every repeat that arrived meanwhile).
    int finish(const std::string& id, const std::string& answer, bool reachedStation);

private:
    struct Entry {
        Command command;
        bool done = false;
        std::string answer;
        int owed = 1;
    };
    std::size_t capacity;
    std::mutex mutex;
    std::unordered_map<std::string, Entry> entries;
    std::deque<std::string> order;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_COMMANDS_H
