/*!
 * \file main.cpp
 * \brief Entry of ravenlink-bridge: every configured ground station on an
 * MQTT broker, until SIGTERM, SIGINT or SIGHUP.
 */
#include "BridgeArguments.h"
#include "BridgeHealth.h"
#include "BridgeLog.h"
#include "MetricsServer.h"
#include "StationBridge.h"

#include <csignal>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using bridge::LogLevel;
using bridge::StationBridge;
using Clock = std::chrono::steady_clock;

// The stop signals are taken by sigwait in the main thread alone: blocked
// before any thread starts, so that every thread inherits the mask. SIGUSR1
// is how a broker connection that gives up its client id to another bridge
// wakes the main thread.
sigset_t blockStopSignals()
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    sigaddset(&stops, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    // A broker that goes away under a TLS write must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    return stops;
}

// A connection that gave up its client id to another bridge makes the stop
// a failure of its own, which a service manager need not answer by
// starting the bridge again to fight.
int stopStatus() { return bridge::MqttClient::anyGaveUp() ? bridge::exitGaveUp : bridge::exitDone; }

std::string describe(const bridge::BridgeSettings& settings)
{
    const bridge::BrokerSettings& broker = settings.broker;
    std::string text = "ravenlink-bridge " RAVENLINK_BRIDGE_VERSION ": broker " + broker.host + ":" +
                       std::to_string(broker.effectivePort()) +
                       (broker.protocol == bridge::MqttProtocol::v5 ? " MQTT 5" : " MQTT 3.1.1") +
                       (broker.tls ? " TLS" : "") +
                       (broker.username.empty() ? "" : " user " + broker.username) + ", topics " +
                       broker.topicPrefix + "/ID/..., stations:";
    for (const bridge::StationSettings& station : settings.stations) {
        text += " " + station.id + "=" + station.port + (station.commands ? " (commands on)" : "");
    }
    if (const auto& listen = settings.metricsListen) {
        const bool v6 = listen->host.find(':') != std::string::npos;
        text += "; metrics on http://" + (v6 ? "[" + listen->host + "]" : listen->host) + ":" +
                std::to_string(listen->port) + "/metrics";
    }
    return text;
}

// The whole stop takes at most stopBound. Offline first on every station's
// connection, with every waiting command answered; then the running
// commands get until runningBound to end and publish their results (an
// activation may wait 30 timeouts; one that is still running then is
// answered as such); then the broker is given until acknowledgedBound to
// take all of it before the disconnects. Each step waits for all stations
// at once.
constexpr std::chrono::milliseconds runningBound{4000};
constexpr std::chrono::milliseconds acknowledgedBound{4500};
constexpr std::chrono::milliseconds stopBound{5000};

int shutDown(std::vector<std::unique_ptr<StationBridge>>& stations)
{
    const auto begin = Clock::now();
    std::vector<int> offline;
    for (auto& station : stations) {
        offline.push_back(station->beginStop());
    }
    for (auto& station : stations) {
        station->finishRunningCommand(begin + runningBound);
    }
    for (std::size_t i = 0; i < stations.size(); ++i) {
        stations[i]->waitPublishedAcknowledged(offline[i], begin + acknowledgedBound);
    }
    for (auto& station : stations) {
        station->requestBrokerStop();
    }
    bool clean = true;
    for (auto& station : stations) {
        clean = station->waitBrokerStopped(begin + stopBound) && clean;
    }
    for (auto& station : stations) {
        if (!station->waitWorker(begin + stopBound)) {
            bridge::logLine(LogLevel::warning, "station " + station->id() + ": still in an exchange; not waited for");
            clean = false;
        }
    }
    if (!clean) {
        bridge::logLine(LogLevel::info, "stopped");
        std::_Exit(stopStatus());
    }
    stations.clear();
    bridge::logLine(LogLevel::info, "stopped");
    return stopStatus();
}

} // namespace

int main(int argc, char** argv)
{
    const sigset_t stops = blockStopSignals();
    bridge::BridgeSettings settings;
    if (const auto done = bridge::parseArguments(argc, argv, settings)) {
        return *done;
    }
    bridge::BridgeMetrics metrics(RAVENLINK_BRIDGE_VERSION, std::chrono::system_clock::now());
    std::vector<std::unique_ptr<StationBridge>> stations;
    std::unique_ptr<bridge::BridgeHealth> health;
    std::unique_ptr<bridge::MetricsServer> metricsServer;
    try {
        const std::string password =
            settings.broker.passwordFile.empty() ? "" : bridge::readPassword(settings.broker.passwordFile);
        for (const bridge::StationSettings& station : settings.stations) {
            stations.push_back(
                std::make_unique<StationBridge>(station, settings.broker, password, metrics.station(station.id)));
        }
        health = std::make_unique<bridge::BridgeHealth>(metrics, settings.broker, password);
        if (settings.metricsListen) {
            metricsServer = std::make_unique<bridge::MetricsServer>(*settings.metricsListen,
                                                                    [&metrics] { return metrics.render(); });
        }
    } catch (const std::exception& e) {
        bridge::logLine(LogLevel::error, e.what());
        return bridge::exitFailed;
    }
    bridge::logLine(LogLevel::info, describe(settings));
    for (auto& station : stations) {
        station->start();
    }
    health->start();
    int signalNumber = 0;
    while (sigwait(&stops, &signalNumber) != 0 ||
           (signalNumber == SIGUSR1 && !bridge::MqttClient::anyGaveUp())) {
    }
    bridge::logLine(signalNumber == SIGUSR1 ? LogLevel::error : LogLevel::info,
                    signalNumber == SIGUSR1 ? std::string("stopping: another bridge serves a station with the same "
                                                          "client id")
                                            : std::string("stopping on ") + (signalNumber == SIGTERM ? "SIGTERM"
                                                                             : signalNumber == SIGINT ? "SIGINT"
                                                                                                       : "SIGHUP"));
    health->stop(Clock::now() + std::chrono::milliseconds(200));
    return shutDown(stations);
}
