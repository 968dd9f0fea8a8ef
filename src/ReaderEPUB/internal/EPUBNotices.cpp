#include "ReaderEPUB/internal/EPUBNotices.h"

#include <algorithm>
#include <compare>
#include <vector>

namespace tavrine::EPUBNotices {
namespace {
using Kind = EPUBBook::Notice::Kind;

// UTF-16 code units sort supplementary characters (surrogates, D800-DFFF) below E000-FFFF; shifting
// the units above the surrogates down and the surrogates up gives the order of the scalar values.
char16_t scalarOrderKey(char16_t unit) {
    if (unit >= 0xE000) return char16_t(unit - 0x800);
    if (unit >= 0xD800) return char16_t(unit + 0x2000);
    return unit;
}

std::strong_ordering compareAsText(QStringView a, QStringView b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (a[i] != b[i]) return scalarOrderKey(a[i].unicode()) <=> scalarOrderKey(b[i].unicode());
    }
    return a.size() <=> b.size();
}

std::strong_ordering compareResources(const EPUBBook::Notice& a, const EPUBBook::Notice& b) {
    return compareAsText(a.resource ? QStringView(*a.resource) : QStringView(),
                         b.resource ? QStringView(*b.resource) : QStringView());
}

}  // namespace

void appendRendered(QList<EPUBBook::Notice>& notices, const std::set<Kind>& kinds, const QString& path) {
    std::vector<Kind> ordered(kinds.begin(), kinds.end());
    std::sort(ordered.begin(), ordered.end(), [](Kind a, Kind b) { return rawValue(a) < rawValue(b); });
    for (const Kind kind : ordered) notices.append({kind, path});
}

bool comesBefore(const EPUBBook::Notice& a, const EPUBBook::Notice& b) {
    if (const auto byResource = compareResources(a, b); byResource != 0) return byResource < 0;
    return rawValue(a.kind) < rawValue(b.kind);
}

QList<EPUBBook::Notice> finalNotices(QList<EPUBBook::Notice> notices) {
    // A total order (comesBefore, then absent before present) puts equal notices side by side.
    const auto totalOrder = [](const EPUBBook::Notice& a, const EPUBBook::Notice& b) {
        if (comesBefore(a, b)) return true;
        if (comesBefore(b, a)) return false;
        return !a.resource && b.resource;
    };
    std::sort(notices.begin(), notices.end(), totalOrder);
    notices.erase(std::unique(notices.begin(), notices.end()), notices.end());
    return notices;
}

}  // namespace tavrine::EPUBNotices
