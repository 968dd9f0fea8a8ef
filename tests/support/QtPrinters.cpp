#include "support/QtPrinters.h"

#include "ReaderCore/ReadingChunk.h"
#include "ReaderCore/TextRange.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char* boundaryName(tavrine::ReadingChunk::Boundary boundary) {
    using Boundary = tavrine::ReadingChunk::Boundary;
    switch (boundary) {
    case Boundary::none: return "none";
    case Boundary::clause: return "clause";
    case Boundary::sentence: return "sentence";
    case Boundary::paragraph: return "paragraph";
    }
    return "?";
}

}  // namespace

void PrintTo(const QString& value, std::ostream* out) {
    *out << '"' << value.toStdString() << '"';
}

void PrintTo(QStringView value, std::ostream* out) {
    PrintTo(value.toString(), out);
}

void PrintTo(const QByteArray& value, std::ostream* out) {
    *out << "QByteArray(" << value.size() << " bytes: " << value.left(200).toStdString() << ")";
}

void PrintTo(const QUuid& value, std::ostream* out) {
    *out << value.toString(QUuid::WithoutBraces).toUpper().toStdString();
}

void PrintTo(const QRectF& value, std::ostream* out) {
    *out << "(" << value.x() << ", " << value.y() << ", " << value.width() << " x " << value.height() << ")";
}

void PrintTo(const QPointF& value, std::ostream* out) {
    *out << "(" << value.x() << ", " << value.y() << ")";
}

void PrintTo(const QJsonValue& value, std::ostream* out) {
    if (value.isObject()) {
        *out << QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact).toStdString();
    } else if (value.isArray()) {
        *out << QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact).toStdString();
    } else {
        *out << value.toVariant().toString().toStdString();
    }
}

namespace tavrine {

void PrintTo(const TextRange& range, std::ostream* out) {
    *out << range.lowerBound << "..<" << range.upperBound;
}

void PrintTo(const ReadingChunk& chunk, std::ostream* out) {
    *out << "{";
    PrintTo(chunk.sourceRange, out);
    *out << " ";
    PrintTo(chunk.text, out);
    *out << " #" << chunk.sentenceIndex << " " << boundaryName(chunk.boundary) << "}";
}

void PrintTo(const ReadingDocument::Span& span, std::ostream* out) {
    *out << "{" << rawValue(span.kind).toStdString() << " " << span.start << "..<" << span.end << " level "
         << span.level << "}";
}

}  // namespace tavrine
