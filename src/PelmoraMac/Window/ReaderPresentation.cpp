#include "PelmoraMac/Window/ReaderPresentation.h"

#include "ReaderCore/Defaults.h"
#include "ReaderCore/MainThread.h"

#include <algorithm>
#include <cmath>

namespace tavrine {
namespace {

// The Boolean under key; nothing when there is none or it is not a Boolean.
std::optional<bool> storedBool(const Defaults& defaults, const QString& key) {
    const std::optional<DefaultsValue> value = defaults.object(key);
    const bool* flag = value ? std::get_if<bool>(&*value) : nullptr;
    return flag ? std::optional<bool>(*flag) : std::nullopt;
}

}  // namespace

ReaderPresentation::ReaderPresentation(Defaults& defaults, QObject* parent) : QObject(parent), m_defaults(defaults) {
    Q_ASSERT(isMainThread());
    const double width = defaults.doubleForKey(kHistoryWidthKey);
    if (std::isfinite(width) && width >= kMinimumHistoryWidth && width <= kMaximumHistoryWidth) m_historyWidth = width;
    m_prefersHistory = storedBool(defaults, kShowsHistoryKey).value_or(false);
    m_prefersSource = storedBool(defaults, kShowsSourceKey).value_or(true);
    if (storedBool(defaults, kFocusedPresentationKey).value_or(false)) {
        setPrefersHistory(false);
        setPrefersSource(false);
        defaults.setBool(kShowsHistoryKey, false);
        defaults.setBool(kShowsSourceKey, false);
    }
    defaults.remove(kFocusedPresentationKey);
}

void ReaderPresentation::setPrefersHistory(bool prefers) {
    Q_ASSERT(isMainThread());
    const Derived before = derived();
    const bool changed = m_prefersHistory != prefers;
    m_prefersHistory = prefers;
    m_defaults.setBool(kShowsHistoryKey, prefers);
    if (changed) emit prefersHistoryChanged();
    notifyDerived(before);
}

void ReaderPresentation::setPrefersSource(bool prefers) {
    Q_ASSERT(isMainThread());
    const bool changed = m_prefersSource != prefers;
    m_prefersSource = prefers;
    m_defaults.setBool(kShowsSourceKey, prefers);
    if (changed) emit prefersSourceChanged();
}

void ReaderPresentation::setHistoryWidth(double width) {
    Q_ASSERT(isMainThread());
    const Derived before = derived();
    const bool changed = m_historyWidth != width;
    m_historyWidth = width;
    m_defaults.setDouble(kHistoryWidthKey, width);
    if (changed) emit historyWidthChanged();
    notifyDerived(before);
}

void ReaderPresentation::setAvailableWidth(std::optional<double> width) {
    Q_ASSERT(isMainThread());
    if (m_availableWidth == width) return;
    const Derived before = derived();
    m_availableWidth = width;
    emit availableWidthChanged();
    notifyDerived(before);
}

bool ReaderPresentation::showsHistory() const {
    return m_prefersHistory && (!m_availableWidth || isWideEnoughForHistory(*m_availableWidth));
}

double ReaderPresentation::readerLeading() const {
    if (!showsHistory()) return kTitleInset;
    const double layoutWidth = m_availableWidth.value_or(m_historyWidth + kMinimumReaderWidth + kDividerWidth);
    return historyPaneWidth(layoutWidth, m_historyWidth) + kDividerWidth + kTitleInset;
}

double ReaderPresentation::historyPaneWidth(double layoutWidth, double historyWidth) {
    // The reader column's minimum first, then the list's: in a layout too narrow for both the list keeps
    // its minimum.
    return std::max(std::min(layoutWidth - kMinimumReaderWidth - kDividerWidth, historyWidth), kMinimumHistoryWidth);
}

void ReaderPresentation::notifyDerived(const Derived& before) {
    const Derived after = derived();
    if (after.showsHistory != before.showsHistory) emit showsHistoryChanged();
    if (after.readerLeading != before.readerLeading) emit readerLeadingChanged();
}

}  // namespace tavrine
