// A real Qt Widgets application for the selection reader's tests: one window with a text area
// ("area", a QPlainTextEdit), a line edit ("field") and a password field ("secret"), shown to assistive
// technology through Qt's own accessibility bridge. Writes "ready" once its window is active, then obeys
// one command a line on its standard input, writing "ok" after each:
//   focus NAME             gives NAME the keyboard focus
//   text NAME TEXT         sets NAME's text (the rest of the line, "\n" in it a line feed), caret at the
//                          start, nothing selected
//   fill NAME COUNT        sets NAME's text to COUNT letters "a"
//   select NAME START END  selects NAME's text from START to END (UTF-16 offsets)
// and ends when its input does.
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QWidget>

#include <unistd.h>
#include <cstdio>

namespace {

void reply(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("accessibility-fixture"));
    auto* layout = new QVBoxLayout(&window);
    auto* area = new QPlainTextEdit;
    auto* field = new QLineEdit;
    auto* secret = new QLineEdit;
    secret->setEchoMode(QLineEdit::Password);
    area->setObjectName(QStringLiteral("area"));
    field->setObjectName(QStringLiteral("field"));
    secret->setObjectName(QStringLiteral("secret"));
    layout->addWidget(area);
    layout->addWidget(field);
    layout->addWidget(secret);
    window.resize(400, 300);
    window.show();
    window.activateWindow();

    QString pending;
    auto obey = [&](const QString& line) {
        const QStringList words = line.split(u' ');
        QWidget* target = window.findChild<QWidget*>(words.value(1));
        auto* edit = qobject_cast<QLineEdit*>(target);
        auto* text = qobject_cast<QPlainTextEdit*>(target);
        const QString command = words.value(0);
        if (command == QLatin1String("focus") && target) {
            target->setFocus(Qt::OtherFocusReason);
        } else if (command == QLatin1String("text") || command == QLatin1String("fill")) {
            const QString value = command == QLatin1String("fill")
                                      ? QString(words.value(2).toInt(), u'a')
                                      : line.section(u' ', 2).replace(QLatin1String("\\n"), QLatin1String("\n"));
            if (edit) {
                edit->setText(value);
                edit->setCursorPosition(0);
            }
            if (text) text->setPlainText(value);
        } else if (command == QLatin1String("select")) {
            const int start = words.value(2).toInt();
            const int end = words.value(3).toInt();
            if (edit) edit->setSelection(start, end - start);
            if (text) {
                QTextCursor cursor = text->textCursor();
                cursor.setPosition(start);
                cursor.setPosition(end, QTextCursor::KeepAnchor);
                text->setTextCursor(cursor);
            }
        }
        QApplication::processEvents();
        reply("ok");
    };

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            application.quit();
            return;
        }
        pending += QString::fromUtf8(buffer, count);
        while (pending.contains(u'\n')) {
            const qsizetype end = pending.indexOf(u'\n');
            const QString line = pending.left(end);
            pending.remove(0, end + 1);
            obey(line);
        }
    });
    while (!window.isActiveWindow() || !QAccessible::isActive()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    reply("ready");
    return application.exec();
}
