// StationLink for Python. Every call that waits on the line runs without the
// interpreter lock, so threads on other stations go on meanwhile; the line
// observer takes the lock back only to call Python.
//
// The library lets commands of several threads take turns on one link, but
// opening, closing and the timeout must not overlap a command. A lock of the
// binding keeps them apart: commands share it, open, close and the timeout
// setting hold it alone. An observer runs inside a command of its link, so
// the binding refuses what would wait for that command to end: a command,
// open, close or a new timeout of the same link, called from its observer.
#include "Binding.h"
#include "ValueRanges.h"

#include <ReportText.h>
#include <StationValues.h>
#include <SystemFindings.h>

#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravenlink_python {

namespace {

using Released = py::call_guard<py::gil_scoped_release>;

class PyStationLink;

// The links whose observer this thread is running, innermost last.
thread_local std::vector<const PyStationLink*> observedLinks;

class ObserverMark {
public:
    explicit ObserverMark(const PyStationLink* link) { observedLinks.push_back(link); }
    ~ObserverMark() { observedLinks.pop_back(); }
    ObserverMark(const ObserverMark&) = delete;
    ObserverMark& operator=(const ObserverMark&) = delete;
};

const char* directionName(LineDirection direction)
{
    switch (direction) {
    case LineDirection::request:
        return "request";
    case LineDirection::reply:
        return "reply";
    case LineDirection::dropped:
        break;
    }
    return "dropped";
}

// The observer is kept in the instance's __dict__ rather than here, so that
// Python's garbage collector sees it: an observer that refers to its own
// link would otherwise keep both alive, and the port open, for good.
constexpr const char* observerKey = "_line_observer";

class PyStationLink {
public:
    explicit PyStationLink(int timeoutMs) : timeout(timeoutMs)
    {
        link.setConnectionTimeout(timeoutMs);
        // A reply ends with the line feed that closes its object, as in
        // ravenlinkctl and the bridge: no pause after every reply.
        link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
        // Installed once, before any command: the library's observer must
        // not change while one runs, the Python callable behind it may.
        link.setLineObserver([this](LineDirection direction, const std::string& text) { onLine(direction, text); });
    }
    PyStationLink(const PyStationLink&) = delete;
    PyStationLink& operator=(const PyStationLink&) = delete;

    void open(const std::string& port)
    {
        const std::unique_lock<std::shared_mutex> alone = exclusive("open");
        try {
            link.openConnection(port);
        } catch (const std::logic_error&) {
            closeQuietly();
            throw HALVERN::DataException("openConnection: the station's protocol version is not a number");
        } catch (...) {
            // The library keeps a port open after a failed handshake and
            // would take the next open of it as done; a failed open leaves
            // the link closed, so that trying again runs the handshake again.
            closeQuietly();
            throw;
        }
    }

    void close()
    {
        const std::unique_lock<std::shared_mutex> alone = exclusive("close");
        link.closeConnection();
    }

    void setTimeout(long long ms)
    {
        const int checked = ranges::timeoutMs(ms);
        const std::unique_lock<std::shared_mutex> alone = exclusive("timeout_ms");
        link.setConnectionTimeout(checked);
        timeout = checked;
    }

    int timeoutMs() const { return timeout; }
    bool connected() { return link.isConnected(); }
    uint64_t droppedReplies() { return link.getDroppedReplyCount(); }

    /// Runs \p call on the link while no open or close can start.
    template <typename Call>
    auto command(const char* name, Call&& call)
    {
        refuseFromOwnObserver(name);
        const std::shared_lock<std::shared_mutex> shared(use);
        return call(link);
    }

    /// Needs the interpreter lock: the observer lives in \p self's __dict__.
    static void setObserver(py::object self, py::object observer)
    {
        if (!observer.is_none() && !PyCallable_Check(observer.ptr())) {
            throw py::type_error("the line observer must be callable(direction: str, text: str) or None");
        }
        PyStationLink& me = self.cast<PyStationLink&>();
        py::dict dict = self.attr("__dict__");
        dict[observerKey] = observer;
        me.hasObserver = !observer.is_none();
    }

    StationLink& library() { return link; }

private:
    std::unique_lock<std::shared_mutex> exclusive(const char* name)
    {
        refuseFromOwnObserver(name);
        return std::unique_lock<std::shared_mutex>(use);
    }

    void refuseFromOwnObserver(const char* name) const
    {
        if (std::find(observedLinks.begin(), observedLinks.end(), this) != observedLinks.end()) {
            throw std::runtime_error(std::string(name) +
                                     ": a line observer must not use its own link but for connected, "
                                     "timeout_ms and dropped_replies");
        }
    }

