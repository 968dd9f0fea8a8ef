#include "ReaderCore/ReadingSpeed.h"

#include "ReaderCore/TimingPolicy.h"

#include <unicode/unumberformatter.h>

#include <cmath>
#include <memory>

namespace tavrine::ReadingSpeed {
namespace {

struct FormatterCloser {
    void operator()(UNumberFormatter* formatter) const { unumf_close(formatter); }
};
struct ResultCloser {
    void operator()(UFormattedNumber* result) const { unumf_closeResult(result); }
};

// One fraction digit, no grouping, POSIX symbols; ICU rounds the shortest decimal form half to even.
QString formatOneFractionDigit(double value) {
    UErrorCode status = U_ZERO_ERROR;
    thread_local std::unique_ptr<UNumberFormatter, FormatterCloser> formatter(
        unumf_openForSkeletonAndLocale(u".0 group-off", -1, "en_US_POSIX", &status));
    thread_local std::unique_ptr<UFormattedNumber, ResultCloser> result(unumf_openResult(&status));
    if (U_FAILURE(status)) return QString::number(value, 'f', 1);
    unumf_formatDouble(formatter.get(), value, result.get(), &status);
    UChar buffer[64];
    const int32_t length = unumf_resultToString(result.get(), buffer, 64, &status);
    if (U_FAILURE(status)) return QString::number(value, 'f', 1);
    return QString(reinterpret_cast<const QChar*>(buffer), length);
}

}  // namespace

QString label(double interval, bool kanjiSuffix) {
    const double multiplier = TimingPolicy::kMaximumInterval / TimingPolicy::clampedInterval(interval);
    return formatOneFractionDigit(multiplier) + (kanjiSuffix ? QChar(u'倍') : QChar(u'×'));
}

double interval(double multiplier) {
    constexpr double kSlowest = 1.0;
    constexpr double kFastest = 7.5;
    double m = (!std::isfinite(multiplier) || multiplier <= kSlowest) ? kSlowest : std::min(multiplier, kFastest);
    if (std::abs(m - kSlowest) < 1e-12) m = kSlowest;
    if (std::abs(m - kFastest) < 1e-12) return TimingPolicy::kMinimumInterval;
    return TimingPolicy::clampedInterval(TimingPolicy::kMaximumInterval / m);
}

}  // namespace tavrine::ReadingSpeed
