// What the controls call: the play/pause toggle, replay, speed steps, seeks and jumps, imported readings
// and the application's activity. Each changes the state at once; where chunks must be prepared first, a
// preparation task finishes the job, leaving the session paused and never starting playback itself.
#include "ReaderUI/Player/ReadingPlayer.h"

#include "ReaderCore/MainThread.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

using Status = ReadingSession::Status;

namespace {

// stepPosition moves by this share of the text.
constexpr double kPositionStep = 0.01;

}  // namespace

void ReadingPlayer::togglePlayback() {
    Q_ASSERT(isMainThread());
    if (m_session.status == Status::playing || m_isWaitingToPlay) {
        pause(true);
        return;
    }
    switch (m_session.status) {
    case Status::paused:
        if (m_resumesFromCursor) {
            resumeFromCursor();
        } else {
            startPlayback(true);
        }
        return;
    case Status::ready:
    case Status::completed: replay(); return;
    case Status::playing: return;
    }
}

void ReadingPlayer::replay() {
    Q_ASSERT(isMainThread());
    pause(true);
    if (m_preparedReading) {
        // The window is not paused when it comes: the session waits, ready, for the automatic start.
        prepareWindow(0, {.pausing = false, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
    } else {
        changeSession([](ReadingSession& session) { session.reset(); });
    }
    resumeFromCursor();
}

void ReadingPlayer::stepSpeed(bool faster) {
    Q_ASSERT(isMainThread());
    setBaseSeconds(m_speed.stepped(faster));
}

void ReadingPlayer::stepPosition(bool forward) {
    Q_ASSERT(isMainThread());
    qsizetype length = 0;
    if (m_sourceWindow) {
        length = m_sourceWindow->totalLength;
    } else if (m_reading) {
        length = m_reading->document.text.size();
    }
    const qsizetype span = std::max<qsizetype>(length - 1, 1);
    const qsizetype step = std::max<qsizetype>(std::llround(double(span) * kPositionStep), 1);
    const qsizetype from = currentSourceOffset();
    qsizetype target = forward ? from + step : from - step;
    // Forward always leaves the chunk on display, however long it is.
    if (forward && !m_isPreparing) {
        if (const auto chunk = m_session.currentChunk()) target = std::max(target, chunk->sourceRange.upperBound);
    }
    seekToFraction(double(std::clamp<qsizetype>(target, 0, span)) / double(span));
}

void ReadingPlayer::seekToFraction(double fraction) {
    Q_ASSERT(isMainThread());
    pause(false);
    setResumesFromCursor(false);
    if (!std::isfinite(fraction)) return;
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    if (m_preparedReading) {
        const qsizetype last = std::max<qsizetype>(m_preparedReading->length() - 1, 0);
        // Prepared again even when the offset lies inside the window shown: the window is cut around it.
        prepareWindow(std::llround(clamped * double(last)),
                      {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
        return;
    }
    const qsizetype length = m_reading ? m_reading->document.text.size() : 0;
    const qsizetype offset = std::llround(clamped * double(std::max<qsizetype>(length - 1, 0)));
    changeSession([offset](ReadingSession& session) {
        session.seekToSourceOffset(offset);
        session.forcePause();
    });
    scheduleNavigationSave();
}

void ReadingPlayer::jumpToSourceOffset(qsizetype offset, const QString& text, bool sourceEdited) {
    Q_ASSERT(isMainThread());
    if (sourceEdited) {
        // The edited text becomes a reading of its own: plain, untitled and not stored.
        load(ImportedReading::fromText(text, false, m_clock).reading, 0);
    } else {
        pause(false);
    }
    if (m_preparedReading) {
        prepareWindow(offset, {.pausing = true, .sentenceStep = std::nullopt, .whenReady = WhenReady::saveNavigation});
    } else {
        // Through playing, so that any session with chunks ends paused on the chunk holding offset.
        changeSession([offset](ReadingSession& session) {
            session.seekToSourceOffset(offset);
            session.play();
            session.pause();
        });
    }
    setResumesFromCursor(hasText());
    scheduleNavigationSave();
}

bool ReadingPlayer::navigate(const EPUBBook::Destination& destination, const QUuid& readingID) {
    Q_ASSERT(isMainThread());
    if (m_isTerminating) return false;
    if (!m_reading || m_reading->id != readingID || !m_reading->epub) return false;
    const EPUBBook::Destination::Position* position = destination.asPosition();
    if (!position) return false;
    const ReadingDocument& document = m_reading->document;
    if (!document.sections) return false;
    const auto& sections = *document.sections;
    const auto section = std::find_if(sections.cbegin(), sections.cend(), [position](const auto& candidate) {
        return candidate.id == position->sectionID;
    });
    if (section == sections.cend()) return false;
    const qsizetype offset = position->utf16Offset;
    if (offset < section->start || offset >= section->end) return false;
    if (!ReadingProgress{offset, false}.isValid(document)) return false;

    noteNavigation();
    jumpToSourceOffset(offset, document.text, false);
    return true;
}

bool ReadingPlayer::apply(const ImportedReading& imported, bool isActive) {
    Q_ASSERT(isMainThread());
    if (m_isTerminating || m_replacement.hasHandled(imported.id())) return false;
    pause(true);
    std::optional<ReplacementSnapshot> snapshot;
    if (imported.allowsReplacementUndo) snapshot = makeReplacementSnapshot();
    // Loading clears the replacement history; the snapshot taken before it is the new one.
    load(imported.reading, 0);
    m_replacement.recordImport(imported.id(), std::move(snapshot));
    const bool starts = imported.autoplay && hasText();
    setPendingAutoplay(starts);
    setIsWaitingToPlay(starts);
    scenePhaseChanged(isActive);
    return true;
}

void ReadingPlayer::scenePhaseChanged(bool isActive) {
    Q_ASSERT(isMainThread());
    if (isActive) {
        if (!m_isTerminating && m_pendingAutoplay && !m_tasks.isAutoplayPending()) scheduleAutoplay();
        return;
    }
    // A pending opening of a stored reading is dropped.
    renewSavedLoadID();
    // A start waiting for its window must not play while inactive; a preparation for a pending automatic
    // start goes on, and the start waits for the next activation. A window prepared for no start (the
    // first one of a reading just loaded) goes on too: cancelling it would leave nothing to show.
    const bool startAwaitsWindow = m_isPreparing && m_isWaitingToPlay && !m_pendingAutoplay;
    if (m_tasks.isAutoplayPending() || startAwaitsWindow || m_session.status == Status::playing) {
        pause(true);
        return;
    }
    stopPlaybackTasks(false);
    savePosition();
}

void ReadingPlayer::resumeFromCursor() {
    Q_ASSERT(isMainThread());
    if (m_isTerminating) return;
    setResumesFromCursor(false);
    const bool starts = hasText();
    setPendingAutoplay(starts);
    setIsWaitingToPlay(starts);
    scenePhaseChanged(true);
}

}  // namespace tavrine
