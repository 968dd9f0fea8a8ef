#include "PelmoraMac/Capture/ClipboardConversion.h"

#include "CaptureTesting.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <QFile>

#include <array>
#include <random>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

constexpr int kCases = 10'000;
constexpr qsizetype kLargestMutant = 400'000;

// Small documents that exercise each part of the reader, then the real ones of other writers.
QList<QByteArray> fixtures() {
    QList<QByteArray> all{
        R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Helvetica;}{\f1\fmodern\fcharset128\fprq1 \'82\'6c\'82\'72;}})"
        R"({\colortbl;\red255\green0\blue0;}{\stylesheet{\s1 Heading 1;}}{\info{\title T}})"
        R"({\pard\outlinelevel1 {\b Title}\par}{\pard\ls1\ilvl1 {\listtext \'95 }Item\par}\f1 \'82\'a0\f0 end})",
        R"({\rtf1 {\i\obliqueness200 a}\u12354?\u-10179?\u-8704?\uc2\u12354\'82\'a0 x\uc0\u931 y\~\bullet\emdash})",
        R"({\rtf1 A{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}{\*\unknown {x}}B\bin3 {}}C{\v hidden}\line D})",
        R"({\rtf1 a\cell b\cell\row {\pard\intbl c\par}\cell\tab{\pict\pngblip 8950}\page e\sect})",
        R"({\rtf1\mac\ansicpg10000{\fonttbl\f0\fnil\fcharset77 Monaco;}\f0 \'8e\
second\
})",
    };
    for (const QString& name : {u"lynkeos-changelog-fr.rtf"_s, u"sc3-stk-instructions.rtf"_s,
                                u"muttprint-manual-de.rtf"_s, u"debmake-doc-ch02-ja-pandoc.rtf"_s}) {
        QFile file(test::sharedDataFile(u"rtf/"_s + name));
        if (file.open(QIODevice::ReadOnly)) all.append(file.readAll());
    }
    return all;
}

// Pieces that make RTF structure: braces, escapes, destinations, parameters past their limits.
const auto kInsertions = std::to_array<QByteArrayView>({
    "{",
    "}",
    "\\",
    "\\'",
    "\\'8",
    "\\'82",
    "\\u",
    "\\u-",
    "\\u55357?",
    "\\uc9",
    "\\bin",
    "\\bin5 ",
    "\\*",
    "\\pict ",
    "\\fonttbl",
    "\\f1",
    "\\par",
    "\\pard",
    "\\plain",
    "\\b",
    "\\ls1\\ilvl",
    "\\outlinelevel",
    "\\obliqueness",
    "\\fldinst",
    "\\v",
    "\\cell",
    "\\ansicpg932",
    "12345678901",
    "99999",
    "-",
    " ",
    "\r\n",
    "\xE9",
    "\x82",
});

class Mutator {
public:
    explicit Mutator(unsigned seed) : m_random(seed) {}

    QByteArray mutate(QByteArray data) {
        const int count = int(below(8)) + 1;
        for (int i = 0; i < count; ++i) mutateOnce(data);
        return data;
    }

private:
    qsizetype below(qsizetype bound) { return bound <= 0 ? 0 : qsizetype(m_random() % quint64(bound)); }

    void mutateOnce(QByteArray& data) {
        const qsizetype at = below(data.size() + 1);
        switch (below(7)) {
        case 0:
            if (!data.isEmpty()) data[below(data.size())] = char(below(256));
            break;
        case 1: {
            const QByteArrayView piece = kInsertions[below(qsizetype(kInsertions.size()))];
            data.insert(at, piece.data(), piece.size());
            break;
        }
        case 2: data.remove(at, below(64) + 1); break;
        case 3: {
            const QByteArray range = data.mid(at, below(1'000) + 1);
            data.insert(below(data.size() + 1), range);
            break;
        }
        case 4: data.truncate(at); break;
        case 5: {
            // A piece of structure repeated, many times over.
            const QByteArray range = data.mid(at, below(8) + 1);
            const qsizetype times = below(5'000) + 1;
            if (data.size() + range.size() * times <= kLargestMutant) data.insert(at, range.repeated(times));
            break;
        }
        default: {
            const QByteArrayView piece = kInsertions[below(qsizetype(kInsertions.size()))];
            data.insert(at, QByteArray(piece.data(), piece.size()) + QByteArray::number(qint64(m_random() % 100'000)));
            break;
        }
        }
    }

    std::mt19937_64 m_random;
};

// Seeded, so that every run reads the same mutants: each ends in one of the conversion's own failures
// or in a valid document within the text limit.
TEST(ClipboardRichTextMutations, EveryMutantEndsInAFailureOrAValidDocument) {
    const QList<QByteArray> sources = fixtures();
    Mutator mutator(20'240'611);
    int documents = 0;
    for (int i = 0; i < kCases; ++i) {
        QByteArray mutant = mutator.mutate(sources.at(i % sources.size()));
        // Most mutants keep the RTF signature, so that the reader, not the first check, meets them.
        if (i % 10 != 0 && !mutant.startsWith("{\\rtf")) mutant.prepend("{\\rtf1 ");
        const auto document = convertClipboardRichText(mutant);
        if (!document) {
            ASSERT_TRUE(document.error() == CaptureFailure::clipboardUnreadable ||
                        document.error() == CaptureFailure::tooLong)
                << "case " << i << ": " << rawValue(document.error()).toStdString();
            continue;
        }
        ASSERT_LE(document->text.size(), ClipboardSnapshot::kTextLimit) << "case " << i;
        ASSERT_TRUE(document->isValid()) << "case " << i << ": " << mutant.left(300).toStdString();
        ASSERT_FALSE(document->text.contains(QChar::ObjectReplacementCharacter)) << "case " << i;
        ++documents;
    }
    // The mutants reach past the first checks: many still read as documents.
    EXPECT_GT(documents, kCases / 4);
}

}  // namespace
}  // namespace tavrine
