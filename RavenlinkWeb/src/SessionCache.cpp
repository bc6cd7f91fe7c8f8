#include "SessionCache.h"

#include "WebLog.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <vector>

namespace web {

namespace {

using namespace std::chrono_literals;

constexpr auto loginBound = 5s;
constexpr auto refusalKept = 3s;
constexpr std::size_t refusalsKept = 1024;

std::string errorBody(const std::string& text)
{
    return Json{{"error", text}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string hashHex(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += "0123456789abcdef"[digest[i] >> 4];
        hex += "0123456789abcdef"[digest[i] & 0xF];
    }
    return hex;
}

std::optional<std::string> base64Decode(const std::string& text)
{
    std::string out;
    unsigned int bits = 0;
    int count = 0;
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == '=') {
        --end;
    }
    if (text.size() - end > 2) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < end; ++i) {
        const char c = text[i];
        int value = 0;
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '+') {
            value = 62;
        } else if (c == '/') {
            value = 63;
        } else {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned int>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

} // namespace

std::optional<Credentials> basicCredentials(const std::string& header)
{
    if (header.size() < 6) {
        return std::nullopt;
    }
    std::string scheme = header.substr(0, 6);
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (scheme != "basic ") {
        return std::nullopt;
    }
    std::string encoded = header.substr(6);
    while (!encoded.empty() && encoded.front() == ' ') {
        encoded.erase(0, 1);
    }
    while (!encoded.empty() && encoded.back() == ' ') {
        encoded.pop_back();
    }
    const auto decoded = base64Decode(encoded);
    if (!decoded) {
        return std::nullopt;
    }
    const std::size_t colon = decoded->find(':');
    // A NUL would cut the name short at the broker: it is no account.
    if (colon == std::string::npos || colon == 0 || decoded->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return Credentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

SessionCache::SessionCache(const WebSettings& settings) : settings(settings)
{
    unsigned char random[16];
    RAND_bytes(random, sizeof random);
    salt.assign(reinterpret_cast<const char*>(random), sizeof random);
    sweeper = std::thread([this] { sweep(); });
}

SessionCache::~SessionCache()
{
    closeAll();
    if (sweeper.joinable()) {
        sweeper.join();
    }
}

void SessionCache::closeAll()
{
    std::map<std::string, std::shared_ptr<BrokerSession>> ending;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        ending.swap(sessions);
    }
    stopped.notify_all();
    for (auto& [key, session] : ending) {
        session->close();
    }
}

SessionCache::Login SessionCache::login(const std::string& authorization)
{
    const auto credentials = basicCredentials(authorization);
    if (!credentials) {
        return {nullptr, 401, errorBody("log in with your broker account (HTTP Basic)")};
    }
    // The password itself is kept only by the session's broker client.
    const std::string key = credentials->user + '\0' + hashHex(salt + credentials->password);
    std::shared_ptr<BrokerSession> session;
    bool made = false;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (stopping) {
            return {nullptr, 503, errorBody("the server is stopping")};
        }
        const auto refused = refusals.find(key);
        if (refused != refusals.end()) {
            if (BrokerSession::Clock::now() - refused->second < refusalKept) {
                return {nullptr, 401, errorBody("the broker refused the login of " + credentials->user)};
            }
            refusals.erase(refused);
        }
        auto found = sessions.find(key);
        if (found != sessions.end()) {
            const BrokerSession::State state = found->second->state();
            if (state == BrokerSession::State::connecting || state == BrokerSession::State::ready) {
                session = found->second;
            } else {
                sessions.erase(found);
            }
        }
        if (!session) {
            if (sessions.size() >= static_cast<std::size_t>(settings.maxSessions)) {
                return {nullptr, 503, errorBody("too many users logged in at once; try again later")};
            }
            try {
                session = std::make_shared<BrokerSession>(settings.broker, credentials->user, credentials->password,
                                                          settings.probeTopic);
            } catch (const std::exception& e) {
                logLine(LogLevel::error, e.what());
                return {nullptr, 503, errorBody("the broker connection cannot be set up")};
            }
            sessions[key] = session;
            made = true;
            session->start();
        }
    }
    const BrokerSession::State state = session->waitLogin(BrokerSession::Clock::now() + loginBound);
    if (state == BrokerSession::State::ready) {
        if (made) {
            logLine(LogLevel::info, "user " + credentials->user + " logged in" +
                                        (session->mayCommand() ? "; may command" : "; may not command") +
                                        (session->mayRead() ? "" : "; may read nothing"));
        }
        session->touch();
        return {session, 200, ""};
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto found = sessions.find(key);
        if (found != sessions.end() && found->second == session) {
            sessions.erase(found);
        }
        if (state == BrokerSession::State::refused) {
            if (refusals.size() >= refusalsKept) {
                refusals.erase(refusals.begin());
            }
            refusals[key] = BrokerSession::Clock::now();
        }
    }
    session->close();
    if (state == BrokerSession::State::refused) {
        if (made) {
            logLine(LogLevel::info, "the broker refused the login of " + credentials->user + ": " + session->failure());
        }
        return {nullptr, 401, errorBody("the broker refused the login of " + credentials->user)};
    }
    if (made) {
        logLine(LogLevel::warning, "the login of " + credentials->user + " could not be checked: the broker " +
                                       settings.broker.host + ":" + std::to_string(settings.broker.effectivePort()) +
                                       " did not answer" + (session->failure().empty() ? "" : " (" + session->failure() + ")"));
    }
    return {nullptr, 503, errorBody("the broker cannot be reached to check the login; try again")};
}

void SessionCache::sweep()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        stopped.wait_for(lock, 2s, [&] { return stopping; });
        const auto now = BrokerSession::Clock::now();
        std::vector<std::shared_ptr<BrokerSession>> ending;
        for (auto it = sessions.begin(); it != sessions.end();) {
            const auto& session = it->second;
            const BrokerSession::State state = session->state();
            const bool idle = session->streams == 0 && now - session->lastUsed() > std::chrono::seconds(settings.sessionIdleSeconds);
            const bool old = now - session->created > std::chrono::seconds(settings.sessionLifetimeSeconds);
            if (state == BrokerSession::State::ended || (state == BrokerSession::State::ready && (idle || old))) {
                ending.push_back(session);
                it = sessions.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = refusals.begin(); it != refusals.end();) {
            it = now - it->second >= refusalKept ? refusals.erase(it) : std::next(it);
        }
        lock.unlock();
        // Their streams end (the page connects again and logs in anew); the
        // last holder joins the network thread.
        for (auto& session : ending) {
            session->close();
        }
        ending.clear();
        lock.lock();
    }
}

} // namespace web
