#include "WebServer.h"

#include "WebLog.h"

#include <StationVocabulary.h>
#include <httplib.h>

#include <sys/stat.h>

#include <random>

namespace web {

namespace {

using namespace std::chrono_literals;

// A comment line this often keeps idle streams open through proxies and
// finds the ones whose reader went away.
constexpr auto keepAliveEvery = 15s;
constexpr std::size_t largestBody = 16 * 1024;

const char* const jsonType = "application/json";

std::string dump(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void answer(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_content(body, jsonType);
}

void fail(httplib::Response& res, int status, const std::string& text)
{
    answer(res, status, dump(Json{{"error", text}}));
}

// The values a user may send to a station, with their bounds, as the bridge
// takes them: the page sets its fields from this and so never states a range
// of its own.
std::string settingsJson()
{
    Json all = Json::array();
    for (const ravenlink::vocab::Setting* setting : ravenlink::vocab::settings) {
        if (setting->wireKey == SC_KEY_COUNT) {
            continue;  // a setting of the programs, not of the station
        }
        all.push_back(Json{{"command", std::string(setting->name)},
                           {"key", std::string(setting->jsonKey)},
                           {"unit", std::string(setting->unit)},
                           {"min", setting->low},
                           {"max", setting->high},
                           {"step", 1.0 / setting->scale},
                           {"range", ravenlink::vocab::rangeText(*setting)}});
    }
    return dump(all);
}

std::string commandId()
{
    static std::mutex randomMutex;
    static std::random_device device;
    static std::mt19937_64 engine(device());
    const std::lock_guard<std::mutex> lock(randomMutex);
    std::string text = "web-";
    for (int i = 0; i < 16; ++i) {
        text += "0123456789abcdef"[engine() & 0xF];
    }
    return text;
}

// "http://HOST[:PORT]" or "https://…" names the host and port of \p host
// (the request's Host header).
bool sameOrigin(const std::string& origin, const std::string& host)
{
    const std::size_t scheme = origin.find("://");
    return scheme != std::string::npos && !host.empty() && origin.substr(scheme + 3) == host;
}

bool isFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

WebServer::WebServer(const WebSettings& settings) : settings(settings), cache(settings)
{
    if (!isFile(settings.webRoot + "/index.html")) {
        if (settings.webRootGiven) {
            throw std::runtime_error("web root " + settings.webRoot + ": no index.html (the page's files are missing)");
        }
        logLine(LogLevel::warning, "web root " + settings.webRoot + ": no index.html; serving the API alone");
        pageServed = false;
    }
    if (settings.tls()) {
        for (const std::string& file : {settings.tlsCert, settings.tlsKey}) {
            if (!isFile(file) || ::access(file.c_str(), R_OK) != 0) {
                throw std::runtime_error(file + ": cannot be read");
            }
        }
        auto secure = std::make_unique<httplib::SSLServer>(settings.tlsCert.c_str(), settings.tlsKey.c_str());
        if (!secure->is_valid()) {
            throw std::runtime_error(settings.tlsCert + ", " + settings.tlsKey +
                                     ": no PEM certificate with its unencrypted key");
        }
        server = std::move(secure);
    } else {
        server = std::make_unique<httplib::Server>();
    }
    // Every stream holds a worker for its whole life; the rest serve the
    // short requests beside them.
    const auto workers = static_cast<std::size_t>(settings.maxStreams) + 8;
    server->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    server->set_payload_max_length(largestBody);
    server->set_keep_alive_timeout(5);
    // Events are small and frequent: each goes out at once instead of
    // waiting for the previous one's acknowledgement (up to 40 ms).
    server->set_tcp_nodelay(true);
    routes();
}

WebServer::~WebServer() { stop(); }

int WebServer::bind()
{
    if (settings.listenPort == 0) {
        return server->bind_to_any_port(settings.listenHost);
    }
    return server->bind_to_port(settings.listenHost, settings.listenPort) ? settings.listenPort : -1;
}

void WebServer::serve() { server->listen_after_bind(); }

bool WebServer::running() const { return server->is_running(); }

void WebServer::stop()
{
    cache.closeAll();
    server->stop();
}

void WebServer::routes()
{
    httplib::Server& http = *server;
    if (pageServed) {
        http.set_mount_point("/", settings.webRoot);
    }
    http.set_post_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        // Nothing of the page comes from another host, and nothing else may
        // frame it or read its answers.
        res.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; "
                                                  "base-uri 'none'; form-action 'none'");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        if (req.path.rfind("/api/", 0) == 0) {
            res.set_header("Cache-Control", "no-store");
        }
    });

    // The session of the request, or the answer without one (401 with the
    // challenge, 503 when the broker cannot judge the login).
    const auto authorize = [this](const httplib::Request& req, httplib::Response& res) {
        SessionCache::Login login = cache.login(req.get_header_value("Authorization"));
        if (!login.session) {
            if (login.status == 401) {
                res.set_header("WWW-Authenticate", R"(Basic realm="ravenlink-web", charset="UTF-8")");
            }
            answer(res, login.status, login.body);
        }
        return login.session;
    };

