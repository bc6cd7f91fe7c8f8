// The texts ravenlinkctl and the bridge show for a failure: one line, the
// library's own texts as they are, and words instead of std::stoi's "stoi".
#include "PtyStation.h"

#include <RavenlinkTools.h>
#include <StationLink.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

using ravenlink::tools::describeFailure;

namespace {

std::string openFailure(const std::string& version)
{
    PtyStation station;
    StationLink link;
    link.setConnectionTimeout(200);
    station.then(PtyStation::reply(R"({"COM":{"MSG_ID":$ID,"COM_STATUS":0},"SYSTEM_DETAILS":{"PROTOCOL_VERSION":")" +
                                   version + "\"}}\n"));
    try {
        link.openConnection(station.port());
    } catch (const std::exception& e) {
        return describeFailure("openConnection", e);
    }
    return "opened";
}

} // namespace

TEST(FailureText, VersionThatIsNoNumberIsSaidInWords)
{
    // Both conversion errors of the handshake: no number, and a number
    // beyond the 32-bit range.
    EXPECT_EQ(openFailure("abc"), "openConnection: the station's protocol version is not a number");
    EXPECT_EQ(openFailure("99999999999"), "openConnection: the station's protocol version is not a number");
}

TEST(FailureText, LibraryTextsStayAndComeOnOneLine)
{
    EXPECT_EQ(describeFailure("getSystemStatus", HALVERN::DataException("receiveData: Data Receiver Timeout!")),
              "Data Stream Exception: receiveData: Data Receiver Timeout!");
    EXPECT_EQ(describeFailure("openConnection", std::runtime_error("cannot open\r\nthe port\n")),
              "cannot open  the port");
    EXPECT_EQ(describeFailure("getSystemDetails", std::out_of_range("stoi")),
              "getSystemDetails: unexpected failure (stoi)");
    EXPECT_EQ(describeFailure("getSystemStatus", std::bad_alloc()), "getSystemStatus: out of memory");
}

TEST(ShownText, EscapesControlsAndGivesUtf8)
{
    using ravenlink::tools::printable;
    using ravenlink::tools::shownLine;
    // The reports' degree byte is the degree sign for a terminal; in a log
    // record it is a byte that is no UTF-8.
    EXPECT_EQ(shownLine("25\xF8" "C\x1b[2J\n"), "25\xC2\xB0" "C\\x1b[2J");
    EXPECT_EQ(printable("25\xF8" "C\x1b\xC2\x85"), "25\xEF\xBF\xBD" "C\\x1b\\x85");
    EXPECT_EQ(printable("\xC3\xA9\xC3\xA9", 2), "\xC3\xA9...");
}
