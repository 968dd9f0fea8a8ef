#include "PelmoraMac/App/ReaderSample.h"

#include <QStringList>

namespace tavrine {
using namespace Qt::StringLiterals;

QString readerSampleText() {
    return QStringList{
        u"朝の光が、窓辺のカップを照らしていました。"_s,
        u"いつもより少し早く家を出て、川沿いの道を歩きます。風はまだ冷たく、遠くから鳥の声が聞こえます。"_s,
        u"橋の上で足を止めると、水面に空の色が揺れていました。急いでいるときには気づかない、小さな景色です。"_s,
        u"帰り道、角のパン屋から焼きたての香りが流れてきました。温かいパンを一つ買って、来た道をゆっくり戻ります。"_s,
        u"特別な予定のない朝にも、心に残るひとときがあります。"_s,
    }
        .join(u'\n');
}

ImportedReading readerSampleReading(const Clock& clock) {
    return ImportedReading::create(ReadingDocument{.sections = std::nullopt, .text = readerSampleText(), .spans = {}},
                                   /*autoplay=*/false, u"サンプル：朝の散歩"_s, u"内蔵サンプル"_s,
                                   /*allowsReplacementUndo=*/false, clock);
}

}  // namespace tavrine
