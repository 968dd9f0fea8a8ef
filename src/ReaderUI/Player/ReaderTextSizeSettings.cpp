#include "ReaderUI/Player/ReaderTextSizeSettings.h"

#include "ReaderCore/Defaults.h"
#include "ReaderCore/MainThread.h"

#include <algorithm>
#include <cmath>

namespace tavrine {

namespace {

struct Limits {
    const QString& key;
    double defaultSize;
    double minimum;
    double maximum;
    double step;
};

const Limits& limitsOf(ReaderTextSizeSettings::Target target) {
    static const Limits rsvp{ReaderTextSizeSettings::kRSVPPointSizeKey, 34, 18, 72, 2};
    static const Limits source{ReaderTextSizeSettings::kSourcePointSizeKey, 15, 10, 32, 1};
    return target == ReaderTextSizeSettings::Target::rsvp ? rsvp : source;
}

double normalized(double pointSize, const Limits& limits) {
    if (!std::isfinite(pointSize)) return limits.defaultSize;
    // std::round takes halves away from zero.
    return std::clamp(std::round(pointSize), limits.minimum, limits.maximum);
}

}  // namespace

ReaderTextSizeSettings::ReaderTextSizeSettings(Defaults& defaults, QObject* parent)
    : QObject(parent),
      m_defaults(defaults),
      m_rsvpPointSize(storedPointSize(Target::rsvp, defaults)),
      m_sourcePointSize(storedPointSize(Target::source, defaults)) {
    Q_ASSERT(isMainThread());
}

double ReaderTextSizeSettings::pointSize(Target target) const {
    return target == Target::rsvp ? m_rsvpPointSize : m_sourcePointSize;
}

double ReaderTextSizeSettings::defaultPointSize(Target target) {
    return limitsOf(target).defaultSize;
}

double ReaderTextSizeSettings::storedPointSize(Target target, const Defaults& defaults) {
    const Limits& limits = limitsOf(target);
    const std::optional<DefaultsValue> stored = defaults.object(limits.key);
    const double* number = stored ? std::get_if<double>(&*stored) : nullptr;
    return number ? normalized(*number, limits) : limits.defaultSize;
}

bool ReaderTextSizeSettings::canPerform(Action action, Target target) const {
    const Limits& limits = limitsOf(target);
    const double current = pointSize(target);
    switch (action) {
    case Action::increase: return current < limits.maximum;
    case Action::decrease: return current > limits.minimum;
    case Action::reset: return current != limits.defaultSize;
    }
    return false;
}

void ReaderTextSizeSettings::perform(Action action, Target target) {
    if (!canPerform(action, target)) return;
    const Limits& limits = limitsOf(target);
    switch (action) {
    case Action::increase: setPointSize(pointSize(target) + limits.step, target); break;
    case Action::decrease: setPointSize(pointSize(target) - limits.step, target); break;
    case Action::reset: setPointSize(limits.defaultSize, target); break;
    }
}

void ReaderTextSizeSettings::setPointSize(double pointSize, Target target) {
    Q_ASSERT(isMainThread());
    const Limits& limits = limitsOf(target);
    const double next = normalized(pointSize, limits);
    if (next == size(target)) return;
    size(target) = next;
    m_defaults.setDouble(limits.key, next);
    if (target == Target::rsvp) {
        emit rsvpPointSizeChanged(next);
    } else {
        emit sourcePointSizeChanged(next);
    }
}

}  // namespace tavrine
