// Every capture text, compared whole: each failure in both variants where it has two, the fallbacks of
// the source and browser names, and the start view's text.
#include "PelmoraMac/Capture/CaptureMessages.h"

#include "CaptureTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using F = CaptureFailure;

CaptureMessageState failed(F failure, bool usesClipboard, std::optional<QString> source = std::nullopt,
                           std::optional<ArticleBrowser> browser = std::nullopt) {
    return {.isCapturing = false,
            .failure = failure,
            .succeeded = false,
            .usesClipboard = usesClipboard,
            .loadedBody = false,
            .sourceName = std::move(source),
            .sourceBrowser = browser,
            .frontmostShortcutLabel = u"Meta+Ctrl+Alt+R"_s,
            .clipboardShortcutLabel = u"Meta+Ctrl+Alt+V"_s};
}

TEST(CaptureMessages, EachFailureHasItsTextInBothVariantsWithTheLabelsAndNames) {
    struct Case {
        F failure;
        QString selection;  // after a capture of the application in front, without a source name
        QString clipboard;  // after a clipboard import
    };
    const QString same;
    const QList<Case> cases{
        {F::permissionRequired,
         u"他アプリの選択文を読むには、アクセシビリティ権限が必要です。「権限を設定する」で許可した後、元のアプリから取り込みをやり直してください。コピーして Meta+Ctrl+Alt+V で再生する場合、この権限は不要です。"_s,
         same},
        {F::noSource, u"取得元のアプリを前面にして文章を選択し、Meta+Ctrl+Alt+R を押してください。"_s, same},
        {F::noSelection, u"取得元に選択文がありません。文章を選択して再実行してください。"_s, same},
        {F::selectionUnknown,
         u"取得元では選択文または選択状態を取得できませんでした。取得未対応の画面の可能性があります。選択して再実行するか、読む文章をコピーして Meta+Ctrl+Alt+V で再生してください。"_s,
         same},
        {F::protectedField, u"パスワードなどの保護された入力欄は取り込めません。"_s, same},
        {F::unavailable, u"取得元と通信できませんでした。元のアプリを開き直し、文章を選択して再実行してください。"_s,
         same},
        {F::timedOut,
         u"取得が制限時間（3秒）を超えたため中止しました。元のアプリの応答を確認して再実行してください。"_s, same},
        {F::cancelled, u"取り込みをキャンセルしました。"_s, same},
        {F::tooLong,
         u"文章が一度に取り込める長さの上限を超えています。短い範囲を選択して再実行してください。文章の途中切り捨ては行いません。"_s,
         u"文章が一度に取り込める長さの上限を超えています。短い範囲をコピーして再実行してください。文章の途中切り捨ては行いません。"_s},
        {F::emptyText, u"選択文は空白や改行だけでした。読む文章を選択して再実行してください。"_s,
         u"クリップボードの文章は空白や改行だけでした。読む文章をコピーして Meta+Ctrl+Alt+V を押してください。"_s},
        {F::noBodyCandidate,
         u"この画面から文章を取得できませんでした。読む文章を選択して再実行するか、コピーして取り込んでください。"_s,
         same},
        {F::sourceChanged,
         u"取得中にページやフォーカスが変わりました。読むページの本文をクリックして、もう一度取り込んでください。"_s,
         u"読み取り中にコピー内容が変わりました。もう一度取り込んでください。"_s},
        {F::automationRequired,
         u"表示中のページを読むには、Tavrineからブラウザーへのオートメーション権限が必要です。「ブラウザー連携を許可」で許可した後、元のページからもう一度取り込んでください。"_s,
         same},
        {F::automationDenied,
         u"ブラウザー連携が許可されていません。Tavrineの設定の「取り込みと連携」で、Tavrineからブラウザーへの操作を許可してください。"_s,
         same},
        {F::browserJavaScriptDisabled,
         u"ブラウザーをリモートデバッグ付きで起動し直した後、元のページからもう一度取り込んでください。いったん終了してから、たとえば「chromium --remote-debugging-port=9222 --force-renderer-accessibility」で起動します。"_s,
         same},
        {F::diaLaunchRequired,
         u"Diaのページ本文を読むには、ブラウザー側の連携設定が必要です。詳細の手順を確認するか、読む文章を選択またはコピーして取り込んでください。"_s,
         same},
        {F::browserUnsupported,
         u"このブラウザーのページ本文取得には未対応です。Google Chrome・Chromiumで開くか、文章を選択またはコピーして取り込んでください。"_s,
         same},
        {F::htmlTooLarge,
         u"ページのサイズや構造が取得上限を超えています。読む範囲を選択またはコピーして取り込んでください。本文は途中で切り捨てません。"_s,
         same},
        {F::extractionFailed, u"ページ本文を抽出できませんでした。読む範囲を選択またはコピーして取り込んでください。"_s,
         same},
        {F::markdownUnreadable,
         u"Markdown を読む本文へ変換できませんでした。記号をそのまま読む場合は、文章をコピーし、「取り込む」→「プレーンテキストとして取り込む」を選んでください。現在の文章は保持しています。"_s,
         same},
        {F::markdownTooComplex,
         u"Markdown の構造が取り込み上限を超えています。短い範囲を選択またはコピーして再実行してください。現在の文章は保持しています。"_s,
         same},
        {F::clipboardNoText,
         u"クリップボードに文章がありません。読む文章をコピーして Meta+Ctrl+Alt+V を押してください。"_s, same},
        {F::clipboardUnreadable,
         u"クリップボードの書式を読み取れませんでした。プレーンテキストとしてコピーして取り込んでください。現在の文章は保持しています。"_s,
         same},
        {F::clipboardFormatTooLarge,
         u"コピーした文章の書式データが大きすぎるため、取り込めません。短い範囲をコピーするか、「取り込む」→「プレーンテキストとして取り込む」を選んでください。"_s,
         same},
        {F::frontPageUnknown,
         u"ブラウザーで表示中のページを特定できませんでした。読むページの本文をクリックして、もう一度取り込んでください。"_s,
         same},
        {F::browserErrorPage,
         u"ブラウザーで表示中のページは読み込めなかったため、読む本文がありません。ページを再読み込みして表示されたら、もう一度取り込んでください。"_s,
         same},
    };
    ASSERT_EQ(cases.size(), qsizetype(enumCases<F>().size()));
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case& expected = cases[i];
        SCOPED_TRACE(rawValue(expected.failure).toStdString());
        EXPECT_EQ(expected.failure, enumCases<F>()[std::size_t(i)]);
        EXPECT_EQ(captureStatusMessage(failed(expected.failure, false)), expected.selection);
        // The clipboard's source name is its own; the texts that name a source say "クリップボード".
        QString clipboard = expected.clipboard.isEmpty() ? expected.selection : expected.clipboard;
        if (clipboard.startsWith(u"取得元に"_s) || clipboard.startsWith(u"取得元で"_s) ||
            clipboard.startsWith(u"取得元と"_s)) {
            clipboard.replace(0, 3, u"クリップボード"_s);
        }
        EXPECT_EQ(captureStatusMessage(failed(expected.failure, true, u"クリップボード"_s)), clipboard);
    }
}

