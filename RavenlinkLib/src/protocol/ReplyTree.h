// The parsed tree of a Reply, for the protocol's own sources: the one place
// where a reply's type meets the JSON library.
#ifndef RAVENLINK_REPLY_TREE_H
#define RAVENLINK_REPLY_TREE_H

#include "ProtocolKeys.h"
#include "Reply.h"

namespace ravenlink::protocol {

struct Reply::Tree {
    json value;
};

/// The JSON value of \p reply; discarded when the text was no JSON.
inline const json& treeOf(const Reply& reply) { return reply.tree().value; }

} // namespace ravenlink::protocol

#endif // RAVENLINK_REPLY_TREE_H
