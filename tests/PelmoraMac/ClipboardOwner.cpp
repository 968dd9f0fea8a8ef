// Owns the X11 clipboard for the clipboard tests, as another application would: it offers every format
// it is given at once, writes "ready" when it owns the clipboard and "served <format>" each time another
// client fetches one, and lives until it is killed.
//   clipboard-owner [--primary] [--html TEXT] [--html-utf16 TEXT] [--html-bytes N] [--rtf TEXT] [--text TEXT]
// --primary owns the PRIMARY selection (what was last selected) instead of the clipboard.
// --html-utf16 offers the HTML in UTF-16 without a byte-order mark, as some browsers write it.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStringList>

#include <cstdio>

namespace {

class ServedMimeData final : public QMimeData {
public:
    void offer(const QString& format, const QByteArray& data) {
        m_formats.append(format);
        m_data.append(data);
    }
    QStringList formats() const override { return m_formats; }
    bool hasFormat(const QString& format) const override { return m_formats.contains(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType /*type*/) const override {
        const qsizetype index = m_formats.indexOf(format);
        if (index < 0) return {};
        std::printf("served %s\n", qPrintable(format));
        std::fflush(stdout);
        return m_data.at(index);
    }

private:
    QStringList m_formats;
    QList<QByteArray> m_data;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    auto* mime = new ServedMimeData;
    QStringList arguments = application.arguments();
    const bool primary = arguments.size() > 1 && arguments.at(1) == QLatin1String("--primary");
    if (primary) arguments.removeAt(1);
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        const QString& option = arguments.at(i);
        const QByteArray value = arguments.at(i + 1).toUtf8();
        if (option == QLatin1String("--html")) {
            mime->offer(QStringLiteral("text/html"), value);
        } else if (option == QLatin1String("--html-utf16")) {
            const QString html = arguments.at(i + 1);
            QByteArray utf16;
            for (const QChar c : html) {
                utf16.append(char(c.unicode() & 0xFF));
                utf16.append(char(c.unicode() >> 8));
            }
            mime->offer(QStringLiteral("text/html"), utf16);
        } else if (option == QLatin1String("--html-bytes")) {
            const QByteArray paragraph = "<p>clipboard</p>";
            QByteArray html = paragraph.repeated(value.toLongLong() / paragraph.size() + 1);
            html.truncate(value.toLongLong());
            mime->offer(QStringLiteral("text/html"), html);
        } else if (option == QLatin1String("--rtf")) {
            mime->offer(QStringLiteral("text/rtf"), value);
        } else if (option == QLatin1String("--text")) {
            mime->offer(QStringLiteral("text/plain"), value);
        } else {
            return 2;
        }
    }
    QGuiApplication::clipboard()->setMimeData(mime, primary ? QClipboard::Selection : QClipboard::Clipboard);
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}
