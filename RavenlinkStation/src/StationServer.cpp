#include "StationServer.h"

#include "StationSignals.h"

#include <algorithm>
#include <iostream>

namespace {

// The station's receive buffer: a longer line without its line feed is
// dropped and reported as an overflow.
constexpr std::size_t kInputLimit = 4096;
// Pacing: one byte is ten bits at 115200 baud.
constexpr std::chrono::nanoseconds kByteTime{86806};
constexpr std::size_t kPaceChunk = 16;
// How far sending may lag its schedule within one transmission (a pause
// that woke late) and still catch up.
constexpr std::chrono::milliseconds kPaceSlack{5};

} // namespace

StationServer::StationServer(StationPort& portIn, StationProtocol& protocolIn, const StationOptions& optionsIn,
                             std::uint32_t seed, int number)
    : port(portIn), protocol(protocolIn), options(optionsIn),
      logPrefix(options.count > 1 && number > 0 ? "[" + std::to_string(number) + "] " : ""), rng(seed)
{
}

StationServer::Outcome StationServer::run()
{
    vanishing = options.vanishAfter == 0;
    for (;;) {
        if (vanishing && outgoing.empty()) {
            port.drain(1000);
            port.close();
            return Outcome::Vanished;
        }
        const int timeout = options.flood ? 0 : msUntilNextDue();
        const PortWait wait = port.waitReadable(timeout);
        if (wait == PortWait::Stopped) {
            return Outcome::Stopped;
        }
        if (wait == PortWait::Readable) {
            receive();
        }
        if (!sendDue()) {
            return Outcome::Stopped;
        }
        // A flooding station talks on whether asked or not; the write waits
        // while nobody reads, so this does not spin.
        if (options.flood && !vanishing &&
            !transmit(protocol.statusReply(protocol.lastMsgId(), Clock::now()))) {
            return Outcome::Stopped;
        }
    }
}

void StationServer::receive()
{
    input += port.readAvailable();
    std::size_t end;
    while (!vanishing && (end = input.find('\n')) != std::string::npos) {
        std::string line = input.substr(0, end);
        input.erase(0, end + 1);
        handleLine(std::move(line));
    }
    if (input.size() > kInputLimit) {
        log("<-", "(" + std::to_string(input.size()) + " bytes without a line end, dropped)");
        input.clear();
        queue(protocol.overflowReply());
    }
}

void StationServer::handleLine(std::string line)
{
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.find_first_not_of(" \t") == std::string::npos) {
        return;
    }
    ++requests;
    log("<-", line);
    if (!options.noReply) {
        std::string reply = options.garbage ? randomBytes(12, false) + "{" + randomBytes(20, true) + "\n"
                                            : protocol.answer(line, Clock::now());
        if (options.late) {
            // Send what the previous request was owed; keep this one.
            std::swap(held, reply);
        }
        if (!reply.empty()) {
            queue(options.noise ? randomBytes(6, false) + reply : reply);
        }
    }
    if (options.vanishAfter >= 0 && requests >= options.vanishAfter) {
        vanishing = true;
    }
}

void StationServer::queue(std::string bytes)
{
    outgoing.push_back({Clock::now() + std::chrono::milliseconds(options.delayMs), std::move(bytes)});
}

int StationServer::msUntilNextDue() const
{
    if (outgoing.empty()) {
        return -1;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(outgoing.front().due - Clock::now());
    return static_cast<int>(std::max<long long>(0, wait.count()));
}

bool StationServer::sendDue()
{
    while (!outgoing.empty() && outgoing.front().due <= Clock::now()) {
        const std::string bytes = std::move(outgoing.front().bytes);
        outgoing.pop_front();
        log("->", bytes);
        if (!transmit(bytes)) {
            return false;
        }
    }
    return true;
}

bool StationServer::transmit(const std::string& bytes)
{
    if (options.stallMs <= 0 || bytes.size() < 2) {
        return writePaced(bytes);
    }
    const std::size_t half = bytes.size() / 2;
    return writePaced(bytes.substr(0, half)) && pauseUnlessStopped(options.stallMs) &&
           writePaced(bytes.substr(half));
}

bool StationServer::writePaced(const std::string& bytes)
{
    if (!options.paced) {
        return port.writeAll(bytes);
    }
    // A transmission never starts before now: time the line stood idle is
    // not owed to the next reply, however short the gap was.
    wireFreeAt = std::max(wireFreeAt, Clock::now());
    for (std::size_t pos = 0; pos < bytes.size(); pos += kPaceChunk) {
        const auto now = Clock::now();
        if (wireFreeAt + kPaceSlack < now) {
            wireFreeAt = now;  // held up mid-reply: resume from here
        }
        if (wireFreeAt > now) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wireFreeAt - now);
            if (!pauseUnlessStopped(static_cast<int>(wait.count()))) {
                return false;
            }
        }
        const std::string chunk = bytes.substr(pos, kPaceChunk);
        if (!port.writeAll(chunk)) {
            return false;
        }
        wireFreeAt += kByteTime * static_cast<long>(chunk.size());
    }
    return true;
}

// Line noise: any byte but the line feed, and the brace only where allowed,
// so that the reader's resynchronisation at the first brace is exercised.
std::string StationServer::randomBytes(std::size_t count, bool allowBrace)
{
    std::uniform_int_distribution<int> byte(1, 255);
    std::string noise;
    while (noise.size() < count) {
        const char ch = static_cast<char>(byte(rng));
        if (ch != '\n' && (allowBrace || ch != '{')) {
            noise.push_back(ch);
        }
    }
    return noise;
}

void StationServer::log(const char* direction, const std::string& text) const
{
    if (!options.verbose) {
        return;
    }
    std::string shown;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte < 0x7F) {
            shown.push_back(ch);
        } else if (ch != '\n') {
            static const char hex[] = "0123456789abcdef";
            shown += std::string("\\x") + hex[byte >> 4] + hex[byte & 0x0F];
        }
    }
    // One write per line, so that the lines of several stations never mix.
    std::cerr << (logPrefix + direction + ' ' + shown + '\n') << std::flush;
}
