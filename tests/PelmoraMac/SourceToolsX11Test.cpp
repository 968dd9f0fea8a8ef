// The source pane's tool row as a person sees it on a real X server: the shared sample book loaded, a
// phrase typed into the find field and its match status shown (test-artifacts/source-toolbar-find.png).
#include "PelmoraMac/Source/ReaderSourceTools.h"
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include "support/EPUBRealBookSupport.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

TEST(SourceToolsX11, FindsAPhraseOfTheSampleBookAndShowsItsStatus) {
    const QString relative = u"epub/kusamakura.epub"_s;
    const QString path = test::sharedDataFile(relative);
    TAVRINE_SKIP_WITHOUT(path, relative);
    const auto book = EPUBReader().readSynchronously(test::repackedWithUTF8Names(path), CancellationToken::none());
    ASSERT_TRUE(book.has_value());

    ReaderSourceNavigation navigation;
    navigation.loadDocument(book->document.text, book->document.spans, QUuid::createUuid());
    QWidget window;
    window.setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(window);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(8, 8, 8, 8);
    auto* tools = new ReaderSourceTools(
        navigation, true, true, [] {}, [] {}, &window);
    layout->addWidget(tools);
    window.resize(520, ReaderSourceTools::kHeight + 16);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(test::effectWithin([&] { return window.isActiveWindow(); }));

    tools->openFind();
    auto* field = tools->findChild<QLineEdit*>(u"readerDocumentSearch"_s);
    ASSERT_TRUE(test::effectWithin([&] { return field->hasFocus(); }));
    for (const QString& character : {u"山"_s, u"路"_s}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
        QApplication::sendEvent(field, &press);
    }
    ASSERT_TRUE(test::effectWithin([&] { return !navigation.isSearching(); }));
    ASSERT_FALSE(navigation.matches().isEmpty());
    const auto* status = tools->findChild<QLabel*>(u"readerDocumentSearchStatus"_s);
    EXPECT_EQ(status->text(), u"1 / %1件"_s.arg(navigation.matches().size()));

    // Every control of the row lies whole inside the window.
    for (const QWidget* child : tools->findChildren<QWidget*>()) {
        if (!child->isVisible()) continue;
        EXPECT_TRUE(window.rect().contains(QRect(child->mapTo(&window, QPoint()), child->size())))
            << child->objectName().toStdString() << " " << child->accessibleName().toStdString();
    }
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    const QImage image = window.screen()->grabWindow(window.winId()).toImage();
    EXPECT_TRUE(image.save(test::testArtifactPath(u"source-toolbar-find.png"_s)));
}

}  // namespace
}  // namespace tavrine
