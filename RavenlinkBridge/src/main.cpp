/*!
 * \file main.cpp
 * \brief Entry of ravenlink-bridge: every configured ground station on an
 * MQTT broker, until SIGTERM or SIGINT; SIGHUP reads the configuration
 * file again.
 */
#include "BridgeArguments.h"
#include "BridgeHealth.h"
#include "BridgeLog.h"
#include "MetricsServer.h"
#include "ServiceNotify.h"
#include "StationSet.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace {

using bridge::LogLevel;
using Clock = std::chrono::steady_clock;

// The stop and reload signals are taken by sigwait in the main thread alone.
// SIGUSR1 is how a broker connection that gives up its client id to another
// bridge wakes the main thread. A broker that goes away under a TLS write
// must not end the process: SIGPIPE is ignored.
sigset_t blockStopSignals() { return ravenlink::tools::blockSignals({SIGTERM, SIGINT, SIGHUP, SIGUSR1}); }

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

std::string serving(const bridge::StationSet& stations)
{
    return "serving " + std::to_string(stations.size()) + (stations.size() == 1 ? " station" : " stations");
}

// Reads the configuration file again and makes the stations what it
// names. A configuration that cannot be read or used changes nothing.
void reload(const bridge::CommandLine& commandLine, bridge::StationSet& stations, bridge::ServiceNotify& notify)
{
    if (!commandLine.namesConfigFile()) {
        bridge::logLine(LogLevel::info, "SIGHUP ignored: there is no configuration file to read again");
        return;
    }
    notify.reloading();
    try {
        const bridge::BridgeSettings settings = commandLine.reread(stations.settings());
        const std::string password =
            settings.broker.passwordFile.empty() ? "" : bridge::readPassword(settings.broker.passwordFile);
        const bridge::StationPlan plan = stations.apply(settings, password);
        bridge::logLine(LogLevel::info, "reloaded " + commandLine.configFile() + ": " + bridge::describePlan(plan));
    } catch (const std::exception& e) {
        bridge::logLine(LogLevel::error, "reload failed, the stations run on as they were: " + std::string(e.what()));
    }
    notify.ready(serving(stations));
}

// Pings the watchdog while every station thread shows life; one that has
// been silent for longer than it may be stops the pings, and the service
// manager restarts the bridge. Said once, not at every ping missed.
void watchdog(const bridge::StationSet& stations, bridge::ServiceNotify& notify, bool& silent)
{
    const auto quiet = stations.silentStation(Clock::now());
    if (!quiet) {
        silent = false;
        notify.ping();
        return;
    }
    if (!silent) {
        bridge::logLine(LogLevel::error,
                        "station " + quiet->first + ": its thread has shown no sign of life for " +
                            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(quiet->second).count()) +
                            " s; the watchdog is no longer told that the bridge works");
    }
    silent = true;
}

// Waits for a signal, or until \p until. \return the signal, or 0
int waitSignal(const sigset_t& signals, std::optional<Clock::time_point> until)
{
    if (!until) {
        int signalNumber = 0;
        return sigwait(&signals, &signalNumber) == 0 ? signalNumber : 0;
    }
    const auto left = std::max(Clock::duration::zero(), *until - Clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
    const int signalNumber = sigtimedwait(&signals, nullptr, &timeout);
    return signalNumber > 0 ? signalNumber : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const sigset_t stops = blockStopSignals();
    bridge::BridgeSettings settings;
    bridge::CommandLine commandLine;
    if (const auto done = bridge::parseArguments(argc, argv, settings, &commandLine)) {
        return *done;
    }
    bridge::BridgeMetrics metrics(RAVENLINK_BRIDGE_VERSION, std::chrono::system_clock::now());
    bridge::StationSet stations(&metrics);
    std::unique_ptr<bridge::BridgeHealth> health;
    std::unique_ptr<bridge::MetricsServer> metricsServer;
    try {
        const std::string password =
            settings.broker.passwordFile.empty() ? "" : bridge::readPassword(settings.broker.passwordFile);
        health = std::make_unique<bridge::BridgeHealth>(metrics, settings.broker, password);
        if (settings.metricsListen) {
            metricsServer = std::make_unique<bridge::MetricsServer>(*settings.metricsListen,
                                                                    [&metrics] { return metrics.render(); });
        }
        bridge::logLine(LogLevel::info, describe(settings));
        stations.apply(settings, password);
    } catch (const std::exception& e) {
        bridge::logLine(LogLevel::error, e.what());
        return bridge::exitFailed;
    }
    bridge::ServiceNotify notify;
    notify.ready(serving(stations));
    const std::optional<Clock::duration> pingEvery = notify.pingEvery();
    std::optional<Clock::time_point> nextPing;
    if (pingEvery) {
        nextPing = Clock::now();
    }
    health->start();
    bool silent = false;
    int signalNumber = 0;
    for (;;) {
        if (nextPing && Clock::now() >= *nextPing) {
            watchdog(stations, notify, silent);
            nextPing = Clock::now() + *pingEvery;
        }
        signalNumber = waitSignal(stops, nextPing);
        if (signalNumber == SIGHUP) {
            reload(commandLine, stations, notify);
        } else if (signalNumber == SIGTERM || signalNumber == SIGINT ||
                   (signalNumber == SIGUSR1 && bridge::MqttClient::anyGaveUp())) {
            break;
        }
    }
    notify.stopping();
    bridge::logLine(signalNumber == SIGUSR1 ? LogLevel::error : LogLevel::info,
                    signalNumber == SIGUSR1 ? std::string("stopping: another bridge serves a station with the same "
                                                          "client id")
                                            : std::string("stopping on ") + (signalNumber == SIGTERM ? "SIGTERM" : "SIGINT"));
    health->stop(Clock::now() + std::chrono::milliseconds(200));
    const bool clean = stations.stopAll();
    bridge::logLine(LogLevel::info, "stopped");
    if (!clean) {
        std::_Exit(stopStatus());
    }
    return stopStatus();
}
