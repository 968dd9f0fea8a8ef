#pragma once

#include <QString>

namespace tavrine::test {

// The path of a real input under ../shared/data (beside the project), or an empty string when the file
// is not there. Tests read such inputs in place; they are never copied into the project.
QString sharedDataFile(const QString& relativePath);

}  // namespace tavrine::test

// Skips the current test, with the reason, when a shared input is missing.
#define TAVRINE_SKIP_WITHOUT(path, relative)                                                       \
    if ((path).isEmpty()) {                                                                        \
        GTEST_SKIP() << "shared test data " << (relative) << " is not present beside the project"; \
    }
