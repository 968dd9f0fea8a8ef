#pragma once

#include <QString>

namespace tavrine::ReadingPlayerMessages {

// The player's texts, exactly as the reader shows them. An operation that clears a notice only when it is
// its own compares the held notice with its text here.

// The storage notice while the store could not be opened.
inline const QString kStoreUnavailable =
    QStringLiteral("保存データを開けませんでした。今回の再生は保存されません。文章の取り込みと再生は使えます。");
// The storage notice after the open reading was deleted from the store.
inline const QString kReadingRemoved = QStringLiteral("この文書は保存先から削除されたため、再生を停止しました。");
// The storage notice when a stored reading is asked for while there is no store.
inline const QString kStoredReadingsUnavailable =
    QStringLiteral("保存データを利用できません。文章の取り込みと再生は使えます。");
// The storage notice when the store failed to look a stored reading up.
inline const QString kStoredReadingLookupFailed = QStringLiteral(
    "保存データを読み直せませんでした。現在の文章は保持しています。保存先を確認してから再試行してください。");
// The storage notice when the store has no reading under the identifier asked for.
inline const QString kStoredReadingNotFound =
    QStringLiteral("保存文書が見つかりませんでした。現在の文章は引き続き再生できます。");
// The storage notice when a play record or a position could not be saved.
inline const QString kSaveFailed = QStringLiteral(
    "履歴・位置を保存できませんでした。再生は続けられますが、最新の位置は保存されていない可能性があります。");
// The storage notice when the current reading could not be added to the library.
inline const QString kLibraryAddFailed =
    QStringLiteral("ライブラリに追加できませんでした。本文は保持しています。保存先を確認してから再試行してください。");
// The storage notice when the history could not be switched.
inline const QString kHistorySettingFailed =
    QStringLiteral("履歴設定を保存できませんでした。設定は変更されていません。");
// The storage notice when history entries could not be deleted.
inline const QString kHistoryDeletionFailed =
    QStringLiteral("履歴を削除できませんでした。保存済みの本文と履歴は変更されていません。");
// The storage notice when the store's state could not be read again.
inline const QString kStorageRereadFailed =
    QStringLiteral("保存データを読み直せませんでした。再生は続けられますが、最新の保存状態を確認できません。");
// What the speed multiplier means.
inline const QString kSpeedHelp =
    QStringLiteral("1.0×は補正前の表示時間0.3秒です。長さと句読点の補正は維持します。倍率は読書効果を保証しません。");

}  // namespace tavrine::ReadingPlayerMessages
