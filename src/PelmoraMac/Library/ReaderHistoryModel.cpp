#include "PelmoraMac/Library/ReaderHistoryModel.h"

#include "ReaderUI/Library/ReadingLibrarySearch.h"

namespace tavrine {

ReaderHistoryModel::ReaderHistoryModel(int historyLimit, std::unique_ptr<ReadingLibrarySearch> search,
                                       MacReadingPlayback& playback, std::function<void()> onReadingAction)
    : m_search(std::move(search)), m_playback(playback), m_onReadingAction(std::move(onReadingAction)) {
    Q_UNUSED(historyLimit);
}

ReaderHistoryModel::~ReaderHistoryModel() = default;

}  // namespace tavrine
