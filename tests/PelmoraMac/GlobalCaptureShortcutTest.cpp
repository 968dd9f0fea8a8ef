// The capture hot keys with a registration played by the test; the real one finds no X11 display here.
#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "ReaderCore/FileDefaults.h"
#include "ReaderCore/MemoryDefaults.h"

#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QKeyEvent>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Shortcut = GlobalCaptureShortcut;
using Chord = Shortcut::Chord;
using Command = Shortcut::Command;

constexpr quint32 kCtrl = Shortcut::kCtrlKey, kShift = Shortcut::kShiftKey, kAlt = Shortcut::kAltKey,
                  kMeta = Shortcut::kMetaKey;
constexpr quint32 kA = 0, kS = 1, kR = 15, kV = 9, kT = 17, k0 = 29, kSpace = 49;

const QString kInvalid =
    u"CtrlとMetaまたはAltを含む、英字・数字の組み合わせを押してください。通常の文字入力は登録できません。"_s;
const QString kMenu = u"このキーはTavrineのメニュー操作で使っています。別の組み合わせを選んでください。"_s;

// The system's hot keys as the test plays them: what is registered, and which chords are refused.
struct FakeSystem {
    QList<Chord> registered;
    QList<std::pair<Chord, std::function<void()>>> fires;
    std::map<quint32, int> refusals;  // key code → status
    int registrations = 0;

    Shortcut::Register registration() {
        return [this](Chord chord, Command, std::function<void()> fire) -> Shortcut::Registration {
            ++registrations;
            if (auto refused = refusals.find(chord.keyCode); refused != refusals.end()) return {refused->second, {}};
            registered.append(chord);
            fires.append({chord, std::move(fire)});
            return {0, [this, chord] { registered.removeOne(chord); }};
        };
    }
    void press(Chord chord) {
        for (const auto& [held, fire] : fires) {
            if (held == chord && registered.contains(chord)) fire();
        }
    }
};

TEST(GlobalCaptureShortcut, ChordsAreLoadedFromTheSettingsOrFallBackToTheDefaultLeavingTheStoredBytes) {
    MemoryDefaults defaults;
    FakeSystem system;
    EXPECT_EQ(Shortcut(Command::frontmost, defaults, system.registration()).chord(), (Chord{kR, kMeta | kAlt | kCtrl}));
    EXPECT_EQ(chordDisplayLabel(Shortcut::defaultChord(Command::frontmost)), u"Meta+Ctrl+Alt+R"_s);
    EXPECT_EQ(chordDisplayLabel(Shortcut::defaultChord(Command::clipboard)), u"Meta+Ctrl+Alt+V"_s);

    const QString key = u"reader.mac.captureShortcut.2"_s;
    for (const QByteArray& stored :
         {QByteArray(R"({"keyCode":15,"modifiers":256})"), QByteArray(R"({"keyCode":49,"modifiers":6400})"),
          QByteArray("not json"), QByteArray(R"({"keyCode":15})"), QByteArray(R"({"keyCode":-1,"modifiers":6400})")}) {
        defaults.setData(key, stored);
        EXPECT_EQ(Shortcut(Command::clipboard, defaults, system.registration()).chord(), (Chord{kV, 6400}));
        EXPECT_EQ(defaults.object(key), std::optional<DefaultsValue>(stored));
    }
    defaults.setData(key, R"({"keyCode":0,"modifiers":6912})");
    EXPECT_EQ(Shortcut(Command::clipboard, defaults, system.registration()).chord(), (Chord{kA, 6912}));
    // A string is no stored chord.
    defaults.setString(key, uR"({"keyCode":0,"modifiers":6912})"_s);
    EXPECT_EQ(Shortcut(Command::clipboard, defaults, system.registration()).chord(), (Chord{kV, 6400}));
}

