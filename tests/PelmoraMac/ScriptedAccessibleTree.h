#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <optional>

namespace tavrine::test {

// An application's accessible objects as a test writes them: what the in-process fake bus answers, and
// what the fake application (accessibility-fake-app) serves on a real accessibility bus (the focus move
// only in process). The first node is the application's root.
struct ScriptedNode {
    QString path;
    std::uint32_t role = 0;
    AccessibleStates states{};
    QString parent{};  // empty: none
    QStringList children{};
    std::optional<QMap<QString, QString>> documentAttributes{};
    // The text interface, when the node has one.
    std::optional<QString> text{};
    QList<AccessibleTextRange> selections{};
    // The objects that the object replacement characters of the text stand for, in their order (in
    // process only).
    QStringList embedded{};
    // Its object attributes (in process only).
    QMap<QString, QString> attributes{};
    // Where each code point of the text is drawn (in process only; none past its end).
    QList<AccessibleBox> boxes{};
    // Where the bus starts the paragraphs of the text, ascending (in process only; none: it tells none).
    std::optional<QList<int>> paragraphStarts{};
    // GetText is not answered (an unknown method): a range without its text.
    bool withholdsText = false;
    // Every answer about this node comes this late.
    int delayMilliseconds = 0;
};

struct ScriptedAccessibleTree {
    static constexpr const char* kRoot = "/org/a11y/atspi/accessible/root";

    QList<ScriptedNode> nodes;
    // After this many reads of the document attributes (the address) of `path`, the focus moves from the
    // focused node to `to`.
    struct FocusMove {
        QString path;
        int afterAddressReads = 0;
        QString to;
    };
    std::optional<FocusMove> focusMove{};
    int addressReads = 0;

    ScriptedNode* node(const QString& path) {
        // Found by an index of the paths, made again whenever the nodes no longer match it (a test adds and
        // removes nodes as it likes): a page of thousands of objects is looked up as fast as a small one.
        for (int attempt = 0; attempt < 2; ++attempt) {
            const qsizetype at = pathIndex.value(path, -1);
            if (at >= 0 && at < nodes.size() && nodes[at].path == path) return &nodes[at];
            if (attempt == 0) reindex();
        }
        return nullptr;
    }
    // Counts a read of the node's address and moves the focus when the script says so.
    void addressRead(const QString& path) {
        if (focusMove && path == focusMove->path && ++addressReads == focusMove->afterAddressReads) {
            for (auto& node : nodes) {
                const bool focused = node.path == focusMove->to;
                node.states.bits &= ~(std::uint64_t(1) << AccessibleState::focused);
                if (focused) node.states = node.states.with(AccessibleState::focused);
            }
        }
    }

    void reindex() {
        pathIndex.clear();
        for (qsizetype at = nodes.size() - 1; at >= 0; --at) pathIndex.insert(nodes[at].path, at);
    }

    QJsonObject toJson() const {
        QJsonArray array;
        for (const auto& node : nodes) {
            QJsonObject object{{QStringLiteral("path"), node.path},
                               {QStringLiteral("role"), qint64(node.role)},
                               {QStringLiteral("states"), QString::number(node.states.bits)},
                               {QStringLiteral("parent"), node.parent},
                               {QStringLiteral("children"), QJsonArray::fromStringList(node.children)},
                               {QStringLiteral("withholdsText"), node.withholdsText},
                               {QStringLiteral("delay"), node.delayMilliseconds}};
            if (node.documentAttributes) {
                QJsonObject attributes;
                for (auto it = node.documentAttributes->cbegin(); it != node.documentAttributes->cend(); ++it) {
                    attributes.insert(it.key(), it.value());
                }
                object.insert(QStringLiteral("document"), attributes);
            }
            if (node.text) object.insert(QStringLiteral("text"), *node.text);
            QJsonArray selections;
            for (const auto& range : node.selections) selections.append(QJsonArray{range.start, range.end});
            object.insert(QStringLiteral("selections"), selections);
            array.append(object);
        }
        return QJsonObject{{QStringLiteral("nodes"), array}};
    }

    static ScriptedAccessibleTree fromJson(const QJsonObject& tree) {
        ScriptedAccessibleTree result;
        for (const QJsonValue& value : tree.value(QStringLiteral("nodes")).toArray()) {
            const QJsonObject object = value.toObject();
            ScriptedNode node{.path = object.value(QStringLiteral("path")).toString(),
                              .role = std::uint32_t(object.value(QStringLiteral("role")).toInteger()),
                              .states = {object.value(QStringLiteral("states")).toString().toULongLong()},
                              .parent = object.value(QStringLiteral("parent")).toString()};
            for (const QJsonValue& child : object.value(QStringLiteral("children")).toArray())
                node.children.append(child.toString());
            if (object.contains(QStringLiteral("document"))) {
                QMap<QString, QString> attributes;
                const QJsonObject document = object.value(QStringLiteral("document")).toObject();
                for (auto it = document.begin(); it != document.end(); ++it)
                    attributes.insert(it.key(), it->toString());
                node.documentAttributes = attributes;
            }
            if (object.contains(QStringLiteral("text"))) node.text = object.value(QStringLiteral("text")).toString();
            for (const QJsonValue& range : object.value(QStringLiteral("selections")).toArray()) {
                node.selections.append({range.toArray().at(0).toInt(), range.toArray().at(1).toInt()});
            }
            node.withholdsText = object.value(QStringLiteral("withholdsText")).toBool();
            node.delayMilliseconds = object.value(QStringLiteral("delay")).toInt();
            result.nodes.append(node);
        }
        return result;
    }

    // The index of the nodes by their paths, for node() alone.
    QHash<QString, qsizetype> pathIndex{};
};

// The text of a node between two code-point offsets (end -1: to the end), as the bus counts them.
inline QString codePointSlice(const QString& text, int start, int end) {
    const QList<uint> codePoints = text.toUcs4();
    if (end < 0 || end > codePoints.size()) end = int(codePoints.size());
    if (start < 0 || start >= end) return {};
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.constData() + start), end - start);
}

inline int codePointCount(const QString& text) {
    return int(text.toUcs4().size());
}

}  // namespace tavrine::test
