// The implementation object behind StationLink. Not installed: it holds the
// serial port and the protocol engine. Each group of members is defined in
// the source file named beside it; many are thin forwarders to the layer that
// does the work, kept so that tests, fuzzers and benchmarks reach every part
// through one object.
#ifndef RAVENLINK_STATION_LINK_IMPL_H
#define RAVENLINK_STATION_LINK_IMPL_H

#include "LineReader.h"
#include "SerialPort.h"
#include "Session.h"
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

    // ---- StationLinkImpl.cpp: opening, closing, state, timeout, port listing ----
    void openConnection(const std::string& portName);
    void closeConnection();
    /// Safe from any thread, also while a command runs: reads only atomics.
    int getConnectionStatus();
    bool isConnected();
    void setConnectionTimeout(int ms);
    int getConnectionTimeout() const;
    void setReplyEnd(ReplyEnd mode) { session.setReplyEnd(mode); }
    ReplyEnd getReplyEnd() const { return session.getReplyEnd(); }
    void setReplyGathering(int ms) { session.setGathering(ms); }
    int getReplyGathering() const { return session.gathering(); }
    void setLineObserver(LineObserver observer) { session.setLineObserver(std::move(observer)); }
    void listPorts(std::vector<std::string>& ports, std::vector<std::string>& descriptions,
                   std::vector<std::string>& hardwareIds);
    void printPorts();
    void printPorts(std::ostream& os);
    /// Cuts a serial-library message down to its description.
    static std::string trimSerialMessage(const std::string& text)
    {
        return ravenlink::transport::SerialPort::trimSerialMessage(text);
    }

    // ---- the session (protocol/Session.cpp): sending, receiving ----
    void sendData(std::string requestData, uint16_t& msgID) { session.sendData(std::move(requestData), msgID); }
    /// \param timeout wait for the first byte, milliseconds (64-bit so that
    ///        30 x connectionTimeout cannot overflow)
    void receiveData(std::string& replyData, int64_t timeout) { session.receiveData(replyData, timeout); }
    /// The request line for \p payload under message id \p msgID, line feed included.
    static std::string composeRequest(const std::string& payload, uint16_t msgID);
    /// The bounds of collecting a reply (see LineReader.h).
    static constexpr std::size_t maxReplyBytes = ravenlink::transport::LineReader::maxReplyBytes;
    static constexpr int64_t replyTimeFactor = ravenlink::transport::LineReader::replyTimeFactor;
    static constexpr int64_t minReplyTimeMs = ravenlink::transport::LineReader::minReplyTimeMs;
    static constexpr int64_t maxPollPauseMs = ravenlink::transport::LineReader::maxPollPauseMs;

    // ---- protocol/Reply.cpp: the gate between receiving and decoding ----
    static void checkReply(const std::string& replyData, uint16_t msgID);

    // ---- the handshake (protocol/Session.cpp) ----
    void initConnection() { session.initConnection(); }
    void getDeviceProtocolVersion() { session.getDeviceProtocolVersion(); }
    /// The steps of getDeviceProtocolVersion after the reply check: reads
    /// "PROTOCOL_VERSION" from \p replyData and splits it into the three
    /// numbers, each stored as soon as it is read.
    /// \throw HALVERN::DataException no JSON, or no non-empty version text
    /// \throw std::invalid_argument, std::out_of_range a part that is no
    ///        number or lies beyond the signed 32-bit range (std::stoi)
    static void parseProtocolVersion(const std::string& replyData, int& major, int& minor, int& patch);
    int getDeviceProtocolMajor() const { return session.deviceProtocolMajor(); }
    int getDeviceProtocolMinor() const { return session.deviceProtocolMinor(); }
    int getDeviceProtocolPatch() const { return session.deviceProtocolPatch(); }

    // ---- Commands.cpp: device commands and composites ----
    // Value encodings and request payloads (model/Encodings.cpp,
    // protocol/Requests.cpp); pure, so they are testable without a station.
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
    uint64_t getDroppedReplyCount() const { return session.droppedReplyCount(); }
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

    // ---- the decoders (protocol/Decoders.cpp) ----
    static void processStatusData(const std::string& data, SystemStatus& status);
    /// As above, and sets \p delivered to the groups the reply carried.
    static void processStatusData(const std::string& data, SystemStatus& status, StatusGroups& delivered);
    // details, and the last step of getSystemConfig
    static void processSystemDetails(const std::string& data, SystemDetails& details);
    static void processSystemConfig(const std::string& data, SystemConfig& config);

    // ---- StationLinkImpl.cpp: printers of the presentation's texts ----
    static void printSystemStatus(const SystemStatus& status, std::ostream& out);
    static void printSystemDetails(const SystemDetails& details, std::ostream& out);

    // ---- StationLinkImpl.cpp: version (presentation/Version.cpp) ----
    static std::string getLibraryBuild();
    static void getLibraryBuild(std::string& out);
    static std::string getProtocolVersion();
    static void getProtocolVersion(std::string& out);
    static void printLibraryInfo();
    static void printLibraryInfo(std::ostream& os);

private:
    // Lets tests look at the port's settings.
    friend struct StationLinkImplProbe;

    ravenlink::transport::SerialPort port;
    ravenlink::protocol::Session session{port};
};

#endif // RAVENLINK_STATION_LINK_IMPL_H
