#pragma once

#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingDocument.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <variant>

namespace tavrine {

// What the EPUB importer delivers for one book: its text as a reading document together with the package
// metadata, the table of contents with resolved destinations, the hyperlinks of the text, the import
// notices and the archive path of the package document. Plain values: building or decoding one checks
// nothing; Information::isValid() decides whether the book information fits its document.
// Every position is an absolute UTF-16 offset into the document text, never relative to a section.
struct EPUBBook {
    struct Metadata {
        // The trimmed texts of the package's title, creator, language, identifier, publisher and date
        // elements in document order, empty ones left out.
        QStringList titles;
        QStringList creators;
        QStringList languages;
        QStringList identifiers;
        QStringList publishers;
        QStringList dates;
        // The identifier that the package names as its unique identifier, when there is one.
        std::optional<QString> uniqueIdentifier;

        // The first title: the library title of an imported book.
        std::optional<QString> title() const;

        bool operator==(const Metadata&) const = default;
    };

    // Why a table-of-contents entry or a link has no position in the text.
    enum class Unavailable {
        group,              // no reference: the entry only heads its children
        invalidReference,   // the reference does not resolve to a path inside the archive
        externalReference,  // the reference points outside the book
        missingResource,    // the referenced file is not in the archive
        excludedResource,   // the file is in the archive but was not rendered into the text
        missingAnchor,      // the fragment names no anchor in the rendered file
    };

    // Where an entry or a link leads: a position inside a named section, or nowhere, for a reason.
    struct Destination {
        struct Position {
            QString sectionID;
            qsizetype utf16Offset = 0;

            bool operator==(const Position&) const = default;
        };

        std::variant<Position, Unavailable> value = Unavailable::group;

        static Destination position(QString sectionID, qsizetype utf16Offset) {
            return {Position{std::move(sectionID), utf16Offset}};
        }
        static Destination unavailable(Unavailable reason) { return {reason}; }

        // The position, or null when the destination is unavailable.
        const Position* asPosition() const { return std::get_if<Position>(&value); }
        std::optional<Unavailable> unavailableReason() const;

        bool operator==(const Destination&) const = default;
    };

    // One entry of the table of contents with its nested entries. A tree can be as deep as its producer
    // made it, so destroying or comparing one never recurses along its depth.
    struct Navigation {
        // Unique within the whole tree and not empty in valid book information.
        QString id;
        QString label;
        // The link target as written in the navigation document; absent for an entry without a link.
        std::optional<QString> reference;
        Destination destination;
        QList<Navigation> children;

        Navigation() = default;
        Navigation(QString id, QString label, std::optional<QString> reference, Destination destination,
                   QList<Navigation> children = {});
        Navigation(const Navigation&) = default;
        Navigation(Navigation&&) noexcept = default;
        Navigation& operator=(const Navigation&) = default;
        Navigation& operator=(Navigation&&) noexcept = default;
        ~Navigation();

        // Field by field, children element by element: equal trees have the same shape and entries.
        bool operator==(const Navigation& other) const;
    };

    // One hyperlink of the text: the range [start, end) of its text and where it leads.
    struct Link {
        qsizetype start = 0;
        qsizetype end = 0;
        QString reference;
        Destination destination;

        bool operator==(const Link&) const = default;
    };

    // One note of what the import left out or could not resolve.
    struct Notice {
        enum class Kind {
            missingTitle,
            missingCreator,
            missingIdentifier,
            missingLanguage,
            omittedNavigation,
            omittedNonlinear,
            omittedHidden,
            rubyAnnotationOmitted,
            imagePlaceholder,
            mediaOmitted,
            unresolvedNavigation,
            tableFlattened,
        };

        Kind kind = Kind::missingTitle;
        // The archive path of the file concerned; absent when the notice concerns the whole package.
        std::optional<QString> resource;

        bool operator==(const Notice&) const = default;
    };

    // The book without its document: what a saved reading keeps of an EPUB import.
    struct Information {
        Metadata metadata;
        QList<Navigation> navigation;
        QList<Link> links;
        QList<Notice> notices;
        QString packagePath;

