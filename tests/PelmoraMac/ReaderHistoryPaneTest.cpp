// The document list pane: the confirmations' texts at their edges, the table's update (what reloads, the
// selection mirrored and never written back), its keys and ring, row menus and accessible names, and the
// pane over the real model and a real store in a temporary folder (content states, search, confirmed
// deletions, the rings of its sheets).
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderDeletionConfirmation.h"
#include "PelmoraMac/Library/ReaderHistoryDetails.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Library/ReaderHistoryTable.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderCore/Uuid.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include "ReaderWidgets/Style/PhraseLineBreaks.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/FaultyFileSystem.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/SheetKeys.h"
#include "support/StoreTesting.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <map>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Collection = ReaderHistoryModel::Collection;
using test::runTask;

SavedReading readingTitled(const QString& title, const QString& text = u"本文です。"_s) {
    return SavedReading{.id = QUuid::createUuid(),
                        .document = {.sections = {}, .text = text, .spans = {}},
                        .title = title,
                        .epub = std::nullopt,
                        .source = std::nullopt,
                        .importedAt = {}};
}

StoredReading item(const QString& title, bool inLibrary) {
    StoredReading record;
    record.reading = readingTitled(title);
    record.isInLibrary = inLibrary;
    return record;
}

void mouse(QWidget* widget, QEvent::Type type, QPoint at) {
    const QPointF local(at);
    QMouseEvent event(type, local, widget->mapToGlobal(local), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void click(QWidget* widget, QPoint at) {
    mouse(widget, QEvent::MouseButtonPress, at);
    mouse(widget, QEvent::MouseButtonRelease, at);
}

void doubleClick(QWidget* widget, QPoint at) {
    click(widget, at);
    mouse(widget, QEvent::MouseButtonDblClick, at);
    mouse(widget, QEvent::MouseButtonRelease, at);
}

void type(QWidget* widget, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

QStringList menuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions())
        texts.append(action->isSeparator() ? u"-"_s : action->text() + (action->isEnabled() ? u""_s : u"(off)"_s));
    return texts;
}

// ---- Confirmations ----

TEST(ReaderDeletionConfirmation, TitlesActionsAndParagraphsForEachCase) {
    const QString closing = u"この操作は取り消せません。取り込み元のファイルと同内容の別文書は残ります。"_s;

    const auto alone = ReaderDeletionConfirmation::historyRemoval({item(u"青"_s, false)});
    EXPECT_EQ(alone.title, u"「青」を削除しますか？"_s);
    EXPECT_EQ(alone.actionTitle, u"文書を削除"_s);
    EXPECT_EQ(
        alone.message,
        u"「青」が対象です。\n\nライブラリにない1件は、本文・書式・読み位置・アプリ内の元ファイルコピーも削除します。\n\n"_s +
            closing);
    EXPECT_FALSE(alone.isLibrary);

    const auto kept = ReaderDeletionConfirmation::historyRemoval({item(u"青"_s, true)});
    EXPECT_EQ(kept.title, u"「青」を履歴から除きますか？"_s);
    EXPECT_EQ(kept.actionTitle, u"履歴から除く"_s);
    EXPECT_EQ(
        kept.message,
        u"「青」が対象です。\n\nライブラリにある1件は履歴だけを除き、本文・書式・読み位置・元コピーを残します。\n\n"_s +
            closing);

    // Five, two of them in the library: three named, the rest counted, both lines.
    QList<StoredReading> five;
    for (int index = 0; index < 5; ++index) five.append(item(QString::number(index + 1), index >= 3));
    const auto many = ReaderDeletionConfirmation::historyRemoval(five);
    EXPECT_EQ(many.title, u"履歴5件を消去しますか？"_s);
    EXPECT_EQ(many.actionTitle, u"履歴を消去"_s);
    EXPECT_EQ(many.ids.size(), 5);
    EXPECT_EQ(many.message,
              u"「1」、「2」、「3」ほか2件が対象です。\n\n"
              u"ライブラリにない3件は、本文・書式・読み位置・アプリ内の元ファイルコピーも削除します。\n\n"
              u"ライブラリにある2件は履歴だけを除き、本文・書式・読み位置・元コピーを残します。\n\n"_s +
                  closing);

    // Three, all in the library: all named, no line about readings outside it.
    const auto three =
        ReaderDeletionConfirmation::historyRemoval({item(u"a"_s, true), item(u"b"_s, true), item(u"c"_s, true)});
    EXPECT_EQ(three.message,
              u"「a」、「b」、「c」が対象です。\n\n"
              u"ライブラリにある3件は履歴だけを除き、本文・書式・読み位置・元コピーを残します。\n\n"_s +
                  closing);

    // A long title is cut to 100 Characters, never inside one; numbers are never grouped.
    const QString cluster = u"か\u3099"_s;
    QString longTitle;
    for (int index = 0; index < 101; ++index) longTitle += cluster;
    const auto cut = ReaderDeletionConfirmation::documentDeletion(item(longTitle, true));
    EXPECT_EQ(cut.title, u"「"_s + longTitle.left(200) + u"」を削除しますか？"_s);
    EXPECT_EQ(cut.actionTitle, u"文書を削除"_s);
    EXPECT_TRUE(cut.isLibrary);
    EXPECT_EQ(cut.message,
              u"この文書の本文・書式・読み位置・履歴・アプリ内の元ファイルコピーを削除します。"_s + closing);
    QList<StoredReading> thousands;
    for (int index = 0; index < 1200; ++index) thousands.append(item(u"x"_s, false));
    EXPECT_EQ(ReaderDeletionConfirmation::historyRemoval(thousands).title, u"履歴1200件を消去しますか？"_s);
}

// ---- The table ----

class ReaderHistoryTableTest : public testing::Test {
protected:
    void SetUp() override {
        table.resize(300, 400);
        table.onSelect = [this](std::optional<QUuid> id) { written.append(id); };
        table.onPlay = [this](QUuid id) { played.append(id); };
        table.show();
        QObject::connect(table.listView()->model(), &QAbstractItemModel::modelReset, &table, [this] { ++resets; });
    }

    int selectedRow() const {
        const auto rows = table.listView()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
        QApplication::sendEvent(table.listView(), &event);
    }

    ReaderHistoryTable table;
    QList<std::optional<QUuid>> written;
    QList<QUuid> played;
    int resets = 0;
    QList<StoredReading> rows{item(u"一"_s, false), item(u"二"_s, true), item(u"三"_s, false)};
};

TEST_F(ReaderHistoryTableTest, ReloadsOnlyForNewRowsReadingOrCollectionAndMirrorsTheSelectionWithoutWritingIt) {
    table.update({.items = rows, .selectedID = rows[1].id(), .currentID = {}, .collection = Collection::history});
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(selectedRow(), 1);

    // A new selection alone moves the row without a reload.
    table.update({.items = rows, .selectedID = rows[2].id(), .currentID = {}, .collection = Collection::history});
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(selectedRow(), 2);

    // A new position of any row reloads; the current reading moves into the row's accessible name.
    rows[0].progress.utf16Offset = 2;
    table.update(
        {.items = rows, .selectedID = rows[2].id(), .currentID = rows[0].id(), .collection = Collection::history});
    EXPECT_EQ(resets, 2);
    const auto nameOf = [&](int row) {
        return table.listView()->model()->index(row, 0).data(Qt::AccessibleTextRole).toString();
    };
    EXPECT_TRUE(nameOf(0).endsWith(u"。現在の文書"_s)) << nameOf(0).toStdString();
    EXPECT_TRUE(nameOf(1).startsWith(u"二。本文です。"_s));
    EXPECT_TRUE(nameOf(1).endsWith(u"。ライブラリ保存済み"_s));
    table.update(
        {.items = rows, .selectedID = rows[2].id(), .currentID = rows[1].id(), .collection = Collection::history});
    EXPECT_EQ(resets, 3);
    EXPECT_FALSE(nameOf(0).contains(u"現在の文書"_s));

    // The same rows in the other collection reload and rename the list.
    table.update(
        {.items = rows, .selectedID = rows[2].id(), .currentID = rows[1].id(), .collection = Collection::library});
    EXPECT_EQ(resets, 4);
    EXPECT_EQ(table.listView()->accessibleName(), u"ライブラリの一覧"_s);

    // An unlisted or absent selection, and an empty list, deselect without writing back.
    table.update(
        {.items = rows, .selectedID = QUuid::createUuid(), .currentID = {}, .collection = Collection::history});
    EXPECT_EQ(selectedRow(), -1);
    EXPECT_EQ(table.listView()->accessibleName(), u"履歴の一覧"_s);
    table.update({.items = rows, .selectedID = rows[0].id(), .currentID = {}, .collection = Collection::history});
    table.update({.items = {}, .selectedID = rows[0].id(), .currentID = {}, .collection = Collection::history});
    EXPECT_EQ(selectedRow(), -1);
    EXPECT_EQ(table.listView()->model()->rowCount(), 0);
    EXPECT_TRUE(written.isEmpty());

    // The user's selection is written back, a click on the selected row again.
    table.update({.items = rows, .selectedID = rows[0].id(), .currentID = {}, .collection = Collection::history});
    key(Qt::Key_Down);
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(written.last(), rows[1].id());
    const QRect second = table.listView()->visualRect(table.listView()->model()->index(1, 0));
    click(table.listView()->viewport(), second.center() - QPoint(40, 0));
    EXPECT_EQ(written.size(), 2);
    EXPECT_EQ(written.last(), rows[1].id());
}

TEST_F(ReaderHistoryTableTest, KeysPlayOnceSpaceStaysAndShiftF10OpensTheSelectedRowsMenu) {
    table.update({.items = rows, .selectedID = std::nullopt, .currentID = {}, .collection = Collection::history});
    // Nothing selected: Return and Shift+F10 do nothing.
    key(Qt::Key_Return);
    key(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(played.isEmpty());
    EXPECT_EQ(table.openMenu(), nullptr);
    EXPECT_TRUE(table.contentIsFocused());

    table.update({.items = rows, .selectedID = rows[1].id(), .currentID = {}, .collection = Collection::history});
    key(Qt::Key_Return);
    key(Qt::Key_Return, Qt::NoModifier, true);
    key(Qt::Key_Enter, Qt::KeypadModifier);
    key(Qt::Key_Enter, Qt::KeypadModifier, true);
    key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(played, (QList<QUuid>{rows[1].id(), rows[1].id()}));

    key(Qt::Key_Space);
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_TRUE(written.isEmpty());

    key(Qt::Key_F10, Qt::ShiftModifier, true);
    EXPECT_EQ(table.openMenu(), nullptr);
    key(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_NE(table.openMenu(), nullptr);
    EXPECT_EQ(menuTexts(table.openMenu()),
              (QStringList{u"文書の詳細…"_s, u"-"_s, u"ライブラリに追加済み(off)"_s, u"-"_s, u"履歴から除く…"_s}));
    EXPECT_EQ(table.menuButtonRow(), 1);
    EXPECT_EQ(table.menuButton()->accessibleName(), u"二の操作"_s);
    table.openMenu()->close();

    // A double click below the last row plays nothing; on a row it plays that row.
    doubleClick(table.listView()->viewport(), QPoint(100, 390));
    EXPECT_EQ(played.size(), 2);
    const QRect first = table.listView()->visualRect(table.listView()->model()->index(0, 0));
    doubleClick(table.listView()->viewport(), first.center() - QPoint(40, 0));
    EXPECT_EQ(played.last(), rows[0].id());
    EXPECT_FALSE(table.contentIsFocused());
}

TEST_F(ReaderHistoryTableTest, RowMenusFollowTheCollectionAndLibraryMembership) {
    QList<QUuid> added, removed;
    table.onAdd = [&](QUuid id) { added.append(id); };
    table.onDelete = [&](QUuid id) { removed.append(id); };
    table.update({.items = rows, .selectedID = {}, .currentID = {}, .collection = Collection::history});
    std::unique_ptr<QMenu> outside(table.makeRowMenu(0, nullptr));
    EXPECT_EQ(menuTexts(outside.get()),
              (QStringList{u"文書の詳細…"_s, u"-"_s, u"ライブラリに追加"_s, u"-"_s, u"文書を削除…"_s}));
    outside->actions().at(2)->trigger();
    outside->actions().at(4)->trigger();
    EXPECT_EQ(added, QList<QUuid>{rows[0].id()});
    EXPECT_EQ(removed, QList<QUuid>{rows[0].id()});
    EXPECT_EQ(table.makeRowMenu(3, nullptr), nullptr);

    table.update({.items = rows, .selectedID = {}, .currentID = {}, .collection = Collection::library});
    for (int row : {0, 1}) {
        std::unique_ptr<QMenu> menu(table.makeRowMenu(row, nullptr));
        EXPECT_EQ(menuTexts(menu.get()), (QStringList{u"文書の詳細…"_s, u"-"_s, u"文書を削除…"_s}));
    }
}

// One mark where the keys are: the list is ringed while it has them itself, not while the "…" button on
// its row does, whatever keys that button passes up to the list (Escape, which closes the narrow window's
// popup; a menu key, which hides the list) and when the list is hidden and shown again or the keys come
// back to the button as a popup opens anew. A press below the rows takes no keys unseen.
TEST_F(ReaderHistoryTableTest, TheListIsRingedOnlyWhileItHasTheKeysItselfNotWhileItsRowButtonHasThem) {
    ReaderTheme::apply(table);
    table.update({.items = rows, .selectedID = rows[1].id(), .currentID = {}, .collection = Collection::history});
    table.activateWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return table.isActiveWindow(); }));
    QToolButton& button = *table.menuButton();
    ASSERT_EQ(table.menuButtonRow(), 1);
    const QColor focus = toQColor(ReaderPalette::focus);
    const auto ringAt = [&](QPoint at) {
        const QColor pixel = table.grab().toImage().pixelColor(at);
        return std::abs(pixel.red() - focus.red()) <= 16 && std::abs(pixel.green() - focus.green()) <= 16 &&
               std::abs(pixel.blue() - focus.blue()) <= 16;
    };
    const QPoint listEdge(0, table.height() / 2);
    const auto buttonRinged = [&] {
        // The button's ring lies in the margin round its square.
        return button.hasFocus() && ringAt(button.mapTo(&table, QPoint(1, button.height() / 2)));
    };

    table.takeKeyboardFocus();
    EXPECT_TRUE(table.showsFocusRing());
    EXPECT_TRUE(ringAt(listEdge));
    button.setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(buttonRinged());
    EXPECT_FALSE(ringAt(listEdge));

    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), Qt::MetaModifier | Qt::ControlModifier | Qt::Key_S}) {
        QKeyEvent press(QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
        QApplication::sendEvent(&button, &press);
    }
    EXPECT_FALSE(table.contentIsFocused());
    EXPECT_FALSE(table.showsFocusRing());
    EXPECT_FALSE(ringAt(listEdge));

    table.listView()->hide();
    table.listView()->show();
    button.setFocus(Qt::PopupFocusReason);
    EXPECT_TRUE(buttonRinged());
    EXPECT_FALSE(table.showsFocusRing());
    EXPECT_FALSE(ringAt(listEdge));
    table.grab().save(test::testArtifactPath(u"history-table-keys-on-row-button.png"_s));

    // A press below the last row leaves the keys where they were, ringed.
    click(table.listView()->viewport(), QPoint(100, table.listView()->viewport()->height() - 4));
    EXPECT_TRUE(buttonRinged());

    // The keys typed in the list itself ring it again, and a press below the rows leaves them so.
    table.listView()->setFocus(Qt::OtherFocusReason);
    EXPECT_FALSE(table.showsFocusRing());
    key(Qt::Key_Down);
    EXPECT_TRUE(table.showsFocusRing());
    EXPECT_TRUE(ringAt(listEdge));
    click(table.listView()->viewport(), QPoint(100, table.listView()->viewport()->height() - 4));
    EXPECT_TRUE(table.listView()->hasFocus());
    EXPECT_TRUE(ringAt(listEdge));
}

