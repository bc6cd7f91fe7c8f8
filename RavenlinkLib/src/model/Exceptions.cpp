#include "StationErrors.h"

#include <sstream>

namespace HALVERN {

namespace {
// The message is built once and owned by the exception, so what() never
// points into a temporary.
std::string compose(const char* prefix, const char* text)
{
    std::stringstream ss;
    ss << prefix << (text != nullptr ? text : "");
    return ss.str();
}
} // namespace

IOException::IOException(const char* text) : message(compose("IO Exception: ", text)) {}
IOException::IOException(const IOException& other) : std::exception(), message(other.message) {}
IOException::~IOException() = default;
const char* IOException::what() const noexcept { return message.c_str(); }

DataException::DataException(const char* text) : message(compose("Data Stream Exception: ", text)) {}
DataException::DataException(const DataException& other) : std::exception(), message(other.message) {}
DataException::~DataException() = default;
const char* DataException::what() const noexcept { return message.c_str(); }

} // namespace HALVERN
