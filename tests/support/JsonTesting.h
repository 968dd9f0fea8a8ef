#pragma once

#include "ReaderCore/Json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tavrine::test {

// The text the coding layer writes for value, read back by Qt's own JSON reader: what the tests look
// into, and a check that the text is plain JSON that any reader takes.
template <typename T>
QJsonObject writtenObject(const T& value) {
    return QJsonDocument::fromJson(encodeJson(value)).object();
}

// The compact text of an object or an array built by hand (inputs that no coder of ours writes).
inline QByteArray jsonText(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
inline QByteArray jsonText(const QJsonArray& array) {
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

}  // namespace tavrine::test
