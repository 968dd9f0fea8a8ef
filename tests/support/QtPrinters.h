#pragma once

#include "ReaderCore/ReadingDocument.h"

#include <QByteArray>
#include <QJsonValue>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringView>
#include <QUuid>

#include <ostream>

// GoogleTest printers for Qt types, so failures show text instead of bytes.
void PrintTo(const QString& value, std::ostream* out);
void PrintTo(QStringView value, std::ostream* out);
void PrintTo(const QByteArray& value, std::ostream* out);
void PrintTo(const QUuid& value, std::ostream* out);
void PrintTo(const QJsonValue& value, std::ostream* out);
void PrintTo(const QRectF& value, std::ostream* out);
void PrintTo(const QPointF& value, std::ostream* out);

namespace tavrine {
struct TextRange;
struct ReadingChunk;
// Printers for the reading model's small values, found by argument-dependent lookup.
void PrintTo(const TextRange& range, std::ostream* out);
void PrintTo(const ReadingChunk& chunk, std::ostream* out);
void PrintTo(const ReadingDocument::Span& span, std::ostream* out);
}  // namespace tavrine

inline std::ostream& operator<<(std::ostream& out, const QString& value) {
    return out << value.toStdString();
}
