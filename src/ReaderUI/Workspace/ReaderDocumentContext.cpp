#include "ReaderUI/Workspace/ReaderDocumentContext.h"

#include "ReaderCore/PrintableText.h"
#include "ReaderUI/EPUBNavigationRows.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

std::optional<qsizetype> firstSectionIndex(const SavedReading& reading, const QString& sectionID) {
    if (!reading.document.sections) return std::nullopt;
    const QList<ReadingDocument::Section>& sections = *reading.document.sections;
    const auto found = std::find_if(sections.begin(), sections.end(),
                                    [&](const ReadingDocument::Section& s) { return s.id == sectionID; });
    if (found == sections.end()) return std::nullopt;
    return found - sections.begin();
}

std::optional<QString> chapterLabel(const ReaderDocumentContext::PlayerState& player,
                                    ReaderDocumentContext::Cache* cache) {
    if (!player.currentSection) return std::nullopt;
    const ReadingDocument::Section& current = *player.currentSection;
    if (current.title) {
        QString title = current.title->trimmed();
        if (!title.isEmpty()) return oneLineText(title);
    }
    // Numbered by the first section with its id; a section the document does not list counts as the first.
    std::optional<qsizetype> index;
    if (player.reading) {
        index =
            cache ? cache->sectionIndex(*player.reading, current.id) : firstSectionIndex(*player.reading, current.id);
    }
    return u"章 "_s + QString::number(index.value_or(0) + 1);
}

}  // namespace

ReaderDocumentContext ReaderDocumentContext::make(const PlayerState& player, Cache* cache) {
    ReaderDocumentContext context;
    const SavedReading* reading = player.reading;

    if (!reading) {
        context.title = ReaderDocumentIdentity::untitled();
    } else if (cache) {
        context.title = cache->title(*reading);
    } else {
        context.title = ReaderDocumentIdentity::title(*reading);
    }
    if (reading && reading->epub && !reading->epub->metadata.creators.isEmpty()) {
        context.author = EPUBNavigationRows::creatorLabel(reading->epub->metadata.creators);
    }
    context.chapter = chapterLabel(player, cache);

    int percentage = 100;
    if (player.isPreparing || player.sessionStatus != ReadingSession::Status::completed) {
        const qsizetype total =
            player.sourceWindowTotalLength.value_or(reading ? reading->document.text.size() : qsizetype(0));
        // The last unit is the end: a reader parked on it has read everything but is not done.
        const double fraction =
            static_cast<double>(player.sourceOffset) / static_cast<double>(std::max<qsizetype>(total - 1, 1));
        context.progress = std::clamp(fraction, 0.0, 1.0);
        // std::round takes halves away from zero: 0.5 % shows as 1 %.
        percentage = std::min(static_cast<int>(std::round(context.progress * 100)), kHighestUnfinishedPercentage);
    } else {
        context.progress = 1.0;
    }
    context.progressLabel = QString::number(percentage) + u'%';
    return context;
}

void ReaderDocumentContext::Cache::follow(const SavedReading& reading) {
    if (m_id == reading.id) return;
    m_id = reading.id;
    m_title.reset();
    m_sectionIndices.reset();
}

const QString& ReaderDocumentContext::Cache::title(const SavedReading& reading) {
    follow(reading);
    if (!m_title) m_title = ReaderDocumentIdentity::title(reading);
    return *m_title;
}

std::optional<qsizetype> ReaderDocumentContext::Cache::sectionIndex(const SavedReading& reading,
                                                                    const QString& sectionID) {
    follow(reading);
    if (!m_sectionIndices) {
        m_sectionIndices.emplace();
        if (reading.document.sections) {
            const QList<ReadingDocument::Section>& sections = *reading.document.sections;
            m_sectionIndices->reserve(sections.size());
            // Walked backwards, so a repeated id ends up with its first index.
            for (qsizetype i = sections.size() - 1; i >= 0; --i) m_sectionIndices->insert(sections[i].id, i);
        }
    }
    const auto found = m_sectionIndices->constFind(sectionID);
    if (found == m_sectionIndices->cend()) return std::nullopt;
    return *found;
}

}  // namespace tavrine
