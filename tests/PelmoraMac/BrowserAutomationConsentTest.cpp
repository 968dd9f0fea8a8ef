// The user's consent to read a browser's pages: one answer per browser, withdrawn on request, the one
// answer of earlier builds taken over safely, and the browsers the desktop has installed.
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/X11/FrontCaptureSource.h"
#include "ReaderCore/MemoryDefaults.h"

#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Browser = BrowserAutomationConsent::Browser;

const QList<Browser> kInstalled{{.id = u"chromium"_s, .name = u"Chromium"_s},
                                {.id = u"google-chrome"_s, .name = u"Google Chrome"_s}};

TEST(BrowserAutomationConsent, EachBrowserHasItsOwnAnswerUntilItIsWithdrawn) {
    MemoryDefaults defaults;
    BrowserAutomationConsent consent(defaults, [] { return kInstalled; });
    int changes = 0;
    QObject::connect(&consent, &BrowserAutomationConsent::changed, [&] { ++changes; });
    EXPECT_EQ(consent.permission(u"chromium"_s), kAutomationUndecided);

    consent.setAllowed(u"chromium"_s, true);
    consent.setAllowed(u"google-chrome"_s, false);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(defaults.object(u"reader.linux.browserConsent.chromium"_s), DefaultsValue(true));
    EXPECT_EQ(consent.permission(u"chromium"_s), kAutomationAllowed);
    EXPECT_EQ(consent.permission(u"google-chrome"_s), kAutomationDenied);
    EXPECT_EQ(consent.permission(u"google-chrome-beta"_s), kAutomationUndecided);
    EXPECT_EQ(consent.browsers(),
              (QList<Browser>{{.id = u"chromium"_s, .name = u"Chromium"_s, .allowed = true},
                              {.id = u"google-chrome"_s, .name = u"Google Chrome"_s, .allowed = false}}));

    // Withdrawn: asked again next time; withdrawing nothing announces nothing.
    consent.withdraw(u"chromium"_s);
    EXPECT_EQ(consent.permission(u"chromium"_s), kAutomationUndecided);
    EXPECT_FALSE(defaults.object(u"reader.linux.browserConsent.chromium"_s));
    consent.withdraw(u"chromium"_s);
    EXPECT_EQ(changes, 3);

    // A value of another type is no answer; an empty id has none and takes none.
    defaults.setString(u"reader.linux.browserConsent.chromium"_s, u"true"_s);
    EXPECT_EQ(consent.permission(u"chromium"_s), kAutomationUndecided);
    consent.setAllowed(QString(), true);
    EXPECT_EQ(consent.permission(QString()), kAutomationUndecided);
    EXPECT_FALSE(defaults.object(u"reader.linux.browserConsent."_s));
}

// Earlier builds kept one answer for Chromium and Google Chrome alike: a refusal stays one for each
// installed browser not answered since; a consent, given for one browser nobody can name now, is dropped.
TEST(BrowserAutomationConsent, TheOneAnswerOfEarlierBuildsKeepsOnlyARefusal) {
    const QString legacy = u"reader.linux.browserAutomation.com.google.Chrome"_s;
    {
        MemoryDefaults defaults;
        defaults.setBool(legacy, true);
        BrowserAutomationConsent consent(defaults, [] { return kInstalled; });
        EXPECT_FALSE(defaults.object(legacy));
        EXPECT_EQ(consent.permission(u"chromium"_s), kAutomationUndecided);
        EXPECT_EQ(consent.permission(u"google-chrome"_s), kAutomationUndecided);
    }
    {
        MemoryDefaults defaults;
        defaults.setBool(legacy, false);
        defaults.setBool(u"reader.linux.browserConsent.google-chrome"_s, true);
        BrowserAutomationConsent consent(defaults, [] { return kInstalled; });
        EXPECT_FALSE(defaults.object(legacy));
        EXPECT_EQ(consent.permission(u"chromium"_s), kAutomationDenied);
        EXPECT_EQ(consent.permission(u"google-chrome"_s), kAutomationAllowed);
    }
}

// The browsers a capture reads are found by their desktop ids, each once, the first folder's entry.
TEST(BrowserAutomationConsent, TheInstalledBrowsersAreChromiumAndGoogleChromesChannels) {
    test::TemporaryDirectory home;
    test::TemporaryDirectory system;
    home.write(u"chromium.desktop"_s, "[Desktop Entry]\nName=My Chromium\n");
    system.write(u"chromium.desktop"_s, "[Desktop Entry]\nName=Chromium\n");
    system.write(u"google-chrome-beta.desktop"_s, "[Desktop Entry]\nName=Google Chrome (beta)\n");
    system.write(u"firefox.desktop"_s, "[Desktop Entry]\nName=Firefox\n");
    system.write(u"org.chromium.Chromium.desktop"_s, "[Desktop Entry]\nName=Flatpak Chromium\n");
    QList<Browser> installed = installedCaptureBrowsers({home.path(), system.path()});
    std::sort(installed.begin(), installed.end(), [](const Browser& a, const Browser& b) { return a.id < b.id; });
    EXPECT_EQ(installed, (QList<Browser>{{.id = u"chromium"_s, .name = u"My Chromium"_s},
                                         {.id = u"google-chrome-beta"_s, .name = u"Google Chrome (beta)"_s}}));
}

}  // namespace
}  // namespace tavrine
