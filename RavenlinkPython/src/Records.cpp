// The records as Python classes: read-only attributes named as the C++
// fields, to_dict() made by the library's own JSON writers (so that it is
// what `ravenlinkctl --json` prints), a repr of every field, and ==.
#include "Binding.h"

#include <StationJson.h>

#include <pybind11/stl.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ravenlink_python {

namespace {

py::object fieldValue(float value) { return py::float_(toPython(value)); }
py::object fieldValue(int value) { return py::int_(value); }
py::object fieldValue(uint32_t value) { return py::int_(value); }
py::object fieldValue(bool value) { return py::bool_(value); }
py::object fieldValue(const std::string& value) { return textToPython(value); }
py::object fieldValue(const SwVersions& value) { return py::cast(value); }

// One record class; it keeps its attribute names in order for the repr.
template <typename Record>
class RecordClass {
public:
    RecordClass(py::module_& module, const char* name, const char* doc)
        : cls(module, name, doc), names(std::make_shared<std::vector<std::string>>())
    {
    }

    template <typename Value>
    RecordClass& field(const char* name, Value Record::*member)
    {
        return property(name, [member](const Record& r) { return fieldValue(r.*member); });
    }

    // An attribute that is no plain field, e.g. a group that may be None.
    RecordClass& property(const char* name, std::function<py::object(const Record&)> get)
    {
        cls.def_property_readonly(name, std::move(get));
        names->emplace_back(name);
        return *this;
    }

