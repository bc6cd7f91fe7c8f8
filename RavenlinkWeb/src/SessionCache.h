// The logged-in users: one broker session per account and password, made
// at the first request that carries them (HTTP Basic) and kept while it is
// used, at most for its lifetime, so that a changed password or a removed
// account takes effect without a restart. There is no user database: the
// broker's answer to the login is the check.
#ifndef RAVENLINK_WEB_SESSION_CACHE_H
#define RAVENLINK_WEB_SESSION_CACHE_H

#include "BrokerSession.h"
#include "WebSettings.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace web {

struct Credentials {
    std::string user;
    std::string password;
};

// The user and password of an "Authorization: Basic …" header; none when
// the header is missing, of another scheme or malformed.
std::optional<Credentials> basicCredentials(const std::string& header);

class SessionCache {
public:
    explicit SessionCache(const WebSettings& settings);
    ~SessionCache();
    SessionCache(const SessionCache&) = delete;
    SessionCache& operator=(const SessionCache&) = delete;

    struct Login {
        std::shared_ptr<BrokerSession> session;  // null: refused, see status and body
        int status = 0;
        std::string body;
    };
    // The session of the request's Authorization header, logging in first
    // where needed (waiting at most loginBound).
    Login login(const std::string& authorization);

    // Ends every session and its streams, for the stop.
    void closeAll();

private:
    void sweep();

    const WebSettings settings;
    std::string salt;
    std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    // "user\0hash of the password" -> its session. Refused logins stay a
    // few seconds, so that guessing costs the broker one login per guess
    // at most and a page's parallel requests ask once.
    std::map<std::string, std::shared_ptr<BrokerSession>> sessions;
    std::map<std::string, BrokerSession::Clock::time_point> refusals;
    std::thread sweeper;
};

} // namespace web

#endif // RAVENLINK_WEB_SESSION_CACHE_H
