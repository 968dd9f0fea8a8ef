#include "PelmoraMac/Library/ReaderDeletionConfirmation.h"

#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"

#include <QStringList>

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype kNameCharacters = 100;
constexpr qsizetype kNamedItems = 3;
}  // namespace

QString ReaderDeletionConfirmation::nameOf(const StoredReading& item) {
    return u"「"_s + ReaderDocumentIdentity::shownTitle(item.reading, kNameCharacters) + u"」"_s;
}

ReaderDeletionConfirmation ReaderDeletionConfirmation::historyRemoval(const QList<StoredReading>& items) {
    const qsizetype count = items.size();
    const qsizetype outsideLibrary =
        std::count_if(items.begin(), items.end(), [](const StoredReading& item) { return !item.isInLibrary; });
    const qsizetype inLibrary = count - outsideLibrary;

    ReaderDeletionConfirmation confirmation;
    confirmation.id = QUuid::createUuid();
    QStringList names;
    for (const StoredReading& item : items) {
        confirmation.ids.insert(item.id());
        if (names.size() < kNamedItems) names.append(nameOf(item));
    }
    const QString nameList = names.join(u"、"_s);
    if (count >= 2) {
        confirmation.title = u"履歴"_s + QString::number(count) + u"件を消去しますか？"_s;
        confirmation.actionTitle = u"履歴を消去"_s;
    } else if (outsideLibrary == 1) {
        confirmation.title = nameList + u"を削除しますか？"_s;
        confirmation.actionTitle = u"文書を削除"_s;
    } else {
        confirmation.title = nameList + u"を履歴から除きますか？"_s;
        confirmation.actionTitle = u"履歴から除く"_s;
    }

    QStringList paragraphs;
    if (count <= kNamedItems)
        paragraphs.append(nameList + u"が対象です。"_s);
    else
        paragraphs.append(nameList + u"ほか"_s + QString::number(count - kNamedItems) + u"件が対象です。"_s);
    if (outsideLibrary >= 1)
        paragraphs.append(u"ライブラリにない"_s + QString::number(outsideLibrary) +
                          u"件は、本文・書式・読み位置・アプリ内の元ファイルコピーも削除します。"_s);
    if (inLibrary >= 1)
        paragraphs.append(u"ライブラリにある"_s + QString::number(inLibrary) +
                          u"件は履歴だけを除き、本文・書式・読み位置・元コピーを残します。"_s);
    paragraphs.append(u"この操作は取り消せません。取り込み元のファイルと同内容の別文書は残ります。"_s);
    confirmation.message = paragraphs.join(u"\n\n"_s);
    confirmation.isLibrary = false;
    return confirmation;
}

ReaderDeletionConfirmation ReaderDeletionConfirmation::documentDeletion(const StoredReading& item) {
    ReaderDeletionConfirmation confirmation;
    confirmation.id = QUuid::createUuid();
    confirmation.ids = {item.id()};
    confirmation.title = nameOf(item) + u"を削除しますか？"_s;
    confirmation.message =
        u"この文書の本文・書式・読み位置・履歴・アプリ内の元ファイルコピーを削除します。"
        u"この操作は取り消せません。取り込み元のファイルと同内容の別文書は残ります。"_s;
    confirmation.actionTitle = u"文書を削除"_s;
    confirmation.isLibrary = true;
    return confirmation;
}

}  // namespace tavrine
