// The station thread reads the status every interval and runs the commands
// that the broker's network thread queues for it, between two readings. A
// link that fails is closed and opened again at every interval until the
// station answers; the port may be gone and come back under the same name.
#include "StationBridge.h"

#include "BridgeLog.h"
#include "BridgePayloads.h"

#include <StationJson.h>

#include <algorithm>

namespace bridge {

namespace {

const char* const online = "online";
const char* const linkLostState = "link-lost";

std::string oneLine(const std::string& text)
{
    std::string line = text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    return line;
}

MqttClient::Options clientOptions(const StationSettings& station, const BrokerSettings& broker,
                                  const std::string& password)
{
    MqttClient::Options options;
    options.broker = broker;
    options.password = password;
    options.clientId = stationClientId(broker, station.id);
    options.willTopic = broker.topicPrefix + "/" + station.id + "/state";
    options.willPayload = "offline";
    options.name = "station " + station.id;
    return options;
}

} // namespace

StationBridge::StationBridge(const StationSettings& station, const BrokerSettings& broker,
                             const std::string& password)
    : settings(station), client(clientOptions(station, broker, password))
{
    const std::string base = broker.topicPrefix + "/" + station.id + "/";
    stateTopic = base + "state";
    statusTopic = base + "status";
    detailsTopic = base + "details";
    checkTopic = base + "check";
    cmdTopic = base + "cmd";
    resultTopic = base + "cmd/result";
}

StationBridge::~StationBridge()
{
    if (worker.joinable()) {
        worker.join();
    }
}

void StationBridge::start()
{
    client.start([this] { onBrokerConnected(); },
                 [this](const std::string& topic, const std::string& payload) { onMessage(topic, payload); });
    worker = std::thread([this] { run(); });
}

void StationBridge::log(LogLevel level, const std::string& text) const
{
    logLine(level, "station " + settings.id + ": " + text);
}

// ---- broker side ----

bool StationBridge::publishRetained(const std::string& topic, const std::string& payload)
{
    // Called with the lock held. A retained topic that cannot go out now is
    // sent again on the next connect, so nothing is queued for a broker
    // that is away.
    return !closing && client.isConnected() && client.publish(topic, payload, topic == statusTopic ? 0 : 1, true) >= 0;
}

void StationBridge::setState(const char* newState)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (state != newState) {
        state = newState;
        publishRetained(stateTopic, state);
    }
}

void StationBridge::onBrokerConnected()
{
    if (settings.commands && !client.subscribe(cmdTopic, 1)) {
        log(LogLevel::error, "cannot subscribe to " + cmdTopic);
    }
    // A restarted broker may have lost what was retained.
    const std::lock_guard<std::mutex> lock(mutex);
    if (!state.empty()) {
        publishRetained(stateTopic, state);
    }
    if (!detailsPayload.empty()) {
        publishRetained(detailsTopic, detailsPayload);
    }
    if (!checkText.empty()) {
        publishRetained(checkTopic, checkText);
    }
}

void StationBridge::answer(const std::optional<std::string>& id, bool ok, const std::string& error)
{
    const std::string result = resultJson(id, ok, error);
    const int times = id ? memory.finish(*id, result) : 1;
    for (int i = 0; i < times; ++i) {
        client.publish(resultTopic, result, 1, false);
    }
}

void StationBridge::onMessage(const std::string& topic, const std::string& payload)
{
    if (topic != cmdTopic) {
        return;
    }
    const ParsedCommand parsed = parseCommand(payload);
    const std::string who = parsed.id ? "command " + printable(*parsed.id, 60) : std::string("command");
    if (parsed.id) {
        std::string previous;
        const CommandMemory::Seen seen = memory.admit(*parsed.id, previous);
        if (seen != CommandMemory::Seen::fresh) {
            log(LogLevel::info, who + ": a repeat, answered without running it again");
            if (seen == CommandMemory::Seen::done) {
                client.publish(resultTopic, previous, 1, false);
            }
            return;
        }
    }
    if (!parsed.command) {
        log(LogLevel::warning, who + " refused: " + parsed.error);
        answer(parsed.id, false, parsed.error);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    const char* refusal = stopping ? "the bridge is stopping" : state != online ? "link lost" : nullptr;
    if (refusal == nullptr) {
        queue.push_back(*parsed.command);
        lock.unlock();
        wake.notify_all();
        return;
    }
    lock.unlock();
    log(LogLevel::warning, who + " (" + commandName(parsed.command->kind) + ") failed: " + refusal);
    answer(parsed.id, false, refusal);
}

// ---- station side ----

void StationBridge::run()
{
    link.setConnectionTimeout(settings.timeoutMs);
    // A reply ends with the line feed that closes its object: no pause after
    // every reply, and a late reply to an abandoned request is dropped.
    link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(settings.intervalSeconds));
    auto next = Clock::now();
    while (!stopping) {
        if (!linkUp) {
            linkUp = openLink();
        }
        if (linkUp && !stopping) {
            readStatus();
        }
        // A reading that ran late is caught up at once, so that jitter in
        // the station's answers costs no reading; a whole interval behind,
        // the lost slots are given up rather than read in a burst.
        const auto now = Clock::now();
        next += interval;
        if (next + interval < now) {
            next = now;
        }
        // After a command the status is read at once, so that its effect shows.
        if (serveUntil(next)) {
            next = Clock::now();
        }
    }
    closeLink();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        workerDone = true;
    }
    wake.notify_all();
}

