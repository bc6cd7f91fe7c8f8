#include "Failure.h"

#include "StationErrors.h"

#include <sstream>

namespace ravenlink {

void throwIO(const char* operation, const std::string& reason)
{
    std::stringstream exceptionStream;
    exceptionStream << operation << reason;
    throw HALVERN::IOException(exceptionStream.str().c_str());
}

void throwData(const char* operation, const std::string& reason)
{
    std::stringstream exceptionStream;
    exceptionStream << operation << reason;
    throw HALVERN::DataException(exceptionStream.str().c_str());
}

} // namespace ravenlink
