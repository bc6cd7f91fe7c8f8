/*!
 * \file StationReadings.h
 * \brief Whether a measurement in a status holds a value: the one rule that
 * the status report, the monitoring perfdata of ravenlinkctl and the metrics
 * of ravenlink-bridge all follow.
 *
 * A field of a status record always holds a number, but the station sends a
 * meaningless one for a sensor that failed or a part it does not have; the
 * part's status code says which. A caller that also knows which groups were
 * delivered (StationLink::getSystemStatus with StatusGroups) treats a field
 * of a group that did not come as Presence::absent.
 */
#ifndef RAVENLINK_STATION_READINGS_H
#define RAVENLINK_STATION_READINGS_H

#include "RavenlinkExport.h"
#include "StationRecords.h"

#include <string>
#include <string_view>
#include <vector>

namespace ravenlink {

/*! What a measurement's status code says of its value. */
enum class Presence {
    value,   //!< the part reports a value
    failed,  //!< the part is fitted but failed: the field is no measurement
    absent,  //!< the station has no such part (or, for a caller, the group did not come)
};

/*!
 * Temperature \p sensor (1 to 4) of \p env. Sensor 1 measures the system
 * board and is always fitted, so any code but 0 is a failure; sensors 2 to 4
 * report 255 when not fitted. Another \p sensor number is absent.
 */
RAVENLINK_EXPORT Presence temperaturePresence(const EnvStatus& env, int sensor);

/*! Humidity and pressure, which sensor 1 measures: as its temperature. */
RAVENLINK_EXPORT Presence climatePresence(const EnvStatus& env);

/*!
 * The speed of fan \p fan (1 or 2): 0 runs, 1 failed, any other code is a
 * fan the station does not have. Another \p fan number is absent.
 */
RAVENLINK_EXPORT Presence fanPresence(const EnvStatus& env, int fan);

/*! Mains voltage, current and frequency: absent at mains status 255, a value otherwise. */
RAVENLINK_EXPORT Presence mainsPresence(const EnergyGSStatus& energyGS);

/*! The backup battery's charge: failed at battery status 127, absent at 255. */
RAVENLINK_EXPORT Presence batteryPresence(const EnergyGSStatus& energyGS);

/*!
 * The same rules by field: whether the field at \p path of \p status (its
 * dotted JSON path, as toJsonFields names it: "env.temp2") holds a value,
 * when \p delivered says which groups came. A field of a group that did not
 * come, or a path that names no field, is absent; a field that no part's
 * code governs (a status code, a counter, the cable length) is a value.
 * Throws nothing but std::bad_alloc.
 */
RAVENLINK_EXPORT Presence presenceAt(const SystemStatus& status, const StatusGroups& delivered,
                                     std::string_view path);

/*!
 * The paths of the fields of the delivered groups of \p status that hold no
 * value (a failed part's or a missing part's measurement), in the order of
 * the records; empty when every delivered measurement was made. Throws
 * nothing but std::bad_alloc.
 */
RAVENLINK_EXPORT std::vector<std::string> fieldsWithoutValue(const SystemStatus& status,
                                                             const StatusGroups& delivered);

} // namespace ravenlink

#endif // RAVENLINK_STATION_READINGS_H
