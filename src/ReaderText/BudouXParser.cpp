#include "ReaderText/BudouXParser.h"

#include "ReaderText/internal/PhraseText.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/Json.h"

#include <QFile>

#include <array>
#include <bit>
#include <cstdint>

namespace tavrine {
namespace {

struct Feature {
    const char16_t* name;
    int offset;  // from the candidate break, in scalars
    int length;  // in scalars
};

// The published BudouX feature set, in the order the scores are summed: unigrams, bigrams, trigrams.
constexpr std::array<Feature, 13> kFeatures{{
    {u"UW1", -3, 1},
    {u"UW2", -2, 1},
    {u"UW3", -1, 1},
    {u"UW4", 0, 1},
    {u"UW5", 1, 1},
    {u"UW6", 2, 1},
    {u"BW1", -2, 2},
    {u"BW2", -1, 2},
    {u"BW3", 0, 2},
    {u"TW1", -3, 3},
    {u"TW2", -2, 3},
    {u"TW3", -1, 3},
    {u"TW4", 0, 3},
}};
constexpr int kUnigrams = 6;
constexpr int kBigrams = 3;
constexpr int kTrigrams = 4;
// Windows reach at most three scalars before and after the candidate break.
constexpr int kPadding = 3;

// Every scalar of the model has a small positive id; 0 stands for a scalar the model never mentions and
// for the padding outside the line, so any window holding a 0 has no weight. Three ids fit one key.
using ScalarId = std::uint32_t;
constexpr int kIdBits = 21;

constexpr std::uint64_t packKey(ScalarId a, ScalarId b) {
    return (std::uint64_t{a} << kIdBits) | b;
}
constexpr std::uint64_t packKey(ScalarId a, ScalarId b, ScalarId c) {
    return (std::uint64_t{a} << (2 * kIdBits)) | (std::uint64_t{b} << kIdBits) | c;
}

// An open-addressing table from packed keys (never 0) to weights. Most look-ups miss, so the table is
// kept sparse (at most one key in eight slots) and the keys apart from the weights: a miss then ends on
// its first or second probe, within one cache line.
class WeightTable {
public:
    void build(const QHash<std::uint64_t, double>& weights) {
        std::size_t capacity = 64;
        while (capacity < 8 * static_cast<std::size_t>(weights.size())) capacity *= 2;
        m_mask = capacity - 1;
        m_shift = 64 - std::countr_zero(capacity);
        m_keys.assign(capacity, 0);
        m_weights.assign(capacity, 0);
        for (auto it = weights.begin(); it != weights.end(); ++it) {
            std::size_t index = slotOf(it.key());
            while (m_keys[index] != 0) index = (index + 1) & m_mask;
            m_keys[index] = it.key();
            m_weights[index] = it.value();
        }
    }

    double weight(std::uint64_t key) const {
        for (std::size_t index = slotOf(key);; index = (index + 1) & m_mask) {
            const std::uint64_t found = m_keys[index];
            if (found == key) return m_weights[index];
            if (found == 0) return 0;
        }
    }

private:
    std::size_t slotOf(std::uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shift);
    }

    std::vector<std::uint64_t> m_keys;
    std::vector<double> m_weights;
    std::size_t m_mask = 0;
    int m_shift = 58;
};

// The scalars of a model key, or an empty list when it is not the given number of them.
std::vector<char32_t> scalarsOf(const QString& key, int length) {
    std::vector<char32_t> scalars;
    for (qsizetype i = 0; i < key.size() && static_cast<int>(scalars.size()) <= length;) {
        const char32_t c = codePointAt(key, i);
        scalars.push_back(c);
        i += internal::scalarLength(c);
    }
    if (static_cast<int>(scalars.size()) != length) scalars.clear();
    return scalars;
}

tl::expected<BudouXParser::Model, BudouXParser::ModelFailure> decodeModel(const QByteArray& json) {
    auto model = decodeJsonText<BudouXParser::Model>(json);
    if (!model) return tl::unexpected(BudouXParser::ModelFailure::malformed);
    if (model->isEmpty()) return tl::unexpected(BudouXParser::ModelFailure::empty);
    return std::move(*model);
}

BudouXParser loadSharedParser() {
    const QString path = QStringLiteral(":/BudouX/ja.json");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("The BudouX model %s cannot be read: %s", qPrintable(path), qPrintable(file.errorString()));
    }
    auto parser = BudouXParser::fromJson(file.readAll());
    if (!parser) qFatal("The BudouX model %s is unusable: %s", qPrintable(path), qPrintable(describe(parser.error())));
    return std::move(*parser);
}

}  // namespace

