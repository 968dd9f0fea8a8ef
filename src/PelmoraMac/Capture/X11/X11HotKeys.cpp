#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"
#include "PelmoraMac/Capture/X11/HotKeyKeys.h"
#include "PelmoraMac/Capture/X11/X11Keymap.h"
#include "PelmoraMac/X11/X11Connection.h"
#include "ReaderCore/MainThread.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QMetaObject>

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

namespace tavrine {

namespace {

using Shortcut = GlobalCaptureShortcut;

constexpr std::uint8_t kBadAccess = 10;

// A grabbed chord: its key code and the modifier bits it needs, Caps Lock and Num Lock aside.
using GrabKey = std::pair<std::uint8_t, std::uint16_t>;

// Whether the server has the key down now; false when it cannot be asked.
bool isKeyDown(std::uint8_t keycode) {
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) return false;
    const std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)> reply(
        xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr), &std::free);
    return reply && (reply->keys[keycode / 8] & (1u << (keycode % 8))) != 0;
}

// Every chord this process holds, whichever shortcut registered it, and the key whose press matched one
// (its release runs that chord's action). Main thread only.
class HotKeyRegistry final : public QAbstractNativeEventFilter {
public:
    static HotKeyRegistry& shared() {
        static HotKeyRegistry* registry = [] {
            auto* made = new HotKeyRegistry();
            // Lives as long as the application: the filter is removed when the application goes.
            QCoreApplication::instance()->installNativeEventFilter(made);
            return made;
        }();
        return *registry;
    }

    bool holds(const GrabKey& key) const { return m_grabs.contains(key); }
    void add(const GrabKey& key, std::uint16_t ignoredMask, std::function<void()> fire) {
        m_grabs[key] = std::move(fire);
        m_ignoredMask = ignoredMask;
    }
    void remove(const GrabKey& key) {
        m_grabs.erase(key);
        if (m_pressed == key) m_pressed.reset();
        if (m_released && m_released->key == key) m_released.reset();
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || m_grabs.empty()) return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const std::uint8_t type = event->response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (type == XCB_KEY_PRESS) {
            // Where the server repeats a held key as a release and a press at the same time, the press
            // takes the release back.
            if (m_released && m_released->key.first == key->detail && m_released->time == key->time) {
                m_pressed = m_released->key;
                m_released.reset();
                return true;
            }
            // Modifier bits only: the pointer buttons and the keyboard group do not count.
            constexpr std::uint16_t kModifierBits = 0xff;
            const GrabKey pressed{key->detail, std::uint16_t(key->state & kModifierBits & ~m_ignoredMask)};
            if (!m_grabs.contains(pressed)) return false;
            m_pressed = pressed;
            return true;
        }
        if (!m_pressed || m_pressed->first != key->detail) return false;
        // Run once the events read with this one are handled, unless a repeated press follows.
        m_released = Released{.key = *m_pressed, .time = key->time, .serial = ++m_releaseSerial};
        m_pressed.reset();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this, serial = m_releaseSerial] { fireReleased(serial); },
            Qt::QueuedConnection);
        return true;
    }

private:
    struct Released {
        GrabKey key;
        xcb_timestamp_t time = 0;
        quint64 serial = 0;
    };

    void fireReleased(quint64 serial) {
        if (!m_released || m_released->serial != serial) return;
        const GrabKey key = m_released->key;
        m_released.reset();
        // The server repeats a held key as a release and a press with one time, but the two may reach us in
        // different batches of events (a loaded machine): a release whose key is still down is such a
        // repeat, and the chord stays held until a release with the key up.
        if (isKeyDown(key.first)) {
            m_pressed = key;
            return;
        }
        const auto found = m_grabs.find(key);
        if (found == m_grabs.end()) return;
        // A copy: the action may change the registrations.
        const std::function<void()> fire = found->second;
        fire();
    }

    std::map<GrabKey, std::function<void()>> m_grabs;
    std::optional<GrabKey> m_pressed;
    std::optional<Released> m_released;
    quint64 m_releaseSerial = 0;
    std::uint16_t m_ignoredMask = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;
};

xcb_window_t rootOf(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return setup ? xcb_setup_roots_iterator(setup).data->root : xcb_window_t(XCB_WINDOW_NONE);
}

}  // namespace

Shortcut::Registration registerX11HotKey(Shortcut::Chord chord, Shortcut::Command, std::function<void()> fire) {
    Q_ASSERT(isMainThread());
    xcb_connection_t* connection = qtX11Connection();
    if (!connection) return {.status = Shortcut::kNoDisplay};
    const X11Keymap keymap(connection);
    const auto keysym = hotKeySymbol(chord.keyCode);
    const auto keycode = keysym ? keymap.keycodeOf(*keysym) : std::nullopt;
    if (!keycode) return {.status = Shortcut::kNoKey};

    std::uint16_t modifiers = 0;
    if (chord.modifiers & Shortcut::kCtrlKey) modifiers |= XCB_MOD_MASK_CONTROL;
    if (chord.modifiers & Shortcut::kShiftKey) modifiers |= XCB_MOD_MASK_SHIFT;
    if (chord.modifiers & Shortcut::kAltKey) modifiers |= XCB_MOD_MASK_1;
    if (chord.modifiers & Shortcut::kMetaKey) modifiers |= keymap.superMask();
    const GrabKey key{*keycode, modifiers};
    HotKeyRegistry& registry = HotKeyRegistry::shared();
    // X lets one client grab a chord twice: our other shortcut is asked here.
    if (registry.holds(key)) return {.status = Shortcut::kAlreadyRegistered};

    const xcb_window_t root = rootOf(connection);
    const std::uint16_t numLock = keymap.numLockMask();
    const std::array<std::uint16_t, 4> variants{0, XCB_MOD_MASK_LOCK, numLock,
                                                std::uint16_t(XCB_MOD_MASK_LOCK | numLock)};
    std::array<xcb_void_cookie_t, 4> grabs{};
    for (std::size_t i = 0; i < variants.size(); ++i) {
        grabs[i] = xcb_grab_key_checked(connection, 1, root, std::uint16_t(modifiers | variants[i]), *keycode,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    const auto ungrabAll = [connection, root, keycode = *keycode, modifiers, variants] {
        for (const std::uint16_t variant : variants) {
            xcb_ungrab_key(connection, keycode, root, std::uint16_t(modifiers | variant));
        }
        xcb_flush(connection);
    };
    int status = 0;
    for (const auto& grab : grabs) {
        xcb_generic_error_t* error = xcb_request_check(connection, grab);
        if (error && status == 0)
            status = error->error_code == kBadAccess ? Shortcut::kAlreadyRegistered : error->error_code;
        std::free(error);
    }
    if (status != 0) {
        // Undoes what did hold; a variant another client holds is not ours to release, and releasing a grab
        // we do not have changes nothing.
        ungrabAll();
        return {.status = status};
    }
    registry.add(key, std::uint16_t(XCB_MOD_MASK_LOCK | numLock), std::move(fire));
    return {.status = 0, .release = [key, ungrabAll] {
                HotKeyRegistry::shared().remove(key);
                ungrabAll();
            }};
}

}  // namespace tavrine