TEST(CaptureMessages, TheSourceAndBrowserNamesFallBackWhenAbsent) {
    EXPECT_EQ(captureStatusMessage(failed(F::noSelection, false, u"メモ帳"_s)),
              u"メモ帳に選択文がありません。文章を選択して再実行してください。"_s);
    // A browser source goes by its desktop entry's name; Google Chrome when it has none.
    EXPECT_EQ(
        captureStatusMessage(failed(F::browserJavaScriptDisabled, false, u"Chromium"_s, ArticleBrowser::chrome)),
        u"Chromiumをリモートデバッグ付きで起動し直した後、元のページからもう一度取り込んでください。いったん終了してから、たとえば「chromium --remote-debugging-port=9222 --force-renderer-accessibility」で起動します。"_s);
    EXPECT_EQ(captureBrowserName(ArticleBrowser::chrome, std::nullopt), u"Google Chrome"_s);
    EXPECT_EQ(captureBrowserName(ArticleBrowser::arc, u"x"_s), u"Arc"_s);
    EXPECT_EQ(captureBrowserName(ArticleBrowser::dia, u"x"_s), u"Dia"_s);
    EXPECT_EQ(captureBrowserName(std::nullopt, u"Chromium"_s), u"ブラウザー"_s);

    CaptureMessageState state = failed(F::cancelled, false);
    state.failure.reset();
    EXPECT_EQ(
        captureStatusMessage(state),
        u"他アプリを前面にして Meta+Ctrl+Alt+R を押してください。選択文を優先し、選択なしと確認できた場合は本文を取り込んで自動再生します。"_s);
    state.isCapturing = true;
    state.failure = F::timedOut;  // a running flow has its progress text whatever failure is left
    EXPECT_EQ(captureStatusMessage(state), u"前面アプリから文章を取得しています…"_s);
    state = failed(F::cancelled, false);
    state.failure.reset();
    state.succeeded = true;
    EXPECT_EQ(captureStatusMessage(state),
              u"取得元：他アプリ · 選択文。取り込み後は自動再生します。原文の選択位置から読み直せます。"_s);
}

TEST(CaptureMessages, TheStartViewSpeaksOnlyOfAClipboardFailureWhileNoTextIsShown) {
    const auto startView = [](F failure, bool usesClipboard, bool showsText) {
        return captureClipboardFailureMessage(failed(failure, usesClipboard, u"クリップボード"_s), showsText);
    };
    EXPECT_EQ(startView(F::emptyText, true, false),
              u"コピーした内容は空白や改行だけでした。読む文章をコピーして、もう一度貼り付けてください。"_s);
    EXPECT_EQ(startView(F::clipboardNoText, true, false),
              u"クリップボードに文章がありません。読む文章をコピーして、もう一度貼り付けてください。"_s);
    EXPECT_EQ(startView(F::tooLong, true, false), captureStatusMessage(failed(F::tooLong, true)));
    EXPECT_FALSE(startView(F::tooLong, true, true));
    EXPECT_FALSE(startView(F::noSelection, false, false));
    CaptureMessageState none = failed(F::tooLong, true);
    none.failure.reset();
    EXPECT_FALSE(captureClipboardFailureMessage(none, false));
}

}  // namespace
}  // namespace tavrine
