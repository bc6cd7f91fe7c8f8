// The values a setting may take, checked before anything is sent. They are
// the ranges ravenlinkctl accepts and say the same words, kept here in one
// place so that every front end can share one table later.
#ifndef RAVENLINK_PYTHON_VALUE_RANGES_H
#define RAVENLINK_PYTHON_VALUE_RANGES_H

#include <pybind11/pybind11.h>

#include <string>

namespace ravenlink_python::ranges {

// Connection timeout, whole milliseconds.
constexpr long long timeoutLowMs = 1;
constexpr long long timeoutHighMs = 3600000;
// Cable retraction torque, percent.
constexpr double torqueLow = 0.0;
constexpr double torqueHigh = 100.0;
// Cable retraction start length, metres: at least the float 0.3F, compared
// as the float that is sent, so that 0.3 itself is accepted.
constexpr float startLengthLow = 0.3F;
constexpr double startLengthHigh = 1e30;

inline int timeoutMs(long long ms)
{
    if (ms < timeoutLowMs || ms > timeoutHighMs) {
        throw pybind11::value_error("timeout_ms must be a whole number from 1 to 3600000");
    }
    return static_cast<int>(ms);
}

inline float torque(double percent)
{
    // Written so that nan fails as well.
    if (!(percent >= torqueLow && percent <= torqueHigh)) {
        throw pybind11::value_error("torque must be a number from 0 to 100");
    }
    return static_cast<float>(percent);
}

inline float startLength(double metres)
{
    if (!(metres >= 0.0 && metres <= startLengthHigh) || static_cast<float>(metres) < startLengthLow) {
        throw pybind11::value_error("start_length must be a number of at least 0.3");
    }
    return static_cast<float>(metres);
}

/// \param name the group's name, e.g. "energyGS"
inline int groupFlag(const char* name, long long flag)
{
    if (flag != 0 && flag != 1) {
        throw pybind11::value_error(std::string("groups: ") + name + " must be 0 or 1");
    }
    return static_cast<int>(flag);
}

} // namespace ravenlink_python::ranges

#endif // RAVENLINK_PYTHON_VALUE_RANGES_H