struct BudouXParser::PackedWeights {
    std::vector<ScalarId> bmpIds = std::vector<ScalarId>(0x10000, 0);
    QHash<char32_t, ScalarId> supplementaryIds;
    // unigrams[feature][id]; index 0 holds 0.
    std::array<std::vector<double>, kUnigrams> unigrams;
    std::array<WeightTable, kBigrams> bigrams;
    std::array<WeightTable, kTrigrams> trigrams;

    ScalarId idOf(char32_t c) const {
        if (c <= 0xFFFF) return bmpIds[c];
        return supplementaryIds.value(c, 0);
    }

    ScalarId assignId(char32_t c, ScalarId& nextId) {
        ScalarId& slot = c <= 0xFFFF ? bmpIds[c] : supplementaryIds[c];
        if (slot == 0) slot = nextId++;
        return slot;
    }
};

BudouXParser::BudouXParser(std::shared_ptr<const PackedWeights> weights, double baseScore)
    : m_weights(std::move(weights)), m_baseScore(baseScore) {}

tl::expected<BudouXParser, BudouXParser::ModelFailure> BudouXParser::fromModel(const Model& model) {
    qint64 sum = 0;
    for (const auto& weights : model) {
        for (const qint64 weight : weights) {
            if (__builtin_add_overflow(sum, weight, &sum)) return tl::unexpected(ModelFailure::weightSumOutOfRange);
        }
    }

    auto packed = std::make_shared<PackedWeights>();
    ScalarId nextId = 1;
    std::array<QHash<std::uint64_t, double>, kBigrams> bigrams;
    std::array<QHash<std::uint64_t, double>, kTrigrams> trigrams;
    std::array<QHash<ScalarId, double>, kUnigrams> unigrams;
    for (std::size_t f = 0; f < kFeatures.size(); ++f) {
        const Feature& feature = kFeatures[f];
        const auto weights = model.constFind(QString::fromUtf16(feature.name));
        if (weights == model.constEnd()) continue;
        for (auto it = weights->begin(); it != weights->end(); ++it) {
            // A key of another length can never equal a window of this feature.
            const std::vector<char32_t> scalars = scalarsOf(it.key(), feature.length);
            if (scalars.empty()) continue;
            std::array<ScalarId, 3> ids{};
            for (std::size_t k = 0; k < scalars.size(); ++k) ids[k] = packed->assignId(scalars[k], nextId);
            const double weight = static_cast<double>(it.value());
            if (feature.length == 1) {
                unigrams[f][ids[0]] = weight;
            } else if (feature.length == 2) {
                bigrams[f - kUnigrams][packKey(ids[0], ids[1])] = weight;
            } else {
                trigrams[f - kUnigrams - kBigrams][packKey(ids[0], ids[1], ids[2])] = weight;
            }
        }
    }
    for (int f = 0; f < kUnigrams; ++f) {
        packed->unigrams[f].assign(nextId, 0.0);
        for (auto it = unigrams[f].begin(); it != unigrams[f].end(); ++it) packed->unigrams[f][it.key()] = it.value();
    }
    for (int f = 0; f < kBigrams; ++f) packed->bigrams[f].build(bigrams[f]);
    for (int f = 0; f < kTrigrams; ++f) packed->trigrams[f].build(trigrams[f]);

    return BudouXParser(std::move(packed), static_cast<double>(sum) * -0.5);
}

