#include "PelmoraMac/Menus/ReaderMenuState.h"

namespace tavrine {
using namespace Qt::StringLiterals;
using Item = ReaderMenuItem;
using Action = ReaderPlaybackRequest::Action;
using SizeAction = ReaderTextSizeSettings::Action;
using SizeTarget = ReaderTextSizeSettings::Target;

namespace {

bool canPerform(const ReaderMenuInputs& inputs, Action action) {
    return inputs.canPerform[std::size_t(action)];
}

}  // namespace

std::optional<ReaderPlaybackRequest::Action> playbackActionOf(ReaderMenuItem item) {
    switch (item) {
    case Item::togglePlayback: return Action::togglePlayback;
    case Item::replay: return Action::replay;
    case Item::backSentence: return Action::backSentence;
    case Item::forwardSentence: return Action::forwardSentence;
    case Item::backChapter: return Action::backChapter;
    case Item::forwardChapter: return Action::forwardChapter;
    case Item::slower: return Action::slower;
    case Item::faster: return Action::faster;
    case Item::documentInformation: return Action::showDocumentInformation;
    default: return std::nullopt;
    }
}

std::optional<ReaderTextSizeStep> textSizeStepOf(ReaderMenuItem item) {
    switch (item) {
    case Item::rsvpLarger: return ReaderTextSizeStep{SizeAction::increase, SizeTarget::rsvp};
    case Item::rsvpSmaller: return ReaderTextSizeStep{SizeAction::decrease, SizeTarget::rsvp};
    case Item::rsvpDefaultSize: return ReaderTextSizeStep{SizeAction::reset, SizeTarget::rsvp};
    case Item::sourceLarger: return ReaderTextSizeStep{SizeAction::increase, SizeTarget::source};
    case Item::sourceSmaller: return ReaderTextSizeStep{SizeAction::decrease, SizeTarget::source};
    case Item::sourceDefaultSize: return ReaderTextSizeStep{SizeAction::reset, SizeTarget::source};
    default: return std::nullopt;
    }
}

ReaderMenuState readerMenuState(const ReaderMenuInputs& in) {
    const auto& context = in.context;
    const bool present = context.has_value();
    // No reader window active, an import running or the window blocked.
    const bool busy = !present || context->isImporting || context->isBlocked;
    const ReaderImportAvailability imports = present ? context->imports : ReaderImportAvailability{};
    ReaderMenuState state;
    const auto set = [&state](Item item, QString title, bool enabled, std::optional<bool> checked = std::nullopt) {
        state[item] = {std::move(title), enabled, checked};
    };

    set(Item::checkForUpdates, u"アップデートを確認…"_s, in.canCheckForUpdates);
    set(Item::settings, u"設定…"_s, !in.settingsAreBlocked);

    set(Item::importFile, u"ファイルをライブラリに追加…"_s, imports.canImportFile);
    set(Item::addCurrent, imports.isCurrentInLibrary ? u"ライブラリに追加済み"_s : u"現在の文書をライブラリに追加"_s,
        imports.canAddCurrent);

    if (in.edit.isEditing) {
        set(Item::undo, in.edit.undoTitle, in.edit.canUndo);
        set(Item::redo, in.edit.redoTitle, in.edit.canRedo);
    } else {
        set(Item::undo, u"クリップボードからの文書置換を取り消す"_s, !busy && in.canUndoReplacement);
        set(Item::redo, u"クリップボードからの文書置換をやり直す"_s, !busy && in.canRedoReplacement);
    }
    set(Item::cut, u"カット"_s, in.text.cut);
    set(Item::copy, u"コピー"_s, in.text.copy);
    set(Item::paste, u"ペースト"_s, in.text.paste);
    set(Item::selectAll, u"すべてを選択"_s, in.text.selectAll);
    set(Item::importClipboard, u"クリップボードから取り込む"_s, imports.canImportClipboard);
    set(Item::importPlainText, u"プレーンテキストとして取り込む"_s, imports.canImportClipboard);
    set(Item::frontmostShortcutLine, u"他アプリで取り込む："_s + in.frontmostShortcutLabel, false);
    set(Item::clipboardShortcutLine, u"コピーした文章の自動再生："_s + in.clipboardShortcutLabel, false);
    set(Item::findInDocument, u"現在の文書内を検索…"_s, !busy && canPerform(in, Action::showDocumentInformation));
    set(Item::findNext, u"次の検索結果"_s, !busy && in.hasCurrentMatch);
    set(Item::findPrevious, u"前の検索結果"_s, !busy && in.hasCurrentMatch);

    // The sizes are whole numbers; a stored fraction is shown cut toward zero.
    set(Item::rsvpSizes, u"RSVPの文字サイズ（%1 pt）"_s.arg(qint64(in.rsvpPointSize)), true);
    set(Item::sourceSizes, u"原文の文字サイズ（%1 pt）"_s.arg(qint64(in.sourcePointSize)), true);
    const auto sizeItem = [&](Item item, QString title) {
        const ReaderTextSizeStep step = *textSizeStepOf(item);
        set(item, std::move(title), !busy && in.canChangeSize[std::size_t(step.target)][std::size_t(step.action)]);
    };
    sizeItem(Item::rsvpLarger, u"拡大（2 pt）"_s);
    sizeItem(Item::rsvpSmaller, u"縮小（2 pt）"_s);
    sizeItem(Item::rsvpDefaultSize, u"初期サイズに戻す（34 pt）"_s);
    sizeItem(Item::sourceLarger, u"拡大（1 pt）"_s);
    sizeItem(Item::sourceSmaller, u"縮小（1 pt）"_s);
    sizeItem(Item::sourceDefaultSize, u"初期サイズに戻す（15 pt）"_s);
    // An import or a block leaves the two pane switches to their own flags.
    set(Item::toggleSource, u"原文を表示"_s, present && context->canToggleSource,
        present ? context->showsSource : in.prefersSource);
    set(Item::toggleHistory, u"文書一覧を表示"_s, present && context->canToggleHistory,
        present ? context->showsHistory : in.presentationShowsHistory);
    set(Item::toggleEPUBNavigation, u"目次を表示"_s, !busy && canPerform(in, Action::showEPUBNavigation),
        present && context->showsEPUBNavigation);
    set(Item::documentInformation, present && in.isEPUBReading ? u"本の情報…"_s : u"文書の情報…"_s,
        !busy && canPerform(in, Action::showDocumentInformation));

    const auto playbackItem = [&](Item item, QString title) {
        set(item, std::move(title), !busy && canPerform(in, *playbackActionOf(item)));
    };
    playbackItem(Item::togglePlayback, present && in.isPlaying ? u"一時停止"_s : u"再生"_s);
    playbackItem(Item::replay, u"最初から再生"_s);
    playbackItem(Item::backSentence, u"文の先頭へ戻る"_s);
    playbackItem(Item::forwardSentence, u"次の文へ"_s);
    playbackItem(Item::backChapter, u"章の先頭へ戻る"_s);
    playbackItem(Item::forwardChapter, u"次の章へ"_s);
    set(Item::speedLine, u"読む速度："_s + in.speedLabel, false);
    playbackItem(Item::slower, u"読む速度を0.1倍下げる"_s);
    playbackItem(Item::faster, u"読む速度を0.1倍上げる"_s);

    set(Item::openReader, u"リーダーを開く"_s, true);
    return state;
}

}  // namespace tavrine
