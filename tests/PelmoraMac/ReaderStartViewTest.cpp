// The start view over the real model, player and a store in a temporary folder: the status section's
// rules in their order, the cancel button, Space and focus on the sample button, one focus mark on a
// focused button, the names read back
// through QAccessible. The import notice's disclosure rules and the details sheet's rows at their edges.
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryDetails.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Library/ReaderStartView.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include "LibraryTesting.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/StoreTesting.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QCoro/QCoroFuture>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPromise>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

const QString kStoreFile = u"/home/user/.local/share/org.tavrine.Tavrine/reading-store.json"_s;
const DecodingError kDamaged{DecodingError::Kind::dataCorrupted, QString(), u"not JSON"_s};
using test::Gate;
using test::processEventsUntil;
using test::runTask;

// ---- The import notice ----

TEST(ReaderImportNotice, FailureLookAndDisclosureRules) {
    ReaderImportNotice notice;
    notice.setNotice(std::nullopt, std::nullopt, false);
    EXPECT_TRUE(notice.isHidden());

    // A success: no triangle, the secondary colour, no disclosure without details.
    notice.setNotice(u"追加しました"_s, std::nullopt, false);
    EXPECT_FALSE(notice.isHidden());
    EXPECT_TRUE(notice.warningIcon()->isHidden());
    EXPECT_EQ(notice.messageLabel()->palette().color(QPalette::WindowText), toQColor(ReaderPalette::secondaryText));
    EXPECT_TRUE(notice.disclosure()->isHidden());

    // A failure: the triangle and the text colour; empty details still give the disclosure.
    notice.setNotice(u"失敗しました"_s, QString(), true);
    EXPECT_FALSE(notice.warningIcon()->isHidden());
    EXPECT_EQ(notice.messageLabel()->palette().color(QPalette::WindowText), toQColor(ReaderPalette::text));
    EXPECT_FALSE(notice.disclosure()->isHidden());
    EXPECT_EQ(notice.disclosure()->text(), u"取り込みの詳細"_s);
    EXPECT_TRUE(notice.detailsLabel()->isHidden());
    EXPECT_TRUE(notice.messageLabel()->textInteractionFlags().testFlag(Qt::TextSelectableByKeyboard));

    // Opened, it stays open for new details or a new flag under the same message.
    notice.disclosure()->click();
    EXPECT_TRUE(notice.showsDetails());
    EXPECT_FALSE(notice.detailsLabel()->isHidden());
    notice.setNotice(u"失敗しました"_s, u"上限は30 MBです"_s, false);
    EXPECT_TRUE(notice.showsDetails());
    EXPECT_EQ(notice.detailsLabel()->text(), u"上限は30 MBです"_s);
    EXPECT_FALSE(notice.detailsLabel()->isHidden());

    // A new message starts closed; so does the same message after the notice was gone.
    notice.setNotice(u"別の失敗"_s, u"上限は30 MBです"_s, true);
    EXPECT_FALSE(notice.showsDetails());
    EXPECT_TRUE(notice.detailsLabel()->isHidden());
    notice.disclosure()->click();
    notice.setNotice(std::nullopt, std::nullopt, false);
    notice.setNotice(u"別の失敗"_s, u"上限は30 MBです"_s, true);
    EXPECT_FALSE(notice.showsDetails());

    // Details gone: no disclosure, nothing of them shown.
    notice.disclosure()->click();
    notice.setNotice(u"別の失敗"_s, std::nullopt, true);
    EXPECT_TRUE(notice.disclosure()->isHidden());
    EXPECT_TRUE(notice.detailsLabel()->isHidden());
}

// ---- The details sheet ----

