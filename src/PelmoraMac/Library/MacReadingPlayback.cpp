#include "PelmoraMac/Library/MacReadingPlayback.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/PrintableText.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/ReadingStoreFiles.h"
#include "ReaderUI/Player/ReadingStorePlaybackStore.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"

#include <cerrno>
#include <cstring>
#include <type_traits>
#include <variant>

namespace tavrine {
using namespace Qt::StringLiterals;

struct MacReadingPlayback::Opened {
    std::shared_ptr<ReadingStore> store;
    std::optional<StoreOpeningFailure> refusal;
};

MacReadingPlayback::Opened MacReadingPlayback::openStore(const std::optional<QString>& storeFile) {
    if (!storeFile) return {.store = nullptr, .refusal = std::nullopt};
    auto opened = ReadingStore::openNamingFile(*storeFile);
    if (!opened) return {.store = nullptr, .refusal = std::move(opened.error())};
    return {.store = std::shared_ptr<ReadingStore>(std::move(*opened)), .refusal = std::nullopt};
}

namespace {

QString fileRole(const StoreOpeningFailure& refusal) {
    using File = StoreOpeningFailure::File;
    switch (refusal.file) {
    case File::lock: return u"保存データのロック用ファイル"_s;
    case File::store: return u"保存データの本体"_s;
    case File::progress: return u"読書位置の記録"_s;
    case File::originals: return u"元ファイルの保管フォルダー"_s;
    case File::original:
        return refusal.originalName
                   ? u"「%1」から取り込んだEPUBの保管コピー"_s.arg(escapingControlCharacters(*refusal.originalName))
                   : u"取り込んだEPUBの保管コピー"_s;
    }
    return {};
}

QString reasonOf(const FileError& error) {
    if (error.isNoSuchFile()) return u"ファイルが見つかりません。"_s;
    if (error.code == EACCES || error.code == EPERM) return u"このユーザーには扱う権限がありません。"_s;
    using Operation = FileError::Operation;
    QString what;
    switch (error.operation) {
    case Operation::read: what = u"読み取れませんでした"_s; break;
    case Operation::status: what = u"状態を確かめられませんでした"_s; break;
    case Operation::open: what = u"開けませんでした"_s; break;
    case Operation::list: what = u"中身を確かめられませんでした"_s; break;
    case Operation::remove: what = u"不要になったファイルを削除できませんでした"_s; break;
    case Operation::write: what = u"書き込めませんでした"_s; break;
    case Operation::createDirectory: what = u"フォルダーを作れませんでした"_s; break;
    case Operation::lock: what = u"ロックできませんでした"_s; break;
    }
    return what + u"（"_s + QString::fromLocal8Bit(std::strerror(error.code)) + u"）。"_s;
}

QString reasonOf(const ReadingStoreError& error, StoreOpeningFailure::File file) {
    using Kind = ReadingStoreError::Kind;
    using File = StoreOpeningFailure::File;
    switch (error.kind) {
    case Kind::lockUnavailable: return u"ほかのTavrineが同じ保存データを使っています。"_s;
    case Kind::unsupportedVersion:
        return u"このTavrineでは読めない形式（版 %1）です。より新しいTavrineで保存された可能性があります。"_s.arg(
            error.version);
    case Kind::invalidData:
    case Kind::missingDocument:
    case Kind::duplicateIdentity: break;
    }
    switch (file) {
    case File::original: return u"通常のファイルでないか、大きさかSHA-256が取り込んだときの記録と一致しません。"_s;
    case File::progress: return u"通常のファイルでないか、内容が壊れているか、保存データの本体と対応していません。"_s;
    case File::store: return u"通常のファイルでないか、内容が壊れているか、記録どうしが食い違っています。"_s;
    case File::lock:
    case File::originals: break;
    }
    return u"想定していない種類のファイルです。"_s;
}

QString reasonOf(const DecodingError& error) {
    if (error.kind == DecodingError::Kind::dataCorrupted && error.codingPath.isEmpty())
        return u"JSONとして読めません。ファイルが壊れています。"_s;
    const QString where =
        error.codingPath.isEmpty() ? QString() : u"（%1）"_s.arg(escapingControlCharacters(error.codingPath));
    return u"必要な項目が欠けているか、値の形式が違います"_s + where + u"。"_s;
}

}  // namespace

QString MacReadingPlayback::describeRefusal(const StoreOpeningFailure& refusal) {
    const QString reason = std::visit(
        [&](const auto& failure) -> QString {
            using Failure = std::decay_t<decltype(failure)>;
            if constexpr (std::is_same_v<Failure, FileError>) {
                return reasonOf(failure);
            } else if constexpr (std::is_same_v<Failure, ReadingStoreError>) {
                return reasonOf(failure, refusal.file);
            } else if constexpr (std::is_same_v<Failure, DecodingError>) {
                return reasonOf(failure);
            } else {
                return reasonOf(ReadingStoreError::invalidData(), refusal.file);
            }
        },
        refusal.failure);
    return u"ファイル："_s + escapingControlCharacters(refusal.path) + u"（"_s + fileRole(refusal) + u"）\n理由："_s +
           reason;
}

MacReadingPlayback::MacReadingPlayback(std::optional<QString> storeFile, Defaults& defaults, const Clock& clock,
                                       ReadingPlayer::PhraseWidth phraseWidth)
    : MacReadingPlayback(openStore(storeFile), defaults, clock, std::move(phraseWidth)) {}

MacReadingPlayback::MacReadingPlayback(Opened opened, Defaults& defaults, const Clock& clock,
                                       ReadingPlayer::PhraseWidth phraseWidth)
    : MacReadingPlayback(std::move(opened.store), defaults, clock, std::move(phraseWidth), std::move(opened.refusal)) {}

MacReadingPlayback::MacReadingPlayback(std::shared_ptr<ReadingStore> store, Defaults& defaults, const Clock& clock,
                                       ReadingPlayer::PhraseWidth phraseWidth,
                                       std::optional<StoreOpeningFailure> refusal)
    : m_store(std::move(store)) {
    Q_ASSERT(isMainThread());
    const bool opened = m_store != nullptr;
    if (!opened && refusal) m_refusalDetails = describeRefusal(*refusal);
    m_player = std::make_unique<ReadingPlayer>(opened ? std::make_shared<ReadingStorePlaybackStore>(m_store) : nullptr,
                                               /*storeUnavailable=*/!opened,
                                               /*automaticallySavesHistory=*/opened, kCheckpointInterval, defaults,
                                               clock, std::move(phraseWidth));
}

MacReadingPlayback::~MacReadingPlayback() {
    Q_ASSERT(isMainThread());
    m_player.reset();
    m_store.reset();
}

std::optional<QString> MacReadingPlayback::applicationStoreFile() {
    return ReadingStoreFiles::applicationStoreFile();
}

ReadingPlayer::PhraseWidth MacReadingPlayback::readingFontPhraseWidth() {
    return {[](QStringView phrase) { return PhraseWidthMeasurer::width(phrase); },
            PhraseWidthMeasurer::referenceWidth()};
}

}  // namespace tavrine
