#include "ReaderCore/ImportedReading.h"

namespace tavrine {

ImportedReading ImportedReading::create(ReadingDocument document, bool autoplay, std::optional<QString> title,
                                        std::optional<QString> source, bool allowsReplacementUndo, const Clock& clock) {
    return ImportedReading{
        SavedReading::create(std::move(document), std::move(title), std::nullopt, std::move(source), clock.now()),
        autoplay, allowsReplacementUndo};
}

ImportedReading ImportedReading::fromText(QString text, bool autoplay, const Clock& clock) {
    return create(ReadingDocument{.sections = std::nullopt, .text = std::move(text), .spans = {}}, autoplay,
                  std::nullopt, std::nullopt,
                  /*allowsReplacementUndo=*/false, clock);
}

}  // namespace tavrine
