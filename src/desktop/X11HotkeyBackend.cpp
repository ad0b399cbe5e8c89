#include "X11HotkeyBackend.h"

#include "desktop/X11Activation.h"

#include "HotkeyKeyTable.h"
#include "X11Display.h"
#include "foundation/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QList>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// xkb.h names a structure field "explicit"; it is renamed while the header is read (as Qt does).
#define explicit xcb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstdlib>

MORVANE_LOGGING_CATEGORY(lcX11Hotkeys, "HotkeyService")

namespace morvane {

namespace {

// The stored modifier bits.
constexpr quint32 commandBit = 0x100;
constexpr quint32 shiftBit = 0x200;
constexpr quint32 optionBit = 0x800;
constexpr quint32 controlBit = 0x1000;

// Keysyms that name the modifiers we look for in the modifier mapping.
constexpr xcb_keysym_t numLockKeysym = 0xff7f;
constexpr xcb_keysym_t superLeftKeysym = 0xffeb;
constexpr xcb_keysym_t superRightKeysym = 0xffec;
constexpr xcb_keysym_t altLeftKeysym = 0xffe9;
constexpr xcb_keysym_t altRightKeysym = 0xffea;

// The eight core modifier bits; the rest of an event's state is buttons and the XKB group.
constexpr uint16_t coreModifierMask = 0xff;

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <class T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Where the modifiers a shortcut names sit on this server. The conventional bits stand in until
// the mapping has been read, and for a modifier the mapping does not hold.
struct ModifierBits {
    uint16_t super = XCB_MOD_MASK_4;
    uint16_t alt = XCB_MOD_MASK_1;
    uint16_t numLock = XCB_MOD_MASK_2;
};

// One passive grab: a keycode with an exact modifier state on one root window.
struct KeyGrab {
    xcb_window_t root;
    xcb_keycode_t keycode;
    uint16_t modifiers;

    bool operator==(const KeyGrab&) const = default;
};

struct Hotkey {
    HotkeyRef ref = 0;
    quint16 keyCode = 0;
    quint32 carbonModifiers = 0;
    HotkeyIdentity identity;
    uint16_t modifiers = 0; // on this server, without the locks
    QList<KeyGrab> grabs;
};

} // namespace

struct X11HotkeyBackend::Private {
    xcb_connection_t* connection = nullptr;
    QList<xcb_window_t> roots;
    xcb_key_symbols_t* keySymbols = nullptr;
    uint8_t xkbFirstEvent = 0;
    bool hasXkb = false;
    ModifierBits modifierBits;

    PressHandler pressHandler;
    QList<Hotkey> hotkeys;
    HotkeyRef nextRef = 1;
    // Keycodes whose press was taken since their last release, with the server time of their latest
    // press or repeat: a held key acts once.
    QHash<xcb_keycode_t, xcb_timestamp_t> keysDown;
    // The keycode of each named place on the keyboard ("AC09"), from XKB.
    QHash<QByteArray, xcb_keycode_t> keycodesByName;
    // Mapping changes come in bursts; the grabs are renewed once after the burst.
    QTimer mappingRefresh;
    // The keys typed after a shortcut, while the keyboard is held for the window it shows, as the server
    // sent them; the hold ends when one of our windows takes the focus, or after a while.
    bool holdingKeys = false;
    QList<xcb_key_press_event_t> heldKeys;
    QTimer holdLimit;
    // The window the last hold ended in: keys the hold took just before it ended reach us after.
    xcb_window_t heldFor = XCB_NONE;
    QTimer heldForLimit;

    ~Private()
    {
        if (keySymbols)
            xcb_key_symbols_free(keySymbols);
    }

    void attach();
    void enableDetectableAutoRepeat();
    void readKeyboardMapping();
    uint16_t xModifiers(quint32 carbonModifiers) const;
    QList<uint16_t> lockVariants() const;
    QList<xcb_keycode_t> keycodesFor(xcb_keysym_t keysym) const;
    void readKeyNames();
    HotkeyRegistrationResult grab(Hotkey& hotkey);
    void release(const QList<KeyGrab>& grabs, HotkeyRef owner);
    void renewGrabs();
    bool keyPressed(const xcb_key_press_event_t* event);
    void holdKeys(const xcb_key_press_event_t* shortcut);
    void endHold(QWindow* window);
    void forward(xcb_key_press_event_t key, xcb_window_t target);
};

void X11HotkeyBackend::Private::attach()
{
    connection = applicationX11Connection();
    if (!connection)
        return;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem; xcb_screen_next(&it))
        roots.append(it.data->root);

    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    hasXkb = xkb && xkb->present;
    if (hasXkb) {
        xkbFirstEvent = xkb->first_event;
        enableDetectableAutoRepeat();
    }
    readKeyboardMapping();
}

