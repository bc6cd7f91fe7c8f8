// The serial port to the ground station: opening with its exclusive lock,
// closing, the connection state and timeout, and guarded reads and writes.
// The only part of the library that knows the serial library; its header
// is included by SerialPort.cpp alone, so nothing above sees its types.
#ifndef RAVENLINK_SERIAL_PORT_H
#define RAVENLINK_SERIAL_PORT_H

#include "StationPorts.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace serial {
class Serial;
}

namespace ravenlink::transport {

/// One serial port of the machine: the public record, so that the facade
/// hands the list on as it is.
using ravenlink::PortInfo;

/// Every serial port of the machine, in the serial library's order. Its
/// failures pass on as they are (the facade's shield names them).
std::vector<PortInfo> listPorts();

class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    /// Opens \p portName at 115200 baud, takes its lock and drops whatever
    /// was waiting. \return false when the port was open on this very line
    /// and is kept as it is (the station is not to be disturbed again)
    /// \throw HALVERN::IOException "openConnection: ..." the port cannot be had
    bool open(const std::string& portName);
    /// \throw HALVERN::IOException "closeConnection: ..." the serial library failed to close it
    void close();
    /// Safe from any thread, also while a command runs: reads only atomics.
    int connectionStatus();
    bool isConnected();
    /// The device failed under us: the link is dead until it is opened again.
    void markLost()
    {
        linkLost = true;
        connectionState = 0;
    }

    /// The connection timeout in milliseconds; the serial library takes it
    /// at once on an open port and keeps it for the next open otherwise.
    void setTimeout(int ms);
    int timeout() const { return connectionTimeout; }

    /// Bytes waiting; the serial library's failures become ours under
    /// \p operation's name, and an I/O failure marks the link lost.
    std::size_t available(const char* operation);
    /// Reads up to \p count waiting bytes onto \p buffer; failures as available().
    std::size_t read(const char* operation, std::string& buffer, std::size_t count);
    /// Writes a request line; failures become "sendData: ..." and mark the link lost.
    void write(const std::string& text);
    /// Flushes, waits \p settle so that bytes on their way land, and drops
    /// what is waiting. The serial library's failures pass on as they are.
    /// \return the number of bytes dropped
    std::size_t dropWaiting(std::chrono::milliseconds settle);
    /// Whether the last open() found bytes waiting and dropped them (the
    /// station may then be in the middle of a line); reading clears it.
    bool takeInputAtOpen() { return std::exchange(inputAtOpen, false); }
    /// Our own descriptor on the port (-1 when closed), to wait on in the kernel.
    int descriptor() const { return portLockFd; }

    /// The port object itself, for tests that look at its settings.
    const serial::Serial& device() const { return *serialPort; }

    /// Runs \p call and turns any serial-library exception that escaped it
    /// into HALVERN::IOException under \p operation's name.
    static void shield(const char* operation, const std::function<void()>& call);

    /// Cuts a serial-library message down to its description.
    static std::string trimSerialMessage(const std::string& text);
    /// A serial-library failure text cut to its description, or "Serial
    /// connection exception" when nothing is left of it.
    static std::string serialReason(const std::string& serialText);
    /// The text of a failed open: "Serial connection exception" for an
    /// empty description, the busy text for a port held elsewhere.
    static std::string openFailureReason(const std::string& serialText, const std::string& portName);

private:
    void updateConnectionState();
    /// Takes the port's advisory lock on a descriptor of our own; returns
    /// false when another program holds it.
    bool lockPort(const std::string& portName);
    void unlockPort();
    /// Closes the port object without reporting anything: for a link that
    /// already failed, or a port that is given up.
    void dropPort() noexcept;
    template <typename Call>
    auto onPort(const char* operation, Call&& call) -> decltype(call());

    std::unique_ptr<serial::Serial> serialPort;
    int baudRate = 115200;
    int connectionTimeout = 300;
    /// Read by the state queries from any thread, hence atomic.
    std::atomic<int> connectionState{0};
    /// Mirrors the port object's open state, so that queries from another
    /// thread never touch the port object while a command uses it.
    std::atomic<bool> portOpen{false};
    /// Set when the serial library reported an I/O failure on the open port.
    std::atomic<bool> linkLost{false};
    /// Our own descriptor on the port: holds the exclusive lock, and lets
    /// the exchange wait for input in the kernel.
    int portLockFd = -1;
    /// See takeInputAtOpen().
    bool inputAtOpen = false;
};

} // namespace ravenlink::transport

#endif // RAVENLINK_SERIAL_PORT_H