    void closeQuietly() noexcept
    {
        try {
            link.closeConnection();
        } catch (...) {
            // The open already failed; that failure is the one to report.
        }
    }

    // Called on the command's thread, without the interpreter lock.
    void onLine(LineDirection direction, const std::string& text)
    {
        if (!hasObserver) {
            return;
        }
        py::gil_scoped_acquire acquired;
        try {
            const py::object self = py::cast(this, py::return_value_policy::reference);
            const py::object observer = py::dict(self.attr("__dict__")).attr("get")(observerKey, py::none());
            if (observer.is_none()) {
                return;
            }
            const ObserverMark mark(this);
            observer(directionName(direction), messageToPython(text));
        } catch (py::error_already_set& e) {
            // There is no caller to hand it to: the command goes on, and
            // Python reports the failure as it does for other callbacks.
            e.discard_as_unraisable("ravenlink line observer");
        } catch (const std::exception& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
            PyErr_WriteUnraisable(nullptr);
        }
    }

    StationLink link;
    std::shared_mutex use;
    std::atomic<int> timeout;
    std::atomic<bool> hasObserver{false};
};

std::string reportText(PyStationLink& link, const StatusReading& reading)
{
    std::ostringstream report;
    link.library().printSystemStatus(reading.status, report);
    return reportToUtf8(report.str());
}

std::string reportText(PyStationLink& link, const SystemDetails& details)
{
    std::ostringstream report;
    link.library().printSystemDetails(details, report);
    return reportToUtf8(report.str());
}

// What `ravenlinkctl check` does: the findings of the delivered groups,
// maintenance included, and their severity.
Health check(StationLink& link)
{
    StatusReading reading;
    SystemDetails details;
    link.getSystemStatus(reading.status, reading.delivered);
    link.getSystemDetails(details);
    Health health;
    health.findings = findSystemFindings(reading.status, reading.delivered, details, true);
    health.severity = severityOf(health.findings);
    health.state = health.severity == SystemSeverity::error     ? "critical"
                   : health.severity == SystemSeverity::warning ? "warning"
                                                                : "ok";
    return health;
}

using Flag = std::optional<long long>;

// Changes the flags named, keeps the others; writes only when one is named.
// The arguments come in the order of the vocabulary's groups.
ConfigStatus setGroups(PyStationLink& self, const Flag& cab, const Flag& env, const Flag& energyGS,
                       const Flag& energyUAV, const Flag& sysState)
{
    const Flag* const named[5] = {&cab, &env, &energyGS, &energyUAV, &sysState};
    std::optional<int> flags[5];
    for (std::size_t i = 0; i < 5; ++i) {
        if (*named[i]) {
            flags[i] = ranges::groupFlag(ranges::vocab::statusGroups[i], **named[i]);
        }
    }
    return self.command("set_groups", [&](StationLink& link) {
        ConfigStatus groups;
        link.getSystemStatusConfig(groups);
        bool changed = false;
        for (std::size_t i = 0; i < 5; ++i) {
            if (flags[i]) {
                groups.*ranges::vocab::statusGroups[i].flag = *flags[i];
                changed = true;
            }
        }
        if (changed) {
            link.setSystemStatusConfig(groups);
        }
        return groups;
    });
}

// The command \p name that reads one record with \p read.
template <typename Record, void (StationLink::*read)(Record&)>
void bindRead(py::class_<PyStationLink>& cls, const char* name, const char* doc)
{
    cls.def(
        name,
        [name](PyStationLink& self) {
            return self.command(name, [](StationLink& link) {
                Record record{};
                (link.*read)(record);
                return record;
            });
        },
        Released(), doc);
}

void bindCommands(py::class_<PyStationLink>& cls)
{
    cls.def(
        "status",
        [](PyStationLink& self) {
            return self.command("status", [](StationLink& link) {
                StatusReading reading;
                link.getSystemStatus(reading.status, reading.delivered);
                return reading;
            });
        },
        Released(), "Reads the system status.");
    bindRead<SystemDetails, &StationLink::getSystemDetails>(cls, "details", "Reads the system details.");
    bindRead<SystemConfig, &StationLink::getSystemConfig>(cls, "config", "Reads activation and cable retraction settings.");
    bindRead<ConfigStatus, &StationLink::getSystemStatusConfig>(cls, "groups",
                                                                "Reads which status groups the station delivers.");
    cls.def(
           "activate",
           [](PyStationLink& self) { self.command("activate", [](StationLink& link) { link.setSystemActivation(true); }); },
           Released(), "Activates the system.")
        .def(
            "deactivate",
            [](PyStationLink& self) {
                self.command("deactivate", [](StationLink& link) { link.setSystemActivation(false); });
            },
            Released(), "Deactivates the system.");
}

// set_groups' keyword for a group: its JSON key, as in ConfigStatus.
py::arg_v groupArgument(std::size_t index)
{
    return py::arg(ranges::vocab::statusGroups[index].jsonKey.data()) = py::none();
}

void bindSettings(py::class_<PyStationLink>& cls)
{
    // The ranges in the words of the vocabulary, which the checks apply.
    static const std::string torqueDoc = "Sets the cable retraction torque, " +
                                         ranges::vocab::rangeText(ranges::vocab::retractionTorque) +
                                         "; returns the whole percent sent.";
    static const std::string startLengthDoc = "Sets the cable retraction start length, " +
                                              ranges::vocab::rangeText(ranges::vocab::retractionStart) +
                                              "; returns the metres sent, whole centimetres.";
    cls.def(
           "set_torque",
           [](PyStationLink& self, double percent) {
               const float checked = ranges::torque(percent);
               self.command("set_torque", [&](StationLink& link) { link.setCableRetractionTorque(checked); });
               return sentRetractionTorque(checked);
           },
           Released(), py::arg("percent"),
           torqueDoc.c_str())
        .def(
            "set_start_length",
            [](PyStationLink& self, double metres) {
                const float checked = ranges::startLength(metres);
                self.command("set_start_length", [&](StationLink& link) { link.setCableRetractionStartLength(checked); });
                return sentRetractionStartLength(checked) / 100.0;
            },
            Released(), py::arg("metres"),
            startLengthDoc.c_str())
        .def(
            "configure",
            [](PyStationLink& self, bool activation, double torque, double startLength) {
                SystemConfig config{};
                config.activation = activation;
                config.retTorque = ranges::torque(torque);
                config.retStart = ranges::startLength(startLength);
                self.command("configure", [&](StationLink& link) { link.setSystemConfig(config); });
            },
            Released(), py::kw_only(), py::arg("activation"), py::arg("torque"), py::arg("start_length"),
            "Writes activation, retraction torque and start length in one request.")
        .def("set_groups", &setGroups, Released(), py::kw_only(), groupArgument(0), groupArgument(1),
             groupArgument(2), groupArgument(3), groupArgument(4),
             "Switches the named status groups on (1) or off (0), the others keep their setting; returns the "
             "groups now set.")
        .def(
            "check", [](PyStationLink& self) { return self.command("check", check); }, Released(),
            "Reads status and details and judges them as `ravenlinkctl check` does.")
        .def(
            "status_report",
            [](PyStationLink& self, const StatusReading& status) { return reportText(self, status); },
            py::arg("status"), "The operator's status report, as `ravenlinkctl status` prints it.")
        .def(
            "details_report",
            [](PyStationLink& self, const SystemDetails& details) { return reportText(self, details); },
            py::arg("details"), "The operator's details report, as `ravenlinkctl details` prints it.");
}

} // namespace