// The settings file holds the chords in their stored bits; a change to the constants' names or values
// must leave every chord a user has saved meaning the same keys.
TEST(GlobalCaptureShortcut, ChordsInASettingsFileOfAnEarlierVersionLoadAsTheSameKeysAndAreWrittenBackAlike) {
    test::TemporaryDirectory folder;
    // Ctrl+Alt+T ({"keyCode":17,"modifiers":2304}) and Meta+Ctrl+Shift+A ({"keyCode":0,"modifiers":4864}),
    // as an earlier version wrote them.
    const QString file = folder.write(u"defaults.json"_s, R"({
    "reader.mac.captureShortcut.1": {"data": "eyJrZXlDb2RlIjoxNywibW9kaWZpZXJzIjoyMzA0fQ=="},
    "reader.mac.captureShortcut.2": {"data": "eyJrZXlDb2RlIjowLCJtb2RpZmllcnMiOjQ4NjR9"}
})");
    FileDefaults defaults(file);
    FakeSystem system;
    Shortcut frontmost(Command::frontmost, defaults, system.registration());
    Shortcut clipboard(Command::clipboard, defaults, system.registration());
    EXPECT_EQ(frontmost.chord(), (Chord{kT, kCtrl | kAlt}));
    EXPECT_EQ(chordDisplayLabel(frontmost.chord()), u"Ctrl+Alt+T"_s);
    EXPECT_EQ(clipboard.chord(), (Chord{kA, kMeta | kCtrl | kShift}));
    EXPECT_EQ(chordDisplayLabel(clipboard.chord()), u"Meta+Ctrl+Shift+A"_s);

    // A key press of the same keys records the same chord.
    const QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::MetaModifier | Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Chord::fromEvent(press), clipboard.chord());

    // Stored again, a chord takes the bytes the earlier version wrote.
    frontmost.start([] {});
    clipboard.start([] {});
    ASSERT_TRUE(clipboard.setChord({kT, kCtrl | kAlt | kShift}, std::nullopt, true));
    ASSERT_TRUE(frontmost.setChord({kA, kMeta | kCtrl | kShift}, std::nullopt, true));
    EXPECT_EQ(defaults.object(u"reader.mac.captureShortcut.1"_s),
              std::optional<DefaultsValue>(QByteArray(R"({"keyCode":0,"modifiers":4864})")));
    EXPECT_EQ(defaults.object(u"reader.mac.captureShortcut.2"_s),
              std::optional<DefaultsValue>(QByteArray(R"({"keyCode":17,"modifiers":2816})")));
}

