#include "ReaderUI/Workspace/ReaderDocumentContext.h"

#include "ReaderUI/EPUBNavigationRows.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

std::optional<QString> chapterLabel(const ReaderDocumentContext::PlayerState& player) {
    if (!player.currentSection) return std::nullopt;
    const ReadingDocument::Section& current = *player.currentSection;
    if (current.title) {
        QString title = current.title->trimmed();
        if (!title.isEmpty()) return title;
    }
    // Numbered by the first section with its id; a section the document does not list counts as the first.
    qsizetype index = 0;
    if (player.reading && player.reading->document.sections) {
        const QList<ReadingDocument::Section>& sections = *player.reading->document.sections;
        const auto found = std::find_if(sections.begin(), sections.end(),
                                        [&](const ReadingDocument::Section& s) { return s.id == current.id; });
        if (found != sections.end()) index = found - sections.begin();
    }
    return u"章 "_s + QString::number(index + 1);
}

}  // namespace

ReaderDocumentContext ReaderDocumentContext::make(const PlayerState& player, ReaderDocumentIdentity::Cache* titles) {
    ReaderDocumentContext context;
    const SavedReading* reading = player.reading;

    if (!reading) {
        context.title = ReaderDocumentIdentity::untitled();
    } else if (titles) {
        context.title = titles->title(*reading);
    } else {
        context.title = ReaderDocumentIdentity::title(*reading);
    }
    if (reading && reading->epub && !reading->epub->metadata.creators.isEmpty()) {
        context.author = EPUBNavigationRows::creatorLabel(reading->epub->metadata.creators);
    }
    context.chapter = chapterLabel(player);

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

}  // namespace tavrine