void bindLink(py::module_& module)
{
    py::class_<PyStationLink> cls(module, "StationLink", py::dynamic_attr(),
                                  "One ground station on one serial line.");
    cls.def(py::init([](std::optional<std::string> port, long long timeoutMs) {
                auto link = std::make_unique<PyStationLink>(ranges::timeoutMs(timeoutMs));
                if (port) {
                    py::gil_scoped_release released;
                    link->open(*port);
                }
                return link;
            }),
            py::arg("port") = py::none(), py::arg("timeout_ms") = 300,
            "A link with the connection timeout timeout_ms; opens port when it is given.")
        .def("open", &PyStationLink::open, Released(), py::arg("port"),
             "Opens the port and runs the handshake; a failed open leaves the link closed.")
        .def("close", &PyStationLink::close, Released(), "Closes the port; waits for a running command to end.")
        .def("__enter__", [](py::object self) { return self; })
        .def(
            "__exit__", [](PyStationLink& self, const py::args&) { self.close(); }, Released())
        .def_property_readonly("connected", &PyStationLink::connected,
                               "True while the port is open and its device has not failed.")
        .def_property("timeout_ms", &PyStationLink::timeoutMs, &PyStationLink::setTimeout,
                      "The connection timeout in milliseconds, 1 to 3600000.")
        .def_property_readonly("dropped_replies", &PyStationLink::droppedReplies,
                               "Reply lines dropped because they carried another request's message id.")
        .def("set_line_observer", &PyStationLink::setObserver, py::arg("observer"),
             "Calls observer(direction, text) for every line on the wire (direction \"request\", \"reply\" or "
             "\"dropped\"); None removes it.");
    bindCommands(cls);
    bindSettings(cls);
}

} // namespace ravenlink_python
