// The network thread is our own rather than the library's: the library's
// thread gives up for good after some refusals (an MQTT 5 broker refusing
// the login, a TLS failure), and a bridge left unattended must keep trying.
// Pauses between attempts double from one second up to thirty, with some
// jitter so that the connections of many stations do not return in step.
//
// TLS runs on a context of our own rather than the library's: the files are
// checked once at start, and the certificate check records why it refused a
// broker, which the library would only report as "a TLS error".
#include "MqttClient.h"

#include "BridgeLog.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <sys/select.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <utility>

namespace bridge {

namespace {

constexpr std::chrono::milliseconds firstBackoff{1000};
constexpr std::chrono::milliseconds longestBackoff{30000};
// How long the network thread sleeps in the library's loop when nothing
// happens. Nothing waits for this to pass: the loop wakes at once when the
// broker sends (a command), when another thread queues a publication, a
// subscription or the disconnect (the library writes a byte to its own
// socket pair, which the loop waits on too), and when the keepalive is
// due (the library shortens the wait to the next ping). So the wait only
// sets how often an idle connection looks around for nothing: at 100 ms,
// 64 stations cost 640 wake-ups a second doing nothing.
constexpr int idleWaitMs = 10000;
constexpr std::size_t acknowledgedKept = 1024;
constexpr std::size_t pendingKept = 1024;

// The take-over rule. The broker hands a client id to the newest client
// that logs in with it. An MQTT 5 broker may tell the old one so
// (DISCONNECT "session taken over"); otherwise, and under 3.1.1, it just
// closes the old connection, as it also does when it restarts. So a
// session that the broker closed without a reason counts as taken over
// unless the next attempt finds no broker. With a configured client id a
// connection gives up:
//  - while it has never been up for settledSession at a stretch, at the
//    first take-over that the broker names, else the second: it is the
//    newcomer, and the bridge that was there before takes its id back
//    within seconds;
//  - later, at the third take-over that the broker names, else the fourth,
//    within takeOverWindow.
// Whichever side gives up first stops connecting, so the other is left in
// peace. A client id made up at start is never given up: no other bridge
// has it, and it cannot be guessed. A configured one is the same for every
// bridge started with that configuration.
constexpr std::chrono::seconds takeOverWindow{60};
constexpr std::chrono::seconds settledSession{5};
constexpr std::size_t newcomerTakeOvers = 1;
constexpr std::size_t settledTakeOvers = 3;

std::once_flag libraryStarted;
std::atomic<bool> processGaveUp{false};

std::string errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO) {
        return std::strerror(errno);
    }
    return mosquitto_strerror(rc);
}

std::string reasonText(int reason)
{
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(reason) & 0xFFU);
    return std::string(mosquitto_reason_string(reason)) + " (reason code " + code + ")";
}

// The reason of the latest failure that OpenSSL queued for this thread, in
// words; the queue is emptied.
std::string sslReason()
{
    unsigned long last = 0;
    while (const unsigned long e = ERR_get_error()) {
        last = e;
    }
    const char* reason = last == 0 ? nullptr : ERR_reason_error_string(last);
    return reason == nullptr ? "not usable" : reason;
}

// A key that asks for a passphrase is refused instead of prompting on a
// terminal that a service does not have.
int noPassphrase(char*, int, int, void*) { return 0; }

void requireReadable(const std::string& key, const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error(key + " " + path + ": cannot read it: " + std::strerror(errno));
    }
    ::close(fd);
}

// The host names and addresses that a certificate is for.
std::string certificateNames(X509* certificate)
{
    std::string names;
    auto* all = certificate == nullptr ? nullptr
                                       : static_cast<GENERAL_NAMES*>(
                                             X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; all != nullptr && i < sk_GENERAL_NAME_num(all); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(all, i);
        std::string text;
        if (name->type == GEN_DNS) {
            text.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.dNSName)),
                        static_cast<std::size_t>(ASN1_STRING_length(name->d.dNSName)));
        } else if (name->type == GEN_IPADD) {
            const int length = ASN1_STRING_length(name->d.iPAddress);
            char address[INET6_ADDRSTRLEN] = {};
            if (::inet_ntop(length == 4 ? AF_INET : AF_INET6, ASN1_STRING_get0_data(name->d.iPAddress), address,
                            sizeof address) != nullptr) {
                text = address;
            }
        }
        if (!text.empty()) {
            names += (names.empty() ? "" : ", ") + text;
        }
    }
    GENERAL_NAMES_free(all);
    return names;
}

