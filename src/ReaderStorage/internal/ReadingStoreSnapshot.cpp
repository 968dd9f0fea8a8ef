#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include "ReaderCore/Uuid.h"

#include <algorithm>

namespace tavrine {
namespace {

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
    snapshot.documents = decoder.required<QList<StoredReading>>(u"documents");
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
