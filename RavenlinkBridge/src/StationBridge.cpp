// The station thread reads the status every interval and runs the commands
// that the broker's network thread queues for it, between two readings. A
// link that fails is closed and opened again at every interval until the
// station answers; the port may be gone and come back under the same name.
#include "StationBridge.h"

#include "BridgeLog.h"
#include "BridgePayloads.h"

#include <RavenlinkTools.h>
#include <StationJson.h>

#include <algorithm>

namespace bridge {

namespace {

const char* const online = "online";
const char* const linkLostState = "link-lost";

using ravenlink::tools::describeFailure;
using ravenlink::tools::oneLine;

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

std::chrono::milliseconds stationSilenceBound(const StationSettings& station)
{
    // The longest command is two exchanges: a setting that moves the station
    // and the reading that confirms it. A pause between readings comes first.
    using ravenlink::ExchangeKind;
    const auto interval = static_cast<long long>(station.intervalSeconds * 1000.0);
    return std::chrono::milliseconds(interval + ravenlink::longestExchangeMs(station.timeoutMs, ExchangeKind::reading) +
                                     ravenlink::longestExchangeMs(station.timeoutMs, ExchangeKind::actuation) + 10000);
}

StationBridge::StationBridge(const StationSettings& station, const BrokerSettings& broker,
                             const std::string& password, std::shared_ptr<StationMetrics> stationMetrics)
    : settings(station), discovery(discoveryMessages(station, broker)), client(clientOptions(station, broker, password)),
      metrics(stationMetrics != nullptr ? std::move(stationMetrics) : std::make_shared<StationMetrics>(station.id))
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
    showLife();
    client.start([this] { onBrokerConnected(); },
                 [this](const std::string& topic, const std::string& payload, bool retained) {
                     onMessage(topic, payload, retained);
                 });
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

std::set<std::string> StationBridge::discoveryTopics() const
{
    std::set<std::string> topics;
    for (const DiscoveryMessage& message : discovery) {
        topics.insert(message.topic);
    }
    return topics;
}

void StationBridge::publishDiscovery()
{
    const std::lock_guard<std::mutex> lock(mutex);
    for (const DiscoveryMessage& message : discovery) {
        publishRetained(message.topic, message.payload);
    }
}

void StationBridge::withdrawDiscovery(const std::set<std::string>& keep)
{
    const std::lock_guard<std::mutex> lock(mutex);
    for (const DiscoveryMessage& message : discovery) {
        if (keep.count(message.topic) == 0) {
            publishRetained(message.topic, "");
        }
    }
}

void StationBridge::onBrokerConnected()
{
    if (settings.commands && !client.subscribe(cmdTopic, 1)) {
        log(LogLevel::error, "cannot subscribe to " + cmdTopic);
    }
    if (!discovery.empty()) {
        if (!client.subscribe(discoveryStatusTopic, 1)) {
            log(LogLevel::error, std::string("cannot subscribe to ") + discoveryStatusTopic);
        }
        publishDiscovery();
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

void StationBridge::answer(const std::optional<std::string>& id, bool ok, const std::string& error,
                           bool reachedStation, const std::string& sent)
{
    metrics->command(ok ? CommandOutcome::done : reachedStation ? CommandOutcome::failed : CommandOutcome::notRun);
    const std::string result = resultJson(id, ok, error, sent);
    const int times = id ? memory.finish(*id, result, reachedStation) : 1;
    for (int i = 0; i < times; ++i) {
        publishResult(result);
    }
}

void StationBridge::refuse(const std::optional<std::string>& id, const std::string& why)
{
    metrics->command(CommandOutcome::refused);
    publishResult(resultJson(id, false, why));
}

void StationBridge::publishResult(const std::string& result)
{
    const int mid = client.publish(resultTopic, result, 1, false);
    if (stopping && mid >= 0) {
        const std::lock_guard<std::mutex> lock(resultsMutex);
        stopResults.push_back(mid);
    }
}

void StationBridge::onMessage(const std::string& topic, const std::string& payload, bool retained)
{
    if (topic == discoveryStatusTopic) {
        // The server has started again and knows only what the broker kept.
        if (payload == "online" && !discovery.empty()) {
            publishDiscovery();
        }
        return;
    }
    if (topic != cmdTopic) {
        return;
    }
    const ParsedCommand parsed = parseCommand(payload);
    const std::string who = parsed.id ? "command " + printable(*parsed.id, 60) : std::string("command");
    // A retained command is one the broker kept from before: after a restart
    // it would arrive as if just sent and undo what operators did since.
    const std::string refusal =
        retained ? "retained command refused: commands must not be published retained" : parsed.error;
    if (retained || !parsed.command) {
        log(LogLevel::warning, who + " refused: " + refusal);
        refuse(parsed.id, refusal);
        return;
    }
    const Command& command = *parsed.command;
    std::string previous;
    switch (memory.admit(command, previous)) {
    case CommandMemory::Seen::fresh:
        break;
    case CommandMemory::Seen::done:
        log(LogLevel::info, who + ": a repeat, answered without running it again");
        publishResult(previous);
        return;
    case CommandMemory::Seen::running:
        log(LogLevel::info, who + ": a repeat, answered without running it again");
        return;
    case CommandMemory::Seen::otherCommand:
        log(LogLevel::warning, who + " (" + commandName(command.kind) + ") refused: id already used for another command");
        refuse(parsed.id, "id already used for another command");
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    const char* const why = stopping                            ? "not run: the bridge is stopping"
                            : state != online                   ? "link lost"
                            : queue.size() >= commandQueueSize ? "queue full"
                                                                : nullptr;
    if (why == nullptr) {
        queue.push_back({command, Clock::now()});
        lock.unlock();
        wake.notify_all();
        return;
    }
    lock.unlock();
    log(LogLevel::warning, who + " (" + commandName(command.kind) + ") failed: " + why);
    answer(parsed.id, false, why, false);
}

// ---- station side ----

void StationBridge::run()
{
    link.setConnectionTimeout(settings.timeoutMs);
    // A reply ends with the line feed that closes its object: no pause after
    // every reply, and a late reply to an abandoned request is dropped.
    link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    // A status reply takes about 100 ms on a real line, in pieces of a few
    // bytes; taking them every 5 ms instead of one by one costs a third of
    // the wake-ups, and a reading stamped up to 5 ms late is no loss. The
    // short answers to commands are in within 5 ms and are not held up.
    link.setReplyGathering(5);
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(settings.intervalSeconds));
    auto next = Clock::now();
    bool ranSinceReading = false;
    while (!stopping) {
        // Every turn shows life: a turn waits at most until the next reading
        // or runs one step with the station, which stationSilenceBound covers.
        showLife();
        if (Clock::now() >= next) {
            if (!linkUp) {
                linkUp = openLink();
            }
            if (linkUp && !stopping) {
                readStatus();
            }
            ranSinceReading = false;
            // A reading that ran late is caught up at once, so that jitter in
            // the station's answers costs no reading; a whole interval behind,
            // the lost slots are given up rather than read in a burst.
            const auto now = Clock::now();
            next += interval;
            if (next + interval < now) {
                next = now;
            }
            continue;
        }
        // Commands run one after another until a reading is due, so that
        // the status keeps its interval however many wait; once they are
        // done, the status is read at once, so that their effect shows.
        const std::optional<Waiting> waiting = nextCommand(next, ranSinceReading);
        if (waiting) {
            ranSinceReading = execute(*waiting) || ranSinceReading;
        } else if (ranSinceReading) {
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
    const char* operation = "openConnection";
    const auto began = Clock::now();
    try {
        link.openConnection(settings.port);
        operation = "getSystemDetails";
        SystemDetails fresh;
        link.getSystemDetails(fresh);
        details = fresh;
    } catch (const std::exception& e) {
        metrics->exchangeFailed(failureReason(e), Clock::now() - began);
        linkLost(describeFailure(operation, e));
        return false;
    }
    metrics->exchangeDone(Clock::now() - began);
    metrics->setUp(true);
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
    metrics->setUp(false);
    const std::string reason = oneLine(why);
    // One line and one check per new reason, not one per attempt while the
    // station stays away.
    if (reason != lastLinkError) {
        log(LogLevel::warning, std::string(state == online ? "link lost: " : "no link: ") + reason);
        lastLinkError = reason;
        const std::lock_guard<std::mutex> lock(mutex);
        // Nothing is known of the station now; the first reading once it is
        // back publishes its findings again.
        checkFindingsText = CheckFindings{};
        checkText = checkPayload(std::chrono::system_clock::now(), unknownFindings("link lost: " + reason));
        publishRetained(checkTopic, checkText);
    }
    setState(linkLostState);
    refuseQueued("link lost");
}

void StationBridge::refuseQueued(const std::string& why)
{
    std::deque<Waiting> refused;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        refused.swap(queue);
    }
    for (const Waiting& waiting : refused) {
        answer(waiting.command.id, false, why, false);
    }
}

void StationBridge::readStatus()
{
    SystemStatus status;
    StatusGroups delivered;
    const auto began = Clock::now();
    try {
        link.getSystemStatus(status, delivered);
    } catch (const std::exception& e) {
        metrics->exchangeFailed(failureReason(e), Clock::now() - began);
        linkLost(describeFailure("getSystemStatus", e));
        return;
    }
    metrics->exchangeDone(Clock::now() - began);
    const auto now = std::chrono::system_clock::now();
    metrics->reading(status, delivered, now);
    const CheckFindings findings = checkFindings(status, delivered, details);
    const std::lock_guard<std::mutex> lock(mutex);
    // Only readings that go out are numbered: a gap then means a message
    // lost on its way to a subscriber, not a reading taken while the broker
    // was away.
    if (publishRetained(statusTopic, statusPayload(now, status, delivered, seq + 1))) {
        ++seq;
    }
    if (findings != checkFindingsText) {
        checkFindingsText = findings;
        checkText = checkPayload(now, findings);
        publishRetained(checkTopic, checkText);
    }
}

std::optional<StationBridge::Waiting> StationBridge::nextCommand(Clock::time_point until, bool readAfter)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (readAfter && queue.empty()) {
        return std::nullopt;
    }
    wake.wait_until(lock, until, [&] { return stopping || !queue.empty(); });
    if (stopping || queue.empty()) {
        return std::nullopt;
    }
    Waiting waiting = queue.front();
    queue.pop_front();
    running = waiting.command;
    runningAnswered = false;
    return waiting;
}

bool StationBridge::execute(const Waiting& waiting)
{
    const Command& command = waiting.command;
    const std::string who = "command " + printable(command.id, 60) + " (" + commandName(command.kind) + ")";
    bool reached = false;
    bool ok = false;
    std::string error;
    if (Clock::now() - waiting.arrived > commandMaxAge) {
        error = "expired, not run";
    } else if (!linkUp) {
        error = "link lost";
    } else {
        reached = true;
        try {
            ravenlink::tools::run(link, command);
            ok = true;
        } catch (const std::exception& e) {
            error = describeFailure(commandName(command.kind), e);
        }
    }
    log(ok ? LogLevel::info : LogLevel::warning, who + (ok ? " done" : " failed: " + error));
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!runningAnswered) {
            answer(command.id, ok, error, reached, ok ? sentValue(command) : "");
        }
        running.reset();
    }
    wake.notify_all();
    if (reached && !ok && !link.isConnected()) {
        linkLost(error);
    }
    return ok;
}

// ---- stopping ----

int StationBridge::beginStop()
{
    int mid = -1;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        closing = true;
        // Another bridge that holds the station's client id serves it.
        mid = client.yieldsToAnotherBridge() ? -1 : client.publish(stateTopic, "offline", 1, true);
    }
    wake.notify_all();
    refuseQueued("not run: the bridge is stopping");
    return mid;
}

void StationBridge::finishRunningCommand(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (wake.wait_until(lock, deadline, [&] { return !running; })) {
        return;
    }
    // The station has the command and may carry it out; what is known is
    // said, and the station thread's own answer, should it come, is not sent.
    runningAnswered = true;
    log(LogLevel::warning, "command " + printable(running->id, 60) + " (" + commandName(running->kind) +
                               "): the bridge stopped before the station answered");
    answer(running->id, false, "the bridge stopped before the station answered: the command may have been carried out",
           true);
}

bool StationBridge::waitPublishedAcknowledged(int mid, Clock::time_point deadline)
{
    std::vector<int> mids;
    {
        const std::lock_guard<std::mutex> lock(resultsMutex);
        mids = stopResults;
    }
    bool all = mid >= 0 && client.waitAcknowledged(mid, deadline);
    for (const int each : mids) {
        all = client.waitAcknowledged(each, deadline) && all;
    }
    return all;
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
