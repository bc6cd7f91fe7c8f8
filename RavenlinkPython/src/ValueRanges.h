// The values a setting may take, checked before anything is sent: the
// ranges of the station vocabulary, which ravenlinkctl and the bridge take
// too, refused in its words under the name of the Python argument.
#ifndef RAVENLINK_PYTHON_VALUE_RANGES_H
#define RAVENLINK_PYTHON_VALUE_RANGES_H

#include <StationVocabulary.h>

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

namespace ravenlink_python::ranges {

namespace vocab = ravenlink::vocab;

/// \return \p value as the float that is sent
/// \throw pybind11::value_error "ARGUMENT must be " and the setting's range in words (rangeText)
inline float checked(const vocab::Setting& setting, const char* argument, double value)
{
    const std::optional<float> accepted = vocab::accept(setting, value);
    if (!accepted) {
        throw pybind11::value_error(std::string(argument) + " must be " + vocab::rangeText(setting));
    }
    return *accepted;
}

inline int timeoutMs(long long ms)
{
    return static_cast<int>(checked(vocab::connectionTimeout, "timeout_ms", static_cast<double>(ms)));
}

inline float torque(double percent) { return checked(vocab::retractionTorque, "torque", percent); }

inline float startLength(double metres) { return checked(vocab::retractionStart, "start_length", metres); }

/// \param group the group, whose JSON key names the argument
inline int groupFlag(const vocab::Group& group, long long flag)
{
    if (flag != 0 && flag != 1) {
        throw pybind11::value_error("groups: " + std::string(group.jsonKey) + " must be 0 or 1");
    }
    return static_cast<int>(flag);
}

} // namespace ravenlink_python::ranges

#endif // RAVENLINK_PYTHON_VALUE_RANGES_H
