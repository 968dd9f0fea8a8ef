#pragma once

#include "ReaderCore/TextRange.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <tl/expected.hpp>

#include <memory>
#include <vector>

namespace tavrine {

class CharacterBreaks;

// The BudouX phrase model: cuts a line of Japanese into phrases by scoring every Character start with
// the weights of the 13 published features (windows of one to three Unicode scalars around the
// candidate break) and breaking where the score exceeds 0.
//
// An immutable value, usable from any thread at once. The weights are packed into small integer keys
// once, when the parser is built, so a parse forms no string.
class BudouXParser {
public:
    // Feature name -> (one to three scalars -> weight). Keys other than the 13 feature names count in the
    // base score and play no other part.
    using Model = QHash<QString, QHash<QString, qint64>>;

    enum class ModelFailure {
        malformed,            // not a JSON object of objects of integer weights
        empty,                // not a single feature
        weightSumOutOfRange,  // the weights do not sum within 64 bits
    };

    // The process-wide parser of the Japanese model in the resources (":/BudouX/ja.json"), built on first
    // use under a thread-safe one-time initialisation. The model is part of the application: when it is
    // missing or unusable the process stops with a fatal error; there is no fallback segmentation.
    static const BudouXParser& shared();

    // Fails only when the weights do not sum within 64 bits.
    static tl::expected<BudouXParser, ModelFailure> fromModel(const Model& model);
    // The model as UTF-8 JSON text, decoded strictly (a weight must be an integer).
    static tl::expected<BudouXParser, ModelFailure> fromJson(const QByteArray& json);

    // Minus half the sum of every weight in the model: the score every candidate break starts from.
    double baseScore() const { return m_baseScore; }

    // The phrases of a text, in order, covering it without gaps; none for an empty text. A phrase never
    // begins inside a Character, although the features count Unicode scalars.
    QList<TextRange> parse(const QString& text) const;

    // The same for one line of a longer text whose Characters were analysed already: appends to breaks
    // the offsets (in text) at which a phrase of the line begins, after the line's first.
    void appendBreaks(QStringView text, TextRange line, const CharacterBreaks& characters,
                      std::vector<qsizetype>& breaks) const;

private:
    struct PackedWeights;

    BudouXParser(std::shared_ptr<const PackedWeights> weights, double baseScore);

    std::shared_ptr<const PackedWeights> m_weights;
    double m_baseScore = 0;
};

QString describe(BudouXParser::ModelFailure failure);

}  // namespace tavrine
