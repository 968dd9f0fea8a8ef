#include "PelmoraMac/Capture/internal/RTFFontTable.h"

#include "PelmoraMac/Capture/internal/RTFCodePages.h"

#include <algorithm>
#include <string_view>

namespace tavrine {
namespace {

// Monospace families recognised by name, folded and without spaces.
constexpr std::u16string_view kMonospaceNames[] = {
    u"courier",  u"menlo",        u"consolas",    u"monaco",     u"lucidaconsole",
    u"msgothic", u"ｍｓゴシック", u"inconsolata", u"sourcecode", u"sfmono",
};

}  // namespace

bool isMonospaceFontName(const QString& name) {
    const QString folded = name.toCaseFolded();
    // "Mono" and "Monospace" as words of their own ("DejaVu Sans Mono", "Osaka-Mono"), not as the
    // start of another word ("Monotype Corsiva").
    qsizetype wordStart = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool letter = i < folded.size() && folded.at(i).isLetter();
        if (letter && wordStart < 0) wordStart = i;
        if (!letter && wordStart >= 0) {
            const QStringView word = QStringView(folded).sliced(wordStart, i - wordStart);
            if (word == u"mono" || word == u"monospace") return true;
            wordStart = -1;
        }
    }
    QString compact = folded;
    compact.removeIf([](QChar c) { return c.isSpace(); });
    return std::ranges::any_of(kMonospaceNames, [&](std::u16string_view known) { return compact.contains(known); });
}

void RTFFontTable::startEntry(qint64 id) {
    m_entry = id;
    if (m_fonts.size() >= kFontLimit && !m_fonts.contains(id)) {
        m_entry = -1;
        return;
    }
    m_fonts[id] = Font{};
    m_monospace.erase(id);
}

RTFFontTable::Font* RTFFontTable::changingEntry() {
    if (m_entry < 0) return nullptr;
    m_monospace.erase(m_entry);
    return &m_fonts[m_entry];
}

void RTFFontTable::setModernFamily(bool modern) {
    if (Font* font = changingEntry()) font->modernFamily = modern;
}

void RTFFontTable::setCharset(qint64 charset) {
    if (Font* font = changingEntry()) font->charset = charset;
}

void RTFFontTable::setFixedPitch(bool fixed) {
    if (Font* font = changingEntry()) font->fixedPitch = fixed;
}

void RTFFontTable::setCodePage(qint64 codePage) {
    if (Font* font = changingEntry()) font->codePage = int(std::clamp<qint64>(codePage, 0, 65535));
}

void RTFFontTable::appendToName(QStringView text) {
    Font* font = changingEntry();
    if (!font || font->named) return;
    const qsizetype end = text.indexOf(u';');
    if (end >= 0) {
        text = text.first(end);
        font->named = true;
    }
    font->name.append(text.first(std::min(text.size(), kFontNameLimit - font->name.size())));
}

int RTFFontTable::codePage(qint64 id, int documentCodePage) const {
    const auto found = m_fonts.find(id);
    if (found != m_fonts.end()) {
        if (found->second.codePage > 0) return found->second.codePage;
        if (const int codePage = codePageOfCharset(found->second.charset)) return codePage;
    }
    return documentCodePage;
}

bool RTFFontTable::isMonospace(qint64 id) {
    const auto known = m_monospace.find(id);
    if (known != m_monospace.end()) return known->second;
    const auto found = m_fonts.find(id);
    if (found == m_fonts.end()) return false;
    const Font& font = found->second;
    const bool monospace = font.modernFamily || font.fixedPitch || isMonospaceFontName(font.name);
    m_monospace.emplace(id, monospace);
    return monospace;
}

}  // namespace tavrine
