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
//   begin <n> <digest>                 operation n starts; the state it will leave behind
//   done <n> <digest>                  operation n has returned; the state it left behind
//   problem <text>                     the worker found something wrong and stopped
// A state is known by its digest: the SHA-256 of everything a listener of the store sees.
namespace tavrine::test::crash {

inline QString digestOf(const ReadingStoreState& state) {
    QStringList removed;
    for (const QUuid& id : state.tombstones) removed.append(uuidString(id));
    removed.sort();
    JsonWriter writer;
    writer.beginArray();
    writeJson(writer, state.historyEnabled);
    writeJson(writer, state.historyLimit);
    writeJson(writer, state.history);
    writeJson(writer, state.library);
    writeJson(writer, removed);
    writer.endArray();
    return sha256Hex(writer.take());
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
    for (const QByteArray& line : text.left(text.lastIndexOf('\n') + 1).split('\n')) {
        const QStringList words = QString::fromUtf8(line).split(u' ');
        if (words.size() == 2 && words[0] == u"open" && !journal.opened) {
            journal.opened = words[1];
        } else if (words.size() == 3 && words[0] == u"begin" && journal.opened && !journal.interrupted) {
            journal.interrupted = words[2];
        } else if (words.size() == 3 && words[0] == u"done" && words[2] == journal.interrupted) {
            journal.lastDone = std::exchange(journal.interrupted, std::nullopt);
            ++journal.completed;
        } else if (!line.isEmpty()) {
            journal.problem = QString::fromUtf8(line);
            return journal;
        }
    }
    return journal;
}

}  // namespace tavrine::test::crash
