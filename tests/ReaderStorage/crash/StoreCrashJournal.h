#pragma once

#include "ReaderCore/Json.h"
#include "ReaderCore/Uuid.h"
#include "ReaderStorage/EPUBOriginal.h"
#include "ReaderStorage/ReadingStoreState.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <optional>

// What the crash worker writes down as it goes, one line at a time, and how the crash test reads it:
//   open <digest>                      the store opened with this state
//   begin <n> <digest> <operation>     operation n starts; the state it will leave behind
//   done <n> <digest>                  operation n has returned; the state it left behind
//   problem <text>                     the worker found something wrong and stopped
// A state is known by its digest: the SHA-256 of everything a listener of the store sees.
namespace tavrine::test::crash {

inline QString digestOf(const ReadingStoreState& state) {
    QStringList removed;
    for (const QUuid& id : state.removedDocumentIDs) removed.append(uuidString(id));
    removed.sort();
    const QJsonObject json{{QStringLiteral("historyEnabled"), state.historyEnabled},
                           {QStringLiteral("historyLimit"), state.historyLimit},
                           {QStringLiteral("history"), toJson(state.history)},
                           {QStringLiteral("library"), toJson(state.library)},
                           {QStringLiteral("removed"), QJsonArray::fromStringList(removed)}};
    return sha256Hex(encodeJson(json));
}

struct Journal {
    std::optional<QString> opened;
    // The state after the last operation that returned, when one did.
    std::optional<QString> lastDone;
    // The state that the operation running at the kill would have left behind.
    std::optional<QString> interrupted;
    int completed = 0;
    // Anything out of order in the journal, or a problem the worker reported.
    std::optional<QString> problem;
};

inline Journal readJournal(const QString& path) {
    Journal journal;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return journal;
    const QByteArray text = file.readAll();
    // A line cut short by the kill has no line break and does not count.
    const QList<QByteArray> lines = text.left(text.lastIndexOf('\n') + 1).split('\n');
    int running = -1;
    std::optional<QString> expected;
    for (const QByteArray& raw : lines) {
        if (raw.isEmpty()) continue;
        const QStringList words = QString::fromUtf8(raw).split(u' ');
        const QString& kind = words.first();
        if (kind == u"open" && words.size() == 2 && !journal.opened) {
            journal.opened = words[1];
        } else if (kind == u"begin" && words.size() >= 3 && journal.opened && running < 0) {
            running = words[1].toInt();
            expected = words[2];
        } else if (kind == u"done" && words.size() == 3 && running == words[1].toInt() && words[2] == expected) {
            journal.lastDone = words[2];
            ++journal.completed;
            running = -1;
        } else {
            journal.problem = QString::fromUtf8(raw);
            return journal;
        }
    }
    if (running >= 0) journal.interrupted = expected;
    return journal;
}

}  // namespace tavrine::test::crash
