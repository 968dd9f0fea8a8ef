#include "PelmoraMac/Library/LibraryImportFailure.h"

namespace tavrine {
using namespace Qt::StringLiterals;

const QString kDropHint = u" 「取り込む」→「ファイルをライブラリに追加…」からも選べます。"_s;

LibraryImportFailure importFailureOf(const EPUBReader::Failure& failure) {
    if (failure.kind == EPUBReader::Failure::Kind::cancelled) return ImportCancelled{};
    return failure;
}

LibraryImportFailure importFailureOf(const StoreFailure& failure) {
    if (std::holds_alternative<OperationCancelled>(failure)) return ImportCancelled{};
    if (const auto* text = std::get_if<LibraryTextFile::Failure>(&failure)) return *text;
    return failure;
}

// ---- The words ----

namespace {

using Kind = EPUBReader::Failure::Kind;
using Limit = EPUBReader::ResourceLimit;

const QString kStoreFailed =
    u"ファイルをライブラリに保存できませんでした。既存の文書は保持しています。保存先を確認してから再試行してください。"_s;
const QString kEPUBLimits =
    u"EPUBは元ファイル32 MiB、展開後64 MiB、抽出本文500,000 UTF-16単位までです。UTF-16単位は文字の位置を数える単位で、一文字が複数単位になることがあります。目次10,000項目など、構造ごとの上限もあります。DRMなしの単一構成・リフロー型EPUB 2/3に対応します。"_s;
const QString kTextLimits =
    u"テキストファイルは本文500,000 UTF-16単位、元ファイル1,500,003バイトまでです。UTF-16単位はアプリが文字の位置を数える単位で、絵文字などは一文字でも複数単位になります。UTF-8（BOM可）の .txt に対応します。"_s;
const QString kCharacterLimit =
    u"20,000 UTF-16単位を超える本文では、一つの文字と結合する記号を合わせて256 UTF-16単位までです。短い本文と以前に保存した文書は従来どおり読めます。"_s;

QString dropMessage(ReaderFileDropFailure failure) {
    switch (failure) {
    case ReaderFileDropFailure::multipleFiles:
        return u"一度に追加できるのは一つのファイルです。単一の .txt または .epub をドロップしてください。"_s;
    case ReaderFileDropFailure::unsupportedProvider:
        return u"ファイルの場所を受け取れませんでした。ファイルマネージャーの単一ファイルを使ってください。文章やWebリンクは追加できません。"_s;
    case ReaderFileDropFailure::invalidURL:
        return u"ローカルファイルの場所を受け取れませんでした。ファイルマネージャーの単一ファイルを使ってください。"_s;
    case ReaderFileDropFailure::timedOut:
        return u"ファイルの場所の受け取りが時間内に終わりませんでした。もう一度試してください。"_s;
    case ReaderFileDropFailure::unavailable:
        return u"今はファイルを追加できません。取り込みを終えるか、設定や確認画面を閉じてから再試行してください。"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString epubMessage(const EPUBReader::Failure& failure) {
    if (failure.kind == Kind::unsafeXML)
        return u"本の構造を安全に読み込めませんでした。元ファイルを確認するか、別の本を選んでください。"_s;
    if (failure.kind != Kind::limit) return epubFailureMessage(failure);
    switch (failure.resourceLimit) {
    case Limit::archiveBytes:
        return u"本のファイルが取り込み上限を超えています。内容を切り捨てず、追加を中止しました。小さいファイルを選んでください。"_s;
    case Limit::textUTF16:
        return u"本の本文が取り込み上限を超えています。内容を切り捨てず、追加を中止しました。短い本を選んでください。"_s;
    case Limit::graphemeUTF16:
        return u"一つの文字に重なる記号が多すぎるため、文字を壊さずに取り込めません。元ファイルを確認するか、別の本を選んでください。"_s;
    default:
        return u"本の展開サイズや構造が処理上限を超えています。内容を切り捨てず、追加を中止しました。別の本を選んでください。"_s;
    }
}

QString textMessage(LibraryTextFile::Failure failure) {
    using F = LibraryTextFile::Failure;
    switch (failure) {
    case F::unsupportedFormat:
        return u"対応するファイルは .txt（UTF-8）と .epub です。単一の対応ファイルを選んでください。"_s;
    case F::tooLong:
        return u"ファイルが取り込み上限を超えています。内容を切り捨てず、追加を中止しました。本文を複数の短いファイルに分けて、一つずつ追加してください。"_s;
    case F::tooComplex:
        return u"一つの文字に重なる記号が多すぎるため、文字を壊さずに取り込めません。元ファイルを確認するか、短い本文のファイルを選んでください。"_s;
    case F::invalidEncoding:
        return u"UTF-8として読めませんでした。文字コードをUTF-8にして保存し、もう一度選んでください。"_s;
    case F::empty: return u"ファイルに読む文章がありません。空白や改行だけのファイルは追加できません。"_s;
    case F::nonText:
        return u"文字の置換記号や未対応の制御文字を含むため、追加できません。元ファイルを確認してください。"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString readMessage(LibraryFileReadFailure failure) {
    if (failure == LibraryFileReadFailure::notRegularFile)
        return u"フォルダや通常のファイル以外は追加できません。単一の .txt または .epub を選んでください。"_s;
    return u"ファイルを読み出せませんでした。ファイルの場所と読み取り権限を確認し、もう一度選んでください。"_s;
}

}  // namespace

QString importFailureMessage(const LibraryImportFailure& failure) {
    return std::visit(
        [](const auto& value) -> QString {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, ImportCancelled>)
                return {};
            else if constexpr (std::is_same_v<T, ReaderFileDropFailure>)
                return dropMessage(value) + kDropHint;
            else if constexpr (std::is_same_v<T, EPUBReader::Failure>)
                return epubMessage(value);
            else if constexpr (std::is_same_v<T, LibraryTextFile::Failure>)
                return textMessage(value);
            else if constexpr (std::is_same_v<T, LibraryFileReadFailure>)
                return readMessage(value);
            else
                return kStoreFailed;
        },
        failure);
}

std::optional<QString> importFailureDetails(const LibraryImportFailure& failure) {
    if (const auto* epub = std::get_if<EPUBReader::Failure>(&failure)) {
        if (epub->kind == Kind::unsafeXML)
            return u"外部ファイルを参照するXML宣言や未対応の文字参照は読み込みません。部分的な本として保存せず、既存の文書を保持します。"_s;
        if (epub->kind != Kind::limit) return std::nullopt;
        if (epub->resourceLimit == Limit::graphemeUTF16) return kEPUBLimits + u'\n' + kCharacterLimit;
        return kEPUBLimits;
    }
    if (const auto* text = std::get_if<LibraryTextFile::Failure>(&failure)) {
        if (*text == LibraryTextFile::Failure::tooLong) return kTextLimits;
        if (*text == LibraryTextFile::Failure::tooComplex) return kTextLimits + u'\n' + kCharacterLimit;
    }
    return std::nullopt;
}

QString epubFailureMessage(const EPUBReader::Failure& failure) {
    switch (failure.kind) {
    case Kind::limit:
        switch (failure.resourceLimit) {
        case Limit::archiveBytes: return u"元EPUBが32MiBの上限を超えています。内容を切り捨てず、追加を中止しました。"_s;
        case Limit::textUTF16: return u"EPUBの本文が500,000 UTF-16単位の上限を超えています。追加を中止しました。"_s;
        case Limit::graphemeUTF16:
            return u"長文中の一つの文字が256 UTF-16単位を超えています。文字を壊さずに処理できないため、追加を中止しました。"_s;
        default:
            return u"EPUBの展開サイズまたは構造が処理上限を超えています（展開64MiB・目次10,000項目など）。追加を中止しました。"_s;
        }
    case Kind::invalidLimits:
    case Kind::invalidArchive:
    case Kind::ambiguousPath:
    case Kind::invalidXML:
    case Kind::invalidPackage:
    case Kind::missingResource:
    case Kind::ambiguousContent:
        return u"EPUBの構造が壊れているか、必要な本文・目次が欠けています。部分的な本として保存せず、追加を中止しました。元ファイルを確認し、もう一度選んでください。"_s;
    case Kind::unsupportedArchive:
    case Kind::unsupportedVersion:
    case Kind::multipleRenditions:
        return u"このEPUBの形式は未対応です。DRMのない、単一の本文構成を持つリフロー型EPUB 2/3を選んでください。"_s;
    case Kind::unsafeXML:
        return u"このEPUBには、安全な読み込みで扱えないXMLの宣言・文字参照があります。外部ファイルを読み込まず、追加を中止しました。"_s;
    case Kind::encrypted: return u"暗号化・DRM付きのEPUBは追加できません。DRMのない本を選んでください。"_s;
    case Kind::fixedLayout:
        return u"固定レイアウトのEPUBは追加できません。文章の配置が画面に合わせて変わるリフロー型の本を選んでください。"_s;
    case Kind::unsupportedContent:
        return u"主要本文に未対応の内容（数式・SVG・スクリプトなど）があるため、内容を欠落させずに取り込めません。追加を中止しました。"_s;
    case Kind::emptyContent: return u"EPUBに再生できる文章がありません。追加を中止しました。"_s;
    case Kind::cancelled: return QString();
    }
    return QString();
}

}  // namespace tavrine
