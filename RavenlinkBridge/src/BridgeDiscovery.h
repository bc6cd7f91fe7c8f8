// What a home-automation server is told of a station: one retained config
// message per entity, so that the station's readings, state and (where the
// bridge takes them) commands appear there without being set up by hand.
#ifndef RAVENLINK_BRIDGE_DISCOVERY_H
#define RAVENLINK_BRIDGE_DISCOVERY_H

#include "BridgeSettings.h"

#include <string>
#include <vector>

namespace bridge {

// Where the server announces that it has (re)started: "online" asks for
// every config again, since a server may have lost what it was told.
inline constexpr const char* discoveryStatusTopic = "homeassistant/status";

struct DiscoveryMessage {
    std::string topic;    // homeassistant/COMPONENT/NODE/OBJECT/config
    std::string payload;  // JSON
};

// The config messages of \p station's entities on \p broker's topics; none
// while its discovery is off. The buttons and number entities, which
// publish commands to the station's cmd topic, only when it takes commands.
std::vector<DiscoveryMessage> discoveryMessages(const StationSettings& station, const BrokerSettings& broker);

} // namespace bridge

#endif // RAVENLINK_BRIDGE_DISCOVERY_H