void X11HotkeyBackend::Private::enableDetectableAutoRepeat()
{
    // Without it a held key sends a release before every repeated press; with it only presses
    // repeat, which the keysDown table absorbs. Servers that ignore it (Xvfb) are covered by that table.
    XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr));
    if (!use || !use->supported)
        return;
    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    XcbReply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
        nullptr));
    if (!flags || !(flags->value & flag))
        qCInfo(lcX11Hotkeys) << "The X server does not offer detectable auto-repeat";
}

void X11HotkeyBackend::Private::readKeyboardMapping()
{
    if (keySymbols)
        xcb_key_symbols_free(keySymbols);
    keySymbols = xcb_key_symbols_alloc(connection);
    modifierBits = ModifierBits{};

    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!mapping || !keySymbols)
        return;
    readKeyNames();
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    bool foundSuper = false, foundAlt = false, foundNumLock = false;
    // Slots 0..2 are Shift, Lock and Control; Mod1..Mod5 follow. The first slot that holds one of
    // a modifier's keys is its bit.
    for (int slot = 3; slot < 8; ++slot) {
        const auto bit = static_cast<uint16_t>(1u << slot);
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[slot * perModifier + i];
            if (keycode == 0)
                continue;
            for (int column = 0; column < 4; ++column) {
                const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(keySymbols, keycode, column);
                if (!foundNumLock && keysym == numLockKeysym) {
                    modifierBits.numLock = bit;
                    foundNumLock = true;
                } else if (!foundSuper && (keysym == superLeftKeysym || keysym == superRightKeysym)) {
                    modifierBits.super = bit;
                    foundSuper = true;
                } else if (!foundAlt && (keysym == altLeftKeysym || keysym == altRightKeysym)) {
                    modifierBits.alt = bit;
                    foundAlt = true;
                }
            }
        }
    }
}

void X11HotkeyBackend::Private::readKeyNames()
{
    keycodesByName.clear();
    if (!hasXkb)
        return;
    XcbReply<xcb_xkb_get_names_reply_t> names(xcb_xkb_get_names_reply(
        connection, xcb_xkb_get_names(connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_NAME_DETAIL_KEY_NAMES),
        nullptr));
    if (!names)
        return;
    xcb_xkb_get_names_value_list_t list{};
    xcb_xkb_get_names_value_list_unpack(
        xcb_xkb_get_names_value_list(names.get()), names->nTypes, names->indicators, names->virtualMods,
        names->groupNames, names->nKeys, names->nKeyAliases, names->nRadioGroups, names->which, &list);
    if (!list.keyNames)
        return;
    for (int i = 0; i < names->nKeys; ++i) {
        const char* name = list.keyNames[i].name;
        const QByteArray text(name, int(qstrnlen(name, 4)));
        if (!text.isEmpty() && !keycodesByName.contains(text))
            keycodesByName.insert(text, xcb_keycode_t(names->firstKey + i));
    }
}

uint16_t X11HotkeyBackend::Private::xModifiers(quint32 carbonModifiers) const
{
    uint16_t modifiers = 0;
    if (carbonModifiers & controlBit)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (carbonModifiers & optionBit)
        modifiers |= modifierBits.alt;
    if (carbonModifiers & shiftBit)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (carbonModifiers & commandBit)
        modifiers |= modifierBits.super;
    return modifiers;
}

QList<uint16_t> X11HotkeyBackend::Private::lockVariants() const
{
    // A grab matches an exact modifier state, and the locks are part of it: without a grab per
    // lock combination the shortcut would stop working whenever Caps Lock or Num Lock is on.
    QList<uint16_t> variants;
    for (const uint16_t locks : {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), modifierBits.numLock,
                                 uint16_t(XCB_MOD_MASK_LOCK | modifierBits.numLock)}) {
        if (!variants.contains(locks))
            variants.append(locks);
    }
    return variants;
}