bool isIpAddress(const std::string& host)
{
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 || ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

} // namespace

MqttClient::MqttClient(const Options& opts) : options(opts)
{
    std::call_once(libraryStarted, [] { mosquitto_lib_init(); });
    mosq = mosquitto_new(options.clientId.c_str(), true, this);
    if (mosq == nullptr) {
        throw std::runtime_error(options.name + ": cannot create a broker client: " + std::strerror(errno));
    }
    const BrokerSettings& broker = options.broker;
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION,
                         broker.protocol == MqttProtocol::v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    // A status is a few hundred bytes; without this it may wait for the
    // broker's acknowledgement of the one before (Nagle), tens of ms.
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (!broker.username.empty()) {
        mosquitto_username_pw_set(mosq, broker.username.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str());
    }
    if (!options.willTopic.empty()) {
        mosquitto_will_set(mosq, options.willTopic.c_str(), static_cast<int>(options.willPayload.size()),
                           options.willPayload.data(), 1, true);
    }
    if (broker.tls) {
        try {
            setUpTls();
        } catch (...) {
            mosquitto_destroy(mosq);
            throw;
        }
    }
    mosquitto_connect_callback_set(mosq, onConnectCallback);
    mosquitto_disconnect_v5_callback_set(mosq, onDisconnectCallback);
    mosquitto_message_callback_set(mosq, onMessageCallback);
    mosquitto_publish_v5_callback_set(mosq, onPublishCallback);
    mosquitto_subscribe_callback_set(mosq, onSubscribeCallback);
    mosquitto_log_callback_set(mosq, onLogCallback);
}

MqttClient::~MqttClient()
{
    if (network.joinable()) {
        requestStop();
        if (!waitStopped(Clock::now() + std::chrono::seconds(2))) {
            network.detach();
            return;  // the thread still uses the client; the process is ending
        }
    }
    mosquitto_destroy(mosq);
}

// The broker's certificate must chain to the CA file (or the system's
// certificates) and name the host that was connected to; our own
// certificate and key must be usable and belong together.
void MqttClient::setUpTls()
{
    const BrokerSettings& broker = options.broker;
    ERR_clear_error();
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr) {
        throw std::runtime_error("TLS: cannot set up: " + sslReason());
    }
    // Freed on every way out; the library keeps a reference of its own.
    const std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> owner(ctx, SSL_CTX_free);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_passwd_cb(ctx, noPassphrase);
    if (!broker.caFile.empty()) {
        requireReadable("ca-file", broker.caFile);
        if (SSL_CTX_load_verify_locations(ctx, broker.caFile.c_str(), nullptr) != 1) {
            throw std::runtime_error("ca-file " + broker.caFile + ": holds no PEM certificate (" + sslReason() + ")");
        }
    } else if (SSL_CTX_load_verify_locations(ctx, nullptr, "/etc/ssl/certs") != 1) {
        throw std::runtime_error("TLS: cannot use the system's certificates in /etc/ssl/certs (" + sslReason() + ")");
    }
    if (!broker.certFile.empty()) {
        requireReadable("cert-file", broker.certFile);
        if (SSL_CTX_use_certificate_chain_file(ctx, broker.certFile.c_str()) != 1) {
            throw std::runtime_error("cert-file " + broker.certFile + ": holds no PEM certificate (" + sslReason() + ")");
        }
        // Read apart from the context, which would take a key that does not
        // fit for one that cannot be read.
        requireReadable("key-file", broker.keyFile);
        const std::unique_ptr<BIO, int (*)(BIO*)> file(BIO_new_file(broker.keyFile.c_str(), "r"), BIO_free);
        const std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(
            file ? PEM_read_bio_PrivateKey(file.get(), nullptr, noPassphrase, nullptr) : nullptr, EVP_PKEY_free);
        if (!key) {
            throw std::runtime_error("key-file " + broker.keyFile + ": holds no unencrypted PEM private key (" +
                                     sslReason() + ")");
        }
        if (X509_check_private_key(SSL_CTX_get0_certificate(ctx), key.get()) != 1 ||
            SSL_CTX_use_PrivateKey(ctx, key.get()) != 1) {
            ERR_clear_error();
            throw std::runtime_error("key-file " + broker.keyFile + ": is not the key of cert-file " + broker.certFile);
        }
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, onVerifyCallback);
    X509_VERIFY_PARAM* check = SSL_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const bool named = isIpAddress(broker.host) ? X509_VERIFY_PARAM_set1_ip_asc(check, broker.host.c_str()) == 1
                                                : X509_VERIFY_PARAM_set1_host(check, broker.host.c_str(), 0) == 1;
    if (!named) {
        throw std::runtime_error("TLS: cannot check certificates for the host " + broker.host);
    }
    SSL_CTX_set_app_data(ctx, this);
    mosquitto_int_option(mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
    if (mosquitto_void_option(mosq, MOSQ_OPT_SSL_CTX, ctx) != MOSQ_ERR_SUCCESS) {
        throw std::runtime_error("TLS: the broker client library cannot use TLS");
    }
}