// ---- The pane over the model and a real store ----

class ReaderHistoryPaneTest : public testing::Test {
protected:
    void SetUp() override {
        auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s), files, clock);
        ASSERT_TRUE(opened.has_value());
        store = std::move(*opened);
        ASSERT_TRUE(runTask(store->setHistoryEnabled(true)).has_value());
    }

    void TearDown() override {
        pane.reset();
        model.reset();
        playback.reset();
        EXPECT_TRUE(test::releaseStore(store));
    }

    SavedReading stored(const QString& title, bool played) {
        SavedReading reading = readingTitled(title);
        if (played) {
            EXPECT_TRUE(runTask(store->recordPlayback(reading, clock.now(), ReadingProgress{})).has_value());
        } else {
            EXPECT_TRUE(runTask(store->addToLibrary(reading, ReadingProgress{})).has_value());
        }
        clock.advance(std::chrono::seconds(1));
        return reading;
    }

    ReaderHistoryPane& start(bool withStore = true, std::optional<StoreOpeningFailure> refusal = std::nullopt) {
        playback = std::make_unique<MacReadingPlayback>(withStore ? store : nullptr, defaults, clock,
                                                        MacReadingPlayback::readingFontPhraseWidth(), refusal);
        model = std::make_unique<ReaderHistoryModel>(std::make_unique<ReadingLibrarySearch>(), *playback, [] {});
        pane = std::make_unique<ReaderHistoryPane>(*model);
        if (withStore) {
            EXPECT_EQ(pane->content(), ReaderHistoryPane::Content::loading);
        }
        loading.start([this](CancellationToken token) { return model->load(std::move(token)); });
        EXPECT_TRUE(test::processEventsUntil([&] { return model->isLoaded(); }));
        pane->resize(300, 600);
        pane->show();
        return *pane;
    }

    // Whether the store file keeps the reading among its documents (a removed id stays among its tombstones).
    bool storeFileHolds(const QUuid& id) {
        QFile file(folder.filePath(u"reading-store.json"_s));
        if (!file.open(QIODevice::ReadOnly)) return false;
        const QJsonArray documents = QJsonDocument::fromJson(file.readAll()).object().value(u"documents"_s).toArray();
        return std::any_of(documents.begin(), documents.end(), [&](const QJsonValue& document) {
            return document.toObject().value(u"reading"_s).toObject().value(u"id"_s).toString() == uuidString(id);
        });
    }

    // Confirms the pending alert with its destructive button and waits for the store's change.
    void confirm(ReaderHistoryPane& pane) {
        ASSERT_NE(pane.alert(), nullptr);
        for (QAbstractButton* button : pane.alert()->buttons())
            if (pane.alert()->buttonRole(button) == QMessageBox::DestructiveRole) button->click();
        EXPECT_TRUE(test::processEventsUntil([&] { return !model->isBusy(); }));
    }

    test::TemporaryDirectory folder;
    std::shared_ptr<test::FaultyFileSystem> files = std::make_shared<test::FaultyFileSystem>();
    test::FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<ReadingStore> store;
    std::unique_ptr<MacReadingPlayback> playback;
    std::unique_ptr<ReaderHistoryModel> model;
    std::unique_ptr<ReaderHistoryPane> pane;
    TaskHandle loading;
};

