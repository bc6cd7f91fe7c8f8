/*!
 * \file FakeStation.h
 * \brief A station stand-in for the menu dialogue: logs every call and throws
 * on request, so prompts, confirmations and failure handling can be checked
 * without a ground station.
 */
#ifndef RAVENLINK_TEST_FAKE_STATION_H
#define RAVENLINK_TEST_FAKE_STATION_H

#include "ConsoleTexts.h"
#include "Options.h"
#include "StationControl.h"

#include <exception>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

class FakeStation : public StationControl {
public:
    std::vector<std::string> calls;  //!< "name" or "name argument", in call order
    std::map<std::string, std::exception_ptr> failures;  //!< call name -> what it throws
    std::map<std::string, void (*)()> sideEffects;       //!< call name -> run before it returns
    SystemConfig lastConfig;

    void getSystemStatus(SystemStatus& status) override
    {
        enter("getSystemStatus");
        ++status.sysState.systemTime; // counts the reads that reached this record
    }
    void printSystemStatus(const SystemStatus& status, std::ostream& os) override
    {
        enter("printSystemStatus");
        os << "<status " << status.sysState.systemTime << ">\n";
    }
    void getSystemDetails(SystemDetails& details) override
    {
        enter("getSystemDetails");
        details.sn = "SN-7";
    }
    void printSystemDetails(const SystemDetails& details, std::ostream& os) override
    {
        enter("printSystemDetails");
        os << "<details " << details.sn << ">\n";
    }
    void setSystemActivation(bool activate) override { enter("setSystemActivation", activate); }
    void setCableRetractionTorque(float percent) override { enter("setCableRetractionTorque", percent); }
    void setCableRetractionStartLength(float metres) override { enter("setCableRetractionStartLength", metres); }
    void setSystemConfig(const SystemConfig& config) override
    {
        enter("setSystemConfig");
        lastConfig = config;
    }
    int getConnectionTimeout() override
    {
        enter("getConnectionTimeout");
        return timeout;
    }
    void setConnectionTimeout(int ms) override
    {
        enter("setConnectionTimeout", ms);
        timeout = ms;
    }
    void closeConnection() override { enter("closeConnection"); }

private:
    template <typename Argument>
    void enter(const std::string& name, Argument argument)
    {
        std::ostringstream text;
        text << name << ' ' << argument;
        record(name, text.str());
    }
    void enter(const std::string& name) { record(name, name); }
    void record(const std::string& name, const std::string& entry)
    {
        calls.push_back(entry);
        if (auto effect = sideEffects.find(name); effect != sideEffects.end()) {
            effect->second();
        }
        if (auto failure = failures.find(name); failure != failures.end()) {
            std::rethrow_exception(failure->second);
        }
    }

    int timeout = 300;
};

/*! What a menu session printed and returned. */
struct MenuSession {
    std::string output;
    int exitStatus = -1;
};

/*!
 * Runs the menu loop and the shutdown as the program does after a successful
 * open. \p typed is what the operator types after the port name's line.
 */
inline MenuSession runMenuSession(FakeStation& station, const std::string& typed)
{
    libraryBuild = "23";
    protocolVersion = "1.20";
    exitRequested = 0;
    std::istringstream in("\n" + typed);
    std::ostringstream out;
    SystemStatus tetherStatus;
    runMenuLoop(station, tetherStatus, in, out);
    MenuSession session;
    session.exitStatus = shutDown(station, out);
    session.output = out.str();
    exitRequested = 0;
    return session;
}

#endif // RAVENLINK_TEST_FAKE_STATION_H
