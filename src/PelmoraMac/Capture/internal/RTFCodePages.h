#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>

struct UConverter;

namespace tavrine {

// The Windows code page that RTF text bytes of a font with this \fcharset are written in; 0 for the
// charsets that mean "the document's code page" (ANSI, default, symbol) and for unknown ones.
int codePageOfCharset(qint64 charset);

// Decodes the byte runs of RTF text (\'hh escapes and bytes above 0x7F) from Windows or Mac code
// pages into UTF-16 with ICU. A run may be fed in pieces: a double-byte character cut between two
// pieces is completed by the next one, until the run is finished. Bytes that do not decode become
// U+FFFD. One instance per reading; not thread-safe.
class CodePageDecoder {
public:
    CodePageDecoder();
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    // Appends the decoding of `bytes` in code page `codePage` (Windows-1252 where ICU has no
    // converter for it) to `out`. With `finish` false the run goes on in the next call, which must
    // name the same code page; with `finish` true an incomplete character at its end becomes U+FFFD.
    void decode(int codePage, QByteArrayView bytes, bool finish, QString& out);

private:
    UConverter* converter(int codePage);

    struct Close {
        void operator()(UConverter* converter) const;
    };
    std::map<int, std::unique_ptr<UConverter, Close>> m_converters;
    // The converter of the run in progress, which holds the state of a cut character.
    UConverter* m_open = nullptr;
};

}  // namespace tavrine