tl::expected<BudouXParser, BudouXParser::ModelFailure> BudouXParser::fromJson(const QByteArray& json) {
    return decodeModel(json).and_then([](const Model& model) { return fromModel(model); });
}

const BudouXParser& BudouXParser::shared() {
    // Never destroyed: a pool thread may still be cutting a text while the process exits, and the exit
    // handlers must not free the model under it.
    static const BudouXParser* const parser = new BudouXParser(loadSharedParser());
    return *parser;
}

QList<TextRange> BudouXParser::parse(const QString& text) const {
    QList<TextRange> phrases;
    if (text.isEmpty()) return phrases;
    const CharacterBreaks characters(text);
    std::vector<qsizetype> breaks;
    appendBreaks(text, {0, text.size()}, characters, breaks);
    qsizetype start = 0;
    for (const qsizetype end : breaks) {
        phrases.append({start, end});
        start = end;
    }
    phrases.append({start, text.size()});
    return phrases;
}

void BudouXParser::appendBreaks(QStringView text, TextRange line, const CharacterBreaks& characters,
                                std::vector<qsizetype>& breaks) const {
    // Reused by every line a thread parses, so a long text costs no allocation per line.
    thread_local std::vector<ScalarId> ids;
    thread_local std::vector<qsizetype> offsets;
    ids.assign(kPadding, 0);
    offsets.clear();
    const QStringView lineText = text.sliced(line.lowerBound, line.length());
    const PackedWeights& weights = *m_weights;
    for (qsizetype i = 0; i < lineText.size();) {
        const char32_t c = codePointAt(lineText, i);
        ids.push_back(weights.idOf(c));
        offsets.push_back(line.lowerBound + i);
        i += internal::scalarLength(c);
    }
    ids.insert(ids.end(), kPadding, 0);

    const ScalarId* id = ids.data() + kPadding;  // id[-3] ... id[n + 2] exist
    const auto n = static_cast<qsizetype>(offsets.size());
    qsizetype nextCharacter = characters.next(line.lowerBound);
    for (qsizetype i = 1; i < n; ++i) {
        const qsizetype position = offsets[i];
        while (nextCharacter < position) nextCharacter = characters.next(nextCharacter);
        if (nextCharacter != position) continue;  // never break inside a Character

        double score = m_baseScore;
        for (int f = 0; f < kUnigrams; ++f) score += weights.unigrams[f][id[i + kFeatures[f].offset]];
        for (int f = 0; f < kBigrams; ++f) {
            const ScalarId a = id[i + kFeatures[kUnigrams + f].offset];
            const ScalarId b = id[i + kFeatures[kUnigrams + f].offset + 1];
            if (a != 0 && b != 0) score += weights.bigrams[f].weight(packKey(a, b));
        }
        for (int f = 0; f < kTrigrams; ++f) {
            const int offset = kFeatures[kUnigrams + kBigrams + f].offset;
            const ScalarId a = id[i + offset];
            const ScalarId b = id[i + offset + 1];
            const ScalarId c = id[i + offset + 2];
            if (a != 0 && b != 0 && c != 0) score += weights.trigrams[f].weight(packKey(a, b, c));
        }
        if (score > 0) breaks.push_back(position);
    }
}

QString describe(BudouXParser::ModelFailure failure) {
    switch (failure) {
    case BudouXParser::ModelFailure::malformed:
        return QStringLiteral("it is not a JSON object of feature objects with integer weights");
    case BudouXParser::ModelFailure::empty: return QStringLiteral("it has no feature");
    case BudouXParser::ModelFailure::weightSumOutOfRange:
        return QStringLiteral("its weights do not sum within 64 bits");
    }
    return {};
}

}  // namespace tavrine
