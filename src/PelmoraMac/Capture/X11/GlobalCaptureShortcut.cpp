#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"

#include "PelmoraMac/Capture/X11/HotKeyKeys.h"
#include "ReaderCore/Defaults.h"
#include "ReaderCore/MainThread.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>

#include <limits>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

using Chord = GlobalCaptureShortcut::Chord;

constexpr quint32 kKeyR = 15;
constexpr quint32 kKeyV = 9;
constexpr quint32 kMetaCtrlAlt =
    GlobalCaptureShortcut::kMetaKey | GlobalCaptureShortcut::kCtrlKey | GlobalCaptureShortcut::kAltKey;

const QString kInvalidChord =
    u"CtrlとMetaまたはAltを含む、英字・数字の組み合わせを押してください。通常の文字入力は登録できません。"_s;
const QString kMenuChord = u"このキーはTavrineのメニュー操作で使っています。別の組み合わせを選んでください。"_s;
const QString kSameAsOther = u"もう一つの取り込み操作と同じキーです。別の組み合わせを選んでください。"_s;
const QString kNotStarted = u"ショートカットがまだ開始されていません。再登録してください。"_s;

std::optional<quint32> jsonUInt32(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number < 0 || number > double(std::numeric_limits<quint32>::max()) || number != double(quint64(number))) {
        return std::nullopt;
    }
    return quint32(number);
}

std::optional<Chord> decodeChord(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const auto keyCode = jsonUInt32(document.object().value(u"keyCode"_s));
    const auto modifiers = jsonUInt32(document.object().value(u"modifiers"_s));
    if (!keyCode || !modifiers) return std::nullopt;
    return Chord{.keyCode = *keyCode, .modifiers = *modifiers};
}

