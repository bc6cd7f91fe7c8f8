// The HTTP side: the JSON API on the users' broker sessions, the event
// stream (Server-Sent Events) and the page's files.
#ifndef RAVENLINK_WEB_SERVER_H
#define RAVENLINK_WEB_SERVER_H

#include "SessionCache.h"
#include "WebSettings.h"

#include <atomic>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace web {

class WebServer {
public:
    // \throw std::runtime_error the TLS certificate or key cannot be used,
    //        or the page's files are missing (what() names them)
    explicit WebServer(const WebSettings& settings);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds the listener. \return the port, or -1 when it cannot be bound
    int bind();
    // Serves until stop(); call on a thread of its own.
    void serve();
    // serve() takes connections (a stop() before it would be lost).
    bool running() const;
    // Ends every stream and session and lets serve() return.
    void stop();

private:
    void routes();

    const WebSettings settings;
    SessionCache cache;
    std::unique_ptr<httplib::Server> server;
    std::atomic<int> openStreams{0};
    bool pageServed = true;
};

} // namespace web

#endif // RAVENLINK_WEB_SERVER_H
