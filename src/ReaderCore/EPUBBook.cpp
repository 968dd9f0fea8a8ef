#include "ReaderCore/EPUBBook.h"

#include <utility>
#include <vector>

namespace tavrine {
namespace {

constexpr QStringView kPositionCase = u"position";
constexpr QStringView kUnavailableCase = u"unavailable";

}  // namespace

std::optional<QString> EPUBBook::Metadata::title() const {
    if (titles.isEmpty()) return std::nullopt;
    return titles.first();
}

std::optional<EPUBBook::Unavailable> EPUBBook::Destination::unavailableReason() const {
    if (const auto* reason = std::get_if<Unavailable>(&value)) return *reason;
    return std::nullopt;
}

EPUBBook::Navigation::Navigation(QString id, QString label, std::optional<QString> reference, Destination destination,
                                 QList<Navigation> children)
    : id(std::move(id)),
      label(std::move(label)),
      reference(std::move(reference)),
      destination(std::move(destination)),
      children(std::move(children)) {}

EPUBBook::Navigation::~Navigation() {
    // A list shared with another copy is only released here: its entries live on in that copy. A list
    // this entry owns alone is taken apart level by level, so no destructor below runs with children of
    // its own to destroy.
    if (children.isEmpty() || !children.isDetached()) return;
    std::vector<QList<Navigation>> pending;
    pending.push_back(std::move(children));
    while (!pending.empty()) {
        QList<Navigation> level = std::move(pending.back());
        pending.pop_back();
        for (Navigation& child : level) {
            if (!child.children.isEmpty() && child.children.isDetached()) pending.push_back(std::move(child.children));
        }
    }
}

bool EPUBBook::Navigation::operator==(const Navigation& other) const {
    std::vector<std::pair<const Navigation*, const Navigation*>> pending{{this, &other}};
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        if (left->id != right->id || left->label != right->label || left->reference != right->reference ||
            left->destination != right->destination) {
            return false;
        }
        // Copies share their children until written, so most comparisons end here.
        if (left->children.isSharedWith(right->children)) continue;
        if (left->children.size() != right->children.size()) return false;
        for (qsizetype i = left->children.size() - 1; i >= 0; --i) {
            pending.emplace_back(&left->children[i], &right->children[i]);
        }
    }
    return true;
}

bool forEachNavigationEntry(const QList<EPUBBook::Navigation>& navigation,
                            const std::function<bool(const EPUBBook::Navigation&, qsizetype depth)>& visit) {
    // One step per level: the list walked at that level and the index of its next entry.
    std::vector<std::pair<const QList<EPUBBook::Navigation>*, qsizetype>> levels{{&navigation, 0}};
    while (!levels.empty()) {
        auto& [list, next] = levels.back();
        if (next == list->size()) {
            levels.pop_back();
            continue;
        }
        const EPUBBook::Navigation& entry = list->at(next++);
        if (!visit(entry, static_cast<qsizetype>(levels.size()) - 1)) return false;
        if (!entry.children.isEmpty()) levels.emplace_back(&entry.children, 0);
    }
    return true;
}

void writeJson(JsonWriter& writer, const EPUBBook::Metadata& metadata) {
    JsonObjectWriter(writer)
        .field(u"creators", metadata.creators)
        .field(u"dates", metadata.dates)
        .field(u"identifiers", metadata.identifiers)
        .field(u"languages", metadata.languages)
        .field(u"publishers", metadata.publishers)
        .field(u"titles", metadata.titles)
        .fieldIfPresent(u"uniqueIdentifier", metadata.uniqueIdentifier);
}

void writeJson(JsonWriter& writer, const EPUBBook::Destination& destination) {
    if (const auto* position = destination.asPosition()) {
        JsonCaseWriter destinationCase(writer, kPositionCase);
        JsonObjectWriter(writer).field(u"sectionID", position->sectionID).field(u"utf16Offset", position->utf16Offset);
        return;
    }
    JsonCaseWriter destinationCase(writer, kUnavailableCase);
    JsonObjectWriter(writer).field(kUnlabelledPayloadKey, *destination.unavailableReason());
}

void writeJson(JsonWriter& writer, const EPUBBook::Navigation& navigation) {
    JsonObjectWriter(writer)
        .field(u"children", navigation.children)
        .field(u"destination", navigation.destination)
        .field(u"id", navigation.id)
        .field(u"label", navigation.label)
        .fieldIfPresent(u"reference", navigation.reference);
}

void writeJson(JsonWriter& writer, const EPUBBook::Link& link) {
    JsonObjectWriter(writer)
        .field(u"destination", link.destination)
        .field(u"end", link.end)
        .field(u"reference", link.reference)
        .field(u"start", link.start);
}

void writeJson(JsonWriter& writer, const EPUBBook::Notice& notice) {
    JsonObjectWriter(writer).field(u"kind", notice.kind).fieldIfPresent(u"resource", notice.resource);
}

namespace {

// The fields that a book and its information share, in key order (a book's "document" comes before them).
void writeInformationFields(JsonObjectWriter& object, const EPUBBook::Information& information) {
    object.field(u"links", information.links)
        .field(u"metadata", information.metadata)
        .field(u"navigation", information.navigation)
        .field(u"notices", information.notices)
        .field(u"packagePath", information.packagePath);
}

}  // namespace