// Runs on the network thread inside the handshake, for every certificate
// of the broker's chain; the first refusal is the cause worth telling.
int MqttClient::onVerifyCallback(int preverified, x509_store_ctx_st* store)
{
    if (preverified == 1) {
        return 1;
    }
    const auto* ssl = static_cast<const SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* client = ssl == nullptr ? nullptr : static_cast<MqttClient*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (client == nullptr) {
        return 0;
    }
    const int error = X509_STORE_CTX_get_error(store);
    std::string cause = X509_verify_cert_error_string(error);
    if (X509* certificate = X509_STORE_CTX_get_current_cert(store)) {
        char subject[256] = {};
        X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
        cause += std::string(" (certificate ") + subject + ")";
    }
    if (error == X509_V_ERR_HOSTNAME_MISMATCH || error == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        const std::string names = certificateNames(X509_STORE_CTX_get_current_cert(store));
        cause += ": it is for " + (names.empty() ? std::string("no host name") : names) + ", not for " +
                 client->options.broker.host;
    }
    const std::lock_guard<std::mutex> lock(client->mutex);
    if (client->verifyFailure.empty()) {
        client->verifyFailure = cause;
    }
    return 0;
}

// The library tells TLS failures only through its log; the first one of an
// attempt is kept for the line that reports the attempt. Called from any
// thread that uses the client.
void MqttClient::onLogCallback(mosquitto*, void* self, int level, const char* text)
{
    static const char prefix[] = "OpenSSL Error[";
    if (level != MOSQ_LOG_ERR || text == nullptr || std::strncmp(text, prefix, sizeof prefix - 1) != 0) {
        return;
    }
    auto* client = static_cast<MqttClient*>(self);
    const char* colon = std::strstr(text, "]: ");
    const std::lock_guard<std::mutex> lock(client->mutex);
    if (client->tlsError.empty()) {
        client->tlsError = colon == nullptr ? text : colon + 3;
    }
}

std::string MqttClient::tlsCause()
{
    const std::lock_guard<std::mutex> lock(mutex);
    std::string cause;
    if (!verifyFailure.empty()) {
        cause = "TLS: the broker's certificate is not accepted: " + verifyFailure;
    } else if (!tlsError.empty()) {
        cause = "TLS: " + tlsError;
    }
    verifyFailure.clear();
    tlsError.clear();
    return cause;
}

void MqttClient::start(ConnectHandler onConnect, MessageHandler onMessage)
{
    connectHandler = std::move(onConnect);
    messageHandler = std::move(onMessage);
    network = std::thread([this] { networkLoop(); });
}

// Under MQTT 5 the broker answers each QoS 1 publication with a reason
// code; the topic is kept until then so that a refusal can name it. The
// lock spans the call, so that an answer never comes before its topic is
// noted.
int MqttClient::publish(const std::string& topic, const std::string& payload, int qos, bool retain)
{
    int mid = 0;
    const std::lock_guard<std::mutex> lock(pendingMutex);
    const int rc = mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos,
                                     retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        return -1;
    }
    if (qos > 0 && options.broker.protocol == MqttProtocol::v5) {
        pending.emplace_back(mid, topic);
        if (pending.size() > pendingKept) {
            pending.pop_front();
        }
    }
    return mid;
}

