// Prints the history of a reading store, one line per reading, most recent first:
// "<position> <length> <completed 0|1> <the first 40 characters of the text>". Exits 1 when the store
// cannot be opened.
//   reading-store-history STORE-FILE
#include "ReaderStorage/ReadingStore.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace tavrine;

namespace {

QCoro::Task<void> print(ReadingStore& store, int& status) {
    auto reading = store.history();
    const QList<StoredReading> history = co_await reading;
    QTextStream out(stdout);
    for (const StoredReading& record : history) {
        const QString& text = record.reading.document.text;
        out << record.progress.utf16Offset << ' ' << text.size() << ' ' << int(record.progress.isCompleted) << ' '
            << text.left(40).replace(u'\n', u' ') << '\n';
    }
    status = 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: reading-store-history STORE-FILE\n");
        return 2;
    }
    auto opened = ReadingStore::open(QString::fromLocal8Bit(argv[1]));
    if (!opened) {
        std::fprintf(stderr, "reading-store-history: the store could not be opened\n");
        return 1;
    }
    int status = 1;
    QCoro::Task<void> task = print(**opened, status);
    while (!task.isReady()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    opened->reset();
    QCoreApplication::sendPostedEvents();
    return status;
}
