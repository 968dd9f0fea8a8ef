// x11-screenshot OUT.png: saves what the X display shows, the whole of its first screen, as a person
// would see it (windows, decorations and all), where a widget grab would show one widget alone.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: x11-screenshot OUT.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "x11-screenshot: cannot take or save the screenshot\n");
        return 1;
    }
    return 0;
}
