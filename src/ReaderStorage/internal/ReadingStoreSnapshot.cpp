#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include "ReaderCore/Uuid.h"

#include <algorithm>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

QJsonArray identifierArray(const QSet<QUuid>& ids) {
    QStringList texts;
    texts.reserve(ids.size());
    for (const QUuid& id : ids) texts.append(uuidString(id));
    std::sort(texts.begin(), texts.end());
    return QJsonArray::fromStringList(texts);
}

}  // namespace

qsizetype ReadingStoreSnapshot::indexOf(const QUuid& id) const {
    for (qsizetype i = 0; i < documents.size(); ++i) {
        if (documents.at(i).id() == id) return i;
    }
    return -1;
}

QJsonValue toJson(const ReadingStoreSnapshot& snapshot) {
    QJsonObject object{{u"version"_s, toJson(snapshot.version)},
                       {u"historyEnabled"_s, toJson(snapshot.historyEnabled)},
                       {u"historyLimit"_s, toJson(snapshot.historyLimit)},
                       {u"documents"_s, toJson(snapshot.documents)}};
    insertIfPresent(object, u"revision", snapshot.revision);
    if (snapshot.tombstones) object.insert(u"removedIDs", identifierArray(*snapshot.tombstones));
    return object;
}

Decoded<ReadingStoreSnapshot> decodeJson(const QJsonValue& value, const JsonPath& path,
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

Decoded<qint64> decodeStoreVersion(const QJsonValue& value) {
    JsonObjectDecoder decoder(value, JsonPath());
    const qint64 version = decoder.required<qint64>(u"version");
    return decoder.finish(version);
}

}  // namespace tavrine