TEST_F(ReaderHistoryPaneTest, WithoutAStoreOnlyTheStorageTextsShowTheRefusalBehindTheDisclosure) {
    const StoreOpeningFailure refusal{ReadingStoreError::unsupportedVersionOf(9), StoreOpeningFailure::File::store,
                                      u"/data/reading-store.json"_s, std::nullopt};
    ReaderHistoryPane& pane = start(false, refusal);
    EXPECT_EQ(pane.content(), ReaderHistoryPane::Content::noStore);
    EXPECT_FALSE(pane.searchButton()->isVisible());
    EXPECT_FALSE(pane.historyMenuButton()->isEnabled());
    ReaderImportNotice& notice = *pane.noStoreNotice();
    EXPECT_EQ(notice.message(),
              u"保存データを開けませんでした。既存のファイルは保持しています。文章の取り込みと再生は使えます。"_s);
    EXPECT_FALSE(notice.isFailure());
    ASSERT_TRUE(notice.disclosure()->isVisible());
    EXPECT_EQ(notice.disclosure()->text(), u"取り込みの詳細"_s);
    notice.disclosure()->click();
    EXPECT_TRUE(notice.detailsLabel()->isVisible());
    EXPECT_EQ(notice.detailsLabel()->text(), MacReadingPlayback::describeRefusal(refusal));
}

