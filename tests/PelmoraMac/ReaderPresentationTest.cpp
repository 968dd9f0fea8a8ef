#include "PelmoraMac/Window/ReaderPresentation.h"
#include "ReaderCore/MemoryDefaults.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QStringList>

#include <limits>
#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using P = ReaderPresentation;

// Defaults that log every write and removal, as "key=value" and "-key".
class RecordingDefaults final : public MemoryDefaults {
public:
    QStringList log;

    void remove(const QString& key) override {
        log.append(u"-"_s + key);
        MemoryDefaults::remove(key);
    }

protected:
    void setValue(const QString& key, DefaultsValue value) override {
        if (const bool* flag = std::get_if<bool>(&value)) log.append(key + u'=' + (*flag ? u"true"_s : u"false"_s));
        if (const double* number = std::get_if<double>(&value)) log.append(key + u'=' + QString::number(*number));
        MemoryDefaults::setValue(key, std::move(value));
    }
};

// The change signals of a presentation, by name, in order.
struct SignalLog {
    explicit SignalLog(ReaderPresentation& presentation) {
        const auto record = [this](const char* name) {
            return [this, name] { names.append(QLatin1StringView(name)); };
        };
        QObject::connect(&presentation, &P::prefersHistoryChanged, record("prefersHistory"));
        QObject::connect(&presentation, &P::prefersSourceChanged, record("prefersSource"));
        QObject::connect(&presentation, &P::historyWidthChanged, record("historyWidth"));
        QObject::connect(&presentation, &P::availableWidthChanged, record("availableWidth"));
        QObject::connect(&presentation, &P::showsHistoryChanged, record("showsHistory"));
        QObject::connect(&presentation, &P::readerLeadingChanged, record("readerLeading"));
    }
    QStringList take() { return std::exchange(names, {}); }
    QStringList names;
};

TEST(ReaderPresentation, EmptySettingsGiveTheDefaultsAndCreationOnlyRemovesTheOlderKey) {
    RecordingDefaults defaults;
    const P presentation(defaults);
    EXPECT_FALSE(presentation.prefersHistory());
    EXPECT_TRUE(presentation.prefersSource());
    EXPECT_EQ(presentation.historyWidth(), 300);
    EXPECT_EQ(presentation.availableWidth(), std::nullopt);
    EXPECT_FALSE(presentation.showsHistory());
    EXPECT_EQ(presentation.readerLeading(), 12);
    EXPECT_EQ(defaults.log, QStringList{u"-readerFocusedPresentation"_s});
}

TEST(ReaderPresentation, TheStoredWidthIsUsedOnlyWhenFiniteAndWithin240To420AndValuesOfTheWrongTypeCountAsMissing) {
    const struct {
        DefaultsValue stored;
        double width;
    } widths[] = {
        {240.0, 240},
        {420.0, 420},
        {333.5, 333.5},
        {239.9, 300},
        {420.5, 300},
        {std::numeric_limits<double>::quiet_NaN(), 300},
        {std::numeric_limits<double>::infinity(), 300},
        {u"360"_s, 300},
        {true, 300},
    };
    for (const auto& [stored, width] : widths) {
        MemoryDefaults defaults;
        if (const double* number = std::get_if<double>(&stored)) defaults.setDouble(P::kHistoryWidthKey, *number);
        if (const QString* text = std::get_if<QString>(&stored)) defaults.setString(P::kHistoryWidthKey, *text);
        if (const bool* flag = std::get_if<bool>(&stored)) defaults.setBool(P::kHistoryWidthKey, *flag);
        EXPECT_EQ(P(defaults).historyWidth(), width) << testing::PrintToString(stored);
    }

    MemoryDefaults wrongTypes;
    wrongTypes.setDouble(P::kShowsHistoryKey, 1);
    wrongTypes.setString(P::kShowsSourceKey, u"false"_s);
    const P presentation(wrongTypes);
    EXPECT_FALSE(presentation.prefersHistory());
    EXPECT_TRUE(presentation.prefersSource());

    MemoryDefaults stored;
    stored.setBool(P::kShowsHistoryKey, true);
    stored.setBool(P::kShowsSourceKey, false);
    const P storedPresentation(stored);
    EXPECT_TRUE(storedPresentation.prefersHistory());
    EXPECT_FALSE(storedPresentation.prefersSource());
}

