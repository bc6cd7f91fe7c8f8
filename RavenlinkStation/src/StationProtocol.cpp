#include "StationProtocol.h"

#include <StationVocabulary.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Keeps the members in the order they arrived, so settings apply in order.
using json = nlohmann::ordered_json;

const char* key(sc_key k)
{
    return sc_key_text[k];
}

// The wire values of a setting's bounds, as the front ends send them: the
// torque 0 to 100 %, the start length from 30 cm.
int wireLow(const ravenlink::vocab::Setting& setting)
{
    return ravenlink::vocab::encode(setting, static_cast<float>(setting.low));
}

int wireHigh(const ravenlink::vocab::Setting& setting)
{
    return ravenlink::vocab::encode(setting, static_cast<float>(setting.high));
}

constexpr std::array<sc_key, 12> kCommands = {
    SC_KEY_GET_SYSTEM_STATUS, SC_KEY_GET_SYSTEM_CONFIG, SC_KEY_GET_SYSTEM_DETAILS, SC_KEY_GET_HWVERSION,
    SC_KEY_GET_SWVERSION,     SC_KEY_GET_PROTOCOL,      SC_KEY_SET_ACTIVATION,     SC_KEY_SET_RET_TORQUE,
    SC_KEY_SET_RET_START,     SC_KEY_SET_AUTH,          SC_KEY_SET_TIME,           SC_KEY_CONFIG_STATUS};

template <std::size_t N>
std::optional<sc_key> findKey(const std::array<sc_key, N>& keys, const std::string& name)
{
    for (sc_key k : keys) {
        if (name == key(k)) {
            return k;
        }
    }
    return std::nullopt;
}

/// A JSON integer within [low, high]; floats, strings and the rest do not count.
std::optional<std::int64_t> integerIn(const json& value, std::int64_t low, std::int64_t high)
{
    if (value.is_number_unsigned()) {
        const auto v = value.get<std::uint64_t>();
        if (v <= static_cast<std::uint64_t>(high) && static_cast<std::int64_t>(v) >= low) {
            return static_cast<std::int64_t>(v);
        }
    } else if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        if (v >= low && v <= high) {
            return v;
        }
    }
    return std::nullopt;
}

} // namespace

// A checked request: what the reply carries and what changes.
struct StationProtocol::Plan {
    bool status = false;
    bool config = false;
    bool details = false;
    bool hwVersion = false;
    bool swVersion = false;
    bool protocol = false;
    std::optional<std::uint8_t> activation;
    std::optional<std::uint16_t> retTorque;
    std::optional<std::uint16_t> retStart;
    std::optional<std::uint32_t> systemTime;
    std::optional<bool> extended;
    std::vector<std::pair<sc_key, std::uint8_t>> groupFlags;
};

namespace {

using Plan = StationProtocol::Plan;

TransferStatus checkGroupFlags(const json& value, Plan& plan)
{
    if (!value.is_object()) {
        return TransferStatus::DataMismatch;
    }
    for (const auto& item : value.items()) {
        const auto group = StationState::statusGroup(item.key());
        const auto flag = integerIn(item.value(), 0, 1);
        if (!group || !flag) {
            return TransferStatus::DataMismatch;
        }
        plan.groupFlags.emplace_back(*group, static_cast<std::uint8_t>(*flag));
    }
    return TransferStatus::Ok;
}

bool markRead(sc_key k, Plan& plan)
{
    bool* flag = k == SC_KEY_GET_SYSTEM_STATUS    ? &plan.status
                 : k == SC_KEY_GET_SYSTEM_CONFIG  ? &plan.config
                 : k == SC_KEY_GET_SYSTEM_DETAILS ? &plan.details
                 : k == SC_KEY_GET_HWVERSION      ? &plan.hwVersion
                 : k == SC_KEY_GET_SWVERSION      ? &plan.swVersion
                 : k == SC_KEY_GET_PROTOCOL       ? &plan.protocol
                                                  : nullptr;
    if (flag != nullptr) {
        *flag = true;
    }
    return flag != nullptr;
}

TransferStatus checkOne(sc_key k, const json& value, const StationState& state, Plan& plan)
{
    constexpr auto kU32 = static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max());
    if (k == SC_KEY_CONFIG_STATUS) {
        return checkGroupFlags(value, plan);
    }
    if (k == SC_KEY_SET_AUTH) {
        if (!value.is_string() || value.get_ref<const std::string&>().size() >= SC_AUTH_CAPACITY) {
            return TransferStatus::DataMismatch;
        }
        plan.extended = !value.get_ref<const std::string&>().empty();
        return TransferStatus::Ok;
    }
    // Everything else carries an integer.
    const auto v = integerIn(value, std::numeric_limits<std::int64_t>::min(), kU32);
    if (!v) {
        return TransferStatus::DataMismatch;
    }
    if (markRead(k, plan)) {
        return TransferStatus::Ok;
    }
    if (k == SC_KEY_SET_ACTIVATION && (*v == 0 || *v == 16)) {
        plan.activation = static_cast<std::uint8_t>(*v);
    } else if (k == SC_KEY_SET_RET_TORQUE && *v >= wireLow(ravenlink::vocab::retractionTorque) &&
               *v <= wireHigh(ravenlink::vocab::retractionTorque)) {
        plan.retTorque = static_cast<std::uint16_t>(*v);
    } else if (k == SC_KEY_SET_RET_START && *v >= wireLow(ravenlink::vocab::retractionStart) &&
               *v <= state.maxRetStart()) {
        // A station holds no start length beyond its cable (100 m here).
        plan.retStart = static_cast<std::uint16_t>(*v);
    } else if (k == SC_KEY_SET_TIME && *v >= 0) {
        plan.systemTime = static_cast<std::uint32_t>(*v);
    } else {
        return TransferStatus::DataMismatch;
    }
    return TransferStatus::Ok;
}

