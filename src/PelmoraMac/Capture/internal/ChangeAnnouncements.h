#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

namespace tavrine {

// The announcements of one application on the accessibility bus that an object's children or text changed
// (AT-SPI's ChildrenChanged and TextChanged events), followed on a connection from the thread that makes it:
// QtDBus hands each to that thread in the order the bus brought it, before any answer the bus brought after
// it, so that an announcement made before an answer is in once the answer is. The registry is asked to have
// the applications make them for as long as they are followed (they make none nobody asked for).
class ChangeAnnouncements final : public QObject {
    Q_OBJECT

public:
    // The registry's answers waited for `timeoutMilliseconds` at most.
    ChangeAnnouncements(QDBusConnection connection, QString service, int timeoutMilliseconds);
    ~ChangeAnnouncements() override;

    // Whether the registry took the request: an application makes the announcements from its next call on.
    bool isFollowing() const { return m_following; }
    // The objects announced changed so far, in their order.
    const QStringList& changed() const { return m_changed; }

private slots:
    void announced(const QDBusMessage& message);

private:
    QDBusConnection m_connection;
    QString m_service;
    bool m_following = false;
    QStringList m_changed;
};

}  // namespace tavrine
