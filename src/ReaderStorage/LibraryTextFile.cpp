#include "ReaderStorage/LibraryTextFile.h"

#include "ReaderCore/Characters.h"
#include "ReaderStorage/internal/PathNames.h"

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

bool LibraryTextFile::containsNonTextScalar(QStringView text) {
    // Every scalar in question lies in the Basic Multilingual Plane, so UTF-16 units can be tested directly;
    // surrogate halves are never one of them.
    for (const QChar unit : text) {
        const char16_t c = unit.unicode();
        if (c == 0xFFFD) return true;
        if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) return true;
        if (c >= 0x7F && c <= 0x9F) return true;
    }
    return false;
}

namespace {

using Failure = LibraryTextFile::Failure;

// The checks of the file itself, before its text is decoded.
std::optional<Failure> fileFailure(const QString& filename, const QByteArray& data) {
    if (!isFileNameWithExtension(filename, u"txt")) return Failure::unsupportedFormat;
    if (data.size() > LibraryTextFile::byteLimit) return Failure::tooLong;
    return std::nullopt;
}

// The bytes of the text: the data without one leading byte-order mark.
QByteArrayView textBytes(const QByteArray& data) {
    QByteArrayView bytes(data);
    if (bytes.startsWith(kByteOrderMark)) bytes = bytes.sliced(3);
    return bytes;
}

// The checks of the decoded text.
std::optional<Failure> textFailure(QStringView text) {
    if (text.size() > LibraryTextFile::utf16Limit) return Failure::tooLong;
    if (checkCharacterLengths(text) != CharacterLengthCheck::passed) return Failure::tooComplex;
    if (LibraryTextFile::containsNonTextScalar(text)) return Failure::nonText;
    if (isBlank(text)) return Failure::empty;
    return std::nullopt;
}

}  // namespace

tl::expected<ReadingDocument, LibraryTextFile::Failure> LibraryTextFile::decodeText(const QString& filename,
                                                                                    const QByteArray& data) {
    if (const auto failure = fileFailure(filename, data)) return tl::unexpected(*failure);
    std::optional<QString> text = decodeUTF8Strictly(textBytes(data));
    if (!text) return tl::unexpected(Failure::invalidEncoding);
    if (const auto failure = textFailure(*text)) return tl::unexpected(*failure);
    return ReadingDocument{.sections = std::nullopt, .text = std::move(*text), .spans = {}};
}

bool LibraryTextFile::decodesTo(const ReadingDocument& document) const {
    if (document.sections || !document.spans.isEmpty()) return false;
    if (fileFailure(filename, data)) return false;
    return isStrictUTF8Of(textBytes(data), document.text) && !textFailure(document.text);
}

tl::expected<LibraryTextFile, LibraryTextFile::Failure> LibraryTextFile::create(QString filename, QByteArray data) {
    if (auto document = decodeText(filename, data); !document) return tl::unexpected(document.error());
    return LibraryTextFile{std::move(filename), std::move(data)};
}

void writeJson(JsonWriter& writer, const LibraryTextFile& file) {
    JsonObjectWriter(writer).field(u"data", file.data).field(u"filename", file.filename);
}

Decoded<LibraryTextFile> decodeJson(const JsonValue& value, const JsonPath& path, std::type_identity<LibraryTextFile>) {
    JsonObjectDecoder decoder(value, path);
    LibraryTextFile file;
    file.filename = decoder.required<QString>(u"filename");
    file.data = decoder.required<QByteArray>(u"data");
    return decoder.finish(std::move(file));
}

}  // namespace tavrine