    http.Get("/api/me", [authorize](const httplib::Request& req, httplib::Response& res) {
        if (const auto session = authorize(req, res)) {
            answer(res, 200, session->describe());
        }
    });

    http.Get("/api/settings", [authorize](const httplib::Request& req, httplib::Response& res) {
        if (authorize(req, res)) {
            static const std::string settings = settingsJson();
            answer(res, 200, settings);
        }
    });

    http.Get("/api/stations", [authorize](const httplib::Request& req, httplib::Response& res) {
        if (const auto session = authorize(req, res)) {
            answer(res, 200, session->stationsJson());
        }
    });

    http.Get(R"(/api/stations/([^/]+))", [authorize](const httplib::Request& req, httplib::Response& res) {
        if (const auto session = authorize(req, res)) {
            const std::string id = req.matches[1];
            const auto station = isStationId(id) ? session->stationJson(id) : std::nullopt;
            if (station) {
                answer(res, 200, *station);
            } else {
                fail(res, 404, "no station " + id + " on the broker");
            }
        }
    });

    http.Post(R"(/api/stations/([^/]+)/commands)", [this, authorize](const httplib::Request& req,
                                                                     httplib::Response& res) {
        const auto session = authorize(req, res);
        if (!session) {
            return;
        }
        const std::string station = req.matches[1];
        if (!isStationId(station)) {
            fail(res, 404, "no station " + station + " on the broker");
            return;
        }
        // A browser names the page that sends a command. One of another
        // site must not command with a login the browser remembers for
        // this one (typed into its own login dialog); scripts send no
        // Origin and are not concerned.
        if (req.has_header("Origin") && !sameOrigin(req.get_header_value("Origin"), req.get_header_value("Host"))) {
            fail(res, 403, "a command from the page of another site is refused");
            return;
        }
        Json payload = Json::parse(req.body, nullptr, false);
        if (!payload.is_object() || !payload.contains("command") || !payload["command"].is_string()) {
            fail(res, 400, R"(the body is the bridge's command object, such as {"command":"torque","value":40})");
            return;
        }
        std::string id;
        if (payload.contains("id")) {
            if (!payload["id"].is_string() || payload["id"].get<std::string>().empty() ||
                payload["id"].get<std::string>().size() > 128) {
                fail(res, 400, "id: a text of 1 to 128 characters, or none (the server makes one up)");
                return;
            }
            id = payload["id"].get<std::string>();
        } else {
            id = commandId();
            payload["id"] = id;
        }
        const auto timeout = std::chrono::milliseconds(static_cast<long long>(settings.commandTimeoutSeconds * 1000));
        const BrokerSession::Answer outcome = session->command(station, payload, id, timeout);
        logLine(LogLevel::info, "user " + session->user() + ": " + payload["command"].get<std::string>() + " to " +
                                    station + " (id " + id + "): " + std::to_string(outcome.status));
        answer(res, outcome.status, outcome.body);
    });

    http.Get("/api/events", [this, authorize](const httplib::Request& req, httplib::Response& res) {
        const auto session = authorize(req, res);
        if (!session) {
            return;
        }
        if (openStreams.fetch_add(1) >= settings.maxStreams) {
            --openStreams;
            fail(res, 503, "too many event streams open; try again later");
            return;
        }
        ++session->streams;
        auto position = std::make_shared<std::uint64_t>(0);
        auto started = std::make_shared<bool>(false);
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Accel-Buffering", "no");
        res.set_chunked_content_provider(
            "text/event-stream",
            [session, position, started](std::size_t, httplib::DataSink& sink) {
                std::string out;
                if (!*started) {
                    *started = true;
                    out = "retry: 2000\n\n" + session->snapshot(*position);
                    if (!session->connected()) {
                        out += "event: broker\ndata: {\"connected\":false}\n\n";
                    }
                    return sink.write(out.data(), out.size());
                }
                const BrokerSession::Read read =
                    session->readEvents(*position, out, BrokerSession::Clock::now() + keepAliveEvery);
                session->touch();
                switch (read) {
                case BrokerSession::Read::events:
                    return sink.write(out.data(), out.size());
                case BrokerSession::Read::timeout:
                    out = ": keep-alive\n\n";
                    return sink.write(out.data(), out.size());
                case BrokerSession::Read::lagged:
                    // The reader cannot keep up; it reconnects and starts
                    // from a snapshot instead of missing changes unseen.
                    out = "event: lagged\ndata: {}\n\n";
                    sink.write(out.data(), out.size());
                    sink.done();
                    return true;
                case BrokerSession::Read::closed:
                    sink.done();
                    return true;
                }
                return false;
            },
            [this, session](bool) {
                --session->streams;
                --openStreams;
                session->touch();
            });
    });

    http.Get(R"(/api/.*)", [](const httplib::Request& req, httplib::Response& res) {
        fail(res, 404, "no such API path: " + req.path);
    });
}

} // namespace web
