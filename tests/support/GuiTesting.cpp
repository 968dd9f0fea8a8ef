#include "support/GuiTesting.h"

#include "support/CheckoutPaths.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include <iostream>

namespace tavrine::test {

namespace {

QString describe(const QWidget* widget) {
    if (!widget) return QStringLiteral("nothing");
    QString name = widget->objectName();
    if (name.isEmpty()) name = widget->accessibleName();
    if (name.isEmpty()) name = widget->windowTitle();
    return QStringLiteral("%1 \"%2\"").arg(QLatin1String(widget->metaObject()->className()), name);
}

}  // namespace

QString testArtifactPath(const QString& fileName) {
    const QDir folder(test::inCheckout(TAVRINE_TEST_ARTIFACTS_DIR));
    folder.mkpath(QStringLiteral("."));
    return folder.filePath(fileName);
}

std::string screenState(const QString& step) {
    QString said = QStringLiteral("the active window is %1, the focus on %2, the popup %3")
                       .arg(describe(QApplication::activeWindow()), describe(QApplication::focusWidget()),
                            describe(QApplication::activePopupWidget()));
    QString name = step;
    if (const auto* test = ::testing::UnitTest::GetInstance()->current_test_info())
        name = QString::fromUtf8(test->test_suite_name()) + u'.' + QString::fromUtf8(test->name()) + u'-' + step;
    name = name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.]+")), QStringLiteral("-")).left(120);
    const QString shot = testArtifactPath(QStringLiteral("failed-%1.png").arg(name));
    if (QScreen* screen = QGuiApplication::primaryScreen(); screen && screen->grabWindow(0).save(shot))
        said += QStringLiteral(", screenshot ") + shot;
    return said.toStdString();
}

void reportGivenUp(std::chrono::milliseconds limit, std::source_location where) {
    const QString place =
        QFileInfo(QString::fromUtf8(where.file_name())).completeBaseName() + u'-' + QString::number(where.line());
    std::cerr << "no effect within " << limit.count() << " ms at " << where.file_name() << ':' << where.line() << ": "
              << screenState(place) << std::endl;
}

}  // namespace tavrine::test
