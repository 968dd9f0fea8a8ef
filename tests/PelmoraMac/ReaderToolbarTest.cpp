// The reader window's toolbar parts: the title lined up with the reader column, the import menu, the
// library button and the pane toggle, with screenshots of a long title and of the toggle's states.
#include "PelmoraMac/Window/ReaderImportAvailability.h"
#include "PelmoraMac/Window/ReaderImportMenu.h"
#include "PelmoraMac/Window/ReaderLibraryButton.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderToolbarTitle.h"
#include "PelmoraMac/Window/ReaderVisibilityToggle.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Workspace/ReaderEPUBNavigationButton.h"

#include "support/GuiTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QHoverEvent>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QToolBar>

#include <cmath>
#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;
using test::testArtifactPath;

SavedReading readingOf(const QString& text, std::optional<QString> title) {
    return SavedReading::create(ReadingDocument{std::nullopt, text, {}}, std::move(title), std::nullopt, std::nullopt,
                                Date{700'000'000});
}

QString accessibleName(QWidget& widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// A title placed by hand in a window, so its left edge lies where the test puts it.
class ToolbarTitleTest : public testing::Test {
protected:
    ToolbarTitleTest() : presentation(defaults), title(new ReaderToolbarTitle(presentation, &window)) {
        ReaderTheme::apply(window);
        window.resize(1000, 60);
        window.show();
    }
    // Places the title and lets its deferred layout run.
    void place(int x, int width) {
        title->setGeometry(x, 0, width, 24);
        QApplication::processEvents();
    }
    int buttonX() const { return title->navigationButton().geometry().x(); }

    MemoryDefaults defaults;
    ReaderPresentation presentation;
    QWidget window;
    ReaderToolbarTitle* title;
};

TEST_F(ToolbarTitleTest, TheButtonStandsAtTheReaderColumnWithinTheTitleAndTheNameFollowsIt) {
    title->setReading(std::make_unique<SavedReading>(readingOf(u"本文"_s, u"短い題"_s)).get());
    EXPECT_EQ(title->sizeHint(), QSize(360, 24));

    // List hidden: the column's inset is 12, left of a title at x 80.
    place(80, 600);
    EXPECT_EQ(presentation.readerLeading(), 12);
    EXPECT_EQ(buttonX(), 0);
    EXPECT_EQ(title->navigationButton().geometry(), QRect(0, 0, 28, 24));
    EXPECT_EQ(title->titleLabel().x(), 36);

    // The list shown at its width of 300: the column's content starts at 313 in the window.
    presentation.setPrefersHistory(true);
    QApplication::processEvents();
    EXPECT_EQ(buttonX(), 313 - 80);
    const QRect label = title->titleLabel().geometry();
    EXPECT_EQ(label.x(), 313 - 80 + 36);
    const QFontMetricsF metrics(title->titleLabel().font());
    EXPECT_EQ(label.width(), int(std::ceil(metrics.horizontalAdvance(u"短い題"_s))) + 4);
    EXPECT_EQ(label.height(), int(std::ceil(metrics.height())) + 2);
    EXPECT_EQ(title->titleLabel().text(), u"短い題"_s);

    // The column beyond the title's right end: the button keeps to the end and the name has no room.
    presentation.setHistoryWidth(387);
    ASSERT_EQ(presentation.readerLeading(), 400);
    place(0, 200);
    EXPECT_EQ(buttonX(), 172);
    EXPECT_EQ(title->titleLabel().width(), 0);

    // The window narrowed: the list hides and the button follows the column back.
    presentation.setAvailableWidth(720);
    QApplication::processEvents();
    EXPECT_EQ(buttonX(), 12);
}

TEST_F(ToolbarTitleTest, TheNameIsTheReadingsDisplayTitleOrNothingAndIsReadOutWithItsPrefix) {
    place(0, 400);
    const auto expectName = [&](const QString& name) {
        EXPECT_EQ(title->name(), name);
        EXPECT_EQ(title->titleLabel().isVisibleTo(title), !name.isEmpty());
        EXPECT_EQ(title->titleLabel().toolTip(), name);
        EXPECT_EQ(title->toolTip(), name);
        EXPECT_EQ(accessibleName(title->titleLabel()), u"現在の文書："_s + name);
    };
    expectName(QString());
    title->setReading(std::make_unique<SavedReading>(readingOf(QString(), u"題のある空の文書"_s)).get());
    expectName(QString());
    title->setReading(
        std::make_unique<SavedReading>(readingOf(u"\n  吾輩は猫である。\n名前はまだ無い。"_s, std::nullopt)).get());
    expectName(u"吾輩は猫である。"_s);
    EXPECT_EQ(title->titleLabel().objectName(), u"readerDocumentTitle"_s);
    title->setReading(nullptr);
    expectName(QString());
}

// A name taken from a file name, with an override or a line break in it, is drawn on the toolbar's one line
// in its stored order, in the label, both tooltips and what is read out.
TEST_F(ToolbarTitleTest, AFileNamesOverrideOrLineBreakIsDrawnOnOneLineInStoredOrder) {
    place(0, 600);
    for (const auto& [stored, shown] : {std::pair(u"photo\u202Egpj.txt"_s, u"photo\\u202Egpj.txt"_s),
                                        std::pair(u"二行の\n名前\u2028です.txt"_s, u"二行の 名前 です.txt"_s)}) {
        const SavedReading reading = readingOf(u"本文"_s, stored);
        title->setReading(&reading);
        EXPECT_EQ(title->titleLabel().text(), shown);
        EXPECT_EQ(title->titleLabel().toolTip(), shown);
        EXPECT_EQ(title->toolTip(), shown);
        EXPECT_EQ(accessibleName(title->titleLabel()), u"現在の文書："_s + shown);
    }
}

// The reader window's toolbar as the window will build it, narrow, with a long Japanese title.
TEST(ReaderToolbar, ALongTitleIsCutAtItsEndInANarrowToolbarWithTheWholeNameInItsTooltips) {
    MemoryDefaults defaults;
    ReaderPresentation presentation(defaults);
    QMainWindow window;
    ReaderTheme::apply(window);
    auto* toolbar = window.addToolBar(u"ツールバー"_s);
    ReaderToolbarTitle::prepareToolbar(*toolbar);
    auto* toggle = new ReaderVisibilityToggle(ReaderSymbol::sidebarLeft);
    toggle->setText(u"文書一覧を表示"_s);
    toolbar->addWidget(toggle);
    auto* title = new ReaderToolbarTitle(presentation);
    toolbar->addWidget(title);
    auto* importMenu = new ReaderImportMenu;
    toolbar->addWidget(importMenu);
    auto* library = new ReaderLibraryButton;
    toolbar->addWidget(library);
    const ReaderImportAvailability availability{true, true, true, true};
    importMenu->apply(availability);
    library->apply(availability);
    window.setCentralWidget(new QWidget);
    window.resize(520, 200);
    window.show();

    const QString name = u"吾輩は猫である――明治三十八年一月より「ホトトギス」に連載された長編小説の全文と注釈"_s;
    const SavedReading reading = readingOf(u"本文"_s, name);
    title->setReading(&reading);
    ASSERT_TRUE(processEventsUntil([&] { return title->width() > 36; }));
    QApplication::processEvents();

    EXPECT_EQ(toolbar->geometry().x(), 0);
    QLabel& label = title->titleLabel();
    EXPECT_TRUE(label.text().endsWith(u'…')) << label.text().toStdString();
    EXPECT_TRUE(name.startsWith(label.text().chopped(1)));
    EXPECT_LE(label.geometry().right(), title->width() - 1);
    EXPECT_EQ(label.toolTip(), name);
    EXPECT_EQ(title->toolTip(), name);
    // The button stands at the column's inset, measured in the window.
    EXPECT_EQ(title->navigationButton().mapTo(&window, QPoint()).x(),
              std::max(12, title->mapTo(&window, QPoint()).x()));

    const QImage image = window.grab().toImage();
    image.save(testArtifactPath(u"reader-toolbar-long-title.png"_s));
    const QImage strip = image.copy(0, 0, image.width(), toolbar->height());
    strip.scaled(strip.size() * 3).save(testArtifactPath(u"reader-toolbar-long-title-enlarged.png"_s));
    // The name is drawn in the text colour somewhere on its line.
    const QRect drawn = label.geometry().translated(title->mapTo(&window, QPoint()));
    bool inked = false;
    for (int x = drawn.left(); x <= drawn.right() && !inked; ++x) {
        for (int y = drawn.top(); y <= drawn.bottom(); ++y) inked = inked || qGray(image.pixel(x, y)) > 180;
    }
    EXPECT_TRUE(inked);
}

TEST(ReaderToolbar, TheImportMenuFollowsEachAvailabilityAndAsksForTheChosenImport) {
    ReaderImportMenu menu;
    EXPECT_EQ(menu.objectName(), u"readerImportMenu"_s);
    EXPECT_EQ(accessibleName(menu), u"取り込む"_s);
    EXPECT_EQ(menu.popupMode(), QToolButton::InstantPopup);
    const struct { bool file, clipboard; } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "file " << c.file << " clipboard " << c.clipboard);
        menu.apply({.canImportFile = c.file, .canImportClipboard = c.clipboard, .canAddCurrent = true});
        EXPECT_EQ(menu.isEnabled(), c.file || c.clipboard);
        EXPECT_EQ(menu.importFileAction().isEnabled(), c.file);
        EXPECT_EQ(menu.importClipboardAction().isEnabled(), c.clipboard);
        EXPECT_EQ(menu.importPlainTextAction().isEnabled(), c.clipboard);
    }
    QStringList asked;
    QObject::connect(&menu, &ReaderImportMenu::importFileRequested, [&] { asked.append(u"file"_s); });
    QObject::connect(&menu, &ReaderImportMenu::importClipboardRequested,
                     [&](bool plainText) { asked.append(plainText ? u"plain"_s : u"clipboard"_s); });
    menu.importFileAction().trigger();
    menu.importClipboardAction().trigger();
    menu.importPlainTextAction().trigger();
    EXPECT_EQ(asked, (QStringList{u"file"_s, u"clipboard"_s, u"plain"_s}));
    const QStringList items = [&] {
        QStringList texts;
        for (const QAction* action : menu.menu()->actions())
            texts.append(action->isSeparator() ? u"-"_s : action->text());
        return texts;
    }();
    EXPECT_EQ(items, (QStringList{u"ファイルをライブラリに追加…"_s, u"-"_s, u"クリップボードから取り込む"_s,
                                  u"プレーンテキストとして取り込む"_s}));
}