TEST_F(ReaderHistoryPaneTest, ContentStatesSearchAndEscapeGiveTheFocusBack) {
    ReaderHistoryPane& pane = start();
    EXPECT_EQ(pane.content(), ReaderHistoryPane::Content::empty);
    EXPECT_EQ(pane.emptyTitle()->accessibleName(), u"履歴はまだありません"_s);
    EXPECT_TRUE(pane.emptyDescription()->accessibleName().contains(u"このコンピューターに自動保存します。直近"_s));
    pane.collectionButton(Collection::library)->click();
    EXPECT_EQ(model->collection(), Collection::library);
    EXPECT_EQ(pane.emptyTitle()->accessibleName(), u"ライブラリはまだありません"_s);
    EXPECT_FALSE(pane.historyMenuButton()->isVisible());

    stored(u"夏の日"_s, false);
    EXPECT_TRUE(test::processEventsUntil([&] { return pane.content() == ReaderHistoryPane::Content::table; }));

    // The search opens with the focus in the field; a query that matches nothing, then Escape.
    pane.activateWindow();
    EXPECT_EQ(pane.searchButton()->accessibleName(), u"文書一覧を検索"_s);
    pane.searchButton()->click();
    EXPECT_TRUE(pane.searchField()->isVisible());
    EXPECT_EQ(pane.searchField()->accessibleName(), u"ライブラリの題名・著者・本文を検索"_s);
    EXPECT_EQ(pane.searchButton()->accessibleName(), u"一覧の検索を閉じる"_s);
    type(pane.searchField(), 0, u"冬"_s);
    EXPECT_EQ(model->query(), u"冬"_s);
    EXPECT_TRUE(test::processEventsUntil([&] { return pane.content() == ReaderHistoryPane::Content::empty; }));
    EXPECT_EQ(pane.emptyTitle()->accessibleName(), u"一致する文書がありません"_s);
    type(pane.searchField(), Qt::Key_Escape);
    EXPECT_EQ(model->query(), QString());
    EXPECT_FALSE(pane.searchField()->isVisible());
    EXPECT_TRUE(test::processEventsUntil([&] { return pane.searchButton()->hasFocus(); }));
    EXPECT_EQ(pane.content(), ReaderHistoryPane::Content::table);

    // A stale row asks nothing.
    pane.requestDeletion(QUuid::createUuid(), Collection::library);
    EXPECT_FALSE(pane.deletion().has_value());
    EXPECT_EQ(pane.alert(), nullptr);
}