    /// Adds to_dict(), made by \p toDict, __repr__ and __eq__ (by \p equal).
    void finish(std::function<py::object(const Record&)> toDict,
                std::function<bool(const Record&, const Record&)> equal = std::equal_to<Record>())
    {
        cls.def("to_dict", std::move(toDict), "The record as `ravenlinkctl --json` prints it.");
        const auto fieldNames = names;
        cls.def("__repr__", [fieldNames](py::object self) {
            std::string text = py::str(py::type::handle_of(self).attr("__name__")).cast<std::string>() + "(";
            for (std::size_t i = 0; i < fieldNames->size(); ++i) {
                const std::string& name = (*fieldNames)[i];
                text += (i > 0 ? ", " : "") + name + "=" + py::repr(self.attr(name.c_str())).cast<std::string>();
            }
            return text + ")";
        });
        cls.def("__eq__", [equal](const Record& a, py::object other) {
            return py::isinstance<Record>(other) && equal(a, other.cast<const Record&>());
        });
    }

private:
    py::class_<Record> cls;
    std::shared_ptr<std::vector<std::string>> names;
};

template <typename Record>
py::object recordDict(const Record& record)
{
    return jsonToPython(toJson(record));
}

// The library writes a status group only inside a status, so the group is
// put into one and taken out again under its name.
template <typename Group>
std::function<py::object(const Group&)> groupDict(Group SystemStatus::*member, const char* key)
{
    return [member, key](const Group& group) {
        SystemStatus status;
        status.*member = group;
        return py::object(jsonToPython(toJson(status))[key]);
    };
}

void bindStatusGroups(py::module_& m)
{
    RecordClass<ConfigStatus>(m, "ConfigStatus",
                              "Which status groups the station delivers: 0 disabled, 1 enabled, 255 not available.")
        .field("cab", &ConfigStatus::cab)
        .field("env", &ConfigStatus::env)
        .field("energyGS", &ConfigStatus::energyGS)
        .field("energyUAV", &ConfigStatus::energyUAV)
        .field("sysState", &ConfigStatus::sysState)
        .finish(recordDict<ConfigStatus>);

    RecordClass<StatusGroups>(m, "StatusGroups", "Which groups of one status reply the station actually sent.")
        .field("cab", &StatusGroups::cab)
        .field("env", &StatusGroups::env)
        .field("energyGS", &StatusGroups::energyGS)
        .field("energyUAV", &StatusGroups::energyUAV)
        .field("sysState", &StatusGroups::sysState)
        .finish([](const StatusGroups& g) {
            py::dict d;
            d["cab"] = g.cab;
            d["env"] = g.env;
            d["energyGS"] = g.energyGS;
            d["energyUAV"] = g.energyUAV;
            d["sysState"] = g.sysState;
            return py::object(std::move(d));
        });
}

void bindStatus(py::module_& m)
{
    RecordClass<CableStatus>(m, "CableStatus", "Tether cable and reel.")
        .field("length", &CableStatus::length)
        .field("speed", &CableStatus::speed)
        .field("retStatus", &CableStatus::retStatus)
        .field("retTorque", &CableStatus::retTorque)
        .field("retStart", &CableStatus::retStart)
        .field("tetherStatus", &CableStatus::tetherStatus)
        .field("guideStatus", &CableStatus::guideStatus)
        .field("reelStatus", &CableStatus::reelStatus)
        .finish(groupDict(&SystemStatus::cab, "cab"));

    RecordClass<EnvStatus>(m, "EnvStatus", "Temperatures, humidity, pressure, sensors and fans.")
        .field("temp1", &EnvStatus::temp1)
        .field("temp2", &EnvStatus::temp2)
        .field("temp3", &EnvStatus::temp3)
        .field("temp4", &EnvStatus::temp4)
        .field("hum1", &EnvStatus::hum1)
        .field("press1", &EnvStatus::press1)
        .field("envSensor1Status", &EnvStatus::envSensor1Status)
        .field("envSensor2Status", &EnvStatus::envSensor2Status)
        .field("envSensor3Status", &EnvStatus::envSensor3Status)
        .field("envSensor4Status", &EnvStatus::envSensor4Status)
        .field("fan1Rpm", &EnvStatus::fan1Rpm)
        .field("fan1Status", &EnvStatus::fan1Status)
        .field("fan2Rpm", &EnvStatus::fan2Rpm)
        .field("fan2Status", &EnvStatus::fan2Status)
        .finish(groupDict(&SystemStatus::env, "env"));

    RecordClass<EnergyGSStatus>(m, "EnergyGSStatus", "Mains input and ground station supplies.")
        .field("mainsU", &EnergyGSStatus::mainsU)
        .field("mainsI", &EnergyGSStatus::mainsI)
        .field("mainsF", &EnergyGSStatus::mainsF)
        .field("mainsStatus", &EnergyGSStatus::mainsStatus)
        .field("ctrlSuplStatus", &EnergyGSStatus::ctrlSuplStatus)
        .field("batU", &EnergyGSStatus::batU)
        .field("batStatus", &EnergyGSStatus::batStatus)
        .finish(groupDict(&SystemStatus::energyGS, "energyGS"));

    RecordClass<EnergyUAVStatus>(m, "EnergyUAVStatus", "Supply of the UAV through the tether.")
        .field("uavSuplU", &EnergyUAVStatus::uavSuplU)
        .field("uavSuplI", &EnergyUAVStatus::uavSuplI)
        .field("uavPower", &EnergyUAVStatus::uavPower)
        .field("extSuplStatus", &EnergyUAVStatus::extSuplStatus)
        .field("uavCellCount", &EnergyUAVStatus::uavCellCount)
        .finish(groupDict(&SystemStatus::energyUAV, "energyUAV"));

    RecordClass<SysState>(m, "SysState", "Activation, retraction, backup battery, times and error.")
        .field("activation", &SysState::activation)
        .field("retStatus", &SysState::retStatus)
        .field("batStatus", &SysState::batStatus)
        .field("systemTime", &SysState::systemTime)
        .field("operationTime", &SysState::operationTime)
        .field("flightTime", &SysState::flightTime)
        .field("flightTimeOpSum", &SysState::flightTimeOpSum)
        .field("flightCountOpSum", &SysState::flightCountOpSum)
        .field("error", &SysState::error)
        .finish(groupDict(&SystemStatus::sysState, "sysState"));

    // A group the station did not send is None: its fields would be the
    // record defaults, which read as faults but are no reading at all.
    const auto group = [](auto SystemStatus::*member, bool StatusGroups::*sent) {
        return [member, sent](const StatusReading& r) {
            return r.delivered.*sent ? py::cast(r.status.*member) : py::none();
        };
    };
    RecordClass<StatusReading>(m, "SystemStatus",
                               "One status reading; a group the station did not send is None.")
        .property("configStatus", [](const StatusReading& r) { return py::cast(r.status.configStatus); })
        .property("cab", group(&SystemStatus::cab, &StatusGroups::cab))
        .property("env", group(&SystemStatus::env, &StatusGroups::env))
        .property("energyGS", group(&SystemStatus::energyGS, &StatusGroups::energyGS))
        .property("energyUAV", group(&SystemStatus::energyUAV, &StatusGroups::energyUAV))
        .property("sysState", group(&SystemStatus::sysState, &StatusGroups::sysState))
        .property("delivered", [](const StatusReading& r) { return py::cast(r.delivered); })
        .finish([](const StatusReading& r) { return jsonToPython(toJson(r.status, r.delivered)); },
                [](const StatusReading& a, const StatusReading& b) {
                    return a.status == b.status && a.delivered == b.delivered;
                });
}

void bindDetails(py::module_& m)
{
    RecordClass<SwVersions>(m, "SwVersions", "Software version of each controller of the station.")
        .field("mainCtrl", &SwVersions::mainCtrl)
        .field("reelCtrl", &SwVersions::reelCtrl)
        .field("lpwrCtrl", &SwVersions::lpwrCtrl)
        .field("hpwrCtrl", &SwVersions::hpwrCtrl)
        .field("envCtrl", &SwVersions::envCtrl)
        .field("netCtrl", &SwVersions::netCtrl)
        .field("bbatCtrl", &SwVersions::bbatCtrl)
        .finish(recordDict<SwVersions>);

    RecordClass<SystemDetails>(m, "SystemDetails", "Identity, versions and lifetime counters of the station.")
        .field("productType", &SystemDetails::productType)
        .field("model", &SystemDetails::model)
        .field("sn", &SystemDetails::sn)
        .field("dop", &SystemDetails::dop)
        .field("hwVersion", &SystemDetails::hwVersion)
        .field("swVersion", &SystemDetails::swVersion)
        .field("protocolVersion", &SystemDetails::protocolVersion)
        .field("uavCellVoltages", &SystemDetails::uavCellVoltages)
        .field("maxPower", &SystemDetails::maxPower)
        .field("cableType", &SystemDetails::cableType)
        .field("maxCableLength", &SystemDetails::maxCableLength)
        .field("networkType", &SystemDetails::networkType)
        .field("flightTimeSum", &SystemDetails::flightTimeSum)
        .field("flightCount", &SystemDetails::flightCount)
        .field("operationTimeSum", &SystemDetails::operationTimeSum)
        .field("operationCount", &SystemDetails::operationCount)
        .field("systemTimeSum", &SystemDetails::systemTimeSum)
        .field("systemUseCount", &SystemDetails::systemUseCount)
        .field("ttm", &SystemDetails::ttm)
        .field("maintenanceRequired", &SystemDetails::maintenanceRequired)
        .finish(recordDict<SystemDetails>);

    RecordClass<SystemConfig>(m, "SystemConfig", "Activation and cable retraction settings.")
        .field("activation", &SystemConfig::activation)
        .field("retTorque", &SystemConfig::retTorque)
        .field("retStart", &SystemConfig::retStart)
        .field("retStatus", &SystemConfig::retStatus)
        .finish(recordDict<SystemConfig>);
}

const char* severityName(const SystemFinding& finding)
{
    return finding.severity == FindingSeverity::error ? "error" : "warning";
}

std::string findingJson(const SystemFinding& finding)
{
    return std::string("{\"severity\":\"") + severityName(finding) + "\",\"text\":" + toJsonString(finding.text) + "}";
}

void bindHealth(py::module_& m)
{
    RecordClass<SystemFinding>(m, "Finding", "One thing the check found: severity \"error\" or \"warning\", and text.")
        .property("severity", [](const SystemFinding& f) { return py::object(py::str(severityName(f))); })
        .field("text", &SystemFinding::text)
        .finish([](const SystemFinding& f) { return jsonToPython(findingJson(f)); });

    RecordClass<Health>(m, "Health",
                        "What the check found: state \"ok\", \"warning\" or \"critical\", the library's severity "
                        "code (0, 128 or 1) and the findings, errors first.")
        .property("state", [](const Health& h) { return py::object(py::str(h.state)); })
        .property("severity", [](const Health& h) { return py::object(py::int_(h.severity)); })
        .property("findings", [](const Health& h) { return py::object(py::cast(h.findings)); })
        .finish([](const Health& h) { return jsonToPython(healthJson(h)); },
                [](const Health& a, const Health& b) { return a.state == b.state && a.findings == b.findings; });
}

} // namespace

std::string healthJson(const Health& health)
{
    std::string list;
    for (const SystemFinding& finding : health.findings) {
        list += (list.empty() ? "" : ",") + findingJson(finding);
    }
    return "{\"state\":\"" + health.state + "\",\"findings\":[" + list + "]}";
}

void bindRecords(py::module_& module)
{
    bindStatusGroups(module);
    bindStatus(module);
    bindDetails(module);
    bindHealth(module);
}

} // namespace ravenlink_python
