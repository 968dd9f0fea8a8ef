#pragma once

#include <QStringList>
#include <QtGlobal>

namespace tavrine::test {

// Collects the warnings logged while it lives instead of printing them; other messages pass on. One at a
// time, on the main thread.
class CapturedWarnings {
public:
    CapturedWarnings() : m_previous(qInstallMessageHandler(&CapturedWarnings::handle)) { s_current = this; }
    ~CapturedWarnings() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    CapturedWarnings(const CapturedWarnings&) = delete;
    CapturedWarnings& operator=(const CapturedWarnings&) = delete;

    const QStringList& messages() const { return m_messages; }
    // Whether a warning mentions text.
    bool mention(const QString& text) const {
        for (const QString& message : m_messages) {
            if (message.contains(text)) return true;
        }
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtWarningMsg && s_current) {
            s_current->m_messages.append(message);
        } else if (s_current && s_current->m_previous) {
            s_current->m_previous(type, context, message);
        }
    }

    static inline CapturedWarnings* s_current = nullptr;
    QtMessageHandler m_previous;
    QStringList m_messages;
};

}  // namespace tavrine::test
