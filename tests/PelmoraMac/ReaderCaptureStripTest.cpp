// The capture strip: what each state shows, and the retry buttons in a row or a column by the width.
#include "PelmoraMac/Window/ReaderCaptureStrip.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using State = ReaderCaptureStrip::State;

// The texts of the labels and buttons the strip shows.
QStringList shownTexts(const ReaderCaptureStrip& strip) {
    QStringList texts;
    for (const QLabel* label : strip.findChildren<QLabel*>())
        if (label->isVisibleTo(&strip) && !label->text().isEmpty()) texts.append(label->text());
    for (const QPushButton* button : strip.findChildren<QPushButton*>())
        if (button->isVisibleTo(&strip)) texts.append(button->text());
    return texts;
}

TEST(ReaderCaptureStrip, EachStateShowsItsOwnLinesAndButtons) {
    const State failedWithText{.failure = CaptureFailure::permissionRequired,
                               .message = u"権限が必要です"_s,
                               .hasDocumentText = true,
                               .canRetryInSource = true,
                               .canImportClipboard = true,
                               .shortcutLabel = u"Meta+Ctrl+Alt+R"_s};
    struct Case {
        const char* name;
        State state;
        QStringList shown;
        QStringList hidden;
    };
    const QStringList permission{u"権限を設定する"_s, u"システム設定を開く"_s, u"権限を再確認"_s};
    const std::vector<Case> cases{
        {"permission needed, a document open",
         failedWithText,
         permission +
             QStringList{
                 u"権限が必要です"_s, u"元のアプリで文章を選択"_s, u"コピーした文章を取り込む"_s,
                 u"元のアプリで文章を選択して Meta+Ctrl+Alt+R で再実行できます。コピーする場合は、先に読む文章をコピーしてください。"_s},
         {u"取り込みをキャンセル"_s, u"ショートカットを再登録"_s}},
        {"no document: only the retry in the source",
         State{.failure = CaptureFailure::noSelection, .message = u"選択がありません"_s, .canRetryInSource = true},
         {u"選択がありません"_s, u"元のアプリで文章を選択"_s},
         permission + QStringList{u"コピーした文章を取り込む"_s}},
        {"capturing",
         State{.message = u"取り込み中"_s, .isCapturing = true},
         {u"取り込み中"_s, u"取り込みをキャンセル"_s},
         permission},
        {"both hot keys failed: two lines, one button",
         State{.shortcutError = u"一つ目"_s, .clipboardShortcutError = u"二つ目"_s},
         {u"一つ目"_s, u"二つ目"_s, u"ショートカットを再登録"_s},
         {u"取り込みをキャンセル"_s}},
        {"browser consent",
         State{.failure = CaptureFailure::automationRequired, .message = u"連携"_s},
         {u"ブラウザー連携を許可"_s},
         permission + QStringList{u"オートメーション設定を開く"_s}},
    };
    for (const Case& c : cases) {
        ReaderCaptureStrip strip({});
        strip.apply(c.state);
        const QStringList shown = shownTexts(strip);
        for (const QString& text : c.shown) EXPECT_TRUE(shown.contains(text)) << c.name << ": " << text.toStdString();
        for (const QString& text : c.hidden) EXPECT_FALSE(shown.contains(text)) << c.name << ": " << text.toStdString();
        if (c.state.shortcutError) {
            EXPECT_EQ(shown.count(u"ショートカットを再登録"_s), 1) << c.name;
        }
    }
}

TEST(ReaderCaptureStrip, ThePermissionButtonsActAndTheRetryButtonsFoldIntoAColumnWhenNarrow) {
    QStringList done;
    QWidget window;
    // Placed freely in its window, so that its width is the test's to set.
    ReaderCaptureStrip strip({
                                 .requestPermission = [&] { done.append(u"request"_s); },
                                 .openPermissionSettings = [&] { done.append(u"settings"_s); },
                                 .refreshPermission = [&] { done.append(u"refresh"_s); },
                             },
                             &window);
    strip.apply({.failure = CaptureFailure::permissionRequired,
                 .message = u"権限が必要です"_s,
                 .hasDocumentText = true,
                 .canRetryInSource = true});
    for (QPushButton* button : strip.permissionRow().findChildren<QPushButton*>()) button->click();
    EXPECT_EQ(done, (QStringList{u"request"_s, u"settings"_s, u"refresh"_s}));

    window.show();
    const auto sideBySide = [&](int width) {
        strip.resize(width, 600);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return strip.retryInSourceButton().y() == strip.importClipboardButton().y();
    };
    const int row = strip.retryInSourceButton().sizeHint().width() + strip.importClipboardButton().sizeHint().width();
    EXPECT_TRUE(sideBySide(row + 100));
    EXPECT_FALSE(sideBySide(row - 10));
    EXPECT_TRUE(sideBySide(row + 100));
}

}  // namespace
}  // namespace tavrine