QByteArray encodeChord(Chord chord) {
    const QJsonObject object{{u"keyCode"_s, qint64(chord.keyCode)}, {u"modifiers"_s, qint64(chord.modifiers)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

Chord GlobalCaptureShortcut::defaultChord(Command command) {
    switch (command) {
    case Command::frontmost: return {.keyCode = kKeyR, .modifiers = kMetaCtrlAlt};
    case Command::clipboard: return {.keyCode = kKeyV, .modifiers = kMetaCtrlAlt};
    }
    Q_UNREACHABLE();
}

QString GlobalCaptureShortcut::defaultsKey(Command command) {
    return u"reader.mac.captureShortcut."_s + QString::number(quint32(command));
}

Chord Chord::fromEvent(const QKeyEvent& event) {
    quint32 modifiers = 0;
    const Qt::KeyboardModifiers held = event.modifiers();
    if (held & Qt::ControlModifier) modifiers |= kCtrlKey;
    if (held & Qt::ShiftModifier) modifiers |= kShiftKey;
    if (held & Qt::AltModifier) modifiers |= kAltKey;
    if (held & Qt::MetaModifier) modifiers |= kMetaKey;
    if (hotKeyIsFunctionKey(event.key())) modifiers |= kFunctionKey;
    return {.keyCode = hotKeyCodeOfEvent(event.nativeScanCode(), event.key()), .modifiers = modifiers};
}

std::optional<QString> GlobalCaptureShortcut::validate(Chord chord) {
    const quint32 rest = chord.modifiers & ~(kShiftKey | kAltKey | kMetaKey);
    if (rest != kCtrlKey || (chord.modifiers & (kAltKey | kMetaKey)) == 0) return kInvalidChord;
    if (!hotKeyIsLetterOrDigit(chord.keyCode)) return kInvalidChord;
    constexpr quint32 kS = 1, kV = 9, kT = 17, k0 = 29;
    const quint32 m = chord.modifiers;
    const bool menuChord =
        (chord.keyCode == kS && (m == (kMetaKey | kCtrlKey) || m == (kMetaKey | kShiftKey | kCtrlKey))) ||
        (chord.keyCode == kV && m == (kAltKey | kShiftKey | kCtrlKey)) ||
        (chord.keyCode == kT && m == (kMetaKey | kCtrlKey)) ||
        (chord.keyCode == k0 && (m == (kAltKey | kCtrlKey) || m == (kMetaKey | kCtrlKey)));
    if (menuChord) return kMenuChord;
    return std::nullopt;
}

GlobalCaptureShortcut::GlobalCaptureShortcut(Command command, Defaults& defaults, Register registerHotKey,
                                             QObject* parent)
    : QObject(parent),
      m_command(command),
      m_defaults(defaults),
      m_register(registerHotKey ? std::move(registerHotKey) : Register(&registerX11HotKey)),
      m_chord(defaultChord(command)) {
    Q_ASSERT(isMainThread());
    const auto stored = m_defaults.object(defaultsKey(command));
    if (!stored || !std::holds_alternative<QByteArray>(*stored)) return;
    const auto chord = decodeChord(std::get<QByteArray>(*stored));
    if (chord && !validate(*chord)) m_chord = *chord;
}

GlobalCaptureShortcut::~GlobalCaptureShortcut() {
    if (m_release) m_release();
}

void GlobalCaptureShortcut::start(std::function<void()> action) {
    Q_ASSERT(isMainThread());
    m_action = std::move(action);
    m_started = true;
    setChord(m_chord, std::nullopt, false);
}

void GlobalCaptureShortcut::stop() {
    Q_ASSERT(isMainThread());
    const bool wasRegistered = isRegistered();
    if (m_release) std::exchange(m_release, {})();
    m_suspended = false;
    m_suspendedRegistration = false;
    m_started = false;
    m_action = {};
    if (wasRegistered) emit registrationChanged();
}

void GlobalCaptureShortcut::suspend() {
    Q_ASSERT(isMainThread());
    if (m_suspended) return;
    m_suspended = true;
    if (!m_release) return;
    std::exchange(m_release, {})();
    m_suspendedRegistration = true;
}

void GlobalCaptureShortcut::resume() {
    Q_ASSERT(isMainThread());
    if (!m_suspended) return;
    m_suspended = false;
    if (!std::exchange(m_suspendedRegistration, false)) return;
    Registration registration = registerChord(m_chord);
    if (registration.status != 0 || !registration.release) {
        if (registration.release) registration.release();
        report(registration.status);
        emit registrationChanged();
        return;
    }
    m_release = std::move(registration.release);
}

GlobalCaptureShortcut::Registration GlobalCaptureShortcut::registerChord(Chord chord) {
    return m_register(chord, m_command, [self = QPointer(this)] {
        if (self) self->fire();
    });
}

bool GlobalCaptureShortcut::setChord(Chord chord, std::optional<Chord> other, bool persist) {
    Q_ASSERT(isMainThread());
    resume();
    if (auto refusal = validate(chord)) {
        setErrorMessage(std::move(refusal));
        return false;
    }
    if (other && *other == chord) {
        setErrorMessage(kSameAsOther);
        return false;
    }
    if (chord == m_chord && m_release) {
        setErrorMessage(std::nullopt);
        return true;
    }
    if (!m_started) {
        setErrorMessage(kNotStarted);
        return false;
    }
    Registration registration = registerChord(chord);
    if (registration.status != 0 || !registration.release) {
        if (registration.release) registration.release();
        report(registration.status);
        return false;
    }
    // The old chord is given up only now that the new one holds.
    if (m_release) m_release();
    m_release = std::move(registration.release);
    emit registrationChanged();
    if (chord != m_chord) {
        m_chord = chord;
        emit chordChanged();
    }
    if (persist) m_defaults.setData(defaultsKey(m_command), encodeChord(chord));
    setErrorMessage(std::nullopt);
    return true;
}

void GlobalCaptureShortcut::report(int status) {
    QString message = status == kAlreadyRegistered
                          ? u"このキーは既に登録されています。"_s
                          : u"キーを登録できませんでした（"_s + QString::number(status) + u"）。"_s;
    message += u"別のキーを選ぶか、競合するアプリの設定を変更して再登録してください。"_s;
    message += m_release ? u"現在の"_s + chordDisplayLabel(m_chord) + u"は引き続き使えます。"_s
                         : u"画面やメニューからファイル・クリップボードを取り込めます。"_s;
    setErrorMessage(std::move(message));
}

void GlobalCaptureShortcut::setErrorMessage(std::optional<QString> message) {
    if (m_errorMessage == message) return;
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void GlobalCaptureShortcut::fire() {
    Q_ASSERT(isMainThread());
    emit fired();
    if (m_action) m_action();
}

QString chordDisplayLabel(GlobalCaptureShortcut::Chord chord) {
    using S = GlobalCaptureShortcut;
    QString label;
    if (chord.modifiers & S::kMetaKey) label += u"Meta+"_s;
    if (chord.modifiers & S::kCtrlKey) label += u"Ctrl+"_s;
    if (chord.modifiers & S::kAltKey) label += u"Alt+"_s;
    if (chord.modifiers & S::kShiftKey) label += u"Shift+"_s;
    return label + hotKeyName(chord.keyCode).value_or(u"非対応キー"_s);
}

}  // namespace tavrine
