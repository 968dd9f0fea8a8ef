// Serves a scripted tree of accessible objects on the session's accessibility bus, as an application's
// toolkit would: registers with the bus's registry, answers the calls the selection reader makes (each
// answer about a node held back by its delay), and writes "ready" once registered. Lives until its
// standard input ends.
//   accessibility-fake-app TREE.json
#include "ScriptedAccessibleTree.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>
#include <cstdio>

namespace {
using tavrine::test::ScriptedAccessibleTree;
using tavrine::test::ScriptedNode;

const QString kPrefix = QStringLiteral("/org/a11y/atspi/accessible");

// An object reference as the bus writes it: (so).
struct Reference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Reference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, Reference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

}  // namespace

Q_DECLARE_METATYPE(Reference)

namespace {

// The tree's own paths live under the prefix on the bus; the root keeps its well-known path.
QString busPath(const QString& path) {
    return path == QLatin1String(ScriptedAccessibleTree::kRoot) ? path : kPrefix + path;
}
QString treePath(const QString& path) {
    return path == QLatin1String(ScriptedAccessibleTree::kRoot) ? path : path.mid(kPrefix.size());
}

class FakeApplication final : public QDBusVirtualObject {
public:
    FakeApplication(ScriptedAccessibleTree tree, QString service)
        : m_tree(std::move(tree)), m_service(std::move(service)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        ScriptedNode* node = m_tree.node(treePath(message.path()));
        const QDBusMessage reply =
            node ? answer(*node, message) : message.createErrorReply(QDBusError::UnknownObject, message.path());
        const int delay = node ? node->delayMilliseconds : 0;
        if (delay <= 0) {
            connection.send(reply);
        } else {
            QDBusConnection sender = connection;
            QTimer::singleShot(delay, [sender, reply]() mutable { sender.send(reply); });
        }
        return true;
    }

private:
    Reference reference(const QString& path) const { return {m_service, QDBusObjectPath(busPath(path))}; }

    QDBusMessage answer(ScriptedNode& node, const QDBusMessage& message) {
        const QString interface = message.interface();
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        const auto unknown = [&] { return message.createErrorReply(QDBusError::UnknownMethod, member); };
        if (interface == QLatin1String("org.freedesktop.DBus.Properties") && member == QLatin1String("Get")) {
            const QString name = arguments.value(1).toString();
            if (name == QLatin1String("Parent")) {
                const Reference parent =
                    node.parent.isEmpty()
                        ? Reference{QString(), QDBusObjectPath(QStringLiteral("/org/a11y/atspi/null"))}
                        : reference(node.parent);
                return message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(parent))));
            }
            if (name == QLatin1String("CharacterCount") && node.text) {
                return message.createReply(
                    QVariant::fromValue(QDBusVariant(tavrine::test::codePointCount(*node.text))));
            }
            return message.createErrorReply(QDBusError::UnknownProperty, name);
        }
        if (interface == QLatin1String("org.a11y.atspi.Accessible")) {
            if (member == QLatin1String("GetRole")) return message.createReply(uint(node.role));
            if (member == QLatin1String("GetState")) {
                return message.createReply(QVariant::fromValue(
                    QList<uint>{uint(node.states.bits & 0xffffffffU), uint(node.states.bits >> 32)}));
            }
            if (member == QLatin1String("GetChildren")) {
                QList<Reference> children;
                for (const QString& child : node.children) children.append(reference(child));
                return message.createReply(QVariant::fromValue(children));
            }
            return unknown();
        }
        if (interface == QLatin1String("org.a11y.atspi.Document") && member == QLatin1String("GetAttributes") &&
            node.documentAttributes) {
            return message.createReply(QVariant::fromValue(*node.documentAttributes));
        }
        if (interface == QLatin1String("org.a11y.atspi.Text") && node.text) {
            if (member == QLatin1String("GetNSelections")) return message.createReply(int(node.selections.size()));
            if (member == QLatin1String("GetSelection")) {
                const auto range = node.selections.value(arguments.value(0).toInt());
                return message.createReply(QList<QVariant>{range.start, range.end});
            }
            if (member == QLatin1String("GetText") && !node.withholdsText) {
                return message.createReply(
                    tavrine::test::codePointSlice(*node.text, arguments.value(0).toInt(), arguments.value(1).toInt()));
            }
        }
        return unknown();
    }

    ScriptedAccessibleTree m_tree;
    QString m_service;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    qDBusRegisterMetaType<Reference>();
    qDBusRegisterMetaType<QList<Reference>>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
    if (argc != 2) return 2;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) return 2;
    ScriptedAccessibleTree tree = ScriptedAccessibleTree::fromJson(QJsonDocument::fromJson(file.readAll()).object());

    const QDBusMessage addressReply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
    if (addressReply.type() != QDBusMessage::ReplyMessage) return 1;
    QDBusConnection bus =
        QDBusConnection::connectToBus(addressReply.arguments().value(0).toString(), QStringLiteral("a11y"));
    if (!bus.isConnected()) return 1;

    FakeApplication fake(std::move(tree), bus.baseService());
    if (!bus.registerVirtualObject(kPrefix, &fake, QDBusConnection::SubPath)) return 1;

    QDBusMessage embed = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.atspi.Registry"), QLatin1String(ScriptedAccessibleTree::kRoot),
        QStringLiteral("org.a11y.atspi.Socket"), QStringLiteral("Embed"));
    embed << QVariant::fromValue(
        Reference{bus.baseService(), QDBusObjectPath(QLatin1String(ScriptedAccessibleTree::kRoot))});
    if (bus.call(embed).type() != QDBusMessage::ReplyMessage) return 1;

    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) application.quit();
    });
    return application.exec();
}
