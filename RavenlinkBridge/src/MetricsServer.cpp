// Two worker threads are plenty for a scraper or two; a request body is
// never read, and an idle connection is closed after 5 s, so that a client
// that holds connections open costs little.
#include "MetricsServer.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace bridge {

namespace {

constexpr std::size_t workerThreads = 2;
constexpr time_t idleSeconds = 5;

// The library says only that it could not listen; binding once more here
// finds the system's reason for the log.
std::string bindFailure(const ListenAddress& address)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int resolved = ::getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
    if (resolved != 0) {
        return ::gai_strerror(resolved);
    }
    std::string why = "cannot listen";
    for (const addrinfo* each = found; each != nullptr; each = each->ai_next) {
        const int fd = ::socket(each->ai_family, each->ai_socktype | SOCK_CLOEXEC, each->ai_protocol);
        if (fd < 0) {
            why = std::strerror(errno);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const bool bound = ::bind(fd, each->ai_addr, each->ai_addrlen) == 0 && ::listen(fd, 1) == 0;
        why = bound ? "cannot listen" : std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return why;
}

} // namespace

MetricsServer::MetricsServer(const ListenAddress& address, std::function<std::string()> render)
    : server(std::make_unique<httplib::Server>())
{
    server->new_task_queue = [] { return new httplib::ThreadPool(workerThreads); };
    // The library's default is SO_REUSEPORT, with which a second bridge (or
    // anything else of the same user) given the same port would start
    // without a word and answer every other scrape with its own stations.
    server->set_socket_options([](int fd) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    server->set_keep_alive_timeout(idleSeconds);
    server->set_read_timeout(idleSeconds, 0);
    server->set_write_timeout(idleSeconds, 0);
    server->set_payload_max_length(1024);
    server->Get("/metrics", [render](const httplib::Request&, httplib::Response& response) {
        response.set_content(render(), "text/plain; version=0.0.4; charset=utf-8");
    });
    if (!server->bind_to_port(address.host, address.port)) {
        const std::string host = address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host;
        throw std::runtime_error("metrics-listen " + host + ":" + std::to_string(address.port) + ": " +
                                 bindFailure(address));
    }
    listener = std::thread([this] { server->listen_after_bind(); });
}

MetricsServer::~MetricsServer() { stop(); }

void MetricsServer::stop()
{
    if (!listener.joinable()) {
        return;
    }
    // A stop before the listener runs would be lost, and the join wait for
    // ever: the listener is given a moment to be running first.
    for (int i = 0; i < 1000 && !server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    server->stop();
    listener.join();
}

} // namespace bridge
