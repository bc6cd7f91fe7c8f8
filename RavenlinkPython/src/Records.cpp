// The records as Python classes: read-only attributes named as the C++
// fields, to_dict() made by the library's own JSON writers (so that it is
// what `ravenlinkctl --json` prints), a repr of every field, and ==.
#include "Binding.h"

#include <StationFields.h>
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

    // An attribute for each member of the record, named and ordered as in
    // its JSON form.
    RecordClass& fields()
    {
        ravenlink::RecordFields<Record>::each([this](const char* name, auto member) { field(name, member); });
        return *this;
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

// A record class of plain fields; to_dict() is the library's JSON of it.
template <typename Record>
void bindRecord(py::module_& m, const char* name, const char* doc)
{
    RecordClass<Record>(m, name, doc).fields().finish(recordDict<Record>);
}

// The library writes a status group only inside a status, so to_dict() puts
// the group into one and takes it out again under its name.
template <typename Group>
void bindGroup(py::module_& m, const char* name, const char* doc, Group SystemStatus::*member,
               const ravenlink::vocab::Group& group)
{
    const char* const key = group.jsonKey.data();
    RecordClass<Group>(m, name, doc).fields().finish([member, key](const Group& record) {
        SystemStatus status;
        status.*member = record;
        return py::object(jsonToPython(toJson(status))[key]);
    });
}

void bindStatusGroups(py::module_& m)
{
    bindRecord<ConfigStatus>(m, "ConfigStatus",
                             "Which status groups the station delivers: 0 disabled, 1 enabled, 255 not available.");

    RecordClass<StatusGroups>(m, "StatusGroups", "Which groups of one status reply the station actually sent.")
        .fields()
        .finish([](const StatusGroups& g) {
            py::dict d;
            ravenlink::RecordFields<StatusGroups>::each(
                [&](const char* name, bool StatusGroups::*sent) { d[name] = g.*sent; });
            return py::object(std::move(d));
        });
}

void bindStatus(py::module_& m)
{
    using namespace ravenlink::vocab;
    bindGroup(m, "CableStatus", "Tether cable and reel.", &SystemStatus::cab, cabGroup);
    bindGroup(m, "EnvStatus", "Temperatures, humidity, pressure, sensors and fans.", &SystemStatus::env, envGroup);
    bindGroup(m, "EnergyGSStatus", "Mains input and ground station supplies.", &SystemStatus::energyGS,
              energyGSGroup);
    bindGroup(m, "EnergyUAVStatus", "Supply of the UAV through the tether.", &SystemStatus::energyUAV,
              energyUAVGroup);
    bindGroup(m, "SysState", "Activation, retraction, backup battery, times and error.", &SystemStatus::sysState,
              sysStateGroup);

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
        .property(cabGroup.jsonKey.data(), group(&SystemStatus::cab, &StatusGroups::cab))
        .property(envGroup.jsonKey.data(), group(&SystemStatus::env, &StatusGroups::env))
        .property(energyGSGroup.jsonKey.data(), group(&SystemStatus::energyGS, &StatusGroups::energyGS))
        .property(energyUAVGroup.jsonKey.data(), group(&SystemStatus::energyUAV, &StatusGroups::energyUAV))
        .property(sysStateGroup.jsonKey.data(), group(&SystemStatus::sysState, &StatusGroups::sysState))
        .property("delivered", [](const StatusReading& r) { return py::cast(r.delivered); })
        .finish([](const StatusReading& r) { return jsonToPython(toJson(r.status, r.delivered)); },
                [](const StatusReading& a, const StatusReading& b) {
                    return a.status == b.status && a.delivered == b.delivered;
                });
}

void bindDetails(py::module_& m)
{
    bindRecord<SwVersions>(m, "SwVersions", "Software version of each controller of the station.");
    bindRecord<SystemDetails>(m, "SystemDetails", "Identity, versions and lifetime counters of the station.");
    bindRecord<SystemConfig>(m, "SystemConfig", "Activation and cable retraction settings.");
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