void writeJson(JsonWriter& writer, const EPUBBook::Information& information) {
    JsonObjectWriter object(writer);
    writeInformationFields(object, information);
}

void writeJson(JsonWriter& writer, const EPUBBook& book) {
    JsonObjectWriter object(writer);
    object.field(u"document", book.document);
    writeInformationFields(object, book.information());
}

Decoded<EPUBBook::Metadata> decodeJson(const JsonValue& value, const JsonPath& path,
                                       std::type_identity<EPUBBook::Metadata>) {
    JsonObjectDecoder decoder(value, path);
    EPUBBook::Metadata metadata;
    metadata.titles = decoder.required<QStringList>(u"titles");
    metadata.creators = decoder.required<QStringList>(u"creators");
    metadata.languages = decoder.required<QStringList>(u"languages");
    metadata.identifiers = decoder.required<QStringList>(u"identifiers");
    metadata.publishers = decoder.required<QStringList>(u"publishers");
    metadata.dates = decoder.required<QStringList>(u"dates");
    metadata.uniqueIdentifier = decoder.optional<QString>(u"uniqueIdentifier");
    return decoder.finish(std::move(metadata));
}

Decoded<EPUBBook::Destination> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<EPUBBook::Destination>) {
    auto found = decodeJsonCase(value, path, {kPositionCase, kUnavailableCase});
    if (!found) return tl::unexpected(std::move(found).error());
    JsonObjectDecoder payload(found->payload, found->payloadPath);
    if (found->index == 0) {
        auto sectionID = payload.required<QString>(u"sectionID");
        const auto offset = payload.required<qsizetype>(u"utf16Offset");
        return payload.finish(EPUBBook::Destination::position(std::move(sectionID), offset));
    }
    const auto reason = payload.required<EPUBBook::Unavailable>(kUnlabelledPayloadKey);
    return payload.finish(EPUBBook::Destination::unavailable(reason));
}

Decoded<EPUBBook::Navigation> decodeJson(const JsonValue& value, const JsonPath& path,
                                         std::type_identity<EPUBBook::Navigation>) {
    // Recursion here is bounded by the nesting limit of the JSON parser.
    JsonObjectDecoder decoder(value, path);
    EPUBBook::Navigation navigation;
    navigation.id = decoder.required<QString>(u"id");
    navigation.label = decoder.required<QString>(u"label");
    navigation.reference = decoder.optional<QString>(u"reference");
    navigation.destination = decoder.required<EPUBBook::Destination>(u"destination");
    navigation.children = decoder.required<QList<EPUBBook::Navigation>>(u"children");
    return decoder.finish(std::move(navigation));
}

Decoded<EPUBBook::Link> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<EPUBBook::Link>) {
    JsonObjectDecoder decoder(value, path);
    EPUBBook::Link link;
    link.start = decoder.required<qsizetype>(u"start");
    link.end = decoder.required<qsizetype>(u"end");
    link.reference = decoder.required<QString>(u"reference");
    link.destination = decoder.required<EPUBBook::Destination>(u"destination");
    return decoder.finish(std::move(link));
}

Decoded<EPUBBook::Notice> decodeJson(const JsonValue& value, const JsonPath& path,
                                     std::type_identity<EPUBBook::Notice>) {
    JsonObjectDecoder decoder(value, path);
    EPUBBook::Notice notice;
    notice.kind = decoder.required<EPUBBook::Notice::Kind>(u"kind");
    notice.resource = decoder.optional<QString>(u"resource");
    return decoder.finish(std::move(notice));
}

namespace {

// The fields that a book and its information share, read from one object.
EPUBBook::Information decodeInformationFields(JsonObjectDecoder& decoder) {
    EPUBBook::Information information;
    information.metadata = decoder.required<EPUBBook::Metadata>(u"metadata");
    information.navigation = decoder.required<QList<EPUBBook::Navigation>>(u"navigation");
    information.links = decoder.required<QList<EPUBBook::Link>>(u"links");
    information.notices = decoder.required<QList<EPUBBook::Notice>>(u"notices");
    information.packagePath = decoder.required<QString>(u"packagePath");
    return information;
}

}  // namespace

Decoded<EPUBBook::Information> decodeJson(const JsonValue& value, const JsonPath& path,
                                          std::type_identity<EPUBBook::Information>) {
    JsonObjectDecoder decoder(value, path);
    EPUBBook::Information information = decodeInformationFields(decoder);
    return decoder.finish(std::move(information));
}

Decoded<EPUBBook> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<EPUBBook>) {
    JsonObjectDecoder decoder(value, path);
    EPUBBook book;
    book.document = decoder.required<ReadingDocument>(u"document");
    EPUBBook::Information information = decodeInformationFields(decoder);
    book.metadata = std::move(information.metadata);
    book.navigation = std::move(information.navigation);
    book.links = std::move(information.links);
    book.notices = std::move(information.notices);
    book.packagePath = std::move(information.packagePath);
    return decoder.finish(std::move(book));
}

}  // namespace tavrine