bool StationBridge::openLink()
{
    closeLink();
    try {
        link.openConnection(settings.port);
        SystemDetails fresh;
        link.getSystemDetails(fresh);
        details = fresh;
    } catch (const std::exception& e) {
        linkLost(e.what());
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        detailsPayload = toTimedJson(std::chrono::system_clock::now(), details);
        publishRetained(detailsTopic, detailsPayload);
    }
    setState(online);
    lastLinkError.clear();
    log(LogLevel::info, "online on " + settings.port);
    return true;
}

void StationBridge::closeLink()
{
    try {
        link.closeConnection();
    } catch (const std::exception&) {
        // A port whose device has gone may refuse to close; opening anew is what counts.
    }
}

void StationBridge::linkLost(const std::string& why)
{
    linkUp = false;
    const std::string reason = oneLine(why);
    // One line per new reason, not one per attempt while the station stays away.
    if (reason != lastLinkError) {
        log(LogLevel::warning, std::string(state == online ? "link lost: " : "no link: ") + reason);
        lastLinkError = reason;
    }
    setState(linkLostState);
    refuseQueued("link lost");
}

void StationBridge::refuseQueued(const std::string& why)
{
    std::deque<Command> refused;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        refused.swap(queue);
    }
    for (const Command& command : refused) {
        answer(command.id, false, why);
    }
}

void StationBridge::readStatus()
{
    SystemStatus status;
    try {
        link.getSystemStatus(status);
    } catch (const std::exception& e) {
        linkLost(e.what());
        return;
    }
    const auto now = std::chrono::system_clock::now();
    const std::string findings = checkFindings(link, status, details);
    const std::lock_guard<std::mutex> lock(mutex);
    // Only readings that go out are numbered: a gap then means a message
    // lost on its way to a subscriber, not a reading taken while the broker
    // was away.
    if (publishRetained(statusTopic, statusPayload(now, status, seq + 1))) {
        ++seq;
    }
    if (findings != checkFindingsText) {
        checkFindingsText = findings;
        checkText = checkPayload(now, findings);
        publishRetained(checkTopic, checkText);
    }
}

bool StationBridge::serveUntil(Clock::time_point next)
{
    std::unique_lock<std::mutex> lock(mutex);
    bool ran = false;
    while (!stopping) {
        if (!queue.empty()) {
            const Command command = queue.front();
            queue.pop_front();
            lock.unlock();
            ran = execute(command) || ran;
            lock.lock();
            continue;
        }
        if (ran || !wake.wait_until(lock, next, [&] { return stopping || !queue.empty(); })) {
            break;
        }
    }
    return ran;
}

bool StationBridge::execute(const Command& command)
{
    const std::string who = "command " + printable(command.id, 60) + " (" + commandName(command.kind) + ")";
    if (!linkUp) {
        log(LogLevel::warning, who + " failed: link lost");
        answer(command.id, false, "link lost");
        return false;
    }
    try {
        runCommand(link, command);
    } catch (const std::exception& e) {
        const std::string error = oneLine(e.what());
        log(LogLevel::warning, who + " failed: " + error);
        answer(command.id, false, error);
        if (!link.isConnected()) {
            linkLost(error);
        }
        return false;
    }
    log(LogLevel::info, who + " done");
    answer(command.id, true, "");
    return true;
}

// ---- stopping ----

int StationBridge::beginStop()
{
    int mid = -1;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        closing = true;
        mid = client.publish(stateTopic, "offline", 1, true);
    }
    wake.notify_all();
    refuseQueued("the bridge is stopping");
    return mid;
}

bool StationBridge::waitOfflineAcknowledged(int mid, Clock::time_point deadline)
{
    return mid >= 0 && client.waitAcknowledged(mid, deadline);
}

void StationBridge::requestBrokerStop() { client.requestStop(); }

bool StationBridge::waitBrokerStopped(Clock::time_point deadline) { return client.waitStopped(deadline); }

bool StationBridge::waitWorker(Clock::time_point deadline)
{
    if (!worker.joinable()) {
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex);
    if (!wake.wait_until(lock, deadline, [&] { return workerDone; })) {
        return false;
    }
    lock.unlock();
    worker.join();
    return true;
}

} // namespace bridge
