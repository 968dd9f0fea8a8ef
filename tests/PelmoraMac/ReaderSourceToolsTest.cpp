// The source pane's tool row: which controls stand for the pane's and the find state, what each says to a
// person and to assistive technology, and what the find field does with typing, Return and Escape.
#include "PelmoraMac/Source/ReaderSourceTools.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"

#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

#include <algorithm>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

// A window that counts the keys that reach it past its children.
class Window : public QWidget {
public:
    int keysReceived = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        ++keysReceived;
        QWidget::keyPressEvent(event);
    }
};

struct Row {
    ReaderSourceNavigation navigation;
    Window window;
    int interactions = 0;
    int toggles = 0;
    ReaderSourceTools* tools = nullptr;

    explicit Row(bool showsSource = true, bool canToggleSource = true) {
        tools = new ReaderSourceTools(
            navigation, showsSource, canToggleSource, [this] { ++toggles; }, [this] { ++interactions; }, &window);
        window.resize(600, 40);
    }

    void showActive() {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(processEventsUntil([this] { return window.isActiveWindow(); }));
    }

    ReaderReadingControlButton* button(const QString& accessibleName) const {
        for (auto* button : tools->findChildren<ReaderReadingControlButton*>()) {
            if (button->accessibleName() == accessibleName) return button;
        }
        return nullptr;
    }
    QLineEdit* field() const { return tools->findChild<QLineEdit*>(u"readerDocumentSearch"_s); }
    QLabel* status() const { return tools->findChild<QLabel*>(u"readerDocumentSearchStatus"_s); }

    // The accessible names of the controls that stand, in the row's order.
    QStringList standing() const {
        QStringList names;
        tools->layout()->activate();
        QList<QWidget*> widgets = tools->findChildren<QWidget*>();
        std::ranges::sort(widgets, [this](QWidget* a, QWidget* b) {
            return a->mapTo(tools, QPoint()).x() < b->mapTo(tools, QPoint()).x();
        });
        for (QWidget* widget : widgets) {
            const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QLabel*>(widget);
            if (control && widget->isVisibleTo(tools)) {
                names.append(qobject_cast<QLabel*>(widget) ? u"status"_s : widget->accessibleName());
            }
        }
        return names;
    }
};

void key(QWidget& target, Qt::Key key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&target, &press);
}

QString accessibleText(QWidget* widget, QAccessible::Text kind) {
    return QAccessible::queryAccessibleInterface(widget)->text(kind);
}

TEST(ReaderSourceTools, ShowsTheControlsOfThePaneAndFindStateWithTheirNames) {
    Row row(false, false);
    row.showActive();
    EXPECT_EQ(row.tools->height(), ReaderSourceTools::kHeight);

    // The pane hidden: only the show/hide button, disabled when the pane may not be toggled now.
    EXPECT_EQ(row.standing(), QStringList{u"原文を表示"_s});
    auto* toggle = row.tools->findChild<ReaderReadingControlButton*>(u"readerToggleSource"_s);
    ASSERT_NE(toggle, nullptr);
    EXPECT_EQ(toggle->toolTip(), u"原文を表示（Meta+Ctrl+Shift+S）"_s);
    EXPECT_EQ(toggle->symbol(), ReaderSymbol::chevronDown);
    EXPECT_EQ(accessibleText(toggle, QAccessible::Name), u"原文を表示"_s);
    EXPECT_EQ(accessibleText(toggle, QAccessible::Value), u"非表示"_s);
    EXPECT_FALSE(toggle->isEnabled());

    row.tools->setShowsSource(true);
    row.tools->setCanToggleSource(true);
    EXPECT_EQ(row.standing(), (QStringList{u"現在の再生位置へ戻る"_s, u"本文を検索"_s, u"原文を隠す"_s}));
    EXPECT_EQ(toggle->toolTip(), u"原文を隠す（Meta+Ctrl+Shift+S）"_s);
    EXPECT_EQ(toggle->symbol(), ReaderSymbol::chevronUp);
    EXPECT_EQ(accessibleText(toggle, QAccessible::Value), u"表示中"_s);
    EXPECT_TRUE(toggle->isEnabled());
    toggle->click();
    EXPECT_EQ(row.toggles, 1);
    const auto* back = row.button(u"現在の再生位置へ戻る"_s);
    EXPECT_EQ(back->objectName(), u"readerReturnToPlayback"_s);
    EXPECT_EQ(back->toolTip(), u"現在の再生位置へ戻る：選択や再生位置を変えず、原文の追従を再開します"_s);
    EXPECT_EQ(back->symbol(), ReaderSymbol::scope);
    const auto* find = row.button(u"本文を検索"_s);
    EXPECT_EQ(find->objectName(), u"readerFindInDocument"_s);
    EXPECT_EQ(find->toolTip(), u"本文を検索（Ctrl+F）"_s);
    EXPECT_EQ(find->symbol(), ReaderSymbol::magnifyingGlass);

    // The find area: no status for an empty query, no match navigation without matches.
    row.navigation.showFind();
    EXPECT_EQ(row.standing(), (QStringList{u"現在の再生位置へ戻る"_s, u"本文を検索"_s, u"前の検索結果"_s,
                                           u"次の検索結果"_s, u"本文検索を閉じる"_s, u"原文を隠す"_s}));
    EXPECT_EQ(row.field()->placeholderText(), QString());
    EXPECT_GE(row.field()->width(), ReaderSourceTools::kFieldMinimumWidth);
    EXPECT_LE(row.field()->width(), ReaderSourceTools::kFieldMaximumWidth);
    EXPECT_FALSE(row.button(u"前の検索結果"_s)->isEnabled());
    EXPECT_FALSE(row.button(u"次の検索結果"_s)->isEnabled());
    EXPECT_TRUE(row.button(u"本文検索を閉じる"_s)->isEnabled());
    EXPECT_EQ(row.button(u"前の検索結果"_s)->toolTip(), u"前の検索結果"_s);
    EXPECT_EQ(row.button(u"次の検索結果"_s)->toolTip(), u"次の検索結果"_s);
    EXPECT_EQ(row.button(u"本文検索を閉じる"_s)->toolTip(), u"本文検索を閉じる（Esc）"_s);

    // Hiding the pane hides the find area with it; showing it again brings the area back as it stood.
    row.tools->setShowsSource(false);
    EXPECT_EQ(row.standing(), QStringList{u"原文を表示"_s});
    row.tools->setShowsSource(true);
    EXPECT_EQ(row.standing().size(), 6);
}

