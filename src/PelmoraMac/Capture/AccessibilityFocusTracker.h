#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <memory>

namespace tavrine {

class AccessibilityFocusLog;

// Keeps, in its log, the element that each application showed focused last. The accessibility bus has
// no "focused element of an application" to ask, and toolkits announce focus changes only while a
// listener has registered for them: started with the capture model while accessibility is enabled, the
// tracker registers for "object:state-changed:focused" with the bus's registry and records every such
// announcement. Main thread.
class AccessibilityFocusTracker : public QObject {
    Q_OBJECT

public:
    explicit AccessibilityFocusTracker(QObject* parent = nullptr);
    ~AccessibilityFocusTracker() override;

    // Connects to the accessibility bus and registers; false when the bus cannot be reached or is
    // disabled (the log then stays empty, and captures search for the focus instead).
    bool start();
    bool isStarted() const { return !m_connectionName.isEmpty(); }

    // The log, shared with the captures that read it on their threads.
    std::shared_ptr<const AccessibilityFocusLog> log() const;

private slots:
    void stateChanged(const QDBusMessage& message);

private:
    std::shared_ptr<AccessibilityFocusLog> m_log;
    QString m_connectionName;
};

}  // namespace tavrine
