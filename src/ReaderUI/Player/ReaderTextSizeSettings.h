#pragma once

#include <QObject>
#include <QString>

namespace tavrine {

class Defaults;

// The two text sizes the user sets, in points: the phrase of the RSVP display and the source pane. Both
// are always whole numbers within their target's range, and each change is written to the defaults at
// once. Changed by the size commands (bigger, smaller, default) and by the settings view; the views follow
// the change signals, which fire only when a size really changes. Owned by the player, main thread only.
class ReaderTextSizeSettings final : public QObject {
    Q_OBJECT
    Q_PROPERTY(double rsvpPointSize READ rsvpPointSize NOTIFY rsvpPointSizeChanged)
    Q_PROPERTY(double sourcePointSize READ sourcePointSize NOTIFY sourcePointSizeChanged)

public:
    enum class Target { rsvp, source };
    enum class Action { increase, decrease, reset };

    static inline const QString kRSVPPointSizeKey = QStringLiteral("reader.mac.rsvpPointSize");
    static inline const QString kSourcePointSizeKey = QStringLiteral("reader.mac.sourcePointSize");

    // Reads both sizes from defaults, which must outlive this object.
    explicit ReaderTextSizeSettings(Defaults& defaults, QObject* parent = nullptr);

    double rsvpPointSize() const { return m_rsvpPointSize; }
    double sourcePointSize() const { return m_sourcePointSize; }
    double pointSize(Target target) const;

    // Bigger below the range's maximum, smaller above its minimum, default when the size differs from it.
    bool canPerform(Action action, Target target) const;
    // Does nothing when canPerform refuses; bigger and smaller move by the target's step.
    void perform(Action action, Target target);
    // Normalises the size (a size that is not finite gives the default; otherwise it is rounded half away
    // from zero and clamped to the range) and, when that differs from the current size, takes it and
    // writes it under the target's key.
    void setPointSize(double pointSize, Target target);

    // The size kept under the target's key, normalised: the default when there is none or it is not a
    // number. Nothing is written.
    static double storedPointSize(Target target, const Defaults& defaults);
    static double defaultPointSize(Target target);

signals:
    void rsvpPointSizeChanged(double pointSize);
    void sourcePointSizeChanged(double pointSize);

private:
    double& size(Target target) { return target == Target::rsvp ? m_rsvpPointSize : m_sourcePointSize; }

    Defaults& m_defaults;
    double m_rsvpPointSize;
    double m_sourcePointSize;
};

}  // namespace tavrine
