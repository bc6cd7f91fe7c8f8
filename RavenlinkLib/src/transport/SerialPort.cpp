// The serial port to the ground station: opening, closing, state queries,
// the connection timeout and the machine's port list. This is the only file
// of the library that includes the serial library's header.
#include "SerialPort.h"

#include "Failure.h"
#include "StationErrors.h"

#include <serial.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace ravenlink::transport {

SerialPort::SerialPort()
    : serialPort(std::make_unique<serial::Serial>("", 9600, serial::Timeout(0, 0, 0, 0, 0), serial::eightbits,
                                                  serial::parity_none, serial::stopbits_one,
                                                  serial::flowcontrol_none))
{
}

SerialPort::~SerialPort()
{
    // A close that fails while the object goes away has nobody left to tell;
    // the serial library's own destructor releases the descriptor anyway.
    try {
        close();
    } catch (...) {
    }
}

bool SerialPort::open(const std::string& portName)
{
    if (portOpen) {
        if (serialPort->getPort() == portName && !linkLost) {
            // Same station, same line: keep it as it is and do not disturb
            // the station with a second handshake.
            connectionState = 255;
            return false;
        }
        // Another port, or this one after its device went away: the old
        // descriptor is of no use any more, whatever closing it says.
        dropPort();
        connectionState = 0;
    }

    // The lock comes first, so that a port in another program's hands is
    // not even reconfigured.
    if (!lockPort(portName)) {
        throwIO("openConnection", ": " + openFailureReason("Device or resource busy", portName));
    }

    serialPort->setPort(portName);
    serialPort->setBaudrate(static_cast<uint32_t>(baudRate));
    serial::Timeout timeout = serial::Timeout::simpleTimeout(static_cast<uint32_t>(connectionTimeout));
    serialPort->setTimeout(timeout);

    try {
        serialPort->open();
    } catch (const std::exception& e) {
        unlockPort();
        throwIO("openConnection", ": " + openFailureReason(e.what(), portName));
    }
    portOpen = serialPort->isOpen();
    linkLost = false;

    updateConnectionState();
    if (connectionState != 1 || portLockFd < 0) {
        dropPort();
        connectionState = 255;
        throwIO("openConnection", ": Failed to open specified port " + portName + ".");
    }
    // Other programs that honour the tty's exclusive mode now cannot open it.
    ::ioctl(portLockFd, TIOCEXCL);

    try {
        // Whatever the station sent before we listened belongs to nobody.
        inputAtOpen = dropWaiting(std::chrono::milliseconds(0)) > 0;
    } catch (const std::exception& e) {
        dropPort();
        throwIO("openConnection", ": " + openFailureReason(e.what(), portName));
    }

    connectionState = 1;
    return true;
}

void SerialPort::close()
{
    if (portOpen) {
        try {
            serialPort->close();
        } catch (const serial::IOException& e) {
            connectionState = 255;
            portOpen = serialPort->isOpen();
            unlockPort();
            throwIO("closeConnection", std::string(": ") + e.what());
        }
    }
    portOpen = false;
    linkLost = false;
    unlockPort();
    connectionState = 0;
}

void SerialPort::dropPort() noexcept
{
    try {
        serialPort->close();
    } catch (...) {
        // The device is gone or the descriptor is dead; either way it is
        // closed now as far as anyone can tell.
    }
    portOpen = false;
    unlockPort();
}

bool SerialPort::lockPort(const std::string& portName)
{
    unlockPort();
    const int fd = ::open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A port in exclusive mode refuses every further open. Anything else
        // (no such device, no permission) is for the serial library to
        // report in its own words when it tries the same.
        return errno != EBUSY;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    portLockFd = fd;
    return true;
}

void SerialPort::unlockPort()
{
    if (portLockFd >= 0) {
        ::ioctl(portLockFd, TIOCNXCL);
        ::close(portLockFd);  // releases the flock too
        portLockFd = -1;
    }
}

void SerialPort::updateConnectionState() { connectionState = (portOpen && !linkLost) ? 1 : 0; }