bool MqttClient::subscribe(const std::string& topic, int qos)
{
    // Under MQTT 5 the broker keeps the retain flag as it was published, so
    // that a message published retained is known as such on live delivery
    // too; under 3.1.1 only a message kept from before carries it.
    if (options.broker.protocol == MqttProtocol::v5) {
        return mosquitto_subscribe_v5(mosq, nullptr, topic.c_str(), qos, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr) ==
               MOSQ_ERR_SUCCESS;
    }
    return mosquitto_subscribe(mosq, nullptr, topic.c_str(), qos) == MOSQ_ERR_SUCCESS;
}

bool MqttClient::waitAcknowledged(int mid, Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_until(lock, deadline, [&] {
        return std::find(acknowledged.begin(), acknowledged.end(), mid) != acknowledged.end();
    });
}

void MqttClient::requestStop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    mosquitto_disconnect(mosq);
}

bool MqttClient::waitStopped(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_until(lock, deadline, [&] { return ended; })) {
        return false;
    }
    lock.unlock();
    if (network.joinable()) {
        network.join();
    }
    return true;
}

bool MqttClient::anyGaveUp() { return processGaveUp; }

bool MqttClient::yieldsToAnotherBridge() const
{
    if (!processGaveUp) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex);
    return everTakenOver && Clock::now() - lastTakeOver < takeOverWindow;
}

void MqttClient::onConnectCallback(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<MqttClient*>(self);
    const BrokerSettings& broker = client->options.broker;
    if (rc != 0) {
        const char* reason = broker.protocol == MqttProtocol::v5 ? mosquitto_reason_string(rc)
                                                                 : mosquitto_connack_string(rc);
        client->refused = true;
        client->failed("the broker refused the connection: " + std::string(reason));
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(client->mutex);
        client->backoff = std::chrono::milliseconds(0);
        client->lastFailure.clear();
        client->verifyFailure.clear();
        client->tlsError.clear();
    }
    client->sessionStart = Clock::now();
    client->takeOverUnconfirmed = false;  // the broker was there all along
    client->connected = true;
    client->sessionUp = true;
    logLine(LogLevel::info, client->options.name + ": connected to the broker at " + broker.host + ":" +
                                std::to_string(broker.effectivePort()) + " as " + client->options.clientId);
    if (client->connectHandler) {
        client->connectHandler();
    }
}

// Called for the broker's DISCONNECT (MQTT 5: \p rc is its reason code, 0x80
// and up), and for every other end of the connection (\p rc is the
// library's error code, below 0x80).
void MqttClient::onDisconnectCallback(mosquitto*, void* self, int rc, const mosquitto_property*)
{
    auto* client = static_cast<MqttClient*>(self);
    client->connected = false;
    if (client->options.broker.protocol == MqttProtocol::v5 && rc >= 0x80) {
        client->brokerReason = rc;
    }
}

void MqttClient::onMessageCallback(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<MqttClient*>(self);
    if (client->messageHandler && message->topic != nullptr) {
        const std::string payload(static_cast<const char*>(message->payload),
                                  message->payload == nullptr ? 0U : static_cast<std::size_t>(message->payloadlen));
        client->messageHandler(message->topic, payload, message->retain);
    }
}

void MqttClient::onPublishCallback(mosquitto*, void* self, int mid, int reason, const mosquitto_property*)
{
    auto* client = static_cast<MqttClient*>(self);
    {
        const std::lock_guard<std::mutex> lock(client->mutex);
        client->acknowledged.push_back(mid);
        if (client->acknowledged.size() > acknowledgedKept) {
            client->acknowledged.pop_front();
        }
    }
    client->changed.notify_all();
    std::string topic;
    {
        const std::lock_guard<std::mutex> lock(client->pendingMutex);
        const auto found = std::find_if(client->pending.begin(), client->pending.end(),
                                        [&](const auto& entry) { return entry.first == mid; });
        if (found != client->pending.end()) {
            topic = found->second;
            client->pending.erase(found);
        }
    }
    if (!topic.empty()) {
        client->noteRefusal(topic, reason);
    }
}

