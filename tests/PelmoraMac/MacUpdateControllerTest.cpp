// Updating: one start per process and none under a test host, preferences that live in the updater, the
// status texts, and the settings pane that shows them.
#include "PelmoraMac/Settings/MacUpdateSettings.h"
#include "PelmoraMac/Updates/MacUpdateController.h"
#include "PelmoraMac/Updates/UnavailableUpdater.h"

#include "AppTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::FakeUpdater;

const QString kStartFailure = u"更新の確認を開始できませんでした。アプリを再起動して再試行してください。"_s;
const QString kInstallOnQuit =
    u"アップデートの準備ができました。Tavrineを通常終了した後に適用します。適用までは新しい更新確認を待ちます。"_s;

class UpdateController : public testing::Test {
protected:
    std::unique_ptr<MacUpdateController> make(bool testHost = false, bool startSucceeds = true) {
        return std::make_unique<MacUpdateController>(test::fakeUpdaters(record, startSucceeds), [this, testHost] {
            ++testHostQuestions;
            return testHost;
        });
    }

    std::shared_ptr<FakeUpdater::Record> record = std::make_shared<FakeUpdater::Record>();
    int testHostQuestions = 0;
};

TEST_F(UpdateController, StartsOneUpdaterOnceWithItsValuesAtOnce) {
    // The framework's values are there before the controller looks.
    auto makeUpdater = test::fakeUpdaters(record);
    auto updates = std::make_unique<MacUpdateController>(
        [&](UpdaterDelegate& delegate) {
            auto updater = makeUpdater(delegate);
            static_cast<FakeUpdater&>(*updater).setValues(true, true, false);
            return updater;
        },
        [] { return false; });
    EXPECT_FALSE(updates->hasUpdater());
    updates->start();
    updates->start();

    EXPECT_EQ(record->made, 1);
    EXPECT_EQ(record->starts, 1);
    EXPECT_EQ(record->delegate, updates.get());
    EXPECT_EQ(record->sendsSystemProfile, false);
    EXPECT_TRUE(updates->canCheckForUpdates());
    EXPECT_TRUE(updates->automaticallyChecks());
    EXPECT_FALSE(updates->automaticallyDownloads());
    EXPECT_FALSE(updates->status());

    // The updater's own changes come through.
    record->current->setCanCheck(false);
    EXPECT_FALSE(updates->canCheckForUpdates());
}

TEST_F(UpdateController, UnderATestHostNeverMakesAnUpdater) {
    auto updates = make(/*testHost=*/true);
    updates->start();
    updates->start();
    EXPECT_EQ(record->made, 0);
    EXPECT_EQ(testHostQuestions, 1);
    EXPECT_FALSE(updates->hasUpdater());

    // Everything is then a no-op.
    updates->checkForUpdates();
    updates->setAutomaticallyChecks(true);
    EXPECT_FALSE(updates->automaticallyChecks());
}

TEST_F(UpdateController, TheTestHostIsTheVariableWhateverItsValue) {
    const QByteArray saved = qgetenv(MacUpdateController::kTestHostVariable);
    const bool wasSet = qEnvironmentVariableIsSet(MacUpdateController::kTestHostVariable);
    qputenv(MacUpdateController::kTestHostVariable, QByteArray());
    EXPECT_TRUE(MacUpdateController::runsUnderTestHost());
    qunsetenv(MacUpdateController::kTestHostVariable);
    EXPECT_FALSE(MacUpdateController::runsUnderTestHost());
    if (wasSet) qputenv(MacUpdateController::kTestHostVariable, saved);
}

TEST_F(UpdateController, PreferencesAreTheUpdatersAndFollowWhatItReports) {
    auto updates = make();
    // Before start there is no updater: writing changes nothing.
    updates->setAutomaticallyChecks(true);
    EXPECT_FALSE(updates->automaticallyChecks());

    updates->start();
    updates->setAutomaticallyChecks(true);
    updates->setAutomaticallyDownloads(true);
    EXPECT_TRUE(updates->automaticallyChecks());
    EXPECT_TRUE(updates->automaticallyDownloads());
    EXPECT_TRUE(record->current->automaticallyChecksForUpdates());

    // An updater that does not keep a preference: the value shown stays what it reports.
    record->current->keepsPreferences = false;
    updates->setAutomaticallyChecks(false);
    EXPECT_TRUE(updates->automaticallyChecks());
}

TEST_F(UpdateController, ChecksOnlyWhileTheUpdaterCan) {
    auto updates = make();
    updates->checkForUpdates();
    updates->start();
    updates->checkForUpdates();
    EXPECT_EQ(record->checks, 0);
    record->current->setCanCheck(true);
    updates->checkForUpdates();
    EXPECT_EQ(record->checks, 1);
}

