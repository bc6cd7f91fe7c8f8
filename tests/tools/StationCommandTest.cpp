// The six commands as ravenlinkctl and the bridge run them, against the
// simulator: the words, and the group merge that keeps what is not named.
#include "SimulatorProcess.h"

#include <StationCommand.h>
#include <StationLink.h>

#include <gtest/gtest.h>

using namespace ravenlink::tools;

namespace {

// One simulated station with an open link to it.
class StationCommandAtSimulator : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string port = station.readyPath();
        ASSERT_FALSE(port.empty());
        link.setConnectionTimeout(2000);
        link.openConnection(port);
    }

    ravenlinktest::Simulator station{{"--seed", "3"}};
    StationLink link;
};

} // namespace

TEST(StationCommand, WordsNameEachCommandOnce)
{
    EXPECT_EQ(commandList(), "activate, deactivate, torque, start-length, configure, groups");
    for (const std::string_view word : commandWords) {
        const auto kind = commandByWord(word);
        ASSERT_TRUE(kind.has_value()) << word;
        EXPECT_EQ(commandWord(*kind), word);
    }
    EXPECT_FALSE(commandByWord("Torque").has_value());
    EXPECT_FALSE(commandByWord("").has_value());
}

TEST_F(StationCommandAtSimulator, GroupsChangeOnlyTheGroupsNamed)
{

    StationCommand all{CommandKind::groups};
    all.groups = {1, 1, 1, 1, 1};
    ConfigStatus after;
    run(link, all, &after);
    EXPECT_EQ(after, (ConfigStatus{1, 1, 1, 1, 1}));

    StationCommand some{CommandKind::groups};
    some.groups[1] = 0;  // env
    some.groups[3] = 0;  // energy-uav
    run(link, some, &after);
    EXPECT_EQ(after, (ConfigStatus{1, 0, 1, 0, 1}));
    ConfigStatus held;
    link.getSystemStatusConfig(held);
    EXPECT_EQ(held, after);

    // Naming none reads the flags and changes nothing.
    run(link, StationCommand{CommandKind::groups}, &after);
    EXPECT_EQ(after, (ConfigStatus{1, 0, 1, 0, 1}));
}

TEST_F(StationCommandAtSimulator, SettingsReachTheStationAsSent)
{

    StationCommand torque{CommandKind::torque, 42.7F};
    run(link, torque);
    StationCommand start{CommandKind::startLength, 1.05F};
    run(link, start);
    SystemConfig config;
    link.getSystemConfig(config);
    EXPECT_EQ(config.retTorque, 42.0F);
    EXPECT_FLOAT_EQ(config.retStart, 1.05F);
    run(link, StationCommand{CommandKind::activate});
    link.getSystemConfig(config);
    EXPECT_TRUE(config.activation);
}