TEST(ReaderToolbar, TheLibraryButtonShowsItsBadgeExactlyWhileTheReadingIsInTheLibraryEnabledOrNot) {
    QWidget window;
    ReaderTheme::apply(window);
    auto* button = new ReaderLibraryButton(&window);
    button->resize(button->sizeHint());
    window.show();
    EXPECT_EQ(button->objectName(), u"readerAddToLibrary"_s);
    for (const bool inLibrary : {false, true}) {
        for (const bool canAdd : {false, true}) {
            SCOPED_TRACE(testing::Message() << "in library " << inLibrary << " can add " << canAdd);
            button->apply({.canImportFile = true, .canAddCurrent = canAdd, .isCurrentInLibrary = inLibrary});
            EXPECT_EQ(button->isEnabled(), canAdd);
            EXPECT_EQ(button->showsBadge(), inLibrary);
            EXPECT_EQ(accessibleName(*button), inLibrary ? u"ライブラリに追加済み"_s : u"ライブラリに追加"_s);
            EXPECT_EQ(button->toolTip(),
                      inLibrary ? u"現在の文書はライブラリに保存されています"_s
                                : u"現在の文書をこのコンピューターに保存し、削除するまでライブラリに残します"_s);
            // The badge lies inside the button, where the check is drawn.
            const QImage image = button->grab().toImage();
            const QRectF badge = button->badgeRect();
            ASSERT_TRUE(QRectF(button->rect()).contains(badge))
                << testing::PrintToString(button->size()) << testing::PrintToString(badge);
            // The disc's upper part, clear of the check cut into it.
            const QRgb disc = image.pixel(QPointF(badge.center().x(), badge.top() + 1.5).toPoint());
            if (inLibrary) {
                EXPECT_GT(qGray(disc), 60) << "the badge, not the background";
            }
        }
    }
}

