// The metrics endpoint: GET /metrics over HTTP on its own small thread pool,
// answered from the registry at each request; every other path is 404.
#ifndef RAVENLINK_BRIDGE_METRICS_SERVER_H
#define RAVENLINK_BRIDGE_METRICS_SERVER_H

#include "BridgeSettings.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace bridge {

class MetricsServer {
public:
    // Listens on \p address at once, so that a port in use ends the start.
    // \p render gives the exposition; it is called on the server's threads.
    // \throw std::runtime_error cannot listen (what() says where and why)
    MetricsServer(const ListenAddress& address, std::function<std::string()> render);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Ends the listener and waits for the requests being answered.
    void stop();

private:
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
};

} // namespace bridge

#endif // RAVENLINK_BRIDGE_METRICS_SERVER_H
