#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/EPUBBook.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBArchive.h"
#include "ReaderEPUB/internal/EPUBRendered.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <vector>

namespace tavrine {

// The book text as its content documents are laid end to end, in spine order, one section per
// document, with nothing between them; and the resolution of a reference into a position of that text.
// Belongs to one import run and its thread.
class EPUBBookAssembly {
public:
    // What the book keeps of one rendered content document once its text and spans are in the book:
    // where it begins, and what references into it and out of it need.
    struct Document {
        QString path;       // its archive path
        QString sectionID;  // the package path, "#" and the itemref's idref
        qsizetype start = 0;
        QHash<QString, qsizetype> anchors;  // relative to start
        QList<EPUBRendered::Link> links;    // relative to start
    };

    // The UTF-16 length of the text so far: what is left of the book's text limit is the limit minus it.
    qsizetype length() const { return m_text.size(); }
    bool isEmpty() const { return m_documents.empty(); }

    // Appends a rendered document: its text at the end of the book, its section, and its spans moved by
    // the document's start.
    void append(const QString& path, QString sectionID, EPUBRendered rendered);

    // The rendered document at an archive path, or null when that file was not rendered.
    const Document* document(const QString& path) const;

    // The book's reading document. A long text may hold no overlong Character (checkCharacterLengths:
    // limit(graphemeUTF16)); the cancellation token is checked before each Character.
    // A document the reading model does not accept (a section that starts inside a composed character
    // sequence, say, because a document begins with a combining mark) is ambiguousContent.
    EPUBReader::Result<ReadingDocument> readingDocument(const CancellationToken& cancellation) const;

    // Where a reference that the file at `referringPath` makes leads in the book: a position at the
    // start of a rendered document or at one of its anchors, or the reason it leads nowhere. `files` is
    // the archive, to tell a missing file from one that was not rendered. Never fails.
    EPUBBook::Destination destination(QStringView reference, QStringView referringPath,
                                      const EPUBArchiveFiles& files) const;

    // The hyperlinks of every document, in text order, with their destinations. A link that leads
    // nowhere is kept, with its reason.
    QList<EPUBBook::Link> links(const EPUBArchiveFiles& files) const;

private:
    QString m_text;
    QList<ReadingDocument::Section> m_sections;
    QList<ReadingDocument::Span> m_spans;
    std::vector<Document> m_documents;
    QHash<QString, qsizetype> m_indexByPath;
};

}  // namespace tavrine
