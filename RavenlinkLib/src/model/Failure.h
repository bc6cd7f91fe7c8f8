// The library's two failures, each built from the name of the operation that
// failed and the reason, which begins with ": ". Every layer raises them
// through these two, so every text has the same shape.
#ifndef RAVENLINK_FAILURE_H
#define RAVENLINK_FAILURE_H

#include <string>

namespace ravenlink {

/// Throws HALVERN::IOException "OPERATION: reason" (the link, the port, timing).
[[noreturn]] void throwIO(const char* operation, const std::string& reason);

/// Throws HALVERN::DataException "OPERATION: reason" (a reply that cannot be used).
[[noreturn]] void throwData(const char* operation, const std::string& reason);

} // namespace ravenlink

#endif // RAVENLINK_FAILURE_H
