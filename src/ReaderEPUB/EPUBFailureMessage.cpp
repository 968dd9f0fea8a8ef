#include "ReaderEPUB/EPUBFailureMessage.h"

namespace tavrine {
using namespace Qt::StringLiterals;

QString failureMessage(const EPUBReader::Failure& failure) {
    using Kind = EPUBReader::Failure::Kind;
    using Limit = EPUBReader::ResourceLimit;
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
