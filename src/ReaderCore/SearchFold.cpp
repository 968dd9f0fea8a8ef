#include "ReaderCore/SearchFold.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/FoldedText.h"

#include <QLocale>

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <array>
#include <memory>

namespace tavrine {
namespace {

const UNormalizer2* normalizer(bool composed) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* instance = composed ? unorm2_getNFCInstance(&status) : unorm2_getNFDInstance(&status);
    if (U_FAILURE(status)) qFatal("ICU normalizer unavailable: %s", u_errorName(status));
    return instance;
}

// Runs one ICU string transformation into a QString, growing the buffer once when ICU asks for more.
template <typename Transform>
QString transformed(QStringView text, Transform transform) {
    QString result(text.size() + 4, Qt::Uninitialized);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            transform(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()),
                      reinterpret_cast<UChar*>(result.data()), static_cast<int32_t>(result.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            result.resize(length);
            continue;
        }
        if (U_FAILURE(status)) qFatal("ICU could not fold a text: %s", u_errorName(status));
        result.truncate(length);
        return result;
    }
    qFatal("ICU could not fold a text: its size kept changing");
}

QString normalized(QStringView text, const UNormalizer2* form) {
    return transformed(
        text, [form](const UChar* source, int32_t length, UChar* target, int32_t capacity, UErrorCode* status) {
            return unorm2_normalize(form, source, length, target, capacity, status);
        });
}

QString caseFolded(QStringView text, SearchFold::CaseRule rule) {
    const uint32_t options = rule == SearchFold::CaseRule::turkic ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT;
    return transformed(
        text, [options](const UChar* source, int32_t length, UChar* target, int32_t capacity, UErrorCode* status) {
            return u_strFoldCase(target, capacity, source, length, options, status);
        });
}

QString withoutNonspacingMarks(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const char32_t codePoint = codePointAt(text, i);
        const qsizetype width = codePoint > 0xFFFF ? 2 : 1;
        if (u_charType(static_cast<UChar32>(codePoint)) != U_NON_SPACING_MARK) result.append(text.sliced(i, width));
        i += width;
    }
    return result;
}

// For every unit of the Basic Multilingual Plane: what it folds to when it is a sequence of its own
// whenever its neighbours are such units too, or kSlow when the slow road must decide. A unit qualifies
// when it is no surrogate, no combining mark, joins no neighbour under the Character rules (grapheme
// break property Other, Control or LF: no CR, Hangul jamo, prepended or extending character) and folds
// to exactly one unit. Two such units side by side always have a sequence boundary between them, so most
// text folds by one look-up per unit.
class FoldTable {
public:
    // U+FFFF is a noncharacter that folds to itself; it takes the slow road, which frees its value.
    static constexpr char16_t kSlow = 0xFFFF;

    explicit FoldTable(SearchFold::CaseRule rule) {
        const SearchFold fold(rule);
        m_folded.fill(kSlow);
        for (char32_t unit = 0; unit < kSlow; ++unit) {
            if (QChar::isSurrogate(unit)) continue;
            const auto codePoint = static_cast<UChar32>(unit);
            if ((U_GET_GC_MASK(codePoint) & U_GC_M_MASK) != 0) continue;
            const auto breakKind = u_getIntPropertyValue(codePoint, UCHAR_GRAPHEME_CLUSTER_BREAK);
            if (breakKind != U_GCB_OTHER && breakKind != U_GCB_CONTROL && breakKind != U_GCB_LF) continue;
            const char16_t source[1] = {static_cast<char16_t>(unit)};
            const QString folded = fold.foldSequence(QStringView(source, 1));
            if (folded.size() != 1 || folded.at(0).isSurrogate() || folded.at(0).unicode() == kSlow) continue;
            m_folded[unit] = folded.at(0).unicode();
        }
    }

    char16_t operator[](char16_t unit) const { return m_folded[unit]; }

private:
    std::array<char16_t, 0x10000> m_folded{};
};

const FoldTable& foldTable(SearchFold::CaseRule rule) {
    // Built once per rule on first use (static initialisation is thread-safe) and never destroyed: a search
    // on a pool thread may still read it while the process exits.
    if (rule == SearchFold::CaseRule::turkic) {
        static const FoldTable* const turkic = new FoldTable(rule);
        return *turkic;
    }
    static const FoldTable* const standard = new FoldTable(rule);
    return *standard;
}

}  // namespace

SearchFold SearchFold::forLocale(const QLocale& locale) {
    const QLocale::Language language = locale.language();
    return SearchFold(language == QLocale::Turkish || language == QLocale::Azerbaijani ? CaseRule::turkic
                                                                                       : CaseRule::standard);
}

QString SearchFold::foldSequence(QStringView sequence) const {
    // Composing first makes every canonically equivalent spelling fold alike, also under the Turkic
    // rule, which folds a composed İ but not I followed by a combining dot.
    static const UNormalizer2* const composed = normalizer(true);
    static const UNormalizer2* const decomposed = normalizer(false);
    const QString folded = caseFolded(normalized(sequence, composed), m_rule);
    return normalized(withoutNonspacingMarks(normalized(folded, decomposed)), composed);
}

qsizetype SearchFold::foldSimpleRun(QStringView source, qsizetype from, qsizetype until, char16_t* out) const {
    const FoldTable& table = foldTable(m_rule);
    const char16_t* units = source.utf16();
    const qsizetype length = source.size();
    if (from >= until) return from;
    // A unit stands alone when it and the unit after it (if any) both have table values.
    char16_t current = table[units[from]];
    qsizetype offset = from;
    while (offset < until && current != FoldTable::kSlow) {
        const char16_t next = offset + 1 < length ? table[units[offset + 1]] : char16_t(0);
        if (next == FoldTable::kSlow) break;
        *out++ = current;
        current = next;
        ++offset;
    }
    return offset;
}

QString SearchFold::fold(const QString& text) const {
    FoldedText folded(text, *this);
    folded.foldTo(text.size());
    return folded.folded().toString();
}

bool SearchFold::contains(const QString& text, QStringView foldedQuery) const {
    if (foldedQuery.isEmpty()) return false;
    FoldedText folded(text, *this);
    folded.foldTo(text.size());
    return folded.folded().contains(foldedQuery);
}

}  // namespace tavrine
