/*!
 * \file StationFields.h
 * \brief The members of each record, named as in its JSON form, in
 * declaration order: the one list from which the JSON writer, the flat field
 * list of a CSV log and the Python attributes are all made, so that no two of
 * them can name or order a member differently.
 *
 * RecordFields<Record>::each(f) calls f(name, member) once per member, where
 * name is a NUL-terminated text and member a pointer to the member. A member
 * that is itself a record (SystemStatus::cab, SystemDetails::swVersion) is
 * passed as it is; its own fields are RecordFields of its type. Header-only;
 * throws nothing but what f throws.
 */
#ifndef RAVENLINK_STATION_FIELDS_H
#define RAVENLINK_STATION_FIELDS_H

#include "StationRecords.h"
#include "StationVocabulary.h"

namespace ravenlink {

/*! Undescribed types: described is false, and there is no each(). */
template <typename Record>
struct RecordFields {
    static constexpr bool described = false;
};

template <>
struct RecordFields<ConfigStatus> {
    static constexpr bool described = true;
    /*! The group flags, named by the vocabulary's groups. */
    template <typename F>
    static void each(F&& f)
    {
        for (const vocab::Group& group : vocab::statusGroups) {
            f(group.jsonKey.data(), group.flag);
        }
    }
};

template <>
struct RecordFields<StatusGroups> {
    static constexpr bool described = true;
    /*! Which groups came, under the vocabulary's names. */
    template <typename F>
    static void each(F&& f)
    {
        f(vocab::cabGroup.jsonKey.data(), &StatusGroups::cab);
        f(vocab::envGroup.jsonKey.data(), &StatusGroups::env);
        f(vocab::energyGSGroup.jsonKey.data(), &StatusGroups::energyGS);
        f(vocab::energyUAVGroup.jsonKey.data(), &StatusGroups::energyUAV);
        f(vocab::sysStateGroup.jsonKey.data(), &StatusGroups::sysState);
    }
};

template <>
struct RecordFields<CableStatus> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = CableStatus;
        f("length", &R::length);
        f("speed", &R::speed);
        f("retStatus", &R::retStatus);
        f(vocab::retractionTorque.jsonKey.data(), &R::retTorque);
        f(vocab::retractionStart.jsonKey.data(), &R::retStart);
        f("tetherStatus", &R::tetherStatus);
        f("guideStatus", &R::guideStatus);
        f("reelStatus", &R::reelStatus);
    }
};

template <>
struct RecordFields<EnvStatus> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = EnvStatus;
        f("temp1", &R::temp1);
        f("temp2", &R::temp2);
        f("temp3", &R::temp3);
        f("temp4", &R::temp4);
        f("hum1", &R::hum1);
        f("press1", &R::press1);
        f("envSensor1Status", &R::envSensor1Status);
        f("envSensor2Status", &R::envSensor2Status);
        f("envSensor3Status", &R::envSensor3Status);
        f("envSensor4Status", &R::envSensor4Status);
        f("fan1Rpm", &R::fan1Rpm);
        f("fan1Status", &R::fan1Status);
        f("fan2Rpm", &R::fan2Rpm);
        f("fan2Status", &R::fan2Status);
    }
};

template <>
struct RecordFields<EnergyGSStatus> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = EnergyGSStatus;
        f("mainsU", &R::mainsU);
        f("mainsI", &R::mainsI);
        f("mainsF", &R::mainsF);
        f("mainsStatus", &R::mainsStatus);
        f("ctrlSuplStatus", &R::ctrlSuplStatus);
        f("batU", &R::batU);
        f("batStatus", &R::batStatus);
    }
};

template <>
struct RecordFields<EnergyUAVStatus> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = EnergyUAVStatus;
        f("uavSuplU", &R::uavSuplU);
        f("uavSuplI", &R::uavSuplI);
        f("uavPower", &R::uavPower);
        f("extSuplStatus", &R::extSuplStatus);
        f("uavCellCount", &R::uavCellCount);
    }
};

template <>
struct RecordFields<SysState> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = SysState;
        f("activation", &R::activation);
        f("retStatus", &R::retStatus);
        f("batStatus", &R::batStatus);
        f("systemTime", &R::systemTime);
        f("operationTime", &R::operationTime);
        f("flightTime", &R::flightTime);
        f("flightTimeOpSum", &R::flightTimeOpSum);
        f("flightCountOpSum", &R::flightCountOpSum);
        f("error", &R::error);
    }
};

template <>
struct RecordFields<SystemStatus> {
    static constexpr bool described = true;
    /*! The flags, then the groups under the vocabulary's names. */
    template <typename F>
    static void each(F&& f)
    {
        f("configStatus", &SystemStatus::configStatus);
        f(vocab::cabGroup.jsonKey.data(), &SystemStatus::cab);
        f(vocab::envGroup.jsonKey.data(), &SystemStatus::env);
        f(vocab::energyGSGroup.jsonKey.data(), &SystemStatus::energyGS);
        f(vocab::energyUAVGroup.jsonKey.data(), &SystemStatus::energyUAV);
        f(vocab::sysStateGroup.jsonKey.data(), &SystemStatus::sysState);
    }
};

template <>
struct RecordFields<SwVersions> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = SwVersions;
        f("mainCtrl", &R::mainCtrl);
        f("reelCtrl", &R::reelCtrl);
        f("lpwrCtrl", &R::lpwrCtrl);
        f("hpwrCtrl", &R::hpwrCtrl);
        f("envCtrl", &R::envCtrl);
        f("netCtrl", &R::netCtrl);
        f("bbatCtrl", &R::bbatCtrl);
    }
};

template <>
struct RecordFields<SystemDetails> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = SystemDetails;
        f("productType", &R::productType);
        f("model", &R::model);
        f("sn", &R::sn);
        f("dop", &R::dop);
        f("hwVersion", &R::hwVersion);
        f("swVersion", &R::swVersion);
        f("protocolVersion", &R::protocolVersion);
        f("uavCellVoltages", &R::uavCellVoltages);
        f("maxPower", &R::maxPower);
        f("cableType", &R::cableType);
        f("maxCableLength", &R::maxCableLength);
        f("networkType", &R::networkType);
        f("flightTimeSum", &R::flightTimeSum);
        f("flightCount", &R::flightCount);
        f("operationTimeSum", &R::operationTimeSum);
        f("operationCount", &R::operationCount);
        f("systemTimeSum", &R::systemTimeSum);
        f("systemUseCount", &R::systemUseCount);
        f("ttm", &R::ttm);
        f("maintenanceRequired", &R::maintenanceRequired);
    }
};

template <>
struct RecordFields<SystemConfig> {
    static constexpr bool described = true;
    template <typename F>
    static void each(F&& f)
    {
        using R = SystemConfig;
        f("activation", &R::activation);
        f(vocab::retractionTorque.jsonKey.data(), &R::retTorque);
        f(vocab::retractionStart.jsonKey.data(), &R::retStart);
        f("retStatus", &R::retStatus);
    }
};

} // namespace ravenlink

#endif // RAVENLINK_STATION_FIELDS_H