TEST_F(ReaderHistoryPaneTest, ConfirmedDeletionsReachTheStoreFile) {
    const SavedReading kept = stored(u"残る本"_s, false);
    ASSERT_TRUE(runTask(store->recordPlayback(kept.id, clock.now(), std::nullopt)).has_value());
    const SavedReading gone = stored(u"消える文"_s, true);
    ReaderHistoryPane& pane = start();
    ASSERT_EQ(model->history().size(), 2);
    ASSERT_TRUE(storeFileHolds(gone.id));

    // From the history, a reading also in the library loses only its history entry.
    pane.requestDeletion(kept.id, Collection::history);
    ASSERT_TRUE(pane.deletion().has_value());
    EXPECT_EQ(pane.alert()->windowTitle(), u"「残る本」を履歴から除きますか？"_s);
    // Its Japanese breaks between phrases, never inside a word ("読み位 / 置").
    EXPECT_TRUE(pane.alert()->informativeText().contains(u"読\u2060み\u2060位\u2060置"_s))
        << pane.alert()->informativeText();
    confirm(pane);
    EXPECT_TRUE(test::processEventsUntil([&] { return model->history().size() == 1; }));
    ASSERT_EQ(model->library().size(), 1);
    EXPECT_EQ(model->library().first().id(), kept.id);

    // A reading only in the history is deleted, from the file too.
    pane.requestDeletion(gone.id, Collection::history);
    EXPECT_EQ(pane.alert()->windowTitle(), u"「消える文」を削除しますか？"_s);
    confirm(pane);
    EXPECT_TRUE(test::processEventsUntil([&] { return model->history().isEmpty(); }));
    EXPECT_FALSE(storeFileHolds(gone.id));
    EXPECT_TRUE(storeFileHolds(kept.id));

    // Cancel does nothing; from the library the document goes everywhere.
    pane.requestDeletion(kept.id, Collection::library);
    pane.alert()->reject();
    QCoreApplication::processEvents();
    EXPECT_EQ(model->library().size(), 1);
    pane.requestDeletion(kept.id, Collection::library);
    EXPECT_EQ(pane.alert()->windowTitle(), u"「残る本」を削除しますか？"_s);
    confirm(pane);
    EXPECT_TRUE(test::processEventsUntil([&] { return model->library().isEmpty(); }));
    EXPECT_FALSE(storeFileHolds(kept.id));
}

