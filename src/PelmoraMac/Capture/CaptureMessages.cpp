#include "PelmoraMac/Capture/CaptureMessages.h"

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

QString sourceOr(const CaptureMessageState& state, const QString& fallback) {
    return state.sourceName.value_or(fallback);
}

QString failureText(const CaptureMessageState& state, CaptureFailure failure) {
    const QString browser = captureBrowserName(state.sourceBrowser, state.sourceName);
    switch (failure) {
    case CaptureFailure::permissionRequired:
        return u"他アプリの選択文を読むには、アクセシビリティ権限が必要です。「権限を設定する」で許可した後、元のアプリから取り込みをやり直してください。コピーして "_s +
               state.clipboardShortcutLabel + u" で再生する場合、この権限は不要です。"_s;
    case CaptureFailure::noSource:
        return u"取得元のアプリを前面にして文章を選択し、"_s + state.frontmostShortcutLabel + u" を押してください。"_s;
    case CaptureFailure::noSelection:
        return sourceOr(state, u"取得元"_s) + u"に選択文がありません。文章を選択して再実行してください。"_s;
    case CaptureFailure::selectionUnknown:
        return sourceOr(state, u"取得元"_s) +
               u"では選択文または選択状態を取得できませんでした。取得未対応の画面の可能性があります。選択して再実行するか、読む文章をコピーして "_s +
               state.clipboardShortcutLabel + u" で再生してください。"_s;
    case CaptureFailure::protectedField: return u"パスワードなどの保護された入力欄は取り込めません。"_s;
    case CaptureFailure::unavailable:
        return sourceOr(state, u"取得元"_s) +
               u"と通信できませんでした。元のアプリを開き直し、文章を選択して再実行してください。"_s;
    case CaptureFailure::timedOut:
        return u"取得が制限時間（3秒）を超えたため中止しました。元のアプリの応答を確認して再実行してください。"_s;
    case CaptureFailure::cancelled: return u"取り込みをキャンセルしました。"_s;
    case CaptureFailure::tooLong:
        return u"文章が一度に取り込める長さの上限を超えています。短い範囲を"_s +
               (state.usesClipboard ? u"コピー"_s : u"選択"_s) +
               u"して再実行してください。文章の途中切り捨ては行いません。"_s;
    case CaptureFailure::emptyText:
        if (state.usesClipboard) {
            return u"クリップボードの文章は空白や改行だけでした。読む文章をコピーして "_s +
                   state.clipboardShortcutLabel + u" を押してください。"_s;
        }
        return u"選択文は空白や改行だけでした。読む文章を選択して再実行してください。"_s;
    case CaptureFailure::noBodyCandidate:
        return u"この画面から文章を取得できませんでした。読む文章を選択して再実行するか、コピーして取り込んでください。"_s;
    case CaptureFailure::sourceChanged:
        if (state.usesClipboard) return u"読み取り中にコピー内容が変わりました。もう一度取り込んでください。"_s;
        return u"取得中にページやフォーカスが変わりました。読むページの本文をクリックして、もう一度取り込んでください。"_s;
    case CaptureFailure::automationRequired:
        return u"表示中のページを読むには、Tavrineから"_s + browser +
               u"へのオートメーション権限が必要です。「ブラウザー連携を許可」で許可した後、元のページからもう一度取り込んでください。"_s;
    case CaptureFailure::automationDenied:
        return u"ブラウザー連携が許可されていません。Tavrineの設定の「取り込みと連携」で、Tavrineから"_s + browser +
               u"への操作を許可してください。"_s;
    case CaptureFailure::browserJavaScriptDisabled:
        return browser +
               u"をリモートデバッグ付きで起動し直した後、元のページからもう一度取り込んでください。いったん終了してから、たとえば「chromium --remote-debugging-port=9222 --force-renderer-accessibility」で起動します。"_s;
    case CaptureFailure::diaLaunchRequired:
        return u"Diaのページ本文を読むには、ブラウザー側の連携設定が必要です。詳細の手順を確認するか、読む文章を選択またはコピーして取り込んでください。"_s;
    case CaptureFailure::browserUnsupported:
        return u"このブラウザーのページ本文取得には未対応です。Google Chrome・Chromiumで開くか、文章を選択またはコピーして取り込んでください。"_s;
    case CaptureFailure::htmlTooLarge:
        return u"ページのサイズや構造が取得上限を超えています。読む範囲を選択またはコピーして取り込んでください。本文は途中で切り捨てません。"_s;
    case CaptureFailure::extractionFailed:
        return u"ページ本文を抽出できませんでした。読む範囲を選択またはコピーして取り込んでください。"_s;
    case CaptureFailure::markdownUnreadable:
        return u"Markdown を読む本文へ変換できませんでした。記号をそのまま読む場合は、文章をコピーし、「取り込む」→「プレーンテキストとして取り込む」を選んでください。現在の文章は保持しています。"_s;
    case CaptureFailure::markdownTooComplex:
        return u"Markdown の構造が取り込み上限を超えています。短い範囲を選択またはコピーして再実行してください。現在の文章は保持しています。"_s;
    case CaptureFailure::clipboardNoText:
        return u"クリップボードに文章がありません。読む文章をコピーして "_s + state.clipboardShortcutLabel +
               u" を押してください。"_s;
    case CaptureFailure::clipboardUnreadable:
        return u"クリップボードの書式を読み取れませんでした。プレーンテキストとしてコピーして取り込んでください。現在の文章は保持しています。"_s;
    case CaptureFailure::clipboardFormatTooLarge:
        return u"コピーした文章の書式データが大きすぎるため、取り込めません。短い範囲をコピーするか、「取り込む」→「プレーンテキストとして取り込む」を選んでください。"_s;
    case CaptureFailure::frontPageUnknown:
        return browser +
               u"で表示中のページを特定できませんでした。読むページの本文をクリックして、もう一度取り込んでください。"_s;
    case CaptureFailure::browserErrorPage:
        return browser +
               u"で表示中のページは読み込めなかったため、読む本文がありません。ページを再読み込みして表示されたら、もう一度取り込んでください。"_s;
    }
    Q_UNREACHABLE();
}

}  // namespace

