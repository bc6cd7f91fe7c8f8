// The C++ half of bench/python_status_cost.py, as a Python extension of its
// own: the status call exactly as the Python package makes it (complete-
// object reply end, delivered groups), timed one by one in a C++ loop. It
// runs in the benchmark's own process and thread, so that both halves share
// one process, one core and one scheduling history.
//
//   ravenlink_bench.status_times(port, count, timeout_ms)
//       -> (times in microseconds, thread CPU microseconds per call)
#include <StationLink.h>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <time.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace {

double threadCpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

std::pair<std::vector<double>, double> statusTimes(const std::string& port, int count, int timeoutMs)
{
    StationLink link;
    link.setConnectionTimeout(timeoutMs);
    link.setReplyEnd(ReplyEnd::quietLine | ReplyEnd::completeObject);
    link.openConnection(port);
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(count));
    const double cpuStart = threadCpuUs();
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        SystemStatus status;
        StatusGroups delivered;
        link.getSystemStatus(status, delivered);
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    const double cpu = (threadCpuUs() - cpuStart) / count;
    link.closeConnection();
    return {times, cpu};
}

} // namespace

PYBIND11_MODULE(ravenlink_bench, module)
{
    // A failure ends the benchmark with the library's text (RuntimeError).
    pybind11::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const HALVERN::IOException& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        } catch (const HALVERN::DataException& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        }
    });
    module.def("status_times", &statusTimes, pybind11::call_guard<pybind11::gil_scoped_release>(),
               pybind11::arg("port"), pybind11::arg("count"), pybind11::arg("timeout_ms"));
}