// In the narrow window the list is a popup over the reader: its confirmation and details sheet belong to the
// reader window, centred on it, and go with the list if the list goes first.
TEST_F(ReaderHistoryPaneTest, AConfirmationOrSheetAskedFromThePopupListBelongsToTheWindowUnderIt) {
    const SavedReading reading = stored(u"狭い窓の文"_s, false);
    ASSERT_TRUE(runTask(store->recordPlayback(reading.id, clock.now(), std::nullopt)).has_value());
    ReaderHistoryPane& pane = start();
    QWidget window;
    window.setGeometry(300, 200, 620, 700);
    window.show();
    QFrame popup(&window, Qt::Popup);
    pane.setParent(&popup);
    popup.setGeometry(300, 230, 300, 500);
    popup.show();

    pane.requestDeletion(reading.id, Collection::library);
    ASSERT_NE(pane.alert(), nullptr);
    QPointer<QMessageBox> alert = pane.alert();
    EXPECT_EQ(alert->parentWidget(), &window);
    EXPECT_TRUE(test::processEventsUntil([&] { return alert->isVisible(); }));
    EXPECT_LE(std::abs(alert->frameGeometry().center().x() - window.frameGeometry().center().x()), 2);
    alert->reject();
    QCoreApplication::processEvents();

    pane.showDetails(reading.id);
    QPointer<ReaderHistoryDetails> sheet = pane.details();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->parentWidget(), &window);
    pane.requestDeletion(reading.id, Collection::library);
    alert = pane.alert();

    pane.setParent(nullptr);
    this->pane.reset();
    EXPECT_TRUE(alert.isNull() && sheet.isNull());
}

// After a row's removal the keyboard is on the list, its ring drawn (and drawn again when the window comes
// back), and no other row is chosen or opened: a deleted reading that was open stops with the deletion
// notice, one that was not leaves the open one as it was, and a reading removed from the history that stays
// in the library stays open. The last removal hands the focus to the reading area.
TEST_F(ReaderHistoryPaneTest, AfterARemovalTheListKeepsTheKeysAndNoOtherRowIsChosenOrOpened) {
    for (const QString& title : {u"一"_s, u"二"_s, u"三"_s, u"四"_s, u"五"_s}) stored(title, true);
    ReaderHistoryPane& pane = start();
    int readingAreaFocused = 0;
    pane.onFocusReadingArea = [&] { ++readingAreaFocused; };
    pane.activateWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return pane.isActiveWindow(); }));
    ReadingPlayer& player = playback->player();
    ReaderHistoryTable& table = *pane.table();
    const auto titles = [&] {
        QStringList shown;
        for (const StoredReading& row : model->visibleItems()) shown.append(*row.reading.title);
        return shown;
    };
    const auto idOf = [&](const QString& title) {
        for (const StoredReading& row : model->history())
            if (row.reading.title == title) return row.id();
        return QUuid();
    };
    const auto open = [&](const QString& title) {
        const QUuid id = idOf(title);
        model->select(id);
        ASSERT_TRUE(test::processEventsUntil([&] { return player.readingID() == id; }));
    };
    const auto remove = [&](const QString& title) {
        const qsizetype before = model->visibleItems().size();
        pane.requestDeletion(idOf(title), Collection::history);
        confirm(pane);
        ASSERT_TRUE(test::processEventsUntil([&] { return model->visibleItems().size() == before - 1; }));
    };
    // Whatever the removal would open has had the time to.
    const auto settled = [] { test::processEventsUntil([] { return false; }, std::chrono::milliseconds(100)); };
    const auto stoppedWithNotice = [&] {
        return test::processEventsUntil([&] {
            return !player.readingID() &&
                   player.storageMessage() == u"この文書は保存先から削除されたため、再生を停止しました。"_s;
        });
    };
    // The offscreen platform does not give the window back its activation when the alert closes.
    const auto keysOnTheList = [&] {
        pane.activateWindow();
        return test::processEventsUntil([&] { return table.listView()->hasFocus() && table.showsFocusRing(); });
    };
    const auto nothingChosen = [&] {
        return !model->selectedID() && table.listView()->selectionModel()->selectedRows().isEmpty();
    };
    ASSERT_EQ(titles(), (QStringList{u"五"_s, u"四"_s, u"三"_s, u"二"_s, u"一"_s}));

    // The row chosen and open, with rows below it: the player stops, and nothing takes its place.
    open(u"四"_s);
    remove(u"四"_s);
    EXPECT_TRUE(keysOnTheList());
    EXPECT_TRUE(stoppedWithNotice());
    settled();
    EXPECT_TRUE(nothingChosen());
    EXPECT_EQ(player.readingID(), std::nullopt);

    // The window goes behind another and comes back: the ring with it.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return other.isActiveWindow(); }));
    EXPECT_FALSE(table.showsFocusRing());
    pane.activateWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return pane.isActiveWindow(); }));
    EXPECT_TRUE(keysOnTheList());
    other.hide();

    // Another row than the chosen and open one: both stay.
    open(u"五"_s);
    remove(u"三"_s);
    EXPECT_TRUE(keysOnTheList());
    settled();
    EXPECT_EQ(model->selectedID(), idOf(u"五"_s));
    EXPECT_EQ(player.readingID(), idOf(u"五"_s));
    ASSERT_EQ(titles(), (QStringList{u"五"_s, u"二"_s, u"一"_s}));

    // The row chosen while a paste is open: the paste stays, the phrase where it was.
    open(u"二"_s);
    ASSERT_TRUE(player.apply(ImportedReading::fromText(u"貼り付けた文章。次の文。"_s, false, clock), true));
    const std::optional<QUuid> pasted = player.readingID();
    ASSERT_TRUE(test::processEventsUntil([&] { return player.session().currentChunk().has_value(); }));
    const ReadingSession session = player.session();
    remove(u"二"_s);
    settled();
    EXPECT_EQ(player.readingID(), pasted);
    EXPECT_EQ(player.session().index, session.index);
    EXPECT_EQ(player.session().status, session.status);
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    EXPECT_TRUE(nothingChosen());

    // The open reading, kept in the library, removed from the history: it stays open, nothing said.
    const SavedReading kept = stored(u"六"_s, true);
    ASSERT_TRUE(runTask(store->addToLibrary(kept.id)).has_value());
    ASSERT_TRUE(test::processEventsUntil([&] {
        return titles() == QStringList{u"六"_s, u"五"_s, u"一"_s} && model->visibleItems().first().isInLibrary;
    }));
    open(u"六"_s);
    remove(u"六"_s);
    settled();
    EXPECT_EQ(player.readingID(), kept.id);
    EXPECT_EQ(player.storageMessage(), std::nullopt);
    EXPECT_TRUE(nothingChosen());

    // The open reading, nothing chosen: it stops.
    open(u"五"_s);
    model->select(std::nullopt);
    remove(u"五"_s);
    EXPECT_TRUE(stoppedWithNotice());
    settled();
    EXPECT_TRUE(nothingChosen());
    EXPECT_EQ(readingAreaFocused, 0);

    // The last row: the reading area.
    ASSERT_EQ(titles(), QStringList{u"一"_s});
    remove(u"一"_s);
    EXPECT_TRUE(test::processEventsUntil([&] { return readingAreaFocused == 1; }));
}

