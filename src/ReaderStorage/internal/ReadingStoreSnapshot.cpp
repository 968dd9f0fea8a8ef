#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include "ReaderCore/Uuid.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <numeric>
#include <vector>

namespace tavrine {
namespace {

// The records of a store file, decoded on several threads at once: a large store holds megabytes of text
// in each. The list and its first failure are those of decoding the records in order.
struct ConcurrentlyDecodedRecords {
    QList<StoredReading> records;
};

Decoded<ConcurrentlyDecodedRecords> decodeJson(const JsonValue& value, const JsonPath& path,
                                               std::type_identity<ConcurrentlyDecodedRecords>) {
    if (!value.isArray()) return tl::unexpected(typeMismatch(path, u"Array", value));
    std::vector<JsonValue> elements;
    elements.reserve(static_cast<std::size_t>(value.size()));
    for (const JsonValue element : value.elements()) elements.push_back(element);
    std::vector<std::optional<Decoded<StoredReading>>> decoded(elements.size());
    std::vector<qsizetype> indices(elements.size());
    std::iota(indices.begin(), indices.end(), 0);
    QtConcurrent::blockingMap(indices, [&](qsizetype i) {
        const auto index = static_cast<std::size_t>(i);
        if (!elements[index].isNull()) {
            decoded[index] = decodeJson(elements[index], path.index(i), std::type_identity<StoredReading>{});
        }
    });
    ConcurrentlyDecodedRecords result;
    result.records.reserve(static_cast<qsizetype>(elements.size()));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!decoded[i]) return tl::unexpected(nullElement(path.index(static_cast<qsizetype>(i))));
        if (!*decoded[i]) return tl::unexpected(std::move(*decoded[i]).error());
        result.records.append(std::move(**decoded[i]));
    }
    return result;
}

// Identifiers in the order of their texts, so the same set is always the same text.
QStringList sortedIdentifiers(const QSet<QUuid>& ids) {
    QStringList texts;
    texts.reserve(ids.size());
    for (const QUuid& id : ids) texts.append(uuidString(id));
    std::sort(texts.begin(), texts.end());
    return texts;
}

}  // namespace

qsizetype ReadingStoreSnapshot::indexOf(const QUuid& id) const {
    for (qsizetype i = 0; i < documents.size(); ++i) {
        if (documents.at(i).id() == id) return i;
    }
    return -1;
}

void writeJson(JsonWriter& writer, const ReadingStoreSnapshot& snapshot) {
    JsonObjectWriter object(writer);
    object.field(u"documents", snapshot.documents)
        .field(u"historyEnabled", snapshot.historyEnabled)
        .field(u"historyLimit", snapshot.historyLimit);
    if (snapshot.tombstones) object.field(u"removedIDs", sortedIdentifiers(*snapshot.tombstones));
    object.fieldIfPresent(u"revision", snapshot.revision).field(u"version", snapshot.version);
}

Decoded<ReadingStoreSnapshot> decodeJson(const JsonValue& value, const JsonPath& path,
                                         std::type_identity<ReadingStoreSnapshot>) {
    JsonObjectDecoder decoder(value, path);
    ReadingStoreSnapshot snapshot;
    snapshot.version = decoder.required<qint64>(u"version");
    snapshot.revision = decoder.optional<QUuid>(u"revision");
    snapshot.historyEnabled = decoder.required<bool>(u"historyEnabled");
    snapshot.historyLimit = decoder.required<qint64>(u"historyLimit");
    snapshot.documents = decoder.required<ConcurrentlyDecodedRecords>(u"documents").records;
    if (auto removed = decoder.optional<QList<QUuid>>(u"removedIDs")) {
        snapshot.tombstones = QSet<QUuid>(removed->cbegin(), removed->cend());
    }
    return decoder.finish(std::move(snapshot));
}

Decoded<qint64> decodeStoreVersion(const JsonValue& value) {
    JsonObjectDecoder decoder(value, JsonPath());
    const qint64 version = decoder.required<qint64>(u"version");
    return decoder.finish(version);
}

}  // namespace tavrine