TEST(ReaderHistoryDetails, RowsForPlayedAndUnplayedReadingsAtTheirEdges) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QTimeZone utc = QTimeZone::utc();
    StoredReading item;
    // 101 Characters of two UTF-16 units each: the title keeps 100 of them whole.
    QString title;
    for (int index = 0; index < 101; ++index) title += u"か\u3099"_s;
    item.reading = SavedReading{.id = QUuid::createUuid(),
                                .document = {.sections = {}, .text = u"一行目\n\n二行目   三行目"_s, .spans = {}},
                                .title = title,
                                .epub = std::nullopt,
                                .source = std::nullopt,
                                .importedAt = Date::fromUnixSeconds(86'400 + 3'600 * 9 + 60 * 5)};

    const ReaderHistoryDetails::Content never = ReaderHistoryDetails::content(item, japanese, utc);
    EXPECT_EQ(never.title, firstCharacters(title, 100));
    EXPECT_EQ(never.title.size(), 200);
    EXPECT_EQ(never.preview, u"一行目 二行目 三行目"_s);
    const QList<ReaderDocumentInformation::Row> unplayed = {{u"読書位置"_s, u"先頭"_s},
                                                            {u"ライブラリ"_s, u"未追加"_s},
                                                            {u"取り込み"_s, u"1970年1月2日 9:05"_s},
                                                            {u"最後の再生"_s, u"未再生"_s}};
    EXPECT_EQ(never.rows, unplayed);

    item.isInLibrary = true;
    item.progress = ReadingProgress{.utf16Offset = 3, .isCompleted = true};
    item.lastPlayedAt = Date::fromUnixSeconds(1'700'000'000);
    const ReaderHistoryDetails::Content played = ReaderHistoryDetails::content(item, japanese, utc);
    const QList<ReaderDocumentInformation::Row> completed = {{u"読書位置"_s, u"最後まで再生"_s},
                                                             {u"ライブラリ"_s, u"保存済み"_s},
                                                             {u"取り込み"_s, u"1970年1月2日 9:05"_s},
                                                             {u"最後の再生"_s, u"2023年11月14日 22:13"_s}};
    EXPECT_EQ(played.rows, completed);
    item.progress = ReadingProgress{.utf16Offset = 6, .isCompleted = false};
    EXPECT_EQ(ReaderHistoryDetails::content(item, japanese, utc).rows.first().value, u"42%"_s);

    // The sheet: 400 wide, window modal, closed by its button and by Escape.
    ReaderHistoryDetails sheet(item);
    EXPECT_EQ(sheet.width(), ReaderHistoryDetails::kWidth);
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet.closeButton()->text(), u"閉じる"_s);
    sheet.open();
    sheet.closeButton()->click();
    EXPECT_FALSE(sheet.isVisible());
    sheet.open();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&sheet, &escape);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), QDialog::Rejected);
}

// ---- The start view ----

// Records the Space presses and releases that reach it.
class SpaceCatcher : public QWidget {
public:
    int presses = 0;
    int releases = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override { presses += event->key() == Qt::Key_Space; }
    void keyReleaseEvent(QKeyEvent* event) override { releases += event->key() == Qt::Key_Space; }
};

