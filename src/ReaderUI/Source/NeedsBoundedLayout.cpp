#include "ReaderUI/Source/NeedsBoundedLayout.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/Paragraphs.h"
#include "ReaderCore/ReadingSourceWindow.h"

namespace tavrine {

bool needsBoundedLayout(const QString& text, const QList<ReadingDocument::Span>& spans) {
    if (text.size() <= kWholeTextLimit) return false;
    bool hasTable = false;
    for (const ReadingDocument::Span& span : spans) {
        if (span.kind != ReadingDocument::Span::Kind::table) continue;
        hasTable = true;
        if (span.end - span.start > kBoundedLayoutBlockLimit) return true;
    }
    if (!hasTable) return true;
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype end = paragraphEnd(text, start);
        if (end - start > kBoundedLayoutBlockLimit) return true;
        start = end;
    }
    return false;
}

}  // namespace tavrine
