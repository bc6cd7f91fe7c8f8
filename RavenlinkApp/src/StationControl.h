/*!
 * \file StationControl.h
 * \brief The station operations the menu uses, behind one small interface.
 *
 * The menu talks to StationControl rather than to StationLink directly, so
 * that its dialogue (prompts, confirmations, failure handling) can be driven
 * without a ground station. The program itself always uses StationLinkControl,
 * which forwards every call unchanged to the library's StationLink.
 */
#ifndef RAVENLINKAPP_STATION_CONTROL_H
#define RAVENLINKAPP_STATION_CONTROL_H

#include <StationLink.h>

#include <iosfwd>

/*! The station operations of the menu; each has the meaning and exceptions of the StationLink call of the same name. */
class StationControl {
public:
    virtual ~StationControl() = default;

    virtual void getSystemStatus(SystemStatus& status) = 0;
    virtual void printSystemStatus(const SystemStatus& status, std::ostream& os) = 0;
    virtual void getSystemDetails(SystemDetails& details) = 0;
    virtual void printSystemDetails(const SystemDetails& details, std::ostream& os) = 0;
    virtual void setSystemActivation(bool activate) = 0;
    virtual void setCableRetractionTorque(float percent) = 0;
    virtual void setCableRetractionStartLength(float metres) = 0;
    virtual void setSystemConfig(const SystemConfig& config) = 0;
    virtual int getConnectionTimeout() = 0;
    virtual void setConnectionTimeout(int ms) = 0;
    virtual void closeConnection() = 0;
};

/*! Forwards every operation to a StationLink that outlives it. */
class StationLinkControl final : public StationControl {
public:
    explicit StationLinkControl(StationLink& ravenlink) : ravenlink(ravenlink) {}

    void getSystemStatus(SystemStatus& status) override { ravenlink.getSystemStatus(status); }
    void printSystemStatus(const SystemStatus& status, std::ostream& os) override
    {
        ravenlink.printSystemStatus(status, os);
    }
    void getSystemDetails(SystemDetails& details) override { ravenlink.getSystemDetails(details); }
    void printSystemDetails(const SystemDetails& details, std::ostream& os) override
    {
        ravenlink.printSystemDetails(details, os);
    }
    void setSystemActivation(bool activate) override { ravenlink.setSystemActivation(activate); }
    void setCableRetractionTorque(float percent) override { ravenlink.setCableRetractionTorque(percent); }
    void setCableRetractionStartLength(float metres) override { ravenlink.setCableRetractionStartLength(metres); }
    void setSystemConfig(const SystemConfig& config) override { ravenlink.setSystemConfig(config); }
    int getConnectionTimeout() override { return ravenlink.getConnectionTimeout(); }
    void setConnectionTimeout(int ms) override { ravenlink.setConnectionTimeout(ms); }
    void closeConnection() override { ravenlink.closeConnection(); }

private:
    StationLink& ravenlink;
};

#endif // RAVENLINKAPP_STATION_CONTROL_H
