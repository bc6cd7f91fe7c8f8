// The checks every command payload passes before it may reach a station,
// and the memory that keeps a repeated id from running twice.
#include "BridgeCommands.h"

#include <gtest/gtest.h>

using namespace bridge;

TEST(BridgeCommandParse, ValidCommands)
{
    const ParsedCommand torque = parseCommand(R"({"id":"a","command":"torque","value":42.5})");
    ASSERT_TRUE(torque.command) << torque.error;
    EXPECT_EQ(torque.command->kind, CommandKind::torque);
    EXPECT_EQ(torque.command->number, 42.5F);

    // 0.3 m itself passes, compared as the float that is sent, and so does
    // 655.35 m, the most the station reports back.
    EXPECT_TRUE(parseCommand(R"({"id":"b","command":"start-length","value":0.3})").command);
    EXPECT_TRUE(parseCommand(R"({"id":"b","command":"start-length","value":655.35})").command);
    EXPECT_TRUE(parseCommand(R"({"id":"c","command":"deactivate","value":null})").command);

    const ParsedCommand configure =
        parseCommand(R"({"command":"configure","id":"d","value":{"retStart":2.5,"activation":true,"retTorque":0}})");
    ASSERT_TRUE(configure.command) << configure.error;
    EXPECT_EQ(configure.command->config, (SystemConfig{true, 0.0F, 2.5F, 0}));

    const ParsedCommand groups = parseCommand(R"({"id":"e","command":"groups","value":{"env":0,"sysState":1}})");
    ASSERT_TRUE(groups.command) << groups.error;
    EXPECT_FALSE(groups.command->groups[0]);
    EXPECT_EQ(groups.command->groups[1], 0);
    EXPECT_EQ(groups.command->groups[4], 1);
}

