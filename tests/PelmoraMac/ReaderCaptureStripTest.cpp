// The capture strip and the file-import strip: what each state shows, the retry buttons in a row or a
// column by the width, and every message whole (the strip's width, all its lines) at 600, 720 and 1,200
// pixels.
#include "PelmoraMac/Window/ReaderCaptureStrip.h"

#include "PelmoraMac/Capture/CaptureMessages.h"
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Window/ReaderFileImportStrip.h"
#include "ReaderCore/MemoryDefaults.h"

#include "AppTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using State = ReaderCaptureStrip::State;

// The texts of the labels and buttons the strip shows.
QStringList shownTexts(const ReaderCaptureStrip& strip) {
    QStringList texts;
    for (const QLabel* label : strip.findChildren<QLabel*>())
        if (label->isVisibleTo(&strip) && !label->text().isEmpty()) texts.append(label->text());
    for (const QPushButton* button : strip.findChildren<QPushButton*>())
        if (button->isVisibleTo(&strip)) texts.append(button->text());
    return texts;
}

TEST(ReaderCaptureStrip, EachStateShowsItsOwnLinesAndButtons) {
    const State failedWithText{.failure = CaptureFailure::permissionRequired,
                               .message = u"権限が必要です"_s,
                               .hasDocumentText = true,
                               .canRetryInSource = true,
                               .canImportClipboard = true,
                               .shortcutLabel = u"Meta+Ctrl+Alt+R"_s};
    struct Case {
        const char* name;
        State state;
        QStringList shown;
        QStringList hidden;
    };
    const QStringList permission{u"権限を設定する"_s, u"システム設定を開く"_s, u"権限を再確認"_s};
    const std::vector<Case> cases{
        {"permission needed, a document open",
         failedWithText,
         permission +
             QStringList{
                 u"権限が必要です"_s, u"元のアプリで文章を選択"_s, u"コピーした文章を取り込む"_s,
                 u"元のアプリで文章を選択して Meta+Ctrl+Alt+R で再実行できます。コピーする場合は、先に読む文章をコピーしてください。"_s},
         {u"取り込みをキャンセル"_s, u"ショートカットを再登録"_s}},
        {"no document: only the retry in the source",
         State{.failure = CaptureFailure::noSelection, .message = u"選択がありません"_s, .canRetryInSource = true},
         {u"選択がありません"_s, u"元のアプリで文章を選択"_s},
         permission + QStringList{u"コピーした文章を取り込む"_s}},
        {"capturing",
         State{.message = u"取り込み中"_s, .isCapturing = true},
         {u"取り込み中"_s, u"取り込みをキャンセル"_s},
         permission},
        {"both hot keys failed: two lines, one button",
         State{.shortcutError = u"一つ目"_s, .clipboardShortcutError = u"二つ目"_s},
         {u"一つ目"_s, u"二つ目"_s, u"ショートカットを再登録"_s},
         {u"取り込みをキャンセル"_s}},
        {"browser consent",
         State{.failure = CaptureFailure::automationRequired, .message = u"連携"_s},
         {u"ブラウザー連携を許可"_s},
         permission + QStringList{u"オートメーション設定を開く"_s}},
    };
    for (const Case& c : cases) {
        ReaderCaptureStrip strip({});
        strip.apply(c.state);
        const QStringList shown = shownTexts(strip);
        for (const QString& text : c.shown) EXPECT_TRUE(shown.contains(text)) << c.name << ": " << text.toStdString();
        for (const QString& text : c.hidden) EXPECT_FALSE(shown.contains(text)) << c.name << ": " << text.toStdString();
        if (c.state.shortcutError) {
            EXPECT_EQ(shown.count(u"ショートカットを再登録"_s), 1) << c.name;
        }
    }
}

TEST(ReaderCaptureStrip, ThePermissionButtonsActAndTheRetryButtonsFoldIntoAColumnWhenNarrow) {
    QStringList done;
    QWidget window;
    // Placed freely in its window, so that its width is the test's to set.
    ReaderCaptureStrip strip({
                                 .requestPermission = [&] { done.append(u"request"_s); },
                                 .openPermissionSettings = [&] { done.append(u"settings"_s); },
                                 .refreshPermission = [&] { done.append(u"refresh"_s); },
                             },
                             &window);
    strip.apply({.failure = CaptureFailure::permissionRequired,
                 .message = u"権限が必要です"_s,
                 .hasDocumentText = true,
                 .canRetryInSource = true});
    for (QPushButton* button : strip.permissionRow().findChildren<QPushButton*>()) button->click();
    EXPECT_EQ(done, (QStringList{u"request"_s, u"settings"_s, u"refresh"_s}));

    window.show();
    const auto sideBySide = [&](int width) {
        strip.resize(width, 600);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return strip.retryInSourceButton().y() == strip.importClipboardButton().y();
    };
    const int row = strip.retryInSourceButton().sizeHint().width() + strip.importClipboardButton().sizeHint().width();
    EXPECT_TRUE(sideBySide(row + 100));
    EXPECT_FALSE(sideBySide(row - 10));
    EXPECT_TRUE(sideBySide(row + 100));
}

