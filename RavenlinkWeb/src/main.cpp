/*!
 * \file main.cpp
 * \brief Entry of ravenlink-web: the stations of a broker as a web page,
 * until SIGTERM, SIGINT or SIGHUP.
 */
#include "WebLog.h"
#include "WebServer.h"
#include "WebSettings.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <unistd.h>
#include <thread>

namespace {

// The stop signals are taken by sigwait in the main thread alone. A browser
// that goes away under a write must not end the process: SIGPIPE is ignored.
sigset_t blockStopSignals() { return ravenlink::tools::blockSignals({SIGTERM, SIGINT, SIGHUP}); }

} // namespace

int main(int argc, char** argv)
{
    const sigset_t stops = blockStopSignals();
    web::WebSettings settings;
    if (const auto done = web::parseArguments(argc, argv, settings)) {
        return *done;
    }
    // Run from the build tree, the page is the source tree's, so that the
    // program works there as installed.
    if (!settings.webRootGiven && ::access((settings.webRoot + "/index.html").c_str(), R_OK) != 0) {
        char self[4096] = {};
        const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
        const std::string buildDir = RAVENLINK_WEB_BUILD_DIR "/";
        if (length > 0 && std::string(self, static_cast<std::size_t>(length)).rfind(buildDir, 0) == 0) {
            settings.webRoot = RAVENLINK_WEB_SOURCE_ROOT;
        }
    }
    std::unique_ptr<web::WebServer> server;
    try {
        server = std::make_unique<web::WebServer>(settings);
    } catch (const std::exception& e) {
        web::logLine(web::LogLevel::error, e.what());
        return web::exitFailed;
    }
    const int port = server->bind();
    if (port < 0) {
        web::logLine(web::LogLevel::error, "cannot listen on " + settings.listenHost + ":" +
                                               std::to_string(settings.listenPort) + " (in use, or not this machine's)");
        return web::exitFailed;
    }
    const std::string host = settings.listenHost.find(':') != std::string::npos ? "[" + settings.listenHost + "]"
                                                                                 : settings.listenHost;
    web::logLine(web::LogLevel::info, std::string("ravenlink-web ") + RAVENLINK_WEB_VERSION + ": broker " +
                                          settings.broker.host + ":" + std::to_string(settings.broker.effectivePort()) +
                                          (settings.broker.tls ? " TLS" : "") + ", topics " +
                                          settings.broker.topicPrefix + "/ID/..., page " + settings.webRoot);
    std::atomic<bool> served{false};
    std::thread serving([&] {
        server->serve();
        served = true;
    });
    // Until the server loop runs, a stop would not reach it: only then is
    // the listener announced and a stop signal taken.
    while (!server->running() && !served) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    web::logLine(web::LogLevel::info, "listening on " + std::string(settings.tls() ? "https" : "http") + "://" + host +
                                          ":" + std::to_string(port) + "/");
    int signalNumber = 0;
    while (sigwait(&stops, &signalNumber) != 0) {
    }
    web::logLine(web::LogLevel::info, std::string("stopping on ") +
                                          (signalNumber == SIGTERM ? "SIGTERM" : signalNumber == SIGINT ? "SIGINT" : "SIGHUP"));
    server->stop();
    serving.join();
    server.reset();
    web::logLine(web::LogLevel::info, "stopped");
    return web::exitDone;
}