TEST(GlobalCaptureShortcut, ValidationAndLabelsFollowTheKeyTableAndTheMenuChords) {
    EXPECT_EQ(Shortcut::validate({kA, kMeta | kAlt | kShift | kCtrl}), std::nullopt);
    EXPECT_EQ(Shortcut::validate({kT, kAlt | kCtrl}), std::nullopt);
    EXPECT_EQ(Shortcut::validate({kS, kMeta | kAlt | kCtrl}), std::nullopt);
    EXPECT_EQ(Shortcut::validate({kV, kMeta | kCtrl}), std::nullopt);
    for (const Chord menu :
         {Chord{kV, kAlt | kShift | kCtrl}, Chord{kS, kMeta | kCtrl}, Chord{kS, kMeta | kShift | kCtrl},
          Chord{kT, kMeta | kCtrl}, Chord{k0, kAlt | kCtrl}, Chord{k0, kMeta | kCtrl}}) {
        EXPECT_EQ(Shortcut::validate(menu), kMenu) << chordDisplayLabel(menu).toStdString();
    }
    for (const Chord invalid :
         {Chord{kR, kCtrl}, Chord{kR, kMeta | kAlt}, Chord{kSpace, kMeta | kCtrl}, Chord{kR, kMeta | kCtrl | 0x10000},
          Chord{kR, kMeta | kCtrl | Shortcut::kFunctionKey}, Chord{10, kMeta | kCtrl}}) {
        EXPECT_EQ(Shortcut::validate(invalid), kInvalid) << chordDisplayLabel(invalid).toStdString();
    }
    EXPECT_EQ(chordDisplayLabel({kSpace, 0x1100}), u"Meta+Ctrl+Space"_s);
    EXPECT_EQ(chordDisplayLabel({122, 0x100}), u"Ctrl+非対応キー"_s);
    EXPECT_EQ(chordDisplayLabel({kS, 0x1300}), u"Meta+Ctrl+Shift+S"_s);
    EXPECT_EQ(chordDisplayLabel({36, 0}), u"Return"_s);

    // A recorded key press: Qt's modifiers as the stored bits, the function flag for keys without text.
    const QKeyEvent press(QEvent::KeyPress, Qt::Key_R, Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier);
    EXPECT_EQ(Chord::fromEvent(press), (Chord{kR, kMeta | kAlt | kCtrl}));
    const QKeyEvent arrow(QEvent::KeyPress, Qt::Key_Left, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(Chord::fromEvent(arrow).modifiers, kCtrl | kAlt | Shortcut::kFunctionKey);
    EXPECT_EQ(chordDisplayLabel(Chord::fromEvent(arrow)), u"Ctrl+Alt+非対応キー"_s);
}

TEST(GlobalCaptureShortcut, ChangesRegisterTheNewChordBeforeReleasingTheOldOneAndReportFailures) {
    MemoryDefaults defaults;
    FakeSystem system;
    Shortcut frontmost(Command::frontmost, defaults, system.registration());
    Shortcut clipboard(Command::clipboard, defaults, system.registration());
    // Not started: refused.
    EXPECT_FALSE(clipboard.setChord({kA, kMeta | kAlt | kCtrl}, std::nullopt, true));
    EXPECT_EQ(clipboard.errorMessage(), u"ショートカットがまだ開始されていません。再登録してください。"_s);

    int frontmostFired = 0;
    int clipboardFired = 0;
    // The action's count as each press was told: once per press, before its action runs.
    QList<int> told;
    QObject::connect(&clipboard, &Shortcut::fired, [&] { told.append(clipboardFired); });
    frontmost.start([&] { ++frontmostFired; });
    clipboard.start([&] { ++clipboardFired; });
    EXPECT_TRUE(clipboard.isRegistered());
    EXPECT_FALSE(clipboard.errorMessage());
    system.press({kV, 6400});
    EXPECT_EQ(clipboardFired, 1);
    EXPECT_EQ(frontmostFired, 0);
    EXPECT_EQ(told, QList<int>{0});

    // The registered chord again: nothing registered, nothing saved.
    const int registrations = system.registrations;
    EXPECT_TRUE(clipboard.setChord({kV, 6400}, frontmost.chord(), true));
    EXPECT_EQ(system.registrations, registrations);
    EXPECT_FALSE(defaults.object(u"reader.mac.captureShortcut.2"_s));

    // The other shortcut's chord: refused, both stay.
    EXPECT_FALSE(frontmost.setChord(clipboard.chord(), clipboard.chord(), true));
    EXPECT_EQ(frontmost.errorMessage(), u"もう一つの取り込み操作と同じキーです。別の組み合わせを選んでください。"_s);
    EXPECT_EQ(system.registered.size(), 2);

    // Held elsewhere: the old chord stays registered and is named.
    system.refusals[kA] = Shortcut::kAlreadyRegistered;
    EXPECT_FALSE(clipboard.setChord({kA, 6400}, frontmost.chord(), true));
    EXPECT_EQ(
        clipboard.errorMessage(),
        u"このキーは既に登録されています。別のキーを選ぶか、競合するアプリの設定を変更して再登録してください。現在のMeta+Ctrl+Alt+Vは引き続き使えます。"_s);
    EXPECT_EQ(clipboard.chord(), (Chord{kV, 6400}));
    system.press({kV, 6400});
    EXPECT_EQ(clipboardFired, 2);

    // A valid change: saved as JSON bytes, the old chord released only after.
    EXPECT_TRUE(clipboard.setChord({kT, kAlt | kCtrl}, frontmost.chord(), true));
    EXPECT_FALSE(clipboard.errorMessage());
    EXPECT_EQ(system.registered, (QList<Chord>{{kR, 6400}, {kT, kAlt | kCtrl}}));
    EXPECT_EQ(defaults.object(u"reader.mac.captureShortcut.2"_s),
              std::optional<DefaultsValue>(QByteArray(R"({"keyCode":17,"modifiers":2304})")));
    EXPECT_EQ(Shortcut(Command::clipboard, defaults, system.registration()).chord(), (Chord{kT, kAlt | kCtrl}));

    // Stopped: released, and a change is refused; the chord stays.
    clipboard.stop();
    EXPECT_FALSE(clipboard.isRegistered());
    EXPECT_EQ(system.registered, (QList<Chord>{{kR, 6400}}));
    EXPECT_FALSE(clipboard.setChord({kA, 6400}, std::nullopt, false));
    EXPECT_EQ(clipboard.errorMessage(), u"ショートカットがまだ開始されていません。再登録してください。"_s);
    EXPECT_EQ(clipboard.chord(), (Chord{kT, kAlt | kCtrl}));

    // Another status, with nothing registered: the other way in is named.
    system.refusals[kT] = 10;
    clipboard.start([] {});
    EXPECT_EQ(
        clipboard.errorMessage(),
        u"キーを登録できませんでした（10）。別のキーを選ぶか、競合するアプリの設定を変更して再登録してください。画面やメニューからファイル・クリップボードを取り込めます。"_s);
}

TEST(GlobalCaptureShortcut, SuspendedItKeepsCountingAsRegisteredAndAFailedRegrabIsReported) {
    MemoryDefaults defaults;
    FakeSystem system;
    Shortcut shortcut(Command::frontmost, defaults, system.registration());
    shortcut.start([] {});
    const Chord chord = shortcut.chord();

    shortcut.suspend();
    shortcut.suspend();
    EXPECT_TRUE(system.registered.isEmpty());
    EXPECT_TRUE(shortcut.isRegistered());
    shortcut.resume();
    EXPECT_EQ(system.registered, QList<Chord>{chord});

    // Taken by another program meanwhile: the grab is lost and said so.
    shortcut.suspend();
    system.refusals[chord.keyCode] = Shortcut::kAlreadyRegistered;
    shortcut.resume();
    EXPECT_FALSE(shortcut.isRegistered());
    EXPECT_EQ(
        shortcut.errorMessage(),
        u"このキーは既に登録されています。別のキーを選ぶか、競合するアプリの設定を変更して再登録してください。画面やメニューからファイル・クリップボードを取り込めます。"_s);

    // Stopped while suspended, it grabs nothing when resumed.
    system.refusals.clear();
    shortcut.start([] {});
    shortcut.suspend();
    shortcut.stop();
    shortcut.resume();
    EXPECT_TRUE(system.registered.isEmpty());
    EXPECT_FALSE(shortcut.isRegistered());
}

// Without an X11 display (the offscreen platform) the real registration has nothing to grab.
TEST(GlobalCaptureShortcut, WithoutAnX11DisplayStartReportsTheFailure) {
    MemoryDefaults defaults;
    Shortcut shortcut(Command::frontmost, defaults);
    shortcut.start([] {});
    EXPECT_FALSE(shortcut.isRegistered());
    EXPECT_EQ(
        shortcut.errorMessage(),
        u"キーを登録できませんでした（-1）。別のキーを選ぶか、競合するアプリの設定を変更して再登録してください。画面やメニューからファイル・クリップボードを取り込めます。"_s);
}

}  // namespace
}  // namespace tavrine