// A broker that refuses a publication (its ACL does not cover the topic)
// still acknowledges it under MQTT 5, with a failure reason: logged once
// per topic and reason, and once more when the topic is taken again.
void MqttClient::noteRefusal(const std::string& topic, int reason)
{
    std::string line;
    bool refusal = reason >= 0x80;
    {
        const std::lock_guard<std::mutex> lock(pendingMutex);
        const auto found = std::find_if(refusedTopics.begin(), refusedTopics.end(),
                                        [&](const auto& entry) { return entry.first == topic; });
        if (!refusal) {
            if (found != refusedTopics.end()) {
                refusedTopics.erase(found);
                line = options.name + ": the broker takes the publications on " + topic + " again";
            }
        } else if (found == refusedTopics.end() || found->second != reason) {
            if (found != refusedTopics.end()) {
                refusedTopics.erase(found);
            }
            refusedTopics.emplace_back(topic, reason);
            if (refusedTopics.size() > pendingKept) {
                refusedTopics.pop_front();
            }
            line = options.name + ": the broker refused the publication on " + topic + ": " + reasonText(reason) +
                   (reason == MQTT_RC_NOT_AUTHORIZED ? "; its ACL does not let this account write the topic" : "");
        }
    }
    if (!line.empty()) {
        logLine(refusal ? LogLevel::error : LogLevel::info, line);
    }
}

// A broker whose ACL denies the subscription still answers it, with a
// failure code instead of a QoS; without this line commands would just never
// arrive.
void MqttClient::onSubscribeCallback(mosquitto*, void* self, int, int count, const int* granted)
{
    auto* client = static_cast<MqttClient*>(self);
    const bool v5 = client->options.broker.protocol == MqttProtocol::v5;
    for (int i = 0; i < count; ++i) {
        if (granted[i] < 0 || granted[i] > 2) {
            logLine(LogLevel::error, client->options.name + ": the broker refused the subscription to the commands (" +
                                         (v5 ? reasonText(granted[i]) : "code " + std::to_string(granted[i])) +
                                         "): check its ACL");
        }
    }
}

// A failure is logged when it differs from the one before, so that a broker
// that stays away for hours leaves two lines, not thousands.
void MqttClient::failed(const std::string& what)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (what == lastFailure) {
            return;
        }
        lastFailure = what;
    }
    logLine(LogLevel::warning, options.name + ": " + what);
}

// The end of an attempt or of a session, on the network thread: what the
// broker or the TLS check said, and whether the client id was taken.
void MqttClient::lostSession(int rc)
{
    const bool wasConnected = sessionUp.exchange(false);
    const int reason = std::exchange(brokerReason, 0);
    if (wasConnected) {
        longestSession = std::max(longestSession, Clock::now() - sessionStart);
    }
    const std::string tls = tlsCause();
    if (refused.exchange(false)) {
        return;  // the refusal is logged already
    }
    const std::string where = options.broker.host + ":" + std::to_string(options.broker.effectivePort());
    bool takenOver = false;
    if (reason == MQTT_RC_SESSION_TAKEN_OVER) {
        takenOver = true;
        failed("another client logged in with the client id " + options.clientId +
               ": the broker handed the connection over to it (" + reasonText(reason) + ")");
    } else if (reason != 0) {
        failed("the broker at " + where + " ended the connection: " + reasonText(reason));
    } else if (wasConnected && rc == MOSQ_ERR_CONN_LOST) {
        takenOver = true;
        failed("lost the broker connection: the broker at " + where + " closed it: taken over by another client "
               "with the client id " + options.clientId + ", unless the broker restarted");
    } else if (!tls.empty()) {
        failed("no connection to the broker at " + where + ": " + tls);
    } else {
        failed((wasConnected ? "lost the broker connection: " : "no connection to the broker: ") + errorText(rc));
    }
    if (!wasConnected && takeOverUnconfirmed) {
        takeOvers.pop_back();  // no broker: it was a restart
    }
    takeOverUnconfirmed = false;
    if (takenOver && countTakeOver(reason == MQTT_RC_SESSION_TAKEN_OVER)) {
        giveUp();
    }
}

