// The implementation object behind StationLink. Not installed: it holds the
// serial port and the protocol engine. Each group of members is defined in
// the source file named beside it.
#ifndef RAVENLINK_STATION_LINK_IMPL_H
#define RAVENLINK_STATION_LINK_IMPL_H

#include <serial.h>

#include "StationComposer.h"
#include "StationLink.h"

#include <chrono>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class StationLinkImpl {
public:
    StationLinkImpl();
    ~StationLinkImpl();
    StationLinkImpl(const StationLinkImpl&) = delete;
    StationLinkImpl& operator=(const StationLinkImpl&) = delete;

    // ---- SerialLink.cpp: opening, closing, state, timeout, port listing ----
    void openConnection(const std::string& portName);
    void closeConnection();
    /// Safe from any thread, also while a command runs: reads only atomics.
    int getConnectionStatus();
    bool isConnected();
    void setConnectionTimeout(int ms);
    int getConnectionTimeout() const;
    void setReplyEnd(ReplyEnd mode) { replyEnd = mode; }
    ReplyEnd getReplyEnd() const { return replyEnd; }
    void setLineObserver(LineObserver observer) { lineObserver = std::move(observer); }
    void listPorts(std::vector<std::string>& ports, std::vector<std::string>& descriptions,
                   std::vector<std::string>& hardwareIds);
    void printPorts();
    void printPorts(std::ostream& os);
    /// Cuts a serial-library message down to its description.
    static std::string trimSerialMessage(const std::string& text);
    /// A serial-library failure text cut to its description, or "Serial
    /// connection exception" when nothing is left of it.
    static std::string serialReason(const std::string& serialText);
    /// The text of a failed open: "Serial connection exception" for an
    /// empty description, the busy text for a port held elsewhere.
    static std::string openFailureReason(const std::string& serialText, const std::string& portName);

    // ---- Exchange.cpp: framing, sending, receiving ----
    void sendData(std::string requestData, uint16_t& msgID);
    /// \param timeout wait for the first byte, milliseconds (64-bit so that
    ///        30 x connectionTimeout cannot overflow)
    void receiveData(std::string& replyData, int64_t timeout);
    /// The request line for \p payload under message id \p msgID, line feed included.
    static std::string composeRequest(const std::string& payload, uint16_t msgID);
    /// A reply longer than this is abandoned, so a station that keeps sending
    /// cannot make the buffer grow.
    static constexpr std::size_t maxReplyBytes = 65536;
    /// Collecting a reply may take this many times the command's wait...
    static constexpr int64_t replyTimeFactor = 4;
    /// ...but never less than this many milliseconds.
    static constexpr int64_t minReplyTimeMs = 2000;
    /// The end-of-reply pause is a hundredth of the wait, but at most this.
    static constexpr int64_t maxPollPauseMs = 100;

    // ---- ReplyCheck.cpp: the gate between receiving and decoding ----
    static void checkReply(const std::string& replyData, uint16_t msgID);

    // ---- Handshake.cpp ----
    void initConnection();
    void getDeviceProtocolVersion();
    /// The steps of getDeviceProtocolVersion after the reply check: reads
    /// "PROTOCOL_VERSION" from \p replyData and splits it into the three
    /// numbers, each stored as soon as it is read.
    /// \throw HALVERN::DataException no JSON, or no non-empty version text
    /// \throw std::invalid_argument, std::out_of_range a part that is no
    ///        number or lies beyond the signed 32-bit range (std::stoi)
    static void parseProtocolVersion(const std::string& replyData, int& major, int& minor, int& patch);
    int getDeviceProtocolMajor() const { return deviceProtocolMajor; }
    int getDeviceProtocolMinor() const { return deviceProtocolMinor; }
    int getDeviceProtocolPatch() const { return deviceProtocolPatch; }

    // ---- Commands.cpp: device commands and composites ----
    // Value encodings and request payloads; pure, so they are testable
    // without a station.
    static int encodeActivation(bool activate);
    static int encodeTorque(float percent);
    static int encodeStartLength(float metres);
    static std::string readRequestPayload(sc_key command);
    static std::string activationPayload(bool activate);
    static std::string torquePayload(float percent);
    static std::string startLengthPayload(float metres);
    static std::string systemConfigPayload(const SystemConfig& config);
    static std::string statusConfigPayload(const ConfigStatus& config);

    void getSystemDetails(SystemDetails& details);
    void getSystemStatus(SystemStatus& status);
    void getSystemStatus(SystemStatus& status, StatusGroups& delivered);
    uint64_t getDroppedReplyCount() const { return droppedReplies.load(std::memory_order_relaxed); }
    bool evaluateSystemState(uint8_t& severity);
    bool evaluateSystemState(const SystemStatus& status, uint8_t& severity, bool checkMaintenance);
    static bool evaluateSystemState(const SystemStatus& status, const SystemDetails& details,
                                    uint8_t& severity, bool checkMaintenance);
    void getSystemConfig(SystemConfig& config);
    void setSystemConfig(const SystemConfig& config);
    void setSystemActivation(bool activate);
    void setCableRetractionTorque(float percent);
    void setCableRetractionStartLength(float metres);
    void getSystemStatusConfig(ConfigStatus& config);
    void setSystemStatusConfig(const ConfigStatus& config);
    void printSystemInfo();

    // ---- StatusDecoder.cpp ----
    static void processStatusData(const std::string& data, SystemStatus& status);
    /// As above, and sets \p delivered to the groups the reply carried.
    static void processStatusData(const std::string& data, SystemStatus& status, StatusGroups& delivered);
    // ---- DetailsDecoder.cpp: details, and the last step of getSystemConfig ----
    static void processSystemDetails(const std::string& data, SystemDetails& details);
    static void processSystemConfig(const std::string& data, SystemConfig& config);

    // ---- StatusReport.cpp / DetailsReport.cpp ----
    static void printSystemStatus(const SystemStatus& status, std::ostream& out);
    static void printSystemDetails(const SystemDetails& details, std::ostream& out);

    // ---- Version.cpp ----
    static std::string getLibraryBuild();
    static void getLibraryBuild(std::string& out);
    static std::string getProtocolVersion();
    static void getProtocolVersion(std::string& out);
    static void printLibraryInfo();
    static void printLibraryInfo(std::ostream& os);

