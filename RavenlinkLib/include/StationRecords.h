/*!
 * \file StationRecords.h
 * \brief The records that StationLink fills and takes: status, details,
 * configuration and which status groups a reply carried. StationLink.h
 * includes this header.
 */
#ifndef RAVENLINK_STATION_RECORDS_H
#define RAVENLINK_STATION_RECORDS_H

#include "RavenlinkExport.h"

#include <cstdint>
#include <string>

/*! Which status groups the station delivers: 0 disabled, 1 enabled, 255 not available. */
struct RAVENLINK_EXPORT ConfigStatus {
    int cab = 0;
    int env = 0;
    int energyGS = 0;
    int energyUAV = 0;
    int sysState = 0;
    bool operator==(const ConfigStatus& o) const;
};

/*! Tether cable and reel ("CAB"). */
struct RAVENLINK_EXPORT CableStatus {
    float length = 0.0F;     //!< metres of cable unwound
    float speed = 0.0F;      //!< metres per second
    int retStatus = 255;     //!< cable retraction status code
    float retTorque = 0.0F;  //!< percent
    float retStart = 0.0F;   //!< metres
    int tetherStatus = 3;    //!< tether cable status code; 3 = failure detected
    int guideStatus = 255;   //!< cable guide status code
    int reelStatus = 255;    //!< cable reel status code
    bool operator==(const CableStatus& o) const;
};

/*! Temperatures, humidity, pressure, sensors and fans ("ENV"). */
struct RAVENLINK_EXPORT EnvStatus {
    float temp1 = -128.0F;
    float temp2 = -128.0F;
    float temp3 = -128.0F;
    float temp4 = -128.0F;
    float hum1 = -128.0F;  //!< percent
    float press1 = 0.0F;   //!< hPa
    int envSensor1Status = 255;
    int envSensor2Status = 255;
    int envSensor3Status = 255;
    int envSensor4Status = 255;
    int fan1Rpm = 0;
    int fan1Status = 255;
    int fan2Rpm = 0;
    int fan2Status = 255;
    bool operator==(const EnvStatus& o) const;
};

/*! Mains input and ground station supplies ("ENERGY_GS"). */
struct RAVENLINK_EXPORT EnergyGSStatus {
    float mainsU = 0.0F;  //!< volts
    float mainsI = 0.0F;  //!< amperes
    float mainsF = 0.0F;  //!< hertz
    int mainsStatus = 255;
    int ctrlSuplStatus = 255;
    float batU = 255.0F;  //!< backup battery voltage value
    int batStatus = 255;
    bool operator==(const EnergyGSStatus& o) const;
};

/*! Supply of the UAV through the tether ("ENERGY_UAV"). */
struct RAVENLINK_EXPORT EnergyUAVStatus {
    float uavSuplU = 0.0F;  //!< volts
    float uavSuplI = 0.0F;  //!< amperes
    float uavPower = 0.0F;  //!< watts, uavSuplU times uavSuplI
    int extSuplStatus = 8;  //!< 8 = supply error
    int uavCellCount = 0;   //!< UAV battery type code
    bool operator==(const EnergyUAVStatus& o) const;
};

/*! Activation, retraction, backup battery, times and error ("SYS_STATE"). */
struct RAVENLINK_EXPORT SysState {
    int activation = 0;  //!< 0 deactivated, 1 power switch, 16 remote
    int retStatus = 255;
    int batStatus = 255;
    uint32_t systemTime = 0;
    uint32_t operationTime = 0;     //!< seconds
    uint32_t flightTime = 0;        //!< seconds
    uint32_t flightTimeOpSum = 0;   //!< seconds
    uint32_t flightCountOpSum = 0;
    int error = 1;  //!< 0 no error, 1 generic error
    bool operator==(const SysState& o) const;
};

/*!
 * The live state of the station. A status that was never received reads as a
 * fault (error 1, tether status 3).
 */
struct RAVENLINK_EXPORT SystemStatus {
    ConfigStatus configStatus;
    CableStatus cab;
    EnvStatus env;
    EnergyGSStatus energyGS;
    EnergyUAVStatus energyUAV;
    SysState sysState;
    bool operator==(const SystemStatus& o) const;
};

/*! Software version of each controller of the station ("SW_VERSION"). */
struct RAVENLINK_EXPORT SwVersions {
    std::string mainCtrl;
    std::string reelCtrl;
    std::string lpwrCtrl;
    std::string hpwrCtrl;
    std::string envCtrl;
    std::string netCtrl;
    std::string bbatCtrl;
    bool operator==(const SwVersions& o) const;
};

/*! Identity, versions and lifetime counters of the station. */
struct RAVENLINK_EXPORT SystemDetails {
    std::string productType;
    std::string model;
    std::string sn;
    std::string dop;
    std::string hwVersion;
    SwVersions swVersion;
    std::string protocolVersion;
    std::string uavCellVoltages;
    int maxPower = 0;
    std::string cableType;
    int maxCableLength = 0;
    int networkType = 255;  //!< 255: no network support
    uint32_t flightTimeSum = 0;
    uint32_t flightCount = 0;
    uint32_t operationTimeSum = 0;
    uint32_t operationCount = 0;
    uint32_t systemTimeSum = 0;
    uint32_t systemUseCount = 0;
    uint32_t ttm = 0;  //!< usage time until the next maintenance
    int maintenanceRequired = 0;
    bool operator==(const SystemDetails& o) const;
};

/*!
 * Activation and cable retraction settings. Read from the station, or passed
 * in to write them; retStatus is never sent. The caller sets every field it
 * uses (the zero initialisers only keep an unset field from being garbage).
 */
struct RAVENLINK_EXPORT SystemConfig {
    bool activation{};
    float retTorque{};  //!< percent
    float retStart{};   //!< metres
    int retStatus{};
    bool operator==(const SystemConfig& o) const;
};

/*!
 * Which groups of one status reply the station actually sent. ConfigStatus
 * says which groups the station was asked to deliver; this says which came.
 * A group that did not come leaves its sub-record as it was (in a fresh
 * record, the defaults, which read as faults), so its fields are no reading.
 */
struct RAVENLINK_EXPORT StatusGroups {
    bool cab = false;
    bool env = false;
    bool energyGS = false;
    bool energyUAV = false;
    bool sysState = false;
    /*! \return every group marked delivered, for a record known to be whole */
    static StatusGroups all();
    bool operator==(const StatusGroups& o) const;
};

/*
 * The records keep their global names, which compiled programs rely on; new
 * code may name them in the namespace of the library's newer API.
 */
namespace ravenlink {
using ::CableStatus;
using ::ConfigStatus;
using ::EnergyGSStatus;
using ::EnergyUAVStatus;
using ::EnvStatus;
using ::StatusGroups;
using ::SwVersions;
using ::SysState;
using ::SystemConfig;
using ::SystemDetails;
using ::SystemStatus;
} // namespace ravenlink

#endif // RAVENLINK_STATION_RECORDS_H