class ReaderStartViewTest : public testing::Test {
protected:
    void SetUp() override {
        auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s), clock);
        ASSERT_TRUE(opened.has_value());
        store = std::move(*opened);
        text = files.write(u"short.txt"_s, "短い文章です。");
    }

    void TearDown() override {
        window.reset();
        model.reset();
        playback.reset();
        EXPECT_TRUE(test::releaseStore(store));
    }

    // The model over the store (or none), not yet loaded; its loads wait for the gate, when one is held.
    void makeModel(bool withStore) {
        model.reset();
        // A store that failed, as a damaged store file fails.
        std::optional<StoreOpeningFailure> refusal;
        if (!withStore) refusal = StoreOpeningFailure{kDamaged, StoreOpeningFailure::File::store, kStoreFile, {}};
        playback = std::make_unique<MacReadingPlayback>(withStore ? store : nullptr, defaults, clock,
                                                        MacReadingPlayback::readingFontPhraseWidth(), refusal);
        model = std::make_unique<ReaderHistoryModel>(
            std::make_unique<ReadingLibrarySearch>(), *playback, nullptr, [this](QUrl url, CancellationToken token) {
                return test::loadAfterGate(gate, std::move(url), std::move(token));
            });
    }

    void load() {
        loading.start([this](CancellationToken token) { return model->load(std::move(token)); });
        ASSERT_TRUE(processEventsUntil([&] { return model->isLoaded(); }));
    }

    ReaderStartView::Inputs inputs(bool enabled = true) {
        return {.player = playback ? &playback->player() : nullptr,
                .history = model.get(),
                .showsHistory = false,
                .canOpenSample = enabled,
                .canImportClipboard = enabled,
                .canImportFile = enabled,
                .openSample = [this] { ++samples; },
                .importClipboard = {},
                .importFile = {},
                .focusRequest = QUuid(),
                .clipboardFailureMessage = std::nullopt,
                .clipboardFailureDetails = std::nullopt};
    }

    ReaderStartView& show(ReaderStartView::Inputs given) {
        window = std::make_unique<SpaceCatcher>();
        auto* layout = new QVBoxLayout(window.get());
        // Takes the focus when the window is activated, as the window's other controls do.
        layout->addWidget(new QPushButton(u"前"_s, window.get()));
        view = new ReaderStartView(std::move(given), window.get());
        layout->addWidget(view);
        window->resize(600, 500);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(processEventsUntil([&] { return window->isActiveWindow(); }));
        return *view;
    }

    void key(QEvent::Type type, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool repeat = false) {
        QKeyEvent event(type, Qt::Key_Space, modifiers, u" "_s, repeat);
        QApplication::sendEvent(&view->sampleButton(), &event);
    }

    test::TemporaryDirectory folder;
    test::TemporaryDirectory files;
    test::FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<ReadingStore> store;
    std::unique_ptr<MacReadingPlayback> playback;
    std::unique_ptr<ReaderHistoryModel> model;
    TaskHandle loading;
    std::shared_ptr<Gate> gate;
    QString text;
    std::unique_ptr<SpaceCatcher> window;
    ReaderStartView* view = nullptr;
    int samples = 0;
};