TEST(BridgeCommandParse, RefusalsGiveTheReasonAndTheIdWhenThereIsOne)
{
    const std::string configure = "configure: value must be {\"activation\":true or false,\"retTorque\":0 to 100,\"retStart\":0.3 to 655.35}";
    const std::string groups = "groups: value must be an object of cab, env, energyGS, energyUAV, sysState, each 0 or 1, with at least one of them";
    const struct {
        std::string payload;
        bool hasId;
        std::string error;
    } cases[] = {
        {"", false, "malformed JSON"},
        {"{\"id\":\"x\"", false, "malformed JSON"},
        {"[1,2]", false, "the command must be a JSON object"},
        {R"({"command":"activate"})", false, "id must be a non-empty string of at most 200 bytes"},
        {R"({"id":7,"command":"activate"})", false, "id must be a non-empty string of at most 200 bytes"},
        {R"({"id":"","command":"activate"})", false, "id must be a non-empty string of at most 200 bytes"},
        {"{\"id\":\"" + std::string(201, 'i') + "\",\"command\":\"activate\"}", false, "id must be a non-empty string of at most 200 bytes"},
        {"{\"id\":\"x\",\"pad\":\"" + std::string(longestCommand, ' ') + "\"}", false, "the command is longer than 16384 bytes"},
        // The JSON reader would stop at the NUL and take what is in front.
        {std::string("{\"id\":\"z\",\"command\":\"deactivate\"}\0junk", 38), false, "malformed JSON: the command holds a NUL byte"},
        {std::string("{\"id\":\"z\",\"command\":\"deactivate\"}\0", 34), false, "malformed JSON: the command holds a NUL byte"},
        {R"({"id":"x","command":"activate","values":1})", true, "unknown member 'values': a command has id, command and value"},
        {R"({"id":"x"})", true, "command must be one of activate, deactivate, torque, start-length, configure, groups"},
        {R"({"id":"x","command":"ACTIVATE"})", true, "unknown command 'ACTIVATE': must be one of activate, deactivate, torque, start-length, configure, groups"},
        // A name is shown with its control bytes escaped and cut at 40 bytes,
        // never in the middle of an escape.
        {R"({"id":"x","command":"on\u001b[2J"})", true, "unknown command 'on\\x1b[2J': must be one of activate, deactivate, torque, start-length, configure, groups"},
        {"{\"id\":\"x\",\"command\":\"" + std::string(39, 'a') + "\\n" + "zz\"}", true,
         "unknown command '" + std::string(39, 'a') + "\\n...': must be one of activate, deactivate, torque, start-length, configure, groups"},
        {R"({"id":"x","command":"activate","value":true})", true, "activate takes no value"},
        {R"({"id":"x","command":"torque"})", true, "torque: value must be a number from 0 to 100"},
        {R"({"id":"x","command":"torque","value":-0.5})", true, "torque: value must be a number from 0 to 100"},
        {R"({"id":"x","command":"torque","value":1e39})", true, "torque: value must be a number from 0 to 100"},
        {R"({"id":"x","command":"torque","value":true})", true, "torque: value must be a number from 0 to 100"},
        {R"({"id":"x","command":"start-length","value":0.29})", true, "start-length: value must be a number of metres from 0.3 to 655.35"},
        {R"({"id":"x","command":"start-length","value":1e12})", true, "start-length: value must be a number of metres from 0.3 to 655.35"},
        {R"({"id":"x","command":"start-length","value":655.36})", true, "start-length: value must be a number of metres from 0.3 to 655.35"},
        {R"({"id":"x","command":"configure","value":{"activation":1,"retTorque":5,"retStart":1}})", true, configure},
        {R"({"id":"x","command":"configure","value":{"activation":true,"retTorque":5}})", true, configure},
        {R"({"id":"x","command":"configure","value":{"activation":true,"retTorque":5,"retStart":1,"x":0}})", true, configure},
        {R"({"id":"x","command":"groups","value":{}})", true, groups},
        {R"({"id":"x","command":"groups","value":{"cab":2}})", true, groups},
        {R"({"id":"x","command":"groups","value":{"CAB":1}})", true, groups},
    };
    for (const auto& c : cases) {
        const ParsedCommand parsed = parseCommand(c.payload);
        EXPECT_FALSE(parsed.command) << c.payload.substr(0, 80);
        EXPECT_EQ(parsed.id.has_value(), c.hasId) << c.payload.substr(0, 80);
        EXPECT_EQ(parsed.error, c.error) << c.payload.substr(0, 80);
    }
}

TEST(BridgeCommandParse, Results)
{
    EXPECT_EQ(resultJson(std::string("a\"1"), true, ""), R"({"id":"a\"1","ok":true,"error":""})");
    EXPECT_EQ(resultJson(std::nullopt, false, "malformed JSON"), R"({"id":null,"ok":false,"error":"malformed JSON"})");
    EXPECT_EQ(resultJson(std::string("t"), true, "", "40"), R"({"id":"t","ok":true,"error":"","sent":40})");
}

TEST(BridgeCommandParse, SentValueIsWhatTheStationIsGiven)
{
    const auto sent = [](const std::string& payload) {
        const ParsedCommand parsed = parseCommand(payload);
        return parsed.command ? sentValue(*parsed.command) : "refused: " + parsed.error;
    };
    // Percent truncated, metres as truncated centimetres.
    EXPECT_EQ(sent(R"({"id":"a","command":"torque","value":50.999})"), "50");
    EXPECT_EQ(sent(R"({"id":"a","command":"start-length","value":2.999})"), "299");
    EXPECT_EQ(sent(R"({"id":"a","command":"start-length","value":1.15})"), "115");
    EXPECT_EQ(sent(R"({"id":"a","command":"configure","value":{"activation":true,"retTorque":40.7,"retStart":0.3}})"),
              R"({"activation":true,"retTorque":40,"retStart":30})");
    EXPECT_EQ(sent(R"({"id":"a","command":"activate"})"), "");
    EXPECT_EQ(sent(R"({"id":"a","command":"groups","value":{"cab":0}})"), "");
}

