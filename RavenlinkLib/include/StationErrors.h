/*!
 * \file StationErrors.h
 * \brief The two exception classes that StationLink throws. StationLink.h
 * includes this header.
 */
#ifndef RAVENLINK_STATION_ERRORS_H
#define RAVENLINK_STATION_ERRORS_H

#include "RavenlinkExport.h"

#include <exception>
#include <string>

namespace HALVERN {

/*!
 * Failure of the link itself: a port that cannot be opened or closed, no
 * connection, a failed write, no reply in time, a command that cannot get the
 * link in time. what() is "IO Exception: " followed by the operation's name
 * and the reason.
 */
class RAVENLINK_EXPORT IOException : public std::exception {
public:
    /*! \param text operation name immediately followed by ": " and the reason */
    explicit IOException(const char* text);
    IOException(const IOException& other);
    ~IOException() override;
    const char* what() const noexcept override;

private:
    std::string message;
};

/*!
 * A reply that cannot be used: a failure status from the station, malformed
 * JSON, missing groups, an undeterminable protocol version. what() is
 * "Data Stream Exception: " followed by the operation's name and the reason.
 */
class RAVENLINK_EXPORT DataException : public std::exception {
public:
    /*! \param text operation name immediately followed by ": " and the reason */
    explicit DataException(const char* text);
    DataException(const DataException& other);
    ~DataException() override;
    const char* what() const noexcept override;

private:
    std::string message;
};

} // namespace HALVERN

/* The two exception classes, also under the newer API's namespace. */
namespace ravenlink {
using HALVERN::DataException;
using HALVERN::IOException;
} // namespace ravenlink

#endif // RAVENLINK_STATION_ERRORS_H
