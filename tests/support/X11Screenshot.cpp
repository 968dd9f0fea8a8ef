// x11-screenshot OUT.png [X Y WIDTH HEIGHT]: saves what the X display shows, the whole of its first
// screen or the given rectangle of it, as a person would see it (windows, decorations and all), where a
// widget grab would show one widget alone.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: x11-screenshot OUT.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    const auto number = [argv](int index) { return QByteArray(argv[index]).toInt(); };
    const QPixmap shot = !screen     ? QPixmap()
                         : argc == 6 ? screen->grabWindow(0, number(2), number(3), number(4), number(5))
                                     : screen->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "x11-screenshot: cannot take or save the screenshot\n");
        return 1;
    }
    return 0;
}
