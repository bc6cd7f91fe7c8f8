// The extension module _ravenlink, which the package ravenlink re-exports:
// the version, the exceptions, the port list, and the parts bound in
// Records.cpp and Link.cpp.
#include "Binding.h"

#include <RavenlinkVersion.h>
#include <ReportText.h>
#include <StationJson.h>

#include <pybind11/stl.h>

#include <charconv>
#include <tuple>

namespace ravenlink_python {

namespace {

// Owned by the module for the life of the process: an exception type must
// outlive every exception raised with it, and none is ever torn down while
// the interpreter still runs.
PyObject* errorType = nullptr;
PyObject* linkErrorType = nullptr;
PyObject* dataErrorType = nullptr;

PyObject* newErrorType(py::module_& module, const char* name, const char* doc, PyObject* base)
{
    const std::string qualified = std::string("ravenlink.") + name;
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    module.add_object(name, py::handle(type));
    return type;
}

// The library's messages may quote what a station sent; the exception's
// text is made valid UTF-8, or raising it would fail with a decoding error
// instead.
void translateLibraryErrors(std::exception_ptr error)
{
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const HALVERN::IOException& e) {
        PyErr_SetObject(linkErrorType, messageToPython(e.what()).ptr());
    } catch (const HALVERN::DataException& e) {
        PyErr_SetObject(dataErrorType, messageToPython(e.what()).ptr());
    }
}

// The port list as (port, description, hardware id) triples; the package
// makes PortInfo records of them.
std::vector<std::tuple<py::object, py::object, py::object>> listPorts()
{
    std::vector<std::string> ports;
    std::vector<std::string> descriptions;
    std::vector<std::string> hardwareIds;
    {
        py::gil_scoped_release released;
        StationLink link;
        link.listPorts(ports, descriptions, hardwareIds);
    }
    std::vector<std::tuple<py::object, py::object, py::object>> list;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        list.emplace_back(textToPython(ports[i]),
                          textToPython(i < descriptions.size() ? descriptions[i] : std::string()),
                          textToPython(i < hardwareIds.size() ? hardwareIds[i] : std::string()));
    }
    return list;
}

} // namespace

double toPython(float value)
{
    const std::string text = toJsonNumber(value);
    double number = value;
    // "null" (a value that is not finite) does not parse and keeps the value.
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

py::object jsonToPython(const std::string& json)
{
    // Looked up once; never released, like the module itself.
    static py::object* const loads = new py::object(py::module_::import("json").attr("loads"));
    return (*loads)(py::str(json));
}

py::object textToPython(const std::string& text) { return jsonToPython(toJsonString(text)); }

py::str messageToPython(const std::string& text) { return py::str(reportToUtf8(text)); }

void bindErrors(py::module_& module)
{
    errorType = newErrorType(module, "Error", "Every failure of the library: a LinkError or a DataError.",
                             PyExc_Exception);
    linkErrorType = newErrorType(module, "LinkError",
                                 "The link failed: a port that cannot be opened or is busy, no connection, "
                                 "no reply in time (the library's IOException).",
                                 errorType);
    dataErrorType = newErrorType(module, "DataError",
                                 "A reply that cannot be used: a failure status of the station, malformed "
                                 "data (the library's DataException).",
                                 errorType);
    py::register_exception_translator(translateLibraryErrors);
}

} // namespace ravenlink_python

PYBIND11_MODULE(_ravenlink, module)
{
    using namespace ravenlink_python;
    module.doc() = "The Ravenlink library for Python; use it through the package ravenlink.";
    module.attr("__version__") = RAVENLINK_VERSION;
    bindErrors(module);
    bindRecords(module);
    bindLink(module);
    module.def("_list_ports", &listPorts, "The serial ports of this machine as (port, description, hardware id).");
}