int SerialPort::connectionStatus()
{
    updateConnectionState();
    return connectionState;
}

bool SerialPort::isConnected()
{
    updateConnectionState();
    return connectionState == 1;
}

void SerialPort::setTimeout(int ms)
{
    connectionTimeout = ms;
    // The serial library takes the new value at once on an open port and
    // keeps it for the next open otherwise.
    serial::Timeout timeout = serial::Timeout::simpleTimeout(static_cast<uint32_t>(ms));
    serialPort->setTimeout(timeout);
}

// ---- reading and writing ----

template <typename Call>
auto SerialPort::onPort(const char* operation, Call&& call) -> decltype(call())
{
    try {
        return call();
    } catch (const serial::PortNotOpenedException&) {
        throwIO(operation, ": No serial connection established!");
    } catch (const std::exception& e) {
        // An I/O error here means the device is gone (an adapter pulled).
        markLost();
        throwIO(operation, ": " + serialReason(e.what()));
    }
}

std::size_t SerialPort::available(const char* operation)
{
    return onPort(operation, [this] { return serialPort->available(); });
}

std::size_t SerialPort::read(const char* operation, std::string& buffer, std::size_t count)
{
    return onPort(operation, [&] { return serialPort->read(buffer, count); });
}

void SerialPort::write(const std::string& text)
{
    try {
        serialPort->write(text);
    } catch (const serial::PortNotOpenedException&) {
        throwIO("sendData", ": No serial connection established!");
    } catch (const serial::IOException& e) {
        markLost();
        throwIO("sendData", ": " + serialReason(e.what()));
    } catch (const serial::SerialException& e) {
        markLost();
        throwIO("sendData", ": " + serialReason(e.what()));
    }
}

std::size_t SerialPort::dropWaiting(std::chrono::milliseconds settle)
{
    serialPort->flush();
    if (settle.count() > 0) {
        std::this_thread::sleep_for(settle);
    }
    std::string inBuffer;
    return serialPort->read(inBuffer, serialPort->available());
}

// ---- failure texts ----

void SerialPort::shield(const char* operation, const std::function<void()>& call)
{
    try {
        call();
    } catch (const serial::SerialException& e) {
        throw HALVERN::IOException((std::string(operation) + ": " + e.what()).c_str());
    } catch (const serial::IOException& e) {
        throw HALVERN::IOException((std::string(operation) + ": " + trimSerialMessage(e.what())).c_str());
    } catch (const serial::PortNotOpenedException&) {
        throw HALVERN::IOException((std::string(operation) + ": No serial connection established!").c_str());
    }
}

std::string SerialPort::serialReason(const std::string& serialText)
{
    const std::string reason = trimSerialMessage(serialText);
    return reason.empty() ? std::string("Serial connection exception") : reason;
}

std::string SerialPort::openFailureReason(const std::string& serialText, const std::string& portName)
{
    const std::string reason = serialReason(serialText);
    // Two programs on one station interleave their requests and both read
    // garbage; say plainly why this one may not have the line.
    if (reason == "Device or resource busy") {
        return "Port " + portName + " is busy: another program is using it";
    }
    return reason;
}

std::string SerialPort::trimSerialMessage(const std::string& text)
{
    // The serial library's texts read "<kind>: <description>, file <source>,
    // line <n>." Only the description helps the operator.
    std::string rest = text;
    const std::size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        const std::size_t start = colon + 2;
        rest = start < rest.size() ? rest.substr(start) : std::string();
    }
    // The location suffix is the last ", file "; a description may itself
    // contain the word (as in "No such file or directory").
    const std::size_t suffix = rest.rfind(", file ");
    if (suffix != std::string::npos) {
        rest.erase(suffix);
    }
    return rest;
}

std::vector<PortInfo> listPorts()
{
    std::vector<PortInfo> ports;
    for (const serial::PortInfo& device : serial::list_ports()) {
        ports.push_back({device.port, device.description, device.hardware_id});
    }
    return ports;
}

} // namespace ravenlink::transport
