#pragma once

#include "ReaderUI/Workspace/ReaderDocumentContext.h"

namespace tavrine {

class ReadingPlayer;

// The document context of what a player reads, for a view owner that shows it phrase after phrase: the
// player's read-outs taken at one moment, and the cache of what depends on the reading alone (its title
// and section positions), kept from one context to the next. One per owner; main thread.
class PlayerDocumentContext {
public:
    // The read-outs of player that a context depends on; the reading pointer is valid until the player
    // changes its reading.
    static ReaderDocumentContext::PlayerState stateOf(const ReadingPlayer& player);

    ReaderDocumentContext make(const ReadingPlayer& player);

private:
    ReaderDocumentContext::Cache m_cache;
};

}  // namespace tavrine