        // Whether this information fits document: the document is valid and has sections, its text is
        // at most kMaximumTextLength units, the package path is set, the table of contents has at most
        // kMaximumNavigationEntries entries, kMaximumNavigationDepth levels and unique non-empty ids,
        // every link range lies in the text, and every position destination lies inside the section it
        // names on a boundary that does not split a surrogate pair.
        bool isValid(const ReadingDocument& document) const;

        bool operator==(const Information&) const = default;
    };

    static constexpr qsizetype kMaximumTextLength = 500'000;
    static constexpr qsizetype kMaximumNavigationEntries = 10'000;
    static constexpr qsizetype kMaximumNavigationDepth = 100;

    // One section per rendered content document; destinations name these sections.
    ReadingDocument document;
    Metadata metadata;
    // The top-level entries of the table of contents in reading order.
    QList<Navigation> navigation;
    // In the order of the text.
    QList<Link> links;
    QList<Notice> notices;
    // The archive path of the package document that the container names.
    QString packagePath;

    Information information() const { return {metadata, navigation, links, notices, packagePath}; }

    bool operator==(const EPUBBook&) const = default;
};

// Hands every entry of a table of contents to visit in document order (each entry directly followed by
// its descendants) with its depth, 0 at the top level; stops, returning false, as soon as visit returns
// false. Walks without recursion and keeps one step per level, so any size and depth can be walked.
bool forEachNavigationEntry(const QList<EPUBBook::Navigation>& navigation,
                            const std::function<bool(const EPUBBook::Navigation&, qsizetype depth)>& visit);

template <>
struct EnumTable<EPUBBook::Unavailable> {
    using U = EPUBBook::Unavailable;
    static constexpr auto entries = std::to_array<std::pair<U, std::u16string_view>>({
        {U::group, u"group"},
        {U::invalidReference, u"invalidReference"},
        {U::externalReference, u"externalReference"},
        {U::missingResource, u"missingResource"},
        {U::excludedResource, u"excludedResource"},
        {U::missingAnchor, u"missingAnchor"},
    });
};

template <>
struct EnumTable<EPUBBook::Notice::Kind> {
    using K = EPUBBook::Notice::Kind;
    static constexpr auto entries = std::to_array<std::pair<K, std::u16string_view>>({
        {K::missingTitle, u"missingTitle"},
        {K::missingCreator, u"missingCreator"},
        {K::missingIdentifier, u"missingIdentifier"},
        {K::missingLanguage, u"missingLanguage"},
        {K::omittedNavigation, u"omittedNavigation"},
        {K::omittedNonlinear, u"omittedNonlinear"},
        {K::omittedHidden, u"omittedHidden"},
        {K::rubyAnnotationOmitted, u"rubyAnnotationOmitted"},
        {K::imagePlaceholder, u"imagePlaceholder"},
        {K::mediaOmitted, u"mediaOmitted"},
        {K::unresolvedNavigation, u"unresolvedNavigation"},
        {K::tableFlattened, u"tableFlattened"},
    });
};

void writeJson(JsonWriter& writer, const EPUBBook::Metadata& metadata);
void writeJson(JsonWriter& writer, const EPUBBook::Destination& destination);
void writeJson(JsonWriter& writer, const EPUBBook::Navigation& navigation);
void writeJson(JsonWriter& writer, const EPUBBook::Link& link);
void writeJson(JsonWriter& writer, const EPUBBook::Notice& notice);
void writeJson(JsonWriter& writer, const EPUBBook::Information& information);
void writeJson(JsonWriter& writer, const EPUBBook& book);

Decoded<EPUBBook::Metadata> decodeJson(const JsonValue& value, const JsonPath& path,
                                       std::type_identity<EPUBBook::Metadata>);
Decoded<EPUBBook::Destination> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<EPUBBook::Destination>);
Decoded<EPUBBook::Navigation> decodeJson(const JsonValue& value, const JsonPath& path,
                                         std::type_identity<EPUBBook::Navigation>);
Decoded<EPUBBook::Link> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<EPUBBook::Link>);
Decoded<EPUBBook::Notice> decodeJson(const JsonValue& value, const JsonPath& path,
                                     std::type_identity<EPUBBook::Notice>);
Decoded<EPUBBook::Information> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<EPUBBook::Information>);
Decoded<EPUBBook> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<EPUBBook>);

}  // namespace tavrine
