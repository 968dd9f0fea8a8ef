#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Target = ReaderTextSizeSettings::Target;
using Action = ReaderTextSizeSettings::Action;

const QString& rsvpKey = ReaderTextSizeSettings::kRSVPPointSizeKey;
const QString& sourceKey = ReaderTextSizeSettings::kSourcePointSizeKey;

// Defaults that log every write.
class RecordingDefaults final : public MemoryDefaults {
public:
    QList<std::pair<QString, DefaultsValue>> writes;

protected:
    void setValue(const QString& key, DefaultsValue value) override {
        writes.append({key, value});
        MemoryDefaults::setValue(key, std::move(value));
    }
};

// Settings over recording defaults, with the sizes each change signal carried.
class TextSizeSettingsTest : public testing::Test {
protected:
    void start() {
        settings = std::make_unique<ReaderTextSizeSettings>(defaults);
        QObject::connect(settings.get(), &ReaderTextSizeSettings::rsvpPointSizeChanged,
                         [this](double size) { rsvpSignals.append(size); });
        QObject::connect(settings.get(), &ReaderTextSizeSettings::sourcePointSizeChanged,
                         [this](double size) { sourceSignals.append(size); });
        defaults.writes.clear();
    }
    // Sets a size through the settings view's path and forgets the writes and signals it made.
    void setUp(double size, Target target) {
        settings->setPointSize(size, target);
        defaults.writes.clear();
        rsvpSignals.clear();
        sourceSignals.clear();
    }
    bool can(Action action, Target target) const { return settings->canPerform(action, target); }

    RecordingDefaults defaults;
    std::unique_ptr<ReaderTextSizeSettings> settings;
    QList<double> rsvpSignals;
    QList<double> sourceSignals;
};

TEST_F(TextSizeSettingsTest, WithoutStoredSizesBothStartAtTheirDefaults) {
    start();
    EXPECT_EQ(settings->rsvpPointSize(), 34);
    EXPECT_EQ(settings->sourcePointSize(), 15);
    for (const Target target : {Target::rsvp, Target::source}) {
        EXPECT_FALSE(can(Action::reset, target));
        EXPECT_TRUE(can(Action::increase, target));
        EXPECT_TRUE(can(Action::decrease, target));
    }
    EXPECT_TRUE(defaults.writes.isEmpty());
}

