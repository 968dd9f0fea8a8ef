#pragma once

#include "PelmoraMac/Library/LibraryImportFailure.h"

#include <QByteArray>
#include <QUrl>
#include <tl/expected.hpp>

namespace tavrine {

// How a dropped item becomes the place of a local file.
class ReaderFileDrop {
public:
    using Failure = ReaderFileDropFailure;

    // The longest representation of a file's place that is looked at.
    static constexpr qsizetype kMaximumURLBytes = 65'536;

    ReaderFileDrop() = delete;

    // The file URL that data (an encoded URL, as dropped) names: invalidURL for no bytes, more than
    // kMaximumURLBytes, bytes that are no URL, or a URL that is not a plain local file (a "file" URL
    // whose host is none, empty or "localhost", without user, password, port, query or fragment, with an
    // absolute path).
    static tl::expected<QUrl, Failure> acceptedFileURL(const QByteArray& data);
};

}  // namespace tavrine
