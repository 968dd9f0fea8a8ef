#include "WorkspaceTesting.h"

#include <algorithm>

namespace tavrine::test {

using namespace Qt::StringLiterals;

namespace {

// 8-unit chunks from `from` up to `to`, five to a sentence.
QList<ReadingChunk> sentenceChunks(qsizetype from, qsizetype to) {
    QList<ReadingChunk> chunks;
    for (qsizetype start = from; start < to; start += 8) {
        const qsizetype index = start / 8;
        const auto boundary = index % 5 == 4 ? ReadingChunk::Boundary::sentence : ReadingChunk::Boundary::none;
        chunks.append(chunkAt(start, std::min<qsizetype>(8, to - start), boundary, index / 5));
    }
    return chunks;
}

}  // namespace

WorkspaceFixture::WorkspaceFixture() {
    // Bounded by the reading loaded last, kept apart from the player: a held request may be answered
    // after the player is gone.
    chunks.answerWith(
        [length = m_textLength](qsizetype from) { return sentenceChunks(from, std::min(from + 400, *length)); });
}

WorkspaceFixture::~WorkspaceFixture() {
    m_workspace.reset();
}

ReaderWorkspaceController& WorkspaceFixture::makeWorkspace(ReaderEPUBPresentation* presentation,
                                                           ReaderWorkspaceClosures paste) {
    m_workspace.reset();
    ReadingPlayer& made = makePlayer();
    ReaderWorkspaceController::Closures closures{
        .onInteraction = [this] { log.append(u"interaction"_s); },
        .onSourceNavigation = [this] { log.append(u"navigation"_s); },
        .pasteText = std::move(paste.pasteText),
        .pasteFromClipboard = std::move(paste.pasteFromClipboard),
        .pastePlainText = std::move(paste.pastePlainText),
    };
    m_workspace = std::make_unique<ReaderWorkspaceController>(made, presentation, std::move(closures), &clock);
    QObject::connect(&made, &ReadingPlayer::readingChanged,
                     [this, &made] { *m_textLength = made.reading() ? made.reading()->document.text.size() : 0; });
    QObject::connect(m_workspace.get(), &ReaderWorkspaceController::releaseEditorFocusChanged,
                     [this] { log.append(u"release"_s); });
    return *m_workspace;
}

void WorkspaceFixture::appear() {
    m_workspace->appeared();
    settle();
}

void WorkspaceFixture::request(ReaderPlaybackRequest::Action action) {
    m_workspace->setPlaybackRequest(ReaderPlaybackRequest(action));
    settle();
}

ImportedReading WorkspaceFixture::imported(const QString& text, bool autoplay) const {
    return ImportedReading::fromText(text, autoplay, clock);
}

}  // namespace tavrine::test
