#pragma once

#include "ReaderCore/Date.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <concepts>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

class QUuid;

// The writing side of the JSON coding layer (Json.h): UTF-8 text written straight from values.

namespace tavrine {

// Writes compact UTF-8 JSON. Strings are escaped as little as JSON allows (quote, backslash and the
// controls below U+0020; a lone surrogate as its \u escape), numbers in their shortest exact form.
class JsonWriter {
public:
    // Writes into memory; take() gives the text.
    JsonWriter() = default;
    // Hands the text to sink in pieces of about bufferBytes (a longer string in one piece), so that it is
    // never whole in memory; finish() hands over the rest. Once sink returns false, nothing more is
    // handed over and finish() returns false.
    explicit JsonWriter(std::function<bool(QByteArrayView)> sink, qsizetype bufferBytes = 1 << 20);
    bool finish();

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // A key of the object being written; keys come in ascending order (checked in debug builds).
    void key(QStringView key);

    void null();
    void value(bool value);
    void value(double value);
    void value(qint64 value);
    void value(QStringView text);
    // A string of ASCII characters that need no escape (Base64, identifiers).
    void asciiValue(std::string_view text);
    // bytes as a padded Base64 string.
    void base64Value(QByteArrayView bytes);

    QByteArray take();

private:
    void separate();
    void open(char bracket);
    void close(char bracket);
    // Room for at least `most` more bytes at m_cursor.
    char* room(qsizetype most) {
        if (m_end - m_cursor < most) makeRoom(most);
        return m_cursor;
    }
    void makeRoom(qsizetype most);
    void put(char c) {
        *room(1) = c;
        ++m_cursor;
    }

    // The text so far (or since the last piece handed to the sink) is m_out's bytes up to m_cursor; its
    // size runs ahead, to m_end.
    std::function<bool(QByteArrayView)> m_sink;
    bool m_sinkRefused = false;
    QByteArray m_out;
    char* m_cursor = nullptr;
    char* m_end = nullptr;
    // Whether the open container holds a value already (so the next one needs a comma), and the same
    // for each container around it.
    bool m_needsComma = false;
    std::vector<char> m_enclosing;
    bool m_afterKey = false;
#ifndef NDEBUG
    std::vector<QString> m_lastKeys;
#endif
};

// writeJson(writer, x) writes one value; types of the model add their own overload beside their
// definition, found through the writer's namespace.
inline void writeJson(JsonWriter& writer, const QString& value) {
    writer.value(QStringView(value));
}
inline void writeJson(JsonWriter& writer, bool value) {
    writer.value(value);
}
inline void writeJson(JsonWriter& writer, double value) {
    writer.value(value);
}
template <std::integral I>
requires(!std::same_as<I, bool>) void writeJson(JsonWriter& writer, I value) {
    writer.value(static_cast<qint64>(value));
}
inline void writeJson(JsonWriter& writer, Date value) {
    writer.value(value.secondsSinceReferenceDate);
}
void writeJson(JsonWriter& writer, const QUuid& value);
inline void writeJson(JsonWriter& writer, const QByteArray& value) {
    writer.base64Value(value);
}

// Writes one object: each field's key and value, in ascending key order; the object closes when the
// writer goes out of scope (at the end of the statement, for a temporary).
class JsonObjectWriter {
public:
    explicit JsonObjectWriter(JsonWriter& writer) : m_writer(writer) { m_writer.beginObject(); }
    ~JsonObjectWriter() { m_writer.endObject(); }
    JsonObjectWriter(const JsonObjectWriter&) = delete;
    JsonObjectWriter& operator=(const JsonObjectWriter&) = delete;

    template <typename T>
    JsonObjectWriter& field(QStringView key, const T& value) {
        m_writer.key(key);
        writeJson(m_writer, value);
        return *this;
    }
    // Writes the field only when the optional holds a value.
    template <typename T>
    JsonObjectWriter& fieldIfPresent(QStringView key, const std::optional<T>& value) {
        if (value) field(key, *value);
        return *this;
    }

private:
    JsonWriter& m_writer;
};

template <typename T>
void writeJson(JsonWriter& writer, const QList<T>& values) {
    writer.beginArray();
    for (const T& value : values) writeJson(writer, value);
    writer.endArray();
}

// Compact UTF-8 text of a value.
template <typename T>
QByteArray encodeJson(const T& value) {
    JsonWriter writer;
    writeJson(writer, value);
    return writer.take();
}

}  // namespace tavrine
