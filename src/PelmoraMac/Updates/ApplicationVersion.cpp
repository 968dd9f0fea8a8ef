#include "PelmoraMac/Updates/ApplicationVersion.h"

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

std::optional<QString> present(const char* value) {
    const QString text = QString::fromUtf8(value);
    if (text.isEmpty()) return std::nullopt;
    return text;
}

}  // namespace

ApplicationVersion ApplicationVersion::current() {
    return {.version = present(TAVRINE_VERSION), .build = present(TAVRINE_BUILD_NUMBER)};
}

QString ApplicationVersion::line() const {
    const QString missing = u"—"_s;
    return u"バージョン "_s + version.value_or(missing) + u"（ビルド "_s + build.value_or(missing) + u"）"_s;
}

}  // namespace tavrine
