#include "BenchReport.h"

#include <algorithm>
#include <cmath>

namespace tavrine::bench {

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

QString jsonString(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\') {
            escaped += u'\\';
            escaped += c;
        } else if (c.unicode() < 0x20) {
            escaped += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QChar(u'0'));
        } else {
            escaped += c;
        }
    }
    return u'"' + escaped + u'"';
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tavrine::bench
