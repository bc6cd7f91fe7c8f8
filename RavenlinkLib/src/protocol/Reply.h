// What a reply is taken for: the check that it answers the pending request
// without a failure, and the look at each arriving line that tells a reply
// to another request.
#ifndef RAVENLINK_REPLY_H
#define RAVENLINK_REPLY_H

#include <cstdint>
#include <string>

namespace ravenlink::protocol {

/// Passes a reply that is one JSON object with a "COM" block carrying
/// \p msgID (or no id) and no failure status.
/// \throw HALVERN::DataException "checkReply: ..." otherwise
void checkReply(const std::string& replyData, uint16_t msgID);

/// The message id of a reply line that is a JSON object with a "COM" block
/// (stray bytes in front allowed); 0 otherwise.
uint16_t replyId(const std::string& line);

/// True for a reply line that carries a message id (not 0) other than
/// \p pendingId.
bool answersAnother(const std::string& line, uint16_t pendingId);

} // namespace ravenlink::protocol

#endif // RAVENLINK_REPLY_H