QList<xcb_keycode_t> X11HotkeyBackend::Private::keycodesFor(xcb_keysym_t keysym) const
{
    QList<xcb_keycode_t> result;
    if (!keySymbols)
        return result;
    XcbReply<xcb_keycode_t> keycodes(xcb_key_symbols_get_keycode(keySymbols, keysym));
    for (const xcb_keycode_t* keycode = keycodes.get(); keycode && *keycode != XCB_NO_SYMBOL; ++keycode) {
        if (!result.contains(*keycode))
            result.append(*keycode);
    }
    return result;
}

HotkeyRegistrationResult X11HotkeyBackend::Private::grab(Hotkey& hotkey)
{
    const std::optional<quint32> keysym = keysymForKeyCode(hotkey.keyCode);
    if (!keysym)
        return {HotkeyStatus::keyNotOnKeyboard, std::nullopt};
    QList<xcb_keycode_t> keycodes = keycodesFor(*keysym);
    // A layout without Latin letters (Russian alone, say) has no key that types "l". The stored key
    // code names a place on the keyboard, so the key in that place is taken then.
    if (const auto place = keycodesByName.constFind(xkbKeyNameForKeyCode(hotkey.keyCode));
        keycodes.isEmpty() && place != keycodesByName.cend())
        keycodes.append(*place);
    if (keycodes.isEmpty())
        return {HotkeyStatus::keyNotOnKeyboard, std::nullopt};

    hotkey.modifiers = xModifiers(hotkey.carbonModifiers);
    QList<KeyGrab> wanted;
    for (const xcb_window_t root : roots) {
        for (const xcb_keycode_t keycode : keycodes) {
            for (const uint16_t locks : lockVariants())
                wanted.append({root, keycode, uint16_t(hotkey.modifiers | locks)});
        }
    }
    // All requests first, then their answers: one round trip however many variants there are.
    QList<xcb_void_cookie_t> cookies;
    for (const KeyGrab& key : wanted) {
        cookies.append(xcb_grab_key_checked(connection, 0, key.root, key.modifiers, key.keycode,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    int status = HotkeyStatus::noError;
    QList<KeyGrab> granted;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(connection, cookies[i]));
        if (!error)
            granted.append(wanted[i]);
        else if (status == HotkeyStatus::noError)
            status = error->error_code;
    }
    if (status != HotkeyStatus::noError) {
        // Half a shortcut is no shortcut: give back the variants that were granted.
        release(granted, hotkey.ref);
        return {status, std::nullopt};
    }
    hotkey.grabs = granted;
    return {HotkeyStatus::noError, hotkey.ref};
}

void X11HotkeyBackend::Private::release(const QList<KeyGrab>& grabs, HotkeyRef owner)
{
    // The server keeps one grab per key and state for this client, so a grab that another of our
    // shortcuts also made stays.
    for (const KeyGrab& key : grabs) {
        const bool shared = std::any_of(hotkeys.cbegin(), hotkeys.cend(), [&](const Hotkey& other) {
            return other.ref != owner && other.grabs.contains(key);
        });
        if (!shared)
            xcb_ungrab_key(connection, key.keycode, key.root, key.modifiers);
    }
    xcb_flush(connection);
}

void X11HotkeyBackend::Private::renewGrabs()
{
    readKeyboardMapping();
    keysDown.clear();
    // The new grabs are made before the old ones go. A grab this client already holds is simply made
    // again, so a mapping that did not change leaves no moment in which a press slips past: the server
    // announces one whenever input moves to another keyboard, the first synthetic key press of a
    // session included, often while the shortcut's own keys are on their way.
    for (Hotkey& hotkey : hotkeys) {
        const QList<KeyGrab> old = std::exchange(hotkey.grabs, {});
        const HotkeyRegistrationResult result = grab(hotkey);
        if (result.status != HotkeyStatus::noError) {
            qCWarning(lcX11Hotkeys) << "A global hotkey could not be grabbed again after a keyboard change:"
                                    << result.status;
        }
        QList<KeyGrab> gone;
        for (const KeyGrab& key : old) {
            if (!hotkey.grabs.contains(key))
                gone.append(key);
        }
        release(gone, hotkey.ref);
    }
    xcb_flush(connection);
    qCInfo(lcX11Hotkeys) << "Global hotkeys grabbed again for the new keyboard mapping";
}

// True when the press is a shortcut's.
bool X11HotkeyBackend::Private::keyPressed(const xcb_key_press_event_t* event)
{
    const uint16_t state =
        event->state & coreModifierMask & ~uint16_t(XCB_MOD_MASK_LOCK | modifierBits.numLock);
    const auto hotkey = std::find_if(hotkeys.cbegin(), hotkeys.cend(), [&](const Hotkey& candidate) {
        return candidate.modifiers == state &&
               std::any_of(candidate.grabs.cbegin(), candidate.grabs.cend(),
                           [&](const KeyGrab& key) { return key.keycode == event->detail; });
    });
    if (hotkey == hotkeys.cend())
        return false;
    // A held key repeats its press, with or without releases in between depending on the server.
    // Repeats follow each other within the auto-repeat delay; a press that comes much later is a new
    // one whose release went elsewhere (the grab ended early and another client had the focus), and
    // must not leave the shortcut dead until the next release.
    constexpr xcb_timestamp_t longestRepeatGapMs = 1500;
    const auto down = keysDown.find(event->detail);
    if (down != keysDown.end() && event->time - down.value() < longestRepeatGapMs) {
        down.value() = event->time;
        return true;
    }
    keysDown.insert(event->detail, event->time);
    noteX11UserAction(event->time);
    // A shortcut pressed while none of our windows has the focus shows one, which takes the focus only
    // once it maps and the window manager hands it over (tens of milliseconds): a user who types at
    // once would give the first keys to the window in front. The keyboard is held from the press until
    // then, and what it typed is given to our window. While one of ours has the focus the shortcut
    // hides it, and the keys go where they go.
    // (Qt keeps a hidden window as its focus window for a while after it lost the keyboard.)
    const QWindow* focus = QGuiApplication::focusWindow();
    if (!holdingKeys && !(focus && focus->isVisible()))
        holdKeys(event);
    if (pressHandler)
        pressHandler(hotkey->identity);
    return true;
}

void X11HotkeyBackend::Private::holdKeys(const xcb_key_press_event_t* shortcut)
{
    // The shortcut's own passive grab is ours until its key is released: taken over at its time, the
    // hold leaves no gap between the two.
    XcbReply<xcb_grab_keyboard_reply_t> grabbed(
        xcb_grab_keyboard_reply(connection,
                                xcb_grab_keyboard(connection, 0, shortcut->root, shortcut->time,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr));
    if (!grabbed || grabbed->status != XCB_GRAB_STATUS_SUCCESS)
        return;
    holdingKeys = true;
    heldKeys.clear();
    holdLimit.start();
}

// Ends the hold and sends what it held to the window, in order, as if typed there; without a window the
// keys are dropped (nothing of ours took the focus: the shortcut showed nothing).
void X11HotkeyBackend::Private::endHold(QWindow* window)
{
    if (!holdingKeys)
        return;
    holdingKeys = false;
    holdLimit.stop();
    xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
    const QList<xcb_key_press_event_t> keys = std::exchange(heldKeys, {});
    if (window) {
        heldFor = xcb_window_t(window->winId());
        heldForLimit.start();
        for (const xcb_key_press_event_t& key : keys)
            forward(key, heldFor);
    } else if (!keys.isEmpty()) {
        qCInfo(lcX11Hotkeys) << "Keys typed after a global hotkey were dropped: no window took the focus";
    }
    xcb_flush(connection);
}

X11HotkeyBackend::X11HotkeyBackend()
    : d(std::make_unique<Private>())
{
    d->attach();
    if (!d->connection)
        return;
    d->mappingRefresh.setSingleShot(true);
    d->mappingRefresh.setInterval(0);
    d->mappingRefresh.callOnTimeout([this] { d->renewGrabs(); });
    // Long enough for a loaded machine to map and activate a window, short enough that a shortcut that
    // showed nothing does not keep the keyboard for long.
    d->holdLimit.setSingleShot(true);
    d->holdLimit.setInterval(750);
    d->holdLimit.callOnTimeout([this] { d->endHold(QGuiApplication::focusWindow()); });
    d->heldForLimit.setSingleShot(true);
    d->heldForLimit.setInterval(500);

    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyBackend::~X11HotkeyBackend()
{
    if (!d->connection)
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    d->endHold(nullptr);
    const QList<Hotkey> hotkeys = std::exchange(d->hotkeys, {});
    for (const Hotkey& hotkey : hotkeys)
        d->release(hotkey.grabs, hotkey.ref);
}

bool X11HotkeyBackend::isAvailable() const
{
    return d->connection != nullptr;
}

void X11HotkeyBackend::installPressHandler(PressHandler handler)
{
    d->pressHandler = std::move(handler);
}

// Sends the key to the window as if typed there (Qt hands it to the window's focus widget).
void X11HotkeyBackend::Private::forward(xcb_key_press_event_t key, xcb_window_t target)
{
    const bool press = (key.response_type & 0x7f) == XCB_KEY_PRESS;
    key.event = target;
    key.child = XCB_NONE;
    key.same_screen = 1;
    xcb_send_event(connection, 0, target, press ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE,
                   reinterpret_cast<const char*>(&key));
}

void X11HotkeyBackend::endKeyHold()
{
    if (d->connection)
        d->endHold(QGuiApplication::focusWindow());
}

HotkeyRegistrationResult X11HotkeyBackend::registerHotkey(quint16 keyCode, quint32 carbonModifiers,
                                                          HotkeyIdentity identity)
{
    if (!d->connection)
        return {HotkeyStatus::noDisplay, std::nullopt};
    Hotkey hotkey{d->nextRef++, keyCode, carbonModifiers, identity, 0, {}};
    const HotkeyRegistrationResult result = d->grab(hotkey);
    if (result.status == HotkeyStatus::noError)
        d->hotkeys.append(hotkey);
    return result;
}

void X11HotkeyBackend::unregisterHotkey(HotkeyRef ref)
{
    for (qsizetype i = 0; i < d->hotkeys.size(); ++i) {
        if (d->hotkeys[i].ref != ref)
            continue;
        const Hotkey hotkey = d->hotkeys.takeAt(i);
        d->release(hotkey.grabs, hotkey.ref);
        for (const KeyGrab& key : hotkey.grabs)
            d->keysDown.remove(key.keycode);
        return;
    }
}

bool X11HotkeyBackend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    switch (type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (type == XCB_KEY_PRESS ? d->keyPressed(key) : d->keysDown.remove(key->detail) > 0)
            break;
        // Typed while the keyboard is held: kept for the window coming up, and only there.
        if ((event->response_type & 0x80) == 0 && d->roots.contains(key->event)) {
            if (d->holdingKeys) {
                d->heldKeys.append(*key);
                return true;
            }
            // Taken by the hold before the server had its end: the window it ended in gets it still.
            if (d->heldForLimit.isActive()) {
                d->forward(*key, d->heldFor);
                xcb_flush(d->connection);
                return true;
            }
        }
        break;
    }
    case XCB_FOCUS_IN:
        // One of our windows took the keyboard (during the hold the server says so to it as well): Qt
        // handles the notice before the held keys come back through the server.
        if (d->holdingKeys) {
            const auto window = reinterpret_cast<const xcb_focus_in_event_t*>(event)->event;
            const QWindowList windows = QGuiApplication::topLevelWindows();
            const auto ours =
                std::find_if(windows.cbegin(), windows.cend(), [window](const QWindow* candidate) {
                    return candidate->handle() && xcb_window_t(candidate->winId()) == window;
                });
            if (ours != windows.cend())
                d->endHold(*ours);
        }
        break;
    case XCB_MAPPING_NOTIFY:
        if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER)
            d->mappingRefresh.start();
        break;
    default:
        // A client that uses XKB (Qt does) is told of a new keyboard or layout only through XKB.
        if (d->hasXkb && type == d->xkbFirstEvent) {
            const uint8_t xkbType = reinterpret_cast<const xcb_xkb_map_notify_event_t*>(event)->xkbType;
            if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY)
                d->mappingRefresh.start();
        }
        break;
    }
    // Never swallow the event: Qt takes its user time from key events, and the action that this
    // press schedules (showing and activating a window) must carry that time.
    return false;
}

} // namespace morvane
