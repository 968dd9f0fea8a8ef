// A second process for the lock tests: opens a store and imports texts into it, saying what happened
// one line at a time on standard output.
//
//     store-lock-worker import <store file> <count> <tag>
//         imports count texts, each answered "imported <id>" or "failed <failure>", then exits 0
//     store-lock-worker hold <store file> <tag>
//         imports texts until a line arrives on standard input, says "stopped", and keeps the store
//         open until standard input ends, then exits 0
//
// Either first says "opened", or "refused <failure>" and exits 0 when the store does not open.
#include "ReaderStorage/ReadingStore.h"

#include <QCoreApplication>
#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include <cstdlib>

namespace tavrine::test::lock {
namespace {
using namespace Qt::StringLiterals;

void say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    if (::write(STDOUT_FILENO, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size()) std::abort();
}

// Whether standard input has something to read (a line, or its end), without waiting.
bool inputWaiting() {
    pollfd input{.fd = STDIN_FILENO, .events = POLLIN, .revents = 0};
    return ::poll(&input, 1, 0) > 0;
}

void waitForEndOfInput() {
    char buffer[256];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
}

QCoro::Task<void> importOne(ReadingStore* store, QString tag, int n) {
    const QString name = u"%1-%2.txt"_s.arg(tag).arg(n);
    auto task = store->importTextFile(LibraryTextFile{name, u"%1 の本文 %2"_s.arg(tag).arg(n).toUtf8()});
    const StoreResult<QUuid> imported = co_await task;
    say(imported ? u"imported "_s + imported->toString(QUuid::WithoutBraces)
                 : u"failed "_s + describeStoreFailure(imported.error()));
}

QCoro::Task<void> run(QStringList arguments) {
    const QString mode = arguments.value(1);
    auto store = ReadingStore::open(arguments.value(2));
    if (!store) {
        say(u"refused "_s + describeStoreFailure(store.error()));
        co_return QCoreApplication::exit(0);
    }
    say(u"opened"_s);
    if (mode == u"import") {
        const int count = arguments.value(3).toInt();
        for (int n = 0; n < count; ++n) {
            auto one = importOne(store->get(), arguments.value(4), n);
            co_await one;
        }
    } else {
        for (int n = 0; !inputWaiting(); ++n) {
            auto one = importOne(store->get(), arguments.value(3), n);
            co_await one;
        }
        say(u"stopped"_s);
        waitForEndOfInput();
    }
    store->reset();
    QCoreApplication::exit(0);
}

}  // namespace
}  // namespace tavrine::test::lock

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool known =
        (arguments.size() == 5 && arguments[1] == u"import") || (arguments.size() == 4 && arguments[1] == u"hold");
    if (!known) return 64;
    QTimer::singleShot(0, &app, [&arguments] { tavrine::test::lock::run(arguments); });
    return app.exec();
}