TransferStatus checkCommand(const json& command, const StationState& state, Plan& plan)
{
    if (!command.is_object()) {
        return TransferStatus::Malformed;
    }
    if (command.empty()) {
        return TransferStatus::WrongCommand;
    }
    for (const auto& item : command.items()) {
        const auto k = findKey(kCommands, item.key());
        if (!k) {
            return TransferStatus::WrongCommand;
        }
        const TransferStatus status = checkOne(*k, item.value(), state, plan);
        if (status != TransferStatus::Ok) {
            return status;
        }
    }
    return TransferStatus::Ok;
}

void apply(const Plan& plan, StationState& state)
{
    if (plan.activation) {
        state.setActivation(*plan.activation);
    }
    if (plan.retTorque) {
        state.setRetTorque(*plan.retTorque);
    }
    if (plan.retStart) {
        state.setRetStart(*plan.retStart);
    }
    if (plan.systemTime) {
        state.setSystemTime(*plan.systemTime);
    }
    if (plan.extended) {
        state.setExtended(*plan.extended);
    }
    for (const auto& [group, flag] : plan.groupFlags) {
        state.setGroupFlag(group, flag);
    }
}

/// The "SYSTEM_DETAILS" member a plan asks for; one member only, so a
/// request for several parts of it gets the full details.
sc_result (*detailsComposition(const Plan& plan))(char*)
{
    const int parts = int(plan.hwVersion) + int(plan.swVersion) + int(plan.protocol);
    if (plan.details || parts > 1) {
        return composeSystemDetails;
    }
    return plan.hwVersion ? composeHwVersion
           : plan.swVersion ? composeSwVersionDetails
           : plan.protocol ? composeProtocolVersion
                           : nullptr;
}

} // namespace

StationProtocol::StationProtocol(StationState& stateIn, ProtocolOptions optionsIn)
    : state(stateIn), options(optionsIn)
{
}

std::string StationProtocol::answer(const std::string& request, StationState::Clock::time_point now)
{
    const json document = json::parse(request, nullptr, false, false);
    const Plan nothing;
    if (document.is_discarded() || !document.is_object()) {
        return compose(0, TransferStatus::Malformed, nothing);
    }
    const auto com = document.find(key(SC_KEY_COM));
    if (com == document.end() || !com->is_object() || !com->contains(key(SC_KEY_MSG_ID))) {
        return compose(0, TransferStatus::Malformed, nothing);
    }
    const auto id = integerIn(com->at(key(SC_KEY_MSG_ID)), 0, 65535);
    if (!id) {
        return compose(0, TransferStatus::Malformed, nothing);
    }
    const auto msgId = static_cast<std::uint16_t>(*id);
    lastId = msgId;
    const auto command = document.find(key(SC_KEY_COMMAND));
    if (command == document.end()) {
        return compose(msgId, TransferStatus::Malformed, nothing);
    }
    Plan plan;
    const TransferStatus status = checkCommand(*command, state, plan);
    if (status != TransferStatus::Ok) {
        return compose(msgId, status, nothing);
    }
    state.advanceTo(now);
    apply(plan, state);
    return compose(msgId, TransferStatus::Ok, plan);
}

std::string StationProtocol::statusReply(std::uint16_t msgId, StationState::Clock::time_point now)
{
    Plan plan;
    plan.status = true;
    state.advanceTo(now);
    return compose(msgId, TransferStatus::Ok, plan);
}

std::string StationProtocol::overflowReply()
{
    return compose(0, TransferStatus::BufferOverflow, Plan{});
}

std::string StationProtocol::compose(std::uint16_t msgId, TransferStatus status, const Plan& plan)
{
    // The composer has one store per process. The stations of one process
    // (--count) take turns to fill it with their state and compose from it,
    // or one would answer with another's values and request id.
    static std::mutex composerStore;
    const std::lock_guard<std::mutex> turn(composerStore);
    state.publish();
    setMsgId(options.wrongId ? static_cast<std::uint16_t>(msgId + 1U) : msgId);
    setComStatus(options.comStatus >= 0 ? static_cast<std::uint16_t>(options.comStatus)
                                        : static_cast<std::uint16_t>(status));
    char buffer[SC_MESSAGE_CAPACITY] = "";
    bool fits = composeCom(buffer) == SC_OK;
    const auto add = [&](sc_result (*composition)(char*)) {
        if (composition != nullptr) {
            fits = fits && appendComma(buffer) == SC_OK && composition(buffer) == SC_OK;
        }
    };
    if (plan.status) {
        add(composeSystemStatus);
    }
    add(detailsComposition(plan));
    if (plan.config) {
        add(composeSystemConfig);
    }
    fits = fits && wrapMessage(buffer) == SC_OK;
    if (!fits) {
        // Only the envelope then, owning up to the overflow.
        buffer[0] = '\0';
        setComStatus(static_cast<std::uint16_t>(TransferStatus::BufferOverflow));
        composeCom(buffer);
        wrapMessage(buffer);
    }
    return std::string(buffer) + "\n";
}
