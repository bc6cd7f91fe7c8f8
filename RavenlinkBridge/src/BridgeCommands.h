// Commands from the cmd topic: checked in full before anything reaches the
// station, run once per id, answered on cmd/result.
#ifndef RAVENLINK_BRIDGE_COMMANDS_H
#define RAVENLINK_BRIDGE_COMMANDS_H

#include <StationLink.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace bridge {

enum class CommandKind { activate, deactivate, torque, startLength, configure, groups };

struct Command {
    std::string id;
    CommandKind kind = CommandKind::activate;
    float number = 0.0F;       // torque in percent, start length in metres
    SystemConfig config{};     // configure
    std::optional<int> groups[5];  // groups: the flags named, in ConfigStatus order
};

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
// (one of the names) and "value" as the command needs it, nothing else.
ParsedCommand parseCommand(const std::string& payload);

// `{"id":"…","ok":true,"error":""}`; the id is null when the payload had none.
std::string resultJson(const std::optional<std::string>& id, bool ok, const std::string& error);

// Runs \p command on \p link.
// \throw HALVERN::IOException, HALVERN::DataException as the link's commands
void runCommand(StationLink& link, const Command& command);

// \return the command's name as it is written in the payload
const char* commandName(CommandKind kind);

// The ids seen lately and their answers, so that a command delivered twice
// runs once and each delivery gets its answer.
class CommandMemory {
public:
    enum class Seen { fresh, running, done };

    explicit CommandMemory(std::size_t capacity = 1024) : capacity(capacity) {}

    // Records \p id. fresh: the id is new and now counts as running, and the
    // caller runs the command. running: it runs already; finish() will owe
    // one more answer. done: \p answer is the answer given before.
    Seen admit(const std::string& id, std::string& answer);

    // Stores the answer of a fresh id; \return how many times to publish it
    // (once, and once more for every repeat that arrived while it ran).
    int finish(const std::string& id, const std::string& answer);

private:
    struct Entry {
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