TEST(ReaderSourceTools, TheFindFieldSearchesAsTypedAndKeepsReturnAndEscapeToItself) {
    Row row;
    row.navigation.loadDocument(u"山路を登りながら、こう考えた。山路は遠い。"_s, {}, QUuid::createUuid());
    row.showActive();

    // The find button pauses (onInteraction), stops following and puts the caret in the field on a later
    // turn of the event loop.
    row.button(u"本文を検索"_s)->click();
    EXPECT_EQ(row.interactions, 1);
    EXPECT_FALSE(row.navigation.followsPlayback());
    EXPECT_FALSE(row.field()->hasFocus());
    ASSERT_TRUE(processEventsUntil([&] { return row.field()->hasFocus(); }));

    key(*row.field(), Qt::Key_unknown, u"山"_s);
    key(*row.field(), Qt::Key_unknown, u"路"_s);
    EXPECT_EQ(row.navigation.query(), u"山路"_s);
    EXPECT_TRUE(row.status()->isVisibleTo(row.tools));
    EXPECT_EQ(row.status()->text(), u"検索中"_s);
    ASSERT_TRUE(processEventsUntil([&] { return !row.navigation.isSearching(); }));
    EXPECT_EQ(row.status()->text(), u"1 / 2件"_s);
    EXPECT_EQ(row.status()->toolTip(), u"1 / 2件"_s);
    EXPECT_TRUE(row.button(u"次の検索結果"_s)->isEnabled());

    // Return and the match buttons move between matches without pausing anything.
    key(*row.field(), Qt::Key_Return);
    EXPECT_EQ(row.navigation.matchIndex(), 1);
    row.button(u"次の検索結果"_s)->click();
    EXPECT_EQ(row.navigation.matchIndex(), 0);
    row.button(u"前の検索結果"_s)->click();
    EXPECT_EQ(row.navigation.matchIndex(), 1);
    EXPECT_EQ(row.interactions, 1);

    // The return to playback follows again and leaves the find state alone.
    const QUuid reveal = row.navigation.revealRequest();
    row.button(u"現在の再生位置へ戻る"_s)->click();
    EXPECT_TRUE(row.navigation.followsPlayback());
    EXPECT_NE(row.navigation.revealRequest(), reveal);
    EXPECT_EQ(row.navigation.matchIndex(), 1);
    EXPECT_EQ(row.field()->text(), u"山路"_s);
    EXPECT_EQ(row.interactions, 1);

    // A write of the model shows in the field and starts no search; a user's deletion does, and an empty
    // query shows no status.
    const QUuid generation = row.navigation.generation();
    row.navigation.setQuery(u"山"_s);
    EXPECT_EQ(row.field()->text(), u"山"_s);
    EXPECT_EQ(row.navigation.generation(), generation);
    row.field()->end(false);
    key(*row.field(), Qt::Key_Backspace);
    EXPECT_NE(row.navigation.generation(), generation);
    EXPECT_TRUE(row.navigation.matches().isEmpty());
    EXPECT_FALSE(row.status()->isVisibleTo(row.tools));

    // A new focus request takes the caret back to the field.
    row.button(u"本文検索を閉じる"_s)->setFocus();
    row.navigation.showFind();
    ASSERT_TRUE(processEventsUntil([&] { return row.field()->hasFocus(); }));

    // Escape closes the find area and goes no further; the next opening starts empty.
    key(*row.field(), Qt::Key_unknown, u"山"_s);
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(row.field(), &override);
    EXPECT_TRUE(override.isAccepted());
    key(*row.field(), Qt::Key_Escape);
    EXPECT_EQ(row.window.keysReceived, 0);
    EXPECT_FALSE(row.navigation.showsFind());
    EXPECT_TRUE(row.navigation.query().isEmpty());
    EXPECT_EQ(row.standing(), (QStringList{u"現在の再生位置へ戻る"_s, u"本文を検索"_s, u"原文を隠す"_s}));
    row.tools->openFind();
    EXPECT_TRUE(row.field()->text().isEmpty());
    EXPECT_FALSE(row.status()->isVisibleTo(row.tools));
}

}  // namespace
}  // namespace tavrine
