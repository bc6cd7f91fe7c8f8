// The station's end of the line: a new pseudo-terminal, or a real serial
// device reached through the serial library. Waiting is always poll() or
// select() with the stop pipe, never a spin.
#ifndef RAVENLINK_STATION_PORT_H
#define RAVENLINK_STATION_PORT_H

#include <memory>
#include <string>

enum class PortWait { Readable, Timeout, Stopped };

class StationPort {
public:
    virtual ~StationPort() = default;
    /// What a client opens.
    virtual std::string path() const = 0;
    /// Waits for input at most \p timeoutMs milliseconds (-1: without limit).
    virtual PortWait waitReadable(int timeoutMs) = 0;
    /// Everything waiting to be read, possibly nothing. Throws
    /// std::runtime_error when the port fails.
    virtual std::string readAvailable() = 0;
    /// Writes all of \p data, waiting while the line is full. Returns false
    /// when a stop was requested first. Throws std::runtime_error on failure.
    virtual bool writeAll(const std::string& data) = 0;
    /// Waits at most \p maxMs milliseconds until the bytes written so far
    /// have left (been read by the client, for a pseudo-terminal).
    virtual void drain(int maxMs) = 0;
    /// Closes the port for good, as when the adapter is pulled.
    virtual void close() = 0;
};

/// A pseudo-terminal in raw mode; its slave path is what clients open.
/// Throws std::runtime_error when none can be made.
std::unique_ptr<StationPort> openPseudoTerminal();

/// \p device at 115200 baud 8N1 without flow control.
/// Throws std::runtime_error when it cannot be opened.
std::unique_ptr<StationPort> openSerialDevice(const std::string& device);

/// A symlink to the port, removed again on destruction if it still points to
/// the port (someone may have replaced it meanwhile).
class PortLink {
public:
    /// Replaces an existing symlink at \p linkPath; refuses any other file.
    /// Throws std::runtime_error when the link cannot be made.
    PortLink(std::string linkPath, std::string target);
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    void remove();

private:
    std::string linkPath;
    std::string target;
};

#endif // RAVENLINK_STATION_PORT_H
