#pragma once

#include "ReaderStorage/StoredReading.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

namespace tavrine {

// One pending confirmation of the document list: what the alert asks and which readings the confirmed
// action affects. isLibrary: the action deletes the one reading of ids for good; else it removes the
// readings of ids from the history (which deletes those not in the library).
struct ReaderDeletionConfirmation {
    // Fresh per confirmation, so a new request is shown anew even with the same texts.
    QUuid id;
    QSet<QUuid> ids;
    QString title;
    QString message;
    QString actionTitle;
    bool isLibrary = false;

    // A reading's name in the texts: its display title, cut to 100 Characters, on one line, in 「」.
    static QString nameOf(const StoredReading& item);
    // Removing items (the whole history in its order, or one row) from the history.
    static ReaderDeletionConfirmation historyRemoval(const QList<StoredReading>& items);
    // Deleting one reading of the library everywhere.
    static ReaderDeletionConfirmation documentDeletion(const StoredReading& item);
};

}  // namespace tavrine