private:
    void updateConnectionState();
    /// Takes the port's advisory lock on a descriptor of our own; returns
    /// false when another program holds it.
    bool lockPort(const std::string& portName);
    void unlockPort();
    /// Closes the port object without reporting anything: for a link that
    /// already failed, or a port that is given up.
    void dropPort() noexcept;
    /// The device failed under us: the link is dead until it is opened again.
    void markLinkLost() { linkLost = true; connectionState = 0; }

    // ---- Exchange.cpp helpers ----
    /// What ended the collection of a reply.
    enum class Collected { complete, cutOff, tooLong, tooSlow, noReply };
    struct Reception;
    /// Reads the reply into \p rx until it ends or one of its bounds passes.
    Collected collect(Reception& rx);
    /// The receive's error for a reply that did not come or did not end.
    [[noreturn]] static void raiseReceiveFailure(Collected result);
    /// Waits in the kernel until the line has input or \p deadline passes.
    /// \return false on timeout
    /// \throw HALVERN::IOException under \p operation's name: the line hung up
    bool waitForInput(const char* operation, std::chrono::steady_clock::time_point deadline);
    /// Runs \p call on the port; the serial library's failures become ours
    /// under \p operation's name, and an I/O failure marks the link lost.
    template <typename Call>
    auto onPort(const char* operation, Call&& call) -> decltype(call());
    /// available() with the serial library's failures turned into ours.
    std::size_t waitingBytes(const char* operation);
    /// Reads up to \p count waiting bytes onto \p buffer; failures as waitingBytes.
    std::size_t readBytes(const char* operation, std::string& buffer, std::size_t count);
    /// True for a reply line that carries a message id (not 0) other than
    /// the pending request's.
    bool answersAnother(const std::string& line) const;

    // ---- engine helpers (Exchange.cpp, Commands.cpp) ----
    /// Texts of the library's exceptions: operation name, then the reason
    /// beginning with ": ".
    [[noreturn]] static void raiseIO(const char* operation, const std::string& reason);
    [[noreturn]] static void raiseData(const char* operation, const std::string& reason);
    /// sendData's error for a serial-library failure text \p exMsg.
    [[noreturn]] static void raiseWriteFailure(const std::string& exMsg);
    /// Reads and drops waiting input until the line has been quiet for
    /// \p quietMs, for at most \p limitMs. Never keeps what it reads.
    void discardInput(int64_t quietMs, int64_t limitMs);
    /// One locked request/reply under \p operation's name; returns the
    /// reply after it passed checkReply. The lock covers sending and
    /// receiving only.
    std::string transact(const char* operation, const std::string& payload, int64_t waitFactor);

    // Lets tests look at the port's settings.
    friend struct StationLinkImplProbe;

    serial::Serial serialPort;
    int baudRate = 115200;
    /// Read by the state queries from any thread, hence atomic.
    std::atomic<int> connectionState{0};
    int connectionTimeout = 300;
    std::timed_mutex linkMutex;
    int deviceProtocolMajor = 0;
    int deviceProtocolMinor = 0;
    int deviceProtocolPatch = 0;
    /// Set when a reply was abandoned while the station was still sending;
    /// the next request first waits for the line to fall quiet.
    bool inputUnsettled = false;
    /// Mirrors the port object's open state, so that queries from another
    /// thread never touch the port object while a command uses it.
    std::atomic<bool> portOpen{false};
    /// Set when the serial library reported an I/O failure on the open port.
    std::atomic<bool> linkLost{false};
    /// Our own descriptor on the port: holds the exclusive lock, and lets
    /// the exchange wait for input in the kernel.
    int portLockFd = -1;
    /// The id of the last request sent.
    uint16_t pendingId = 0;
    /// Reply lines dropped for carrying another request's id; read from
    /// any thread.
    std::atomic<uint64_t> droppedReplies{0};
    ReplyEnd replyEnd = ReplyEnd::quietLine;
    LineObserver lineObserver;
};

#endif // RAVENLINK_STATION_LINK_IMPL_H
