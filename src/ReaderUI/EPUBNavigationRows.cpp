#include "ReaderUI/EPUBNavigationRows.h"

#include "ReaderCore/Characters.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tavrine::EPUBNavigationRows {
using namespace Qt::StringLiterals;
namespace {

using Kind = EPUBBook::Notice::Kind;

constexpr qsizetype kCreatorsShown = 10;
constexpr qsizetype kCreatorCharacters = 100;

// The notice sentences in the order they are listed; kinds not named here say nothing.
constexpr auto kNoticeSentences = std::to_array<std::pair<Kind, QStringView>>({
    {Kind::missingTitle, u"書名がないため、一覧では元ファイル名を表示します。"},
    {Kind::missingCreator, u"著者の情報は本に含まれていません。"},
    {Kind::imagePlaceholder, u"画像は説明文または［画像］として本文に残しています。図の内容は再現しません。"},
    {Kind::rubyAnnotationOmitted, u"ルビの読み仮名を省略し、親文字を読みます。"},
    {Kind::omittedNonlinear, u"本文の順序に含まれない補助文書は自動再生から省略しています。"},
    {Kind::omittedHidden, u"非表示と明示された内容は省略しています。"},
    {Kind::mediaOmitted, u"音声・動画は再生せず、静的な代替文章だけを保持しています。"},
    {Kind::tableFlattened, u"一部の表は表組みを再現せず、セルの文章を順に読みます。"},
    {Kind::unresolvedNavigation, u"移動できない目次項目があります。各項目に理由を表示しています。"},
});

}  // namespace

QList<Row> flatten(const QList<EPUBBook::Navigation>& navigation) {
    QList<Row> rows;
    forEachNavigationEntry(navigation, [&](const EPUBBook::Navigation& entry, qsizetype depth) {
        rows.append(Row{entry, depth});
        return true;
    });
    return rows;
}

std::optional<QString> currentID(const QList<Row>& rows, const std::optional<QString>& sectionID, qsizetype offset) {
    if (!sectionID) return std::nullopt;
    const Row* best = nullptr;
    qsizetype bestOffset = 0;
    for (const Row& row : rows) {
        const auto* position = row.entry.destination.asPosition();
        if (!position || position->sectionID != *sectionID || position->utf16Offset > offset) continue;
        const bool better = !best || position->utf16Offset > bestOffset ||
                            (position->utf16Offset == bestOffset && row.depth > best->depth);
        if (better) {
            best = &row;
            bestOffset = position->utf16Offset;
        }
    }
    if (!best) return std::nullopt;
    return best->entry.id;
}

std::optional<QString> currentID(const QList<EPUBBook::Navigation>& navigation, const std::optional<QString>& sectionID,
                                 qsizetype offset) {
    if (!sectionID) return std::nullopt;
    return currentID(flatten(navigation), sectionID, offset);
}

QString reasonMessage(EPUBBook::Unavailable reason) {
    using Unavailable = EPUBBook::Unavailable;
    switch (reason) {
    case Unavailable::group: return u"グループ見出し。子の項目から移動できます"_s;
    case Unavailable::invalidReference: return u"参照先が不正なため移動できません"_s;
    case Unavailable::externalReference: return u"外部リンクのため移動できません"_s;
    case Unavailable::missingResource: return u"参照先の本文が見つかりません"_s;
    case Unavailable::excludedResource: return u"自動再生の本文に含まれない項目です"_s;
    case Unavailable::missingAnchor: return u"本文内の参照位置が見つかりません"_s;
    }
    Q_UNREACHABLE();
    return QString();
}

QStringList noticeMessages(const QList<EPUBBook::Notice>& notices) {
    QStringList sentences;
    for (const auto& [kind, sentence] : kNoticeSentences) {
        const auto hasKind = [kind](const EPUBBook::Notice& notice) { return notice.kind == kind; };
        if (std::any_of(notices.cbegin(), notices.cend(), hasKind)) sentences.append(sentence.toString());
    }
    return sentences;
}

QString creatorLabel(const QStringList& names) {
    QStringList shown;
    const qsizetype count = std::min(names.size(), kCreatorsShown);
    shown.reserve(count);
    for (qsizetype i = 0; i < count; ++i) shown.append(firstCharacters(names[i], kCreatorCharacters));
    QString label = shown.join(u'、');
    if (names.size() > kCreatorsShown) label += u"、ほか"_s + QString::number(names.size() - kCreatorsShown) + u'名';
    return label;
}

}  // namespace tavrine::EPUBNavigationRows