TEST(ReaderPresentation, TheOlderSettingTurnsBothPanesOffOnlyWhenTrueAndIsRemovedEitherWay) {
    for (const bool focused : {true, false}) {
        SCOPED_TRACE(focused);
        RecordingDefaults defaults;
        defaults.setBool(P::kShowsHistoryKey, true);
        defaults.setBool(P::kShowsSourceKey, true);
        defaults.setBool(P::kFocusedPresentationKey, focused);
        defaults.log.clear();
        const P presentation(defaults);
        EXPECT_EQ(presentation.prefersHistory(), !focused);
        EXPECT_EQ(presentation.prefersSource(), !focused);
        EXPECT_EQ(defaults.object(P::kShowsHistoryKey), DefaultsValue(!focused));
        EXPECT_EQ(defaults.object(P::kShowsSourceKey), DefaultsValue(!focused));
        EXPECT_EQ(defaults.object(P::kFocusedPresentationKey), std::nullopt);
        if (focused) {
            // Through the setters, then once more.
            EXPECT_EQ(defaults.log, (QStringList{u"readerShowsHistory=false"_s, u"readerShowsSource=false"_s,
                                                 u"readerShowsHistory=false"_s, u"readerShowsSource=false"_s,
                                                 u"-readerFocusedPresentation"_s}));
        }
    }
}

TEST(ReaderPresentation, TheListShowsFrom721AndTheReaderLeadingFollowsTheListsEffectiveWidth) {
    MemoryDefaults defaults;
    defaults.setBool(P::kShowsHistoryKey, true);
    P presentation(defaults);
    EXPECT_TRUE(presentation.showsHistory());
    EXPECT_EQ(presentation.readerLeading(), 313);

    const struct {
        double historyWidth;
        std::optional<double> available;
        bool shows;
        double leading;
    } cases[] = {
        {300, 1000, true, 313}, {300, 800, true, 313}, {300, 760, true, 292},  {300, 721, true, 253},
        {300, 720, false, 12},  {300, 0, false, 12},   {420, 1000, true, 433}, {240, std::nullopt, true, 253},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.historyWidth << " in " << testing::PrintToString(c.available));
        presentation.setHistoryWidth(c.historyWidth);
        presentation.setAvailableWidth(c.available);
        EXPECT_EQ(presentation.showsHistory(), c.shows);
        EXPECT_EQ(presentation.readerLeading(), c.leading);
    }

    presentation.setPrefersHistory(false);
    presentation.setAvailableWidth(1000);
    EXPECT_FALSE(presentation.showsHistory());
    EXPECT_EQ(presentation.readerLeading(), 12);
}

TEST(ReaderPresentation, EveryAssignmentWritesItsKeyButOnlyChangesNotifyDerivedValuesIncluded) {
    RecordingDefaults defaults;
    P presentation(defaults);
    SignalLog notices(presentation);
    defaults.log.clear();

    // Unchanged values: written, not announced.
    presentation.setPrefersSource(true);
    presentation.setPrefersHistory(false);
    presentation.setHistoryWidth(300);
    presentation.setAvailableWidth(std::nullopt);
    EXPECT_EQ(defaults.log,
              (QStringList{u"readerShowsSource=true"_s, u"readerShowsHistory=false"_s, u"readerHistoryWidth=300"_s}));
    EXPECT_EQ(notices.take(), QStringList{});

    presentation.setPrefersHistory(true);
    EXPECT_EQ(notices.take(), (QStringList{u"prefersHistory"_s, u"showsHistory"_s, u"readerLeading"_s}));
    presentation.setAvailableWidth(1000);
    EXPECT_EQ(notices.take(), QStringList{u"availableWidth"_s});  // 313 either way
    presentation.setAvailableWidth(1000);
    presentation.setAvailableWidth(900);
    EXPECT_EQ(notices.take(), QStringList{u"availableWidth"_s});
    presentation.setAvailableWidth(720);
    EXPECT_EQ(notices.take(), (QStringList{u"availableWidth"_s, u"showsHistory"_s, u"readerLeading"_s}));
    // Hidden by the width: the list's width no longer moves the title.
    presentation.setHistoryWidth(400);
    EXPECT_EQ(notices.take(), QStringList{u"historyWidth"_s});
    presentation.setAvailableWidth(760);
    EXPECT_EQ(notices.take(), (QStringList{u"availableWidth"_s, u"showsHistory"_s, u"readerLeading"_s}));
    EXPECT_EQ(presentation.readerLeading(), 292);

    // Not limited on assignment; the next start replaces it.
    presentation.setHistoryWidth(500);
    EXPECT_EQ(defaults.object(P::kHistoryWidthKey), DefaultsValue(500.0));
    EXPECT_EQ(P(defaults).historyWidth(), 300);
    EXPECT_EQ(presentation.availableWidth(), 760);
    EXPECT_FALSE(defaults.log.join(u' ').contains(u"760"_s));
}

}  // namespace
}  // namespace tavrine
