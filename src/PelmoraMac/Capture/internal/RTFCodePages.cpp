#include "PelmoraMac/Capture/internal/RTFCodePages.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <array>
#include <utility>

namespace tavrine {
namespace {

constexpr int kFallbackCodePage = 1252;

// \fcharset values and the code pages their bytes are in. The Mac charsets (77 and up) are those of
// the Mac text encodings; Mac Japanese, Chinese and Korean are read as their Windows relatives.
constexpr auto kCharsets = std::to_array<std::pair<qint64, int>>({
    {77, 10000}, {78, 932},   {79, 949},   {80, 936},   {81, 950},  {85, 10006}, {86, 10081}, {88, 10029},
    {89, 10007}, {128, 932},  {129, 949},  {134, 936},  {136, 950}, {161, 1253}, {162, 1254}, {163, 1258},
    {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251}, {222, 874}, {238, 1250}, {254, 437},  {255, 437},
});

// ICU's name for a code page: Windows and Mac code pages under "windows-N" (932 is Windows-31J),
// DOS code pages under "ibm-N".
QByteArray converterName(int codePage) {
    if (codePage == 932) return "windows-31j";
    if (codePage == 65001) return "UTF-8";
    if (codePage < 800) return "ibm-" + QByteArray::number(codePage);
    return "windows-" + QByteArray::number(codePage);
}

// Writes U+FFFD for every byte sequence the code page does not map or that is malformed. ICU's own
// substitution gives a single-byte code page's substitute character, U+001A, a control character that
// would end up in the text.
void substituteReplacementCharacter(const void*, UConverterToUnicodeArgs* arguments, const char*, int32_t,
                                    UConverterCallbackReason reason, UErrorCode* status) {
    if (reason > UCNV_IRREGULAR) return;
    *status = U_ZERO_ERROR;
    const UChar replacement = 0xFFFD;
    ucnv_cbToUWriteUChars(arguments, &replacement, 1, 0, status);
}

}  // namespace

int codePageOfCharset(qint64 charset) {
    for (const auto& [value, codePage] : kCharsets) {
        if (value == charset) return codePage;
    }
    return 0;
}

void CodePageDecoder::Close::operator()(UConverter* converter) const {
    ucnv_close(converter);
}

CodePageDecoder::CodePageDecoder() = default;
CodePageDecoder::~CodePageDecoder() = default;

UConverter* CodePageDecoder::converter(int codePage) {
    auto found = m_converters.find(codePage);
    if (found == m_converters.end()) {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* opened = ucnv_open(converterName(codePage).constData(), &status);
        if (U_FAILURE(status) && opened) {
            ucnv_close(opened);
            opened = nullptr;
        }
        if (opened) {
            ucnv_setToUCallBack(opened, substituteReplacementCharacter, nullptr, nullptr, nullptr, &status);
        }
        found = m_converters.emplace(codePage, std::unique_ptr<UConverter, Close>(opened)).first;
    }
    if (found->second) return found->second.get();
    // A code page that ICU does not know is read as the fallback.
    return codePage == kFallbackCodePage ? nullptr : converter(kFallbackCodePage);
}

void CodePageDecoder::decode(int codePage, QByteArrayView bytes, bool finish, QString& out) {
    UConverter* decoder = m_open ? m_open : converter(codePage);
    if (!decoder) {
        // Not even the fallback opened: keep the bytes as Latin-1 rather than lose them.
        out.append(QLatin1StringView(bytes.data(), bytes.size()));
        return;
    }
    // Room for two UTF-16 units per byte, more than any code page gives; a shortfall would only cost
    // characters, never memory safety (ICU stops at the end of the target).
    const qsizetype start = out.size();
    out.resize(start + 2 * bytes.size() + 2);
    UChar* target = reinterpret_cast<UChar*>(out.data()) + start;
    UChar* const targetStart = target;
    const char* source = bytes.data();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(decoder, &target, reinterpret_cast<const UChar*>(out.constData()) + out.size(), &source,
                   bytes.data() + bytes.size(), nullptr, false, &status);
    out.resize(start + (target - targetStart));
    if (U_FAILURE(status)) out.append(QChar::ReplacementCharacter);
    if (!finish) {
        m_open = decoder;
        return;
    }
    // The bytes of a character cut off at the end of the run: ICU would drop them silently.
    status = U_ZERO_ERROR;
    if (ucnv_toUCountPending(decoder, &status) > 0) out.append(QChar::ReplacementCharacter);
    ucnv_reset(decoder);
    m_open = nullptr;
}

}  // namespace tavrine
