// What the parts of the module _ravenlink share: the records that exist only
// in Python, the conversions of the library's values to Python objects, and
// the functions that bind each part.
#ifndef RAVENLINK_PYTHON_BINDING_H
#define RAVENLINK_PYTHON_BINDING_H

#include <StationLink.h>
#include <SystemFindings.h>

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace ravenlink_python {

namespace py = pybind11;

/// One status reading together with the groups the reply carried, so that
/// to_dict(), the group attributes and the findings know what is no reading.
struct StatusReading {
    SystemStatus status;
    StatusGroups delivered;
};

/// What `ravenlinkctl check` finds: the state it prints, the library's
/// severity code and the findings of the delivered groups.
struct Health {
    std::string state;  // "ok", "warning" or "critical"
    int severity = SystemSeverity::none;
    std::vector<SystemFinding> findings;
};

/// \return \p health as the JSON that `ravenlinkctl --json check` prints
std::string healthJson(const Health& health);

/// \return the float as the shortest decimal that reads back to it, the
/// number its JSON form has (0.1F is 0.1, not 0.10000000149011612); a value
/// that is not finite as it is
double toPython(float value);
/// \return \p text as str, decoded as its JSON string is (ill-formed UTF-8
/// becomes U+FFFD), so that an attribute and to_dict() never differ
py::object textToPython(const std::string& text);
/// \return json.loads(\p json)
py::object jsonToPython(const std::string& json);
/// \return \p text as str: the station's degree byte as "°", any other
/// ill-formed byte as U+FFFD; for messages and wire lines, which must reach
/// Python whatever the station sent
py::str messageToPython(const std::string& text);

void bindErrors(py::module_& module);
void bindRecords(py::module_& module);
void bindLink(py::module_& module);

} // namespace ravenlink_python

#endif // RAVENLINK_PYTHON_BINDING_H