// A strip at the top of a window of the given width, above a stretching pane, as in the reader window.
struct StripWindow {
    explicit StripWindow(QWidget* strip) {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        strip->setParent(&window);
        layout->addWidget(strip);
        layout->addWidget(new QWidget(&window), 1);
        window.resize(1'200, 900);
        window.show();
    }
    void setWidth(int width) {
        window.resize(width, 900);
        // Nested layouts settle one level per pass.
        for (int pass = 0; pass < 4; ++pass) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    QWidget window;
};

// Every text the strip shows ends at the right edge of the strip's content and has the height of all its
// lines at its width; one that starts at the content's left edge spans it whole.
void expectWholeTexts(QWidget& strip, const QString& what) {
    const QRect content = strip.layout()->contentsRect();
    int texts = 0;
    for (const QLabel* label : strip.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&strip) || label->text().isEmpty()) continue;
        ++texts;
        const QRect box(label->mapTo(&strip, QPoint(0, 0)), label->size());
        SCOPED_TRACE(what.toStdString() + " / " + label->text().toStdString());
        EXPECT_EQ(box.right(), content.right()) << "width " << strip.width();
        EXPECT_GE(box.height(), label->heightForWidth(box.width())) << "width " << strip.width();
        EXPECT_LE(box.bottom(), content.bottom());
        EXPECT_GE(box.left(), content.left());
    }
    EXPECT_GT(texts, 0) << what.toStdString();
}

