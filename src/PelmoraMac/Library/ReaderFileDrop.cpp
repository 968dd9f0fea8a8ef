#include "PelmoraMac/Library/ReaderFileDrop.h"

namespace tavrine {
using namespace Qt::StringLiterals;

tl::expected<QUrl, ReaderFileDrop::Failure> ReaderFileDrop::acceptedFileURL(const QByteArray& data) {
    const auto invalid = tl::unexpected(Failure::invalidURL);
    if (data.isEmpty() || data.size() > kMaximumURLBytes) return invalid;
    const QUrl url = QUrl::fromEncoded(data, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return invalid;
    const QString host = url.host();
    const bool accepted = url.scheme() == u"file"_s && (host.isEmpty() || host == u"localhost"_s) &&
                          url.userName().isEmpty() && url.password().isEmpty() && url.port() == -1 && !url.hasQuery() &&
                          !url.hasFragment() && url.path().startsWith(u'/');
    if (!accepted) return invalid;
    // "localhost" names this machine: dropped, so the path reads as a local one, not a network share.
    QUrl local = url;
    local.setHost(QString());
    return local;
}

}  // namespace tavrine
