#pragma once

#include "ReaderCore/Json.h"
#include "ReaderCore/ReadingDocument.h"

#include <QByteArray>
#include <QString>
#include <tl/expected.hpp>

namespace tavrine {

// A plain-text file as the library keeps it: its own name and its exact bytes. decodeText() is the one
// gate that decides whether such a file is acceptable; the file reader, the store's import and the
// store's validation of what it loads all go through it, so a file is judged the same way everywhere.
// A plain value, safe on any thread. Building it memberwise or decoding it from JSON checks nothing;
// create() checks.
struct LibraryTextFile {
    enum class Failure {
        unsupportedFormat,  // empty name, a directory part, or an extension other than "txt" in any case
        tooLong,            // more than byteLimit bytes, or more than utf16Limit units of text
        tooComplex,         // a long text holding an overlong Character (checkCharacterLengths)
        invalidEncoding,    // not UTF-8 once one leading byte-order mark is dropped
        empty,              // nothing but white space and line breaks (isBlank)
        nonText,            // U+FFFD, or a control character other than tab, line feed and carriage return
    };

    // Bytes of the file, a byte-order mark included.
    static constexpr qsizetype byteLimit = 1'500'003;
    // UTF-16 code units of the decoded text.
    static constexpr qsizetype utf16Limit = 500'000;

    QString filename;
    QByteArray data;

    // The file's text as a document without sections or spans, or the first failed check. The text is
    // returned unchanged: surrounding white space, line breaks and CR LF pairs stay as they are.
    static tl::expected<ReadingDocument, Failure> decodeText(const QString& filename, const QByteArray& data);

    // A file that passes decodeText(), kept with both arguments unchanged.
    static tl::expected<LibraryTextFile, Failure> create(QString filename, QByteArray data);

    // Whether decodeText() gives exactly this document for the file, found without decoding it.
    bool decodesTo(const ReadingDocument& document) const;

    // Whether text holds U+FFFD or a control character other than tab, line feed and carriage return.
    static bool containsNonTextScalar(QStringView text);

    // Byte-for-byte; copies that share their bytes compare without reading them (the store compares its
    // whole content at every save of a position).
    bool operator==(const LibraryTextFile& other) const {
        return filename == other.filename && (data.isSharedWith(other.data) || data == other.data);
    }
};

template <>
struct EnumTable<LibraryTextFile::Failure> {
    using F = LibraryTextFile::Failure;
    static constexpr auto entries = std::to_array<std::pair<F, std::u16string_view>>({
        {F::unsupportedFormat, u"unsupportedFormat"},
        {F::tooLong, u"tooLong"},
        {F::tooComplex, u"tooComplex"},
        {F::invalidEncoding, u"invalidEncoding"},
        {F::empty, u"empty"},
        {F::nonText, u"nonText"},
    });
};

void writeJson(JsonWriter& writer, const LibraryTextFile& file);
Decoded<LibraryTextFile> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<LibraryTextFile>);

}  // namespace tavrine