constexpr int kWidths[] = {600, 720, 1'200};

// The two errors of the hot keys as the shortcuts word them: a chord another program holds while the
// old one is kept, and a registration refused outright.
std::pair<QString, QString> hotKeyErrors() {
    MemoryDefaults defaults;
    test::FakeHotKeys keys;
    GlobalCaptureShortcut frontmost(GlobalCaptureShortcut::Command::frontmost, defaults, keys.function());
    frontmost.start([] {});
    keys.failWith = GlobalCaptureShortcut::kAlreadyRegistered;
    GlobalCaptureShortcut::Chord other = frontmost.chord();
    other.keyCode += 1;
    frontmost.setChord(other, std::nullopt, false);
    keys.failWith = 5;
    GlobalCaptureShortcut clipboard(GlobalCaptureShortcut::Command::clipboard, defaults, keys.function());
    clipboard.start([] {});
    return {frontmost.errorMessage().value_or(QString()), clipboard.errorMessage().value_or(QString())};
}

TEST(ReaderCaptureStrip, EveryMessageIsWholeAtEveryWidth) {
    auto* strip = new ReaderCaptureStrip({});
    StripWindow window(strip);
    std::vector<std::pair<QString, State>> states;
    for (const CaptureFailure failure : enumCases<CaptureFailure>()) {
        for (const bool clipboard : {false, true}) {
            const QString message = captureStatusMessage({
                .failure = failure,
                .usesClipboard = clipboard,
                .sourceName = u"テキストエディター"_s,
                .sourceBrowser = ArticleBrowser::chrome,
                .frontmostShortcutLabel = u"Meta+Ctrl+Alt+R"_s,
                .clipboardShortcutLabel = u"Meta+Ctrl+Alt+V"_s,
            });
            states.emplace_back(rawValue(failure), State{.failure = failure,
                                                         .message = message,
                                                         .hasDocumentText = !clipboard,
                                                         .canRetryInSource = !clipboard,
                                                         .shortcutLabel = u"Meta+Ctrl+Alt+R"_s});
        }
    }
    states.emplace_back(
        u"capturing"_s,
        State{.message = captureStatusMessage({.isCapturing = true, .sourceName = u"テキストエディター"_s}),
              .isCapturing = true});
    const auto [taken, refused] = hotKeyErrors();
    ASSERT_TRUE(taken.startsWith(u"このキーは既に登録されています。"_s)) << taken.toStdString();
    ASSERT_TRUE(refused.startsWith(u"キーを登録できませんでした（5）。"_s)) << refused.toStdString();
    states.emplace_back(u"hot keys"_s, State{.shortcutError = taken, .clipboardShortcutError = refused});

    for (const auto& [name, state] : states) {
        strip->apply(state);
        for (const int width : kWidths) {
            window.setWidth(width);
            expectWholeTexts(*strip, name);
            if (!state.failure) continue;
            // The failure's notice: its message beside the triangle, the help behind the disclosure.
            ReaderImportNotice& notice = strip->failureNotice();
            EXPECT_TRUE(notice.isFailure());
            EXPECT_TRUE(notice.warningIcon()->isVisibleTo(strip));
            EXPECT_EQ(notice.disclosure()->isVisibleTo(strip), captureFailureHelp(*state.failure).has_value());
            if (!notice.disclosure()->isVisibleTo(strip)) continue;
            notice.disclosure()->click();
            window.setWidth(width);
            EXPECT_TRUE(notice.detailsLabel()->isVisibleTo(strip));
            expectWholeTexts(*strip, name + u" (details)"_s);
            notice.disclosure()->click();
            EXPECT_FALSE(notice.detailsLabel()->isVisibleTo(strip));
        }
    }
}

TEST(ReaderFileImportStrip, EveryMessageIsWholeAtEveryWidthAndTheCancelButtonFollowsTheImport) {
    int cancels = 0;
    auto* strip = new ReaderFileImportStrip([&] { ++cancels; });
    StripWindow window(strip);
    QList<LibraryImportFailure> failures;
    for (const ReaderFileDropFailure failure : enumCases<ReaderFileDropFailure>()) failures.append(failure);
    for (const LibraryFileReadFailure failure : enumCases<LibraryFileReadFailure>()) failures.append(failure);
    for (const EPUBReader::Failure::Kind kind : enumCases<EPUBReader::Failure::Kind>()) {
        if (kind == EPUBReader::Failure::Kind::cancelled) continue;
        if (kind != EPUBReader::Failure::Kind::limit) failures.append(EPUBReader::Failure::of(kind));
    }
    for (const EPUBReader::ResourceLimit limit : enumCases<EPUBReader::ResourceLimit>())
        failures.append(EPUBReader::Failure::limit(limit));
    for (const LibraryTextFile::Failure failure : enumCases<LibraryTextFile::Failure>()) failures.append(failure);
    failures.append(invalidStoreData().value());

    using StripState = ReaderFileImportStrip::State;
    std::vector<StripState> states;
    for (const LibraryImportFailure& failure : failures) {
        states.push_back(
            {.message = importFailureMessage(failure), .details = importFailureDetails(failure), .isFailure = true});
    }
    states.push_back({.message = ReaderHistoryModel::kFileSelectionFailed, .isFailure = true});
    states.push_back({.message = ReaderHistoryModel::kFileImported});
    states.push_back({.isImporting = true});

    for (const StripState& state : states) {
        strip->apply(state);
        const QString name = state.message.value_or(u"importing"_s);
        ASSERT_FALSE(name.isEmpty());
        for (const int width : kWidths) {
            window.setWidth(width);
            expectWholeTexts(*strip, name);
            if (!state.details) continue;
            strip->notice().disclosure()->click();
            window.setWidth(width);
            expectWholeTexts(*strip, name + u" (details)"_s);
            strip->notice().disclosure()->click();
        }
        EXPECT_EQ(strip->notice().warningIcon()->isVisibleTo(strip), state.isFailure);
    }

    // Reading: the progress and the cancel button; saving: no cancel button; blocked: disabled.
    strip->apply({.isImporting = true});
    EXPECT_TRUE(strip->progress().isVisibleTo(strip));
    EXPECT_FALSE(strip->notice().isVisibleTo(strip));
    strip->cancelButton().click();
    EXPECT_EQ(cancels, 1);
    strip->apply({.isImporting = true, .isBlocked = true});
    EXPECT_FALSE(strip->cancelButton().isEnabled());
    strip->apply({.isImporting = true, .isSaving = true});
    EXPECT_FALSE(strip->cancelButton().isVisibleTo(strip));
    strip->apply({.message = ReaderHistoryModel::kFileImported});
    EXPECT_FALSE(strip->progress().isVisibleTo(strip));
    EXPECT_FALSE(strip->cancelButton().isVisibleTo(strip));
}

}  // namespace
}  // namespace tavrine
