// What a reply is taken for: the check that it answers the pending request
// without a failure, and the look at each arriving line that tells a reply
// to another request.
#ifndef RAVENLINK_REPLY_H
#define RAVENLINK_REPLY_H

#include <cstdint>
#include <memory>
#include <string>

namespace ravenlink::protocol {

/// One reply text and its one parse: the reply check and the decoder read
/// the same tree, so a reply is parsed once on its way to a record.
class Reply {
public:
    /// Parses \p text strictly (one value, no comments); a text that is no
    /// JSON gives a reply that is not wellFormed(). Throws nothing but
    /// std::bad_alloc.
    explicit Reply(std::string text);
    ~Reply();
    Reply(Reply&&) noexcept;
    Reply& operator=(Reply&&) noexcept;

    const std::string& text() const { return replyText; }
    bool wellFormed() const;

    /// The parsed text; defined in ReplyTree.h, for the protocol's sources.
    struct Tree;
    const Tree& tree() const { return *parsed; }

private:
    std::string replyText;
    std::unique_ptr<Tree> parsed;
};

/// Passes a reply that is one JSON object with a "COM" block carrying
/// \p msgID (or no id) and no failure status.
/// \throw HALVERN::DataException "checkReply: ..." otherwise
void checkReply(const Reply& reply, uint16_t msgID);
/// As above, for a text not parsed yet.
void checkReply(const std::string& replyData, uint16_t msgID);

/// The message id of a reply line that is a JSON object with a "COM" block
/// (stray bytes in front allowed); 0 otherwise.
uint16_t replyId(const std::string& line);

/// True for a reply line that carries a message id (not 0) other than
/// \p pendingId.
bool answersAnother(const std::string& line, uint16_t pendingId);

} // namespace ravenlink::protocol

#endif // RAVENLINK_REPLY_H
