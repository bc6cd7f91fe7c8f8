// The station's service loop: reads request lines, answers them through the
// protocol, and puts the chosen faults on the line (delays, stalls, noise,
// late or missing replies, floods, pacing at the wire rate, vanishing).
#ifndef RAVENLINK_STATION_SERVER_H
#define RAVENLINK_STATION_SERVER_H

#include "StationArgs.h"
#include "StationPort.h"
#include "StationProtocol.h"

#include <chrono>
#include <deque>
#include <random>
#include <string>

class StationServer {
public:
    enum class Outcome { Stopped, Vanished };

    /// \p number tells the station's log lines apart when one process
    /// serves several (--count); 0 or a single station logs no number.
    StationServer(StationPort& port, StationProtocol& protocol, const StationOptions& options,
                  std::uint32_t seed, int number = 0);
    /// Serves until a stop is requested or the port vanishes on purpose.
    /// Throws std::runtime_error when the port fails.
    Outcome run();

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        Clock::time_point due;
        std::string bytes;
    };

    void receive();
    void handleLine(std::string line);
    void queue(std::string bytes);
    int msUntilNextDue() const;
    bool sendDue();
    bool transmit(const std::string& bytes);
    bool writePaced(const std::string& bytes);
    std::string randomBytes(std::size_t count, bool allowBrace);
    void log(const char* direction, const std::string& text) const;

    StationPort& port;
    StationProtocol& protocol;
    const StationOptions& options;
    std::string logPrefix;
    std::mt19937 rng;
    std::string input;
    std::deque<Outgoing> outgoing;
    std::string held;  // the reply a late station still owes
    long requests = 0;
    bool vanishing = false;
    Clock::time_point wireFreeAt{};
};

#endif // RAVENLINK_STATION_SERVER_H