TEST_F(ReaderStartViewTest, StatusRulesInTheirOrder) {
    // No model yet: the buttons by their flags, a disabled one keeping its tooltip, and the loading state.
    ReaderStartView::Inputs first = inputs();
    first.canImportClipboard = false;
    ReaderStartView& start = show(first);
    EXPECT_TRUE(start.sampleButton().isEnabled());
    EXPECT_FALSE(start.pasteButton().isEnabled());
    EXPECT_TRUE(start.pasteButton().isVisible());
    EXPECT_FALSE(start.pasteButton().toolTip().isEmpty());
    EXPECT_TRUE(start.loadingIndicator().isVisible());
    EXPECT_FALSE(start.noStoreNotice().isVisible());
    EXPECT_TRUE(start.loadingIndicator().findChild<QLabel*>()->text() == u"保存文書を読み込み中…"_s);

    // A store that failed to open, before the model has loaded: its text, no progress, and the player's
    // storage warning below everything.
    makeModel(false);
    start.setInputs(inputs());
    EXPECT_FALSE(model->isLoaded());
    EXPECT_TRUE(start.noStoreNotice().isVisible());
    EXPECT_EQ(start.noStoreNotice().message(), ReaderStartView::kNoStoreText);
    EXPECT_FALSE(start.noStoreNotice().isFailure());
    ASSERT_TRUE(start.noStoreNotice().disclosure()->isVisible());
    EXPECT_EQ(
        start.noStoreNotice().detailsLabel()->text(),
        u"ファイル："_s + kStoreFile + u"（保存データの本体）\n理由：JSONとして読めません。ファイルが壊れています。"_s);
    EXPECT_FALSE(start.loadingIndicator().isVisible());
    ASSERT_TRUE(playback->player().storageMessage().has_value());
    EXPECT_TRUE(start.storageMessageLabel().isVisible());
    EXPECT_EQ(start.storageMessageLabel().text(), *playback->player().storageMessage());

    // With a store: loading until the first state arrives, followed on a later turn.
    makeModel(true);
    start.setInputs(inputs());
    EXPECT_TRUE(start.loadingIndicator().isVisible());
    EXPECT_FALSE(start.storageMessageLabel().isVisible());
    load();
    EXPECT_TRUE(processEventsUntil([&] { return !start.loadingIndicator().isVisible(); }));

    // The notice: only while the list pane is hidden; shown on the next turn after the model changed.
    model->fileSelectionFailed();
    EXPECT_FALSE(start.fileNotice().isVisible());
    QCoreApplication::processEvents();
    EXPECT_TRUE(start.fileNotice().isVisible());
    EXPECT_EQ(start.fileNotice().message(), ReaderHistoryModel::kFileSelectionFailed);
    EXPECT_TRUE(start.fileNotice().isFailure());
    ReaderStartView::Inputs withPane = inputs();
    withPane.showsHistory = true;
    start.setInputs(withPane);
    EXPECT_FALSE(start.fileNotice().isVisible());

    // Reading a file: the progress with the cancel button, which ends the import through the model.
    gate = std::make_shared<Gate>();
    model->beginFileImport(ReaderHistoryModel::passThroughURL(QUrl::fromLocalFile(text)));
    ASSERT_TRUE(model->isImportingFile());
    QCoreApplication::processEvents();
    EXPECT_FALSE(start.fileProgress().isVisible());
    start.setInputs(inputs());
    EXPECT_FALSE(start.fileNotice().isVisible());
    EXPECT_TRUE(start.fileProgress().isVisible());
    EXPECT_EQ(start.fileProgressLabel().text(), u"ファイルを読み込み中"_s);
    EXPECT_TRUE(start.cancelImportButton().isVisible());
    start.cancelImportButton().click();
    EXPECT_FALSE(model->isImportingFile());
    gate->release();
    EXPECT_TRUE(processEventsUntil([&] { return !start.fileProgress().isVisible(); }));

    // Saving: past cancelling, so no button; then the success notice in the secondary colour.
    gate.reset();
    bool sawSaving = false;
    const auto connection = QObject::connect(model.get(), &ReaderHistoryModel::isSavingFileChanged, [&] {
        if (!model->isSavingFile()) return;
        start.refresh();
        sawSaving = start.fileProgressLabel().text() == u"ファイルを保存中"_s && start.fileProgress().isVisible() &&
                    !start.cancelImportButton().isVisible();
    });
    model->beginFileImport(ReaderHistoryModel::passThroughURL(QUrl::fromLocalFile(text)));
    ASSERT_TRUE(processEventsUntil([&] { return !model->isImportingFile(); }));
    QObject::disconnect(connection);
    EXPECT_TRUE(sawSaving);
    EXPECT_TRUE(processEventsUntil([&] { return start.fileNotice().message() == ReaderHistoryModel::kFileImported; }));
    EXPECT_FALSE(start.fileNotice().isFailure());
    EXPECT_FALSE(start.fileProgress().isVisible());
}

TEST_F(ReaderStartViewTest, SpaceOpensTheSampleOnceOnlyWhenPlain) {
    ReaderStartView& start = show(inputs());
    start.sampleButton().setFocus();

    // Modifiers, repeats and every release pass on to the parent.
    for (Qt::KeyboardModifiers held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier})
        key(QEvent::KeyPress, held);
    key(QEvent::KeyPress, Qt::NoModifier, true);
    key(QEvent::KeyRelease);
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(window->presses, 5);
    EXPECT_EQ(window->releases, 1);

    // Plain Space (the keypad flag is no modifier): one opening, accepted, none on release.
    key(QEvent::KeyPress, Qt::KeypadModifier);
    key(QEvent::KeyRelease);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(window->presses, 5);
    EXPECT_EQ(window->releases, 2);

    // Not allowed now: the press passes on.
    start.setInputs(inputs(false));
    key(QEvent::KeyPress);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(window->presses, 6);
    EXPECT_FALSE(start.sampleButton().isHidden());
}

