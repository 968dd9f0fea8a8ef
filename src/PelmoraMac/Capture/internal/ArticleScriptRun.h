#pragma once

#include "PelmoraMac/Capture/ArticleScriptHost.h"

namespace tavrine {

// runArticleExtractorScript with the extractor's source given rather than loaded from the resources,
// and its own time limit: how the tests run extractors of their own.
ArticleExtraction runArticleExtractorSource(const QString& source, const QString& argument, const QString& functionName,
                                            std::chrono::milliseconds timeLimit = kArticleScriptTimeLimit);

}  // namespace tavrine