bool MqttClient::countTakeOver(bool named)
{
    const auto now = Clock::now();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        everTakenOver = true;
        lastTakeOver = now;
    }
    takeOvers.push_back(now);
    while (now - takeOvers.front() > takeOverWindow) {
        takeOvers.pop_front();
    }
    takeOverUnconfirmed = !named;
    const std::size_t allowed = (longestSession < settledSession ? newcomerTakeOvers : settledTakeOvers) + (named ? 0 : 1);
    return !options.broker.clientIdMadeUp && takeOvers.size() >= allowed;
}

// The connection stops for good, and the main thread is told with SIGUSR1
// where it waits for it (blocked in every thread, taken by sigwait).
void MqttClient::giveUp()
{
    givenUp = true;
    logLine(LogLevel::error, options.name + ": giving up the broker connection: another client keeps logging in with "
                                            "the client id " + options.clientId +
                                            "; another bridge seems to serve this station with the same client-id "
                                            "(give each bridge its own, or leave client-id unset)");
    sigset_t blocked;
    if (!processGaveUp.exchange(true) && pthread_sigmask(SIG_BLOCK, nullptr, &blocked) == 0 &&
        sigismember(&blocked, SIGUSR1) == 1) {
        ::kill(::getpid(), SIGUSR1);
    }
}

std::chrono::milliseconds MqttClient::nextBackoff()
{
    static thread_local std::minstd_rand jitter(std::random_device{}());
    const std::lock_guard<std::mutex> lock(mutex);
    backoff = std::clamp(backoff * 2, firstBackoff, longestBackoff);
    return backoff * (75 + static_cast<int>(jitter() % 51)) / 100;
}

void MqttClient::pause(std::chrono::milliseconds length)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, length, [&] { return stopping.load(); });
}

bool MqttClient::connectOnce(bool first)
{
    const BrokerSettings& broker = options.broker;
    const int rc = first ? mosquitto_connect_async(mosq, broker.host.c_str(), broker.effectivePort(),
                                                   broker.keepaliveSeconds)
                         : mosquitto_reconnect_async(mosq);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (std::exchange(takeOverUnconfirmed, false)) {
            takeOvers.pop_back();  // no broker: it was a restart
        }
        const std::string where = broker.host + ":" + std::to_string(broker.effectivePort());
        const std::string tls = tlsCause();
        failed(tls.empty() ? "cannot reach the broker at " + where + ": " + errorText(rc)
                           : "no connection to the broker at " + where + ": " + tls);
        return false;
    }
    return true;
}

void MqttClient::networkLoop()
{
    bool first = true;
    bool haveSocket = false;
    while (!stopping) {
        if (givenUp) {
            pause(longestBackoff);
            continue;
        }
        if (!haveSocket) {
            haveSocket = connectOnce(first);
            first = first && !haveSocket;
            if (!haveSocket) {
                pause(nextBackoff());
                continue;
            }
        }
        // The library waits with select(), and a descriptor beyond its reach
        // would end the whole process there: this connection is dropped
        // and tried again instead (the station set keeps this from
        // happening; this is the last guard).
        if (mosquitto_socket(mosq) >= FD_SETSIZE) {
            failed("no connection to the broker: its socket is descriptor " + std::to_string(mosquitto_socket(mosq)) +
                   ", beyond the " + std::to_string(FD_SETSIZE) + " the broker library can wait on");
            haveSocket = false;
            pause(nextBackoff());
            continue;
        }
        const int rc = mosquitto_loop(mosq, idleWaitMs, 1);
        if (rc != MOSQ_ERR_SUCCESS && !stopping) {
            connected = false;
            haveSocket = false;
            lostSession(rc);
            if (!givenUp) {
                pause(nextBackoff());
            }
        }
    }
    // Let the disconnect request and what was queued before it go out.
    const auto drainEnd = Clock::now() + std::chrono::milliseconds(500);
    while (haveSocket && Clock::now() < drainEnd && mosquitto_loop(mosq, 50, 1) == MOSQ_ERR_SUCCESS) {
    }
    connected = false;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        ended = true;
    }
    changed.notify_all();
}

} // namespace bridge
