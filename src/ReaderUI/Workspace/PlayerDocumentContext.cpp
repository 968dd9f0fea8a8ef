#include "ReaderUI/Workspace/PlayerDocumentContext.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"

namespace tavrine {

ReaderDocumentContext::PlayerState PlayerDocumentContext::stateOf(const ReadingPlayer& player) {
    const std::optional<ReadingSourceWindow>& window = player.sourceWindow();
    return ReaderDocumentContext::PlayerState{
        .reading = player.reading() ? &*player.reading() : nullptr,
        .sessionStatus = player.session().status,
        .isPreparing = player.isPreparing(),
        .sourceWindowTotalLength = window ? std::optional(window->totalLength) : std::nullopt,
        .currentSection = player.currentSection(),
        .sourceOffset = player.currentSourceOffset(),
    };
}

ReaderDocumentContext PlayerDocumentContext::make(const ReadingPlayer& player) {
    Q_ASSERT(isMainThread());
    return ReaderDocumentContext::make(stateOf(player), &m_cache);
}

}  // namespace tavrine