QRgb blended(const ReaderColor& under, const ReaderColor& over, double opacity) {
    const auto mix = [&](int a, int b) { return static_cast<int>(std::lround(a * (1 - opacity) + b * opacity)); };
    return qRgb(mix(under.red, over.red), mix(under.green, over.green), mix(under.blue, over.blue));
}

void expectNear(QRgb actual, QRgb expected, int tolerance = 3) {
    EXPECT_NEAR(qRed(actual), qRed(expected), tolerance);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance);
}

// The brightest pixel of the icon: the core of the symbol's strokes.
QRgb iconInk(const QImage& image) {
    QRect icon(0, 0, ReaderVisibilityToggle::kIconSize, ReaderVisibilityToggle::kIconSize);
    icon.moveCenter(image.rect().center());
    QRgb ink = image.pixel(icon.center());
    for (int y = icon.top(); y <= icon.bottom(); ++y) {
        for (int x = icon.left(); x <= icon.right(); ++x) {
            if (qGray(image.pixel(x, y)) > qGray(ink)) ink = image.pixel(x, y);
        }
    }
    return ink;
}

TEST(ReaderToolbar, TheToggleDrawsEveryStatePressBeatsHoverDisabledShowsNeitherFillNorRingAndItReadsAsACheckBox) {
    QWidget window;
    ReaderTheme::apply(window);
    auto* toggle = new ReaderVisibilityToggle(ReaderSymbol::sidebarLeft, &window);
    toggle->move(8, 8);
    toggle->resize(toggle->sizeHint());
    toggle->setText(u"文書一覧を表示"_s);
    window.resize(48, 44);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window.isActiveWindow(); }));
    EXPECT_EQ(toggle->size(), QSize(32, 28));

    const ReaderColor& background = ReaderPalette::background;
    const ReaderColor& text = ReaderPalette::text;
    const struct {
        const char* name;
        bool enabled, on, pressed, hovered, focused;
        double fill;
        bool ring;
        QRgb ink;
    } cases[] = {
        {"off", true, false, false, false, false, 0, false, blended(background, ReaderPalette::secondaryText, 1)},
        {"on", true, true, false, false, false, 0, false, blended(background, text, 1)},
        {"hovered", true, false, false, true, false, 0.06, false, blended(background, ReaderPalette::secondaryText, 1)},
        {"pressed-hovered", true, true, true, true, false, 0.12, false, blended(background, text, 1)},
        {"focused", true, true, false, false, true, 0, true, blended(background, text, 1)},
        {"disabled-on", false, true, true, true, true, 0, false, blended(background, text, 0.45)},
    };
    QList<QImage> grabs;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        toggle->setEnabled(c.enabled);
        toggle->setChecked(c.on);
        toggle->setDown(c.pressed);
        QHoverEvent hover(c.hovered ? QEvent::HoverMove : QEvent::HoverLeave, QPointF(16, 14), QPointF(16, 14),
                          QPointF(16, 14));
        QApplication::sendEvent(toggle, &hover);
        c.focused ? toggle->setFocus() : toggle->clearFocus();
        EXPECT_EQ(toggle->state().focused, c.focused && c.enabled);
        const QImage image = toggle->grab().toImage();
        grabs.append(image);
        // Beside the icon, inside the ring's two pixels; and on the ring at the middle of the left edge.
        expectNear(image.pixel(4, 14), blended(background, text, c.enabled ? c.fill : 0));
        expectNear(image.pixel(0, 14), c.ring ? blended(background, text, 1) : blended(background, text, c.fill));
        expectNear(iconInk(image), c.ink, 6);
        toggle->setDown(false);
    }
    QImage states(int(grabs.size()) * 40, 28, QImage::Format_RGB32);
    states.fill(Qt::white);
    QPainter painter(&states);
    for (qsizetype i = 0; i < grabs.size(); ++i) painter.drawImage(int(i) * 40, 0, grabs[i]);
    painter.end();
    states.scaled(states.size() * 4).save(testArtifactPath(u"reader-visibility-toggle-states.png"_s));

    toggle->setEnabled(true);
    toggle->setChecked(false);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(toggle);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::CheckBox);
    EXPECT_EQ(accessible->text(QAccessible::Name), u"文書一覧を表示"_s);
    EXPECT_FALSE(accessible->state().checked);
    toggle->setAccessibleValue(u"省スペース表示"_s);
    EXPECT_EQ(accessible->text(QAccessible::Value), u"省スペース表示"_s);
    // A click asks; the owner decides the state.
    int clicks = 0;
    QObject::connect(toggle, &QAbstractButton::clicked, [&] { ++clicks; });
    toggle->click();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(toggle->isChecked());
    toggle->setChecked(true);
    EXPECT_TRUE(accessible->state().checked);
}

}  // namespace
}  // namespace tavrine
