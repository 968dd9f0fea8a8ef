#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QtGlobal>
#include <tl/expected.hpp>

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/EPUBBook.h"
#include "ReaderCore/Json.h"

namespace tavrine {

// The one entry of the EPUB importer: the complete bytes of a book held in memory become an EPUBBook,
// under the limits below. A breach of a limit or any structural fault stops the whole import with a
// Failure; a truncated or partial book is never returned.
class EPUBReader {
public:
    // The bounds of one import. Each variable field may be tightened for a caller, never loosened beyond
    // its standard value; pathBytes is fixed.
    struct Limits {
        qint64 archiveBytes = 33'554'432;   // the whole EPUB file (32 MiB)
        qint64 entries = 4'096;             // central-directory records
        qint64 entryBytes = 8'388'608;      // one entry, declared and as extracted (8 MiB)
        qint64 expandedBytes = 67'108'864;  // all entries together, declared and as extracted (64 MiB)
        qint64 xmlBytes = 4'194'304;        // one XML document (4 MiB)
        qint64 totalXMLBytes = 16'777'216;  // all XML documents of one import (16 MiB)
        qint64 nodes = 200'000;             // element starts plus text deliveries of one import
        qint64 depth = 100;                 // element nesting in one XML document
        qint64 textUTF16 = 500'000;         // the rendered text of the whole book
        qint64 navigation = 10'000;         // navigation entries
        qint64 pathBytes = 1'024;           // the name of one archive entry

        static Limits standard() { return Limits(); }
        // Every variable field is in 1...its standard value.
        bool isValid() const;

        bool operator==(const Limits&) const = default;
    };

    // The name of an exceeded limit. graphemeUTF16 names the fixed rule that a book text longer than
    // kWholeTextLimit UTF-16 units holds no Character longer than kCharacterUTF16Limit units
    // (checkCharacterLengths in ReaderCore/Characters.h).
    enum class ResourceLimit {
        archiveBytes,
        entries,
        entryBytes,
        expandedBytes,
        xmlBytes,
        totalXMLBytes,
        nodes,
        depth,
        textUTF16,
        graphemeUTF16,
        navigation,
    };

    // The typed failure of an import. `limit` carries the exceeded limit; `cancelled` is the caller's
    // cancellation passing through unchanged (it has no message: the caller asked for it).
    struct Failure {
        enum class Kind {
            limit,
            invalidLimits,
            invalidArchive,
            unsupportedArchive,
            ambiguousPath,
            invalidXML,
            unsafeXML,
            invalidPackage,
            encrypted,
            unsupportedVersion,
            multipleRenditions,
            fixedLayout,
            unsupportedContent,
            missingResource,
            ambiguousContent,
            emptyContent,
            cancelled,
        };

        Kind kind = Kind::invalidArchive;
        // Meaningful only for Kind::limit.
        ResourceLimit resourceLimit = ResourceLimit::archiveBytes;

        static Failure limit(ResourceLimit which) { return {Kind::limit, which}; }
        static Failure of(Kind kind) { return {kind, ResourceLimit::archiveBytes}; }
        static Failure cancelled() { return of(Kind::cancelled); }

        // Equal when the kinds are, and for limits when they name the same limit.
        bool operator==(const Failure& other) const {
            return kind == other.kind && (kind != Kind::limit || resourceLimit == other.resourceLimit);
        }
    };

    template <typename T>
    using Result = tl::expected<T, Failure>;

    // One import run over the extracted files of a book (EPUBReaderOperation.h). Used inside the
    // importer and by its tests only.
    class Operation;

    explicit EPUBReader(Limits limits = Limits::standard()) : m_limits(limits) {}
    const Limits& limits() const { return m_limits; }

    // Imports a book on a worker thread and resumes the caller on its own thread. Cancelling
    // `cancellation` stops the import at its next check; a book that arrives after the caller cancelled
    // is dropped for Failure::cancelled(), while a failure the import had already met is returned as it
    // is. The coroutine holds copies of the limits and the bytes: the reader may go away meanwhile.
    QCoro::Task<Result<EPUBBook>> read(QByteArray bytes, CancellationToken cancellation) const;

    // The same import on the calling thread: the limits are checked before the bytes are looked at
    // (invalidLimits), then the archive is read and the book assembled, `cancellation` being checked at
    // every step of the way.
    Result<EPUBBook> readSynchronously(const QByteArray& bytes, const CancellationToken& cancellation) const;

private:
    Limits m_limits;
};

template <>
struct EnumTable<EPUBReader::Failure::Kind> {
    using K = EPUBReader::Failure::Kind;
    static constexpr auto entries = std::to_array<std::pair<K, std::u16string_view>>({
        {K::limit, u"limit"},
        {K::invalidLimits, u"invalidLimits"},
        {K::invalidArchive, u"invalidArchive"},
        {K::unsupportedArchive, u"unsupportedArchive"},
        {K::ambiguousPath, u"ambiguousPath"},
        {K::invalidXML, u"invalidXML"},
        {K::unsafeXML, u"unsafeXML"},
        {K::invalidPackage, u"invalidPackage"},
        {K::encrypted, u"encrypted"},
        {K::unsupportedVersion, u"unsupportedVersion"},
        {K::multipleRenditions, u"multipleRenditions"},
        {K::fixedLayout, u"fixedLayout"},
        {K::unsupportedContent, u"unsupportedContent"},
        {K::missingResource, u"missingResource"},
        {K::ambiguousContent, u"ambiguousContent"},
        {K::emptyContent, u"emptyContent"},
        {K::cancelled, u"cancelled"},
    });
};

template <>
struct EnumTable<EPUBReader::ResourceLimit> {
    using L = EPUBReader::ResourceLimit;
    static constexpr auto entries = std::to_array<std::pair<L, std::u16string_view>>({
        {L::archiveBytes, u"archiveBytes"},
        {L::entries, u"entries"},
        {L::entryBytes, u"entryBytes"},
        {L::expandedBytes, u"expandedBytes"},
        {L::xmlBytes, u"xmlBytes"},
        {L::totalXMLBytes, u"totalXMLBytes"},
        {L::nodes, u"nodes"},
        {L::depth, u"depth"},
        {L::textUTF16, u"textUTF16"},
        {L::graphemeUTF16, u"graphemeUTF16"},
        {L::navigation, u"navigation"},
    });
};

// A failed result of the given kind, for the importer's stages: `return failWith(Kind::invalidPackage);`.
inline tl::unexpected<EPUBReader::Failure> failWith(EPUBReader::Failure::Kind kind) {
    return tl::unexpected(EPUBReader::Failure::of(kind));
}

// The case name of a failure ("invalidArchive"; a limit as "limit(entries)"), for diagnostics and tools.
QString failureName(const EPUBReader::Failure& failure);

}  // namespace tavrine