TEST_F(ReaderHistoryPaneTest, DetailsSheetOfARowAndTheImportNotice) {
    const SavedReading kept = stored(u"夏の日"_s, true);
    ReaderHistoryPane& pane = start();
    pane.showDetails(QUuid::createUuid());
    EXPECT_EQ(pane.details(), nullptr);

    // The row's request opens the sheet over a copy that does not follow the store.
    pane.table()->onDetails(kept.id);
    ASSERT_NE(pane.details(), nullptr);
    EXPECT_TRUE(pane.details()->isVisible());
    const QUuid shown = pane.details()->item().id();
    EXPECT_EQ(shown, kept.id);
    runTask(model->addToLibrary(kept.id));
    EXPECT_TRUE(test::processEventsUntil([&] { return model->library().size() == 1; }));
    EXPECT_FALSE(pane.details()->item().isInLibrary);
    pane.details()->closeButton()->click();
    EXPECT_FALSE(pane.details() && pane.details()->isVisible());

    model->fileSelectionFailed();
    EXPECT_TRUE(pane.importNotice()->isVisible());
    EXPECT_EQ(pane.importNotice()->message(), ReaderHistoryModel::kFileSelectionFailed);
    model->setCollection(Collection::library);
    EXPECT_FALSE(pane.importNotice()->isVisible());
}