TEST_F(UpdateController, StatusTextsForAFailedStartAndAnUpdateInstalledOnQuit) {
    auto failing = make(false, /*startSucceeds=*/false);
    failing->start();
    EXPECT_EQ(failing->status(), kStartFailure);
    EXPECT_TRUE(failing->hasUpdater());  // kept, though not running

    auto updates = make();
    updates->start();
    EXPECT_TRUE(updates->allowedSystemProfileKeys().isEmpty());
    EXPECT_TRUE(updates->feedParameters(true).isEmpty());
    EXPECT_TRUE(record->delegate->willInstallUpdateOnQuit());
    EXPECT_EQ(updates->status(), kInstallOnQuit);
}

TEST(ApplicationVersionLine, MissingValuesShowAsADash) {
    EXPECT_EQ((ApplicationVersion{u"0.1.0"_s, u"42"_s}.line()), u"バージョン 0.1.0（ビルド 42）"_s);
    EXPECT_EQ((ApplicationVersion{u"0.1.0"_s, std::nullopt}.line()), u"バージョン 0.1.0（ビルド —）"_s);
    EXPECT_EQ((ApplicationVersion{}.line()), u"バージョン —（ビルド —）"_s);
    // This build: the project's version, and no build number unless one was given.
    EXPECT_TRUE(ApplicationVersion::current().version);
}

// The pane's controls, found by their texts.
struct UpdatePane {
    explicit UpdatePane(MacUpdateController& updates) : widget(updates, ApplicationVersion{u"0.1.0"_s, std::nullopt}) {
        for (auto* box : widget.findChildren<QCheckBox*>()) {
            if (box->text() == u"新しいバージョンを自動で確認"_s) checks = box;
            if (box->text() == u"自動でダウンロードして終了後に適用"_s) downloads = box;
        }
        for (auto* button : widget.findChildren<QPushButton*>()) {
            if (button->text() == u"アップデートを確認…"_s) check = button;
        }
    }
    bool shows(const QString& text) const {
        for (auto* label : widget.findChildren<QLabel*>()) {
            if (label->text() == text && !label->isHidden()) return true;
        }
        return false;
    }

    MacUpdateSettings widget;
    QCheckBox* checks = nullptr;
    QCheckBox* downloads = nullptr;
    QPushButton* check = nullptr;
};

TEST_F(UpdateController, ThePaneOfABuildFromSourceHasEveryControlOffAndPromisesNoCheck) {
    MacUpdateController updates([](UpdaterDelegate&) { return std::make_unique<UnavailableUpdater>(); },
                                [] { return false; }, UpdateDelivery::sourceBuild);
    updates.start();
    UpdatePane pane(updates);
    ASSERT_TRUE(pane.checks && pane.downloads && pane.check);
    EXPECT_FALSE(pane.checks->isEnabled());
    EXPECT_FALSE(pane.downloads->isEnabled());
    EXPECT_FALSE(pane.check->isEnabled());
    EXPECT_FALSE(pane.checks->isChecked());
    EXPECT_TRUE(pane.shows(
        u"このビルドは自動では更新されません。新しい版は、ソースから作り直してインストールしてください。"_s));
    EXPECT_TRUE(pane.shows(u"バージョン 0.1.0（ビルド —）"_s));
    for (const QLabel* label : pane.widget.findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains(u"確認します"_s) || label->text().contains(u"配布サーバー"_s))
            << label->text().toStdString();
    }

    // A preference written all the same is not kept: the updater has none.
    updates.setAutomaticallyChecks(true);
    EXPECT_FALSE(pane.checks->isChecked());
    EXPECT_FALSE(updates.automaticallyChecks());
    EXPECT_FALSE(updates.status());
}

TEST_F(UpdateController, ThePaneFollowsAnUpdaterThatKeepsItsPreferences) {
    auto updates = make();
    updates->start();
    UpdatePane pane(*updates);
    ASSERT_TRUE(pane.checks && pane.downloads && pane.check);
    EXPECT_FALSE(pane.shows(kInstallOnQuit));

    pane.checks->click();
    EXPECT_TRUE(pane.checks->isChecked());
    EXPECT_TRUE(pane.downloads->isEnabled());
    pane.downloads->click();
    EXPECT_TRUE(record->current->automaticallyDownloadsUpdates());

    // Turning the check off disables the download toggle without changing its value.
    pane.checks->click();
    EXPECT_FALSE(pane.downloads->isEnabled());
    EXPECT_TRUE(pane.downloads->isChecked());

    record->current->setCanCheck(true);
    EXPECT_TRUE(pane.check->isEnabled());
    pane.check->click();
    EXPECT_EQ(record->checks, 1);

    record->delegate->willInstallUpdateOnQuit();
    EXPECT_TRUE(pane.shows(kInstallOnQuit));
}

}  // namespace
}  // namespace tavrine