namespace {

Command parsed(const std::string& payload)
{
    const ParsedCommand result = parseCommand(payload);
    EXPECT_TRUE(result.command) << result.error;
    return result.command.value_or(Command{});
}

// \p command comes, and is delivered again while it runs: the first runs,
// the second only owes one more answer.
void deliveredTwice(CommandMemory& memory, const Command& command, std::string& answer)
{
    EXPECT_EQ(memory.admit(command, answer), CommandMemory::Seen::fresh);
    EXPECT_EQ(memory.admit(command, answer), CommandMemory::Seen::running);
}

} // namespace

TEST(BridgeCommandMemory, RepeatsAreAnsweredOncePerDelivery)
{
    CommandMemory memory(2);
    std::string answer;
    const Command a = parsed(R"({"id":"a","command":"activate"})");
    deliveredTwice(memory, a, answer);
    EXPECT_EQ(memory.finish("a", "A", true), 2);
    EXPECT_EQ(memory.admit(a, answer), CommandMemory::Seen::done);
    EXPECT_EQ(answer, "A");
    // The oldest answered ids are forgotten beyond the capacity.
    for (const char* id : {"b", "c"}) {
        EXPECT_EQ(memory.admit(parsed(std::string("{\"id\":\"") + id + "\",\"command\":\"activate\"}"), answer),
                  CommandMemory::Seen::fresh);
        EXPECT_EQ(memory.finish(id, id, true), 1);
    }
    EXPECT_EQ(memory.admit(a, answer), CommandMemory::Seen::fresh);
    EXPECT_EQ(memory.admit(parsed(R"({"id":"c","command":"activate"})"), answer), CommandMemory::Seen::done);
}

TEST(BridgeCommandMemory, OnlyTheWholeSameCommandIsARepeat)
{
    CommandMemory memory;
    std::string answer;
    EXPECT_EQ(memory.admit(parsed(R"({"id":"op-1","command":"activate"})"), answer), CommandMemory::Seen::fresh);
    // While it runs and after it ran, another command under its id is no
    // repeat, and leaves the first one's memory as it was.
    const Command others[] = {
        parsed(R"({"id":"op-1","command":"deactivate"})"),
        parsed(R"({"id":"op-1","command":"torque","value":40})"),
    };
    for (const Command& other : others) {
        EXPECT_EQ(memory.admit(other, answer), CommandMemory::Seen::otherCommand);
    }
    EXPECT_EQ(memory.finish("op-1", "first", true), 1);
    EXPECT_EQ(memory.admit(others[0], answer), CommandMemory::Seen::otherCommand);
    // Written another way, it is the same command.
    EXPECT_EQ(memory.admit(parsed(R"({ "command" : "activate", "id" : "op-1", "value" : null })"), answer),
              CommandMemory::Seen::done);
    EXPECT_EQ(answer, "first");

    EXPECT_EQ(memory.admit(parsed(R"({"id":"t","command":"torque","value":40})"), answer), CommandMemory::Seen::fresh);
    EXPECT_EQ(memory.admit(parsed(R"({"id":"t","command":"torque","value":40.5})"), answer),
              CommandMemory::Seen::otherCommand);
    EXPECT_EQ(memory.admit(parsed(R"({"id":"g","command":"groups","value":{"cab":0}})"), answer), CommandMemory::Seen::fresh);
    EXPECT_EQ(memory.admit(parsed(R"({"id":"g","command":"groups","value":{"cab":0,"env":1}})"), answer),
              CommandMemory::Seen::otherCommand);
}

TEST(BridgeCommandMemory, CommandThatNeverReachedTheStationIsForgotten)
{
    CommandMemory memory;
    std::string answer;
    const Command command = parsed(R"({"id":"r","command":"activate"})");
    deliveredTwice(memory, command, answer);
    // Refused (link lost): both deliveries get the refusal, and a retry runs.
    EXPECT_EQ(memory.finish("r", "link lost", false), 2);
    EXPECT_EQ(memory.admit(command, answer), CommandMemory::Seen::fresh);
    EXPECT_EQ(memory.finish("r", "done", true), 1);
    EXPECT_EQ(memory.admit(command, answer), CommandMemory::Seen::done);
    EXPECT_EQ(answer, "done");
}