// The list's sheets show their keys as the reader does: the details sheet opens with them on 閉じる,
// ringed, rings each text Tab stops at (the names of its rows are none), and a click on a text leaves them
// on 閉じる; a confirmation rings its default button, and a click on its message leaves the keys there.
TEST_F(ReaderHistoryPaneTest, TheListsSheetsRingTheirKeysAndAClickOnATextLeavesThem) {
    const SavedReading kept = stored(u"夏の日"_s, true);
    ReaderHistoryPane& pane = start();
    const auto activated = [](QWidget& sheet) {
        sheet.activateWindow();
        return test::processEventsUntil([&] { return sheet.isActiveWindow(); });
    };

    pane.showDetails(kept.id);
    ReaderHistoryDetails& details = *pane.details();
    ASSERT_TRUE(activated(details));
    QPushButton& close = *details.closeButton();
    EXPECT_EQ(details.focusWidget(), &close);
    EXPECT_TRUE(test::processEventsUntil([&] { return test::ringedAt(details, close); }));
    details.grab().save(test::testArtifactPath(u"history-details-keys-on-close.png"_s));
    const QList<test::TabStop> stops = test::tabStops(details);
    QStringList stopped;
    for (const test::TabStop& stop : stops) {
        const auto* text = qobject_cast<QLabel*>(stop.widget);
        stopped.append(text ? text->text() : QString::fromLatin1(stop.widget->metaObject()->className()));
        EXPECT_TRUE(stop.ringed) << stopped.last();
    }
    // The title, the preview and the four values.
    EXPECT_EQ(stopped.size(), 6) << stopped.join(u" | "_s);
    EXPECT_FALSE(stopped.contains(u"読書位置"_s));
    for (QLabel* text : details.findChildren<QLabel*>()) {
        click(text, QPoint(2, text->height() / 2));
        EXPECT_EQ(details.focusWidget(), &close) << text->text();
    }
    close.click();

    pane.requestDeletion(kept.id, Collection::history);
    QMessageBox& alert = *pane.alert();
    ASSERT_TRUE(activated(alert));
    QAbstractButton* cancel = alert.defaultButton();
    ASSERT_NE(cancel, nullptr);
    EXPECT_TRUE(test::processEventsUntil([&] { return test::ringedAt(alert, *cancel); }));
    for (QLabel* text : alert.findChildren<QLabel*>()) {
        click(text, QPoint(2, text->height() / 2));
        EXPECT_EQ(alert.focusWidget(), cancel) << text->text();
    }
    EXPECT_TRUE(test::ringedAt(alert, *cancel));
    alert.reject();
}

// Titles taken from file names as the import stores them, with an override, a line break, a separator and
// an isolate: the row (its text and what is read out), the confirmation and its window title and the
// details sheet draw each on one line in its stored order; the store keeps the names as they were.
TEST_F(ReaderHistoryPaneTest, FileNameTitlesAreDrawnOnOneLineInStoredOrderAndStoredAsTheyAre) {
    const std::map<QString, QString> shownOf{
        {u"photo\u202Egpj.txt"_s, u"photo\\u202Egpj.txt"_s},
        {u"二行の\n名前\u2028と\u2066隔離.txt"_s, u"二行の 名前 と\\u2066隔離.txt"_s},
    };
    for (const auto& entry : shownOf) stored(entry.first, true);
    ReaderHistoryPane& pane = start();
    ASSERT_EQ(model->visibleItems().size(), 2);
    QAbstractItemModel& rows = *pane.table()->listView()->model();
    for (int row = 0; row < 2; ++row) {
        const StoredReading& item = model->visibleItems().at(row);
        ASSERT_TRUE(shownOf.contains(*item.reading.title));
        const QString shown = shownOf.at(*item.reading.title);
        const QModelIndex index = rows.index(row, 0);
        EXPECT_EQ(rows.data(index, Qt::DisplayRole).toString(), shown);
        EXPECT_TRUE(rows.data(index, Qt::AccessibleTextRole).toString().startsWith(shown + u"。"_s));

        pane.requestDeletion(item.id(), Collection::history);
        ASSERT_NE(pane.alert(), nullptr);
        EXPECT_EQ(pane.alert()->windowTitle(), u"「"_s + shown + u"」を削除しますか？"_s);
        EXPECT_EQ(QString(pane.alert()->text()).remove(kWordJoiner), pane.alert()->windowTitle());
        pane.alert()->reject();
        QCoreApplication::processEvents();

        pane.table()->onDetails(item.id());
        ASSERT_NE(pane.details(), nullptr);
        EXPECT_EQ(pane.details()->windowTitle(), shown);
        pane.details()->closeButton()->click();
    }
    // Nothing drawn changed what is stored.
    for (const StoredReading& item : model->history()) EXPECT_TRUE(shownOf.contains(*item.reading.title));
}

// What a person sees: Japanese rows, one selected, the library mark, the menu button on the selected row.
TEST_F(ReaderHistoryPaneTest, RowsAreDrawnWithTheSelection) {
    stored(u"吾輩は猫である"_s, true);
    const SavedReading second = stored(u"走れメロス"_s, false);
    ASSERT_TRUE(runTask(store->recordPlayback(second.id, clock.now(), std::nullopt)).has_value());
    stored(u"銀河鉄道の夜　宮沢賢治の童話を最後まで読み通すための、とても長い題名の文書"_s, true);
    ReaderHistoryPane& pane = start();
    ReaderTheme::apply(pane);
    ASSERT_EQ(model->visibleItems().size(), 3);
    model->select(model->visibleItems().at(1).id());
    ASSERT_TRUE(test::processEventsUntil([&] { return pane.table()->menuButtonRow() == 1; }));
    const QImage image = pane.grab().toImage();
    image.save(test::testArtifactPath(u"history-pane.png"_s));
    const QRect row = pane.table()->listView()->visualRect(pane.table()->listView()->model()->index(1, 0));
    const QPoint inRow = pane.table()->listView()->viewport()->mapTo(&pane, row.topLeft() + QPoint(row.width() / 2, 4));
    EXPECT_EQ(image.pixelColor(inRow * image.devicePixelRatio()).rgb(), toQColor(ReaderPalette::selectedControl).rgb());
}

}  // namespace
}  // namespace tavrine