TEST_F(TextSizeSettingsTest, StoredSizesAreNormalisedAndAnythingButANumberGivesTheDefault) {
    struct Case {
        DefaultsValue stored;
        double rsvp;
        double source;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const QList<Case> cases = {
        {100.0, 72, 32},            // clamped to the maximum
        {17.5, 18, 18},             // halves away from zero
        {33.5, 34, 32},             //
        {16.5, 18, 17},             //
        {9.5, 18, 10},              // 10 after rounding, the minimum anyway
        {-40.5, 18, 10},            //
        {nan, 34, 15},              // not finite: the default
        {-infinity, 34, 15},        //
        {u"50"_s, 34, 15},          // a string of digits is no number
        {true, 34, 15},             //
        {QByteArray("50"), 34, 15}  //
    };
    for (const Case& entry : cases) {
        RecordingDefaults stored;
        for (const QString& key : {rsvpKey, sourceKey}) {
            std::visit(
                [&](const auto& value) {
                    using T = std::decay_t<decltype(value)>;
                    if constexpr (std::is_same_v<T, double>) stored.setDouble(key, value);
                    if constexpr (std::is_same_v<T, bool>) stored.setBool(key, value);
                    if constexpr (std::is_same_v<T, QString>) stored.setString(key, value);
                    if constexpr (std::is_same_v<T, QByteArray>) stored.setData(key, value);
                },
                entry.stored);
        }
        stored.writes.clear();
        const ReaderTextSizeSettings settings(stored);
        EXPECT_EQ(settings.rsvpPointSize(), entry.rsvp) << testing::PrintToString(entry.stored);
        EXPECT_EQ(settings.sourcePointSize(), entry.source) << testing::PrintToString(entry.stored);
        EXPECT_TRUE(stored.writes.isEmpty());  // reading writes nothing back
    }
}

TEST_F(TextSizeSettingsTest, StepsStopAtTheEndsOfTheRange) {
    start();
    // RSVP at 71 (set in the settings view): one step up clamps 73 to 72, where bigger is refused.
    setUp(71, Target::rsvp);
    ASSERT_TRUE(can(Action::increase, Target::rsvp));
    settings->perform(Action::increase, Target::rsvp);
    EXPECT_EQ(settings->rsvpPointSize(), 72);
    EXPECT_EQ(rsvpSignals, QList<double>{72});
    EXPECT_FALSE(can(Action::increase, Target::rsvp));
    settings->perform(Action::increase, Target::rsvp);  // refused: nothing happens
    EXPECT_EQ(rsvpSignals, QList<double>{72});
    EXPECT_EQ(defaults.writes.size(), 1);

    // RSVP at 19: one step down gives 18 (17 would clamp to 18), where smaller is refused.
    setUp(19, Target::rsvp);
    settings->perform(Action::decrease, Target::rsvp);
    EXPECT_EQ(settings->rsvpPointSize(), 18);
    EXPECT_FALSE(can(Action::decrease, Target::rsvp));

    // Source at 32: bigger refused; smaller gives 31, written under the source key as a number.
    setUp(32, Target::source);
    EXPECT_FALSE(can(Action::increase, Target::source));
    settings->perform(Action::decrease, Target::source);
    EXPECT_EQ(settings->sourcePointSize(), 31);
    EXPECT_EQ(defaults.writes, (QList<std::pair<QString, DefaultsValue>>{{sourceKey, 31.0}}));
    EXPECT_EQ(sourceSignals, QList<double>{31});
    EXPECT_TRUE(rsvpSignals.isEmpty());  // the other target is untouched
}

TEST_F(TextSizeSettingsTest, ResetReturnsToTheDefaultOnlyWhenTheSizeDiffers) {
    start();
    setUp(40, Target::rsvp);
    ASSERT_TRUE(can(Action::reset, Target::rsvp));
    settings->perform(Action::reset, Target::rsvp);
    EXPECT_EQ(settings->rsvpPointSize(), 34);
    EXPECT_EQ(defaults.writes, (QList<std::pair<QString, DefaultsValue>>{{rsvpKey, 34.0}}));
    EXPECT_FALSE(can(Action::reset, Target::rsvp));
    settings->perform(Action::reset, Target::rsvp);
    EXPECT_EQ(defaults.writes.size(), 1);
}

TEST_F(TextSizeSettingsTest, ASizeThatNormalisesToTheCurrentOneChangesNothing) {
    start();
    setUp(20, Target::source);
    // NaN stores the default, 15.
    settings->setPointSize(std::numeric_limits<double>::quiet_NaN(), Target::source);
    EXPECT_EQ(settings->sourcePointSize(), 15);
    EXPECT_EQ(defaults.writes, (QList<std::pair<QString, DefaultsValue>>{{sourceKey, 15.0}}));
    defaults.writes.clear();
    sourceSignals.clear();
    // 15.4 and 14.5 round to 15, the size already held: no signal, no write.
    settings->setPointSize(15.4, Target::source);
    settings->setPointSize(14.5, Target::source);
    settings->setPointSize(std::numeric_limits<double>::infinity(), Target::source);
    EXPECT_TRUE(defaults.writes.isEmpty());
    EXPECT_TRUE(sourceSignals.isEmpty());
    // The same for the display: 34.4 and 33.5 are 34.
    settings->setPointSize(34.4, Target::rsvp);
    settings->setPointSize(33.5, Target::rsvp);
    EXPECT_TRUE(defaults.writes.isEmpty());
    EXPECT_TRUE(rsvpSignals.isEmpty());
    // A size set survives a new settings object over the same defaults.
    settings->setPointSize(52.6, Target::rsvp);
    EXPECT_EQ(ReaderTextSizeSettings(defaults).rsvpPointSize(), 53);
}

}  // namespace
}  // namespace tavrine