TEST_F(ReaderStartViewTest, FocusRequestsFocusTheSampleButtonEachTime) {
    ReaderStartView::Inputs given = inputs();
    given.focusRequest = QUuid::createUuid();
    ReaderStartView& start = show(given);
    QCoreApplication::processEvents();
    EXPECT_FALSE(start.sampleButton().hasFocus());

    for (int request = 0; request < 2; ++request) {
        given.focusRequest = QUuid::createUuid();
        start.setInputs(given);
        EXPECT_FALSE(start.sampleButton().hasFocus());
        EXPECT_TRUE(processEventsUntil([&] { return start.sampleButton().hasFocus(); })) << request;
    }
    // The same request again moves nothing.
    start.sampleButton().clearFocus();
    start.setInputs(given);
    QCoreApplication::processEvents();
    EXPECT_FALSE(start.sampleButton().hasFocus());
}

// A button reached by Tab shows one focus mark, its own ring in its border: inside the border it looks as
// it does without the focus (no frame of the widget style's around its title).
TEST_F(ReaderStartViewTest, AFocusedButtonShowsOnlyItsOwnRing) {
    ReaderStartView& start = show(inputs());
    // Tab as the user presses it: the window then shows where the keyboard moved the focus.
    window->findChild<QPushButton*>()->setFocus();
    for (QPushButton* button :
         {static_cast<QPushButton*>(&start.sampleButton()), &start.pasteButton(), &start.openFileButton()}) {
        SCOPED_TRACE(button->text().toStdString());
        const QImage plain = button->grab().toImage();
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(window->focusWidget(), &tab);
        ASSERT_TRUE(processEventsUntil([&] { return button->hasFocus(); }));
        const QImage focused = button->grab().toImage();
        // The ring is the 2-pixel border, rounded at the corners by up to 8 pixels.
        const QRect inside = plain.rect().adjusted(8, 3, -8, -3);
        EXPECT_EQ(plain.copy(inside), focused.copy(inside));
        EXPECT_NE(plain, focused) << "no ring at all";
    }
}

TEST_F(ReaderStartViewTest, NamesDescriptionsAndIdentifiersThroughAccessibility) {
    ReaderStartView::Inputs given = inputs();
    given.clipboardFailureMessage = u"クリップボードに文章がありません"_s;
    ReaderStartView& start = show(given);
    const auto read = [](QWidget& widget) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&widget);
        return QStringList{accessible->object()->objectName(), accessible->text(QAccessible::Name),
                           accessible->text(QAccessible::Description)};
    };
    EXPECT_EQ(read(start.sampleButton()), (QStringList{u"readerOpenSample"_s, u"サンプルで試す"_s,
                                                       u"短いサンプル文を開きます。再生ボタンで読み始められます"_s}));
    EXPECT_EQ(read(start.pasteButton()),
              (QStringList{u"readerStartPaste"_s, u"文章を貼り付ける"_s,
                           u"先に文章をコピーしてください。取り込んだ後、再生ボタンで開始します"_s}));
    EXPECT_EQ(read(start.openFileButton()),
              (QStringList{u"readerStartOpenFile"_s, u"ファイルを開いてライブラリに追加"_s,
                           u"UTF-8の.txt、またはDRMのないリフロー型.epubをライブラリへコピーして追加します。"
                           u"元ファイルは変更しません"_s}));
    EXPECT_EQ(start.openFileButton().text(), u"ファイルを開く…"_s);
    EXPECT_EQ(start.openFileButton().toolTip(), read(start.openFileButton()).last());
    EXPECT_EQ(read(start.clipboardNotice()).first(), u"readerStartPasteError"_s);
    // A clipboard failure without details: the message alone, as a failure.
    EXPECT_TRUE(start.clipboardNotice().isVisible());
    EXPECT_TRUE(start.clipboardNotice().isFailure());
    EXPECT_TRUE(start.clipboardNotice().disclosure()->isHidden());
}

}  // namespace
}  // namespace tavrine
