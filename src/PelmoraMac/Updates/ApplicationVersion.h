#pragma once

#include <QString>

#include <optional>

namespace tavrine {

// The version this program was built as: the project's version and a build number, both compiled in.
// Either may be missing (a build without a number has none).
struct ApplicationVersion {
    std::optional<QString> version;
    std::optional<QString> build;

    static ApplicationVersion current();

    // "バージョン 0.1.0（ビルド 42）", each missing value shown as "—".
    QString line() const;

    bool operator==(const ApplicationVersion&) const = default;
};

}  // namespace tavrine