QString captureBrowserName(std::optional<ArticleBrowser> browser, const std::optional<QString>& sourceName) {
    if (!browser) return u"ブラウザー"_s;
    switch (*browser) {
    case ArticleBrowser::arc: return u"Arc"_s;
    case ArticleBrowser::dia: return u"Dia"_s;
    case ArticleBrowser::chrome: return sourceName.value_or(u"Google Chrome"_s);
    }
    Q_UNREACHABLE();
}

QString captureStatusMessage(const CaptureMessageState& state) {
    if (state.isCapturing) return sourceOr(state, u"前面アプリ"_s) + u"から文章を取得しています…"_s;
    if (state.failure) return failureText(state, *state.failure);
    if (state.succeeded) {
        return u"取得元："_s + sourceOr(state, u"他アプリ"_s) + u" · "_s +
               (state.loadedBody ? u"フォーカス中の本文"_s : u"選択文"_s) +
               u"。取り込み後は自動再生します。原文の選択位置から読み直せます。"_s;
    }
    return u"他アプリを前面にして "_s + state.frontmostShortcutLabel +
           u" を押してください。選択文を優先し、選択なしと確認できた場合は本文を取り込んで自動再生します。"_s;
}

std::optional<QString> captureClipboardFailureMessage(const CaptureMessageState& state, bool playerShowsText) {
    if (!state.usesClipboard || !state.failure || playerShowsText) return std::nullopt;
    switch (*state.failure) {
    case CaptureFailure::emptyText:
        return u"コピーした内容は空白や改行だけでした。読む文章をコピーして、もう一度貼り付けてください。"_s;
    case CaptureFailure::clipboardNoText:
        return u"クリップボードに文章がありません。読む文章をコピーして、もう一度貼り付けてください。"_s;
    default: return captureStatusMessage(state);
    }
}

}  // namespace tavrine
