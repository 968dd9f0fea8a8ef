#pragma once

#include <QString>
#include <QStringView>

#include <unordered_map>

namespace tavrine {

// The font table of an RTF document (\fonttbl), as it is read: each font's name, character set, code
// page, family and pitch, and what follows from them for text in that font: the code page its bytes are
// written in, and whether it is monospace (of the modern family, of fixed pitch, or with a monospace
// name). At most kFontLimit fonts and kFontNameLimit units of each name are kept, which bounds the memory
// a hostile table can take; a font beyond the limit is unknown.
class RTFFontTable {
public:
    static constexpr qsizetype kFontNameLimit = 256;
    static constexpr size_t kFontLimit = 10'000;

    // \fN inside the table: starts the entry of font id, replacing any earlier one of that id; past the
    // limit, no entry is read until the next.
    void startEntry(qint64 id);
    // The table's group has closed: the words of an entry change nothing until the next starts.
    void endEntry() { m_entry = -1; }
    // The entry being read, or -1.
    qint64 entry() const { return m_entry; }
    void setModernFamily(bool modern);
    void setCharset(qint64 charset);
    void setFixedPitch(bool fixed);
    void setCodePage(qint64 codePage);
    // Text inside the table: the entry's name, which ends at its semicolon.
    void appendToName(QStringView text);

    // The code page of text in font id: its own, else its character set's, else documentCodePage (also
    // for an unknown font).
    int codePage(qint64 id, int documentCodePage) const;
    // Whether text in font id is monospace; an unknown font is not. Worked out once per font.
    bool isMonospace(qint64 id);

private:
    struct Font {
        QString name;
        qint64 charset = -1;
        int codePage = 0;
        bool modernFamily = false;
        bool fixedPitch = false;
        // The name ended at its semicolon; what follows is not part of it.
        bool named = false;
    };

    // The entry being read, whose monospace trait is worked out again when next asked for.
    Font* changingEntry();

    std::unordered_map<qint64, Font> m_fonts;
    qint64 m_entry = -1;
    std::unordered_map<qint64, bool> m_monospace;
};

// Whether a font's name says monospace: "Mono" or "Monospace" as a word of its own, or a known monospace
// family (Courier, Menlo, Consolas, MS Gothic and the like) anywhere in it, case and spaces aside.
bool isMonospaceFontName(const QString& name);

}  // namespace tavrine
