/*!
 * \file StationLink.h
 * \brief Public face of the Ravenlink library: the StationLink facade, the
 * records it fills (StationRecords.h) and the two exception classes it throws
 * (StationErrors.h).
 *
 * This header deliberately includes neither the serial library nor the JSON
 * library; the protocol lives in sources that are not installed.
 */
#ifndef RAVENLINK_STATION_LINK_H
#define RAVENLINK_STATION_LINK_H

#include "RavenlinkExport.h"
#include "StationErrors.h"
#include "StationRecords.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class StationLinkImpl;

/*!
 * How the library decides that a reply has ended. The station sends no
 * length and no end marker of its own.
 */
enum class ReplyEnd : unsigned {
    /*! The line stays quiet for one polling pause after a line feed; a line
        that follows within that pause joins the reply. The default. */
    quietLine = 1U,
    /*! The line feed that closes one complete JSON object ends the reply at
        once. A second line arriving after it is not joined to it. */
    completeObject = 2U,
};

/*! Both rules at once: whichever ends the reply first. */
inline ReplyEnd operator|(ReplyEnd a, ReplyEnd b)
{
    return static_cast<ReplyEnd>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

/*!
 * Direction of a line handed to a LineObserver: a request written, a reply
 * received, or a reply line dropped because it carries the message id of
 * another request (it is never taken for this request's answer).
 */
enum class LineDirection { request, reply, dropped };

/*!
 * Sees every request line as it is written and every reply text as it was
 * received (before the reply check). Called on the thread of the command,
 * with the command's lock held; it must not call back into the link.
 */
using LineObserver = std::function<void(LineDirection direction, const std::string& text)>;

/*!
 * One ground station on one serial line.
 *
 * Operations that exchange messages with the station need a successful
 * openConnection() first. Failures are thrown as HALVERN::IOException (link
 * and timing) or HALVERN::DataException (unusable replies); no exception of
 * the serial or JSON library leaves this class. The only other exceptions
 * are the standard conversion errors of openConnection() and the standard
 * allocation failure. A moved-from StationLink may only be destroyed or
 * assigned to.
 *
 * A reply line that carries a message id other than the request's answers
 * another request (one the link gave up on, or one of another program that
 * used the port before): it is dropped and counted, and the wait for the
 * request's own reply goes on, so it is never taken for this answer. A reply
 * without a message id (or with 0) is judged by its status alone.
 *
 * Threads:
 * - The commands (every call that exchanges messages with the station)
 *   may be called from several threads at once. They take turns on the line: one that cannot get the line
 *   within one connection timeout fails with HALVERN::IOException
 *   "OPERATION: Communication timeout" and sends nothing.
 * - isConnected(), getConnectionStatus() and getDroppedReplyCount() may be
 *   called from any thread at any time, also while a command runs.
 * - openConnection(), closeConnection(), setConnectionTimeout(),
 *   setReplyEnd(), setLineObserver(), moving and destroying change the link
 *   itself: call them only while no other thread uses the link.
 * - A LineObserver runs on the thread of the command that wrote or read
 *   the line, with the line held.
 * - Different StationLink objects share nothing and may be used freely
 *   from different threads.
 */
class RAVENLINK_EXPORT StationLink {
public:
    /*! Creates an unconnected link with a connection timeout of 300 ms. */
    StationLink();
    /*! Closes the port if it is open; never throws. */
    ~StationLink();
    StationLink(StationLink&& other) noexcept;
    StationLink& operator=(StationLink&& other) noexcept;
    StationLink(const StationLink&) = delete;
    StationLink& operator=(const StationLink&) = delete;

    /*!
     * Appends one entry per serial port of the machine to each list, in step.
     * \param ports port names
     * \param descriptions port descriptions
     * \param hardwareIds hardware ids
     */
    void listPorts(std::vector<std::string>& ports, std::vector<std::string>& descriptions,
                   std::vector<std::string>& hardwareIds);
    /*! Prints the port list on standard output. */
    void printPorts();
    /*! Prints the port list on \p os, leaving its format state as it was. */
    void printPorts(std::ostream& os);

    /*!
     * Opens \p portName at 115200 baud 8N1, discards stale input and asks the
     * station for its protocol version. The port is held exclusively: an
     * advisory lock (flock) that other instances of this library and common
     * serial terminals honour, and the tty's exclusive mode; both are
     * released when the link closes or the process ends.
     *
     * Opening the port already open does nothing, unless its device failed
     * (see isConnected()): then the port is opened again and the handshake
     * runs again. After a failed handshake the port stays open.
     * \throw HALVERN::IOException the port cannot be opened, is busy
     *        ("openConnection: Port NAME is busy: another program is using
     *        it"), or gives no reply
     * \throw HALVERN::DataException the reply is rejected or carries no version
     * \throw std::invalid_argument, std::out_of_range a version part that is
     *        not a number or beyond the 32-bit range
     */
    void openConnection(const std::string& portName);
    /*!
     * Closes the port if it is open and releases its lock.
     * \throw HALVERN::IOException the serial library fails to close it
     */
    void closeConnection();
    /*!
     * Safe to call from any thread, also while a command runs on another.
     * \return 1 while the port is open and its device has not failed, 0 otherwise
     */
    int getConnectionStatus();
    /*!
     * False once the port is closed, and also once the serial library has
     * reported an I/O failure on it (the device was unplugged): every command
     * then fails with "no connection established" until openConnection()
     * opens the port again. Safe to call from any thread, also while a
     * command runs on another.
     * \return true while the port is open and its device has not failed
     */
    bool isConnected();
    /*!
     * Sets the connection timeout: the serial read and write timeout and the
     * base of every receive and lock wait. Applies to an open port at once.
     * \param ms milliseconds
     */
    void setConnectionTimeout(int ms);
    /*! \return the connection timeout in milliseconds */
    int getConnectionTimeout();
    /*!
     * Chooses how a reply ends (ReplyEnd::quietLine unless changed). Takes
     * effect with the next command; must not overlap a running command.
     * \param mode quietLine, completeObject, or both combined with |
     */
    void setReplyEnd(ReplyEnd mode);
    /*! \return the rule set with setReplyEnd */
    ReplyEnd getReplyEnd();
    /*!
     * Lets the pieces of a long reply gather on the line for \p ms
     * milliseconds between two reads, so that a reply that arrives slowly
     * (the station's line delivers a few bytes every millisecond or two)
     * costs one wake-up and one read per \p ms instead of one per piece.
     * Gathering starts once the reply's bytes have been arriving for \p ms:
     * a reply that is in within that time (the short answer to a setting)
     * is read piece by piece and ends the moment it is in; the end of a
     * longer one is seen up to \p ms after it arrives. The first byte of a
     * reply is still read the moment it arrives, the reply is still taken
     * whole, and the reply-end rule, the message-id check and every bound
     * of a receive stay as they are. Under ReplyEnd::quietLine alone the
     * reader already naps one end-of-reply pause between reads; it then
     * naps the longer of the two.
     *
     * 0 (the default) reads every piece as it arrives; values are clamped
     * to 0..100. Takes effect with the next command; must not overlap a
     * running command. A program that serves many stations at once and does
     * not need the end of a reply within a millisecond sets a few
     * milliseconds.
     * \param ms the nap between reads, milliseconds
     */
    void setReplyGathering(int ms);
    /*!
     * Installs \p observer for every line on the wire, or removes it when
     * empty. Must not overlap a running command.
     */
    void setLineObserver(LineObserver observer);

    /*!
     * Reads the system details; fields the reply lacks keep their values.
     * \throw HALVERN::IOException link failure or no reply
     * \throw HALVERN::DataException rejected or undecodable reply
     */
    void getSystemDetails(SystemDetails& details);
    /*!
     * Reads the current system status; fields the reply lacks keep their values.
     * \throw HALVERN::IOException link failure or no reply
     * \throw HALVERN::DataException rejected or undecodable reply
     */
    void getSystemStatus(SystemStatus& status);
    /*!
     * Reads the current system status and tells which of its groups the
     * reply carried; fields of a group that did not come keep their values.
     * \param status filled from the reply
     * \param delivered set for every group of the reply, cleared for the rest
     * \throw HALVERN::IOException link failure or no reply
     * \throw HALVERN::DataException rejected or undecodable reply
     */
    void getSystemStatus(SystemStatus& status, StatusGroups& delivered);
    /*!
     * Safe to call from any thread, also while a command runs on another.
     * \return how many reply lines this link has dropped since it was made
     *         because they carried the message id of another request
     */
    uint64_t getDroppedReplyCount();
    /*!
     * Reads status and details and judges them, maintenance included.
     * \param severity 0 nothing to report, 128 warning, 1 error
     * \return true when an error or a warning is present
     * \throw HALVERN::IOException, HALVERN::DataException as getSystemStatus
     */
    bool evaluateSystemState(uint8_t& severity);
    /*!
     * Judges \p status; with \p checkMaintenance the details are read first so
     * that a required maintenance counts as a warning.
     * \throw HALVERN::IOException, HALVERN::DataException as getSystemDetails
     */
    bool evaluateSystemState(const SystemStatus& status, uint8_t& severity, bool checkMaintenance);
    /*! Judges the given records without any exchange; throws nothing. */
    bool evaluateSystemState(const SystemStatus& status, const SystemDetails& details,
                             uint8_t& severity, bool checkMaintenance);
    /*!
     * Reads activation and cable retraction settings.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void getSystemConfig(SystemConfig& config);
    /*!
     * Writes activation, retraction torque and start length in one request.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void setSystemConfig(const SystemConfig& config);
    /*!
     * Activates (true) or deactivates (false) the system.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void setSystemActivation(bool activate);
    /*!
     * Sets the cable retraction torque, clamped to 0..100 percent.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void setCableRetractionTorque(float percent);
    /*!
     * Sets the cable retraction start length, at least 0.3 m.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void setCableRetractionStartLength(float metres);
    /*!
     * Reads the status and returns which groups the station delivers.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void getSystemStatusConfig(ConfigStatus& config);
    /*!
     * Chooses which status groups the station delivers.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void setSystemStatusConfig(const ConfigStatus& config);
    /*!
     * Reads status and details and prints both reports on standard output;
     * prints nothing when either read fails.
     * \throw HALVERN::IOException, HALVERN::DataException
     */
    void printSystemInfo();

    /*! Writes the status report to \p os in one insertion; throws nothing of its own. */
    void printSystemStatus(const SystemStatus& status, std::ostream& os);
    /*! Writes the details report to \p os in one insertion; throws nothing of its own. */
    void printSystemDetails(const SystemDetails& details, std::ostream& os);

    /*! \return the library build, "23" */
    std::string getLibraryBuild();
    /*! Assigns the library build to \p out. */
    void getLibraryBuild(std::string& out);
    /*! \return the communication protocol version the library speaks, "1.20" */
    std::string getProtocolVersion();
    /*! Assigns the protocol version to \p out. */
    void getProtocolVersion(std::string& out);
    /*! Prints the framed library banner on standard output. */
    void printLibraryInfo();
    /*! Prints the framed library banner on \p os, leaving its format state as it was. */
    void printLibraryInfo(std::ostream& os);

private:
    std::unique_ptr<StationLinkImpl> impl;
};

/* The facade and its types, also under the newer API's namespace. */
namespace ravenlink {
using ::LineDirection;
using ::LineObserver;
using ::ReplyEnd;
using ::StationLink;

/*! What one exchange with the station asks for; the station takes longer to answer some requests. */
enum class ExchangeKind {
    reading,    //!< status, settings, groups, the handshake: a reply within one timeout
    details,    //!< the system details: within ten
    actuation,  //!< activation, configuration, group flags: within thirty
};

/*!
 * The longest that one exchange of \p kind may hold its caller at the
 * connection timeout \p timeoutMs, in milliseconds, as the library bounds it:
 * the wait for the line and the request's write take up to a timeout each,
 * the drain before the request and the reply's collection up to four times
 * their wait but at least 2 s each. A supervisor that expects a sign of life
 * from a thread talking to a station waits at least this long. A negative
 * \p timeoutMs counts as 0. Throws nothing.
 */
RAVENLINK_EXPORT int64_t longestExchangeMs(int timeoutMs, ExchangeKind kind);
} // namespace ravenlink

#endif // RAVENLINK_STATION_LINK_H
