#include "X11HotkeyBackend.h"

#include "desktop/X11Activation.h"

#include "HotkeyKeyTable.h"
#include "X11Display.h"
#include "X11KeyGrabThread.h"
#include "foundation/Logging.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QThread>
#include <QTimer>

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

using KeyGrab = X11KeyGrab;

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
    // The grabs themselves, and the keys typed after a press.
    std::unique_ptr<X11KeyGrabThread> grabs;
    // A test stands for a main thread busy right after a press (MORVANE_TEST_HOTKEY_STALL_MS).
    int stallAfterPressMs = 0;
    // The keycode of each named place on the keyboard ("AC09"), from XKB.
    QHash<QByteArray, xcb_keycode_t> keycodesByName;
    // Mapping changes come in bursts; the grabs are renewed once after the burst.
    QTimer mappingRefresh;

    ~Private()
    {
        if (keySymbols)
            xcb_key_symbols_free(keySymbols);
    }

    void attach();
    void readKeyboardMapping();
    uint16_t xModifiers(quint32 carbonModifiers) const;
    QList<uint16_t> lockVariants() const;
    QList<xcb_keycode_t> keycodesFor(xcb_keysym_t keysym) const;
    void readKeyNames();
    HotkeyRegistrationResult grab(Hotkey& hotkey);
    void release(const QList<KeyGrab>& released, HotkeyRef owner);
    void renewGrabs();
    void pressed(X11KeyGrabThread::Press press);
};

void X11HotkeyBackend::Private::attach()
{
    xcb_connection_t* application = applicationX11Connection();
    if (!application)
        return;
    const xcb_setup_t* setup = xcb_get_setup(application);
    grabs = X11KeyGrabThread::start(setup->resource_id_base, setup->resource_id_mask,
                                    [this](X11KeyGrabThread::Press press) { pressed(press); });
    if (!grabs)
        return;
    connection = application;
    roots = grabs->roots();

    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    hasXkb = xkb && xkb->present;
    if (hasXkb)
        xkbFirstEvent = xkb->first_event;
    readKeyboardMapping();
    stallAfterPressMs = qEnvironmentVariableIntValue("MORVANE_TEST_HOTKEY_STALL_MS");
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
    QList<KeyGrab> granted;
    const int status = grabs->grab(wanted, granted);
    if (status != HotkeyStatus::noError) {
        // Half a shortcut is no shortcut: give back the variants that were granted.
        release(granted, hotkey.ref);
        return {status, std::nullopt};
    }
    hotkey.grabs = granted;
    return {HotkeyStatus::noError, hotkey.ref};
}

void X11HotkeyBackend::Private::release(const QList<KeyGrab>& released, HotkeyRef owner)
{
    // The server keeps one grab per key and state for this client, so a grab that another of our
    // shortcuts also made stays.
    QList<KeyGrab> unshared;
    for (const KeyGrab& key : released) {
        const bool shared = std::any_of(hotkeys.cbegin(), hotkeys.cend(), [&](const Hotkey& other) {
            return other.ref != owner && other.grabs.contains(key);
        });
        if (!shared)
            unshared.append(key);
    }
    grabs->ungrab(unshared);
}

void X11HotkeyBackend::Private::renewGrabs()
{
    readKeyboardMapping();
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
    qCInfo(lcX11Hotkeys) << "Global hotkeys grabbed again for the new keyboard mapping";
}

// A shortcut's press, reported by the grabs' thread (a held key's repeats are not).
void X11HotkeyBackend::Private::pressed(X11KeyGrabThread::Press press)
{
    const uint16_t state =
        press.state & coreModifierMask & ~uint16_t(XCB_MOD_MASK_LOCK | modifierBits.numLock);
    const auto hotkey = std::find_if(hotkeys.cbegin(), hotkeys.cend(), [&](const Hotkey& candidate) {
        return candidate.modifiers == state &&
               std::any_of(candidate.grabs.cbegin(), candidate.grabs.cend(),
                           [&](const KeyGrab& key) { return key.keycode == press.keycode; });
    });
    if (hotkey != hotkeys.cend()) {
        qCDebug(lcX11Hotkeys) << "Global hotkey pressed at X time" << press.time;
        noteX11UserAction(press.time);
        if (stallAfterPressMs > 0)
            QThread::msleep(ulong(stallAfterPressMs));
        if (pressHandler)
            pressHandler(hotkey->identity);
    }
    grabs->pressHandled();
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
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyBackend::~X11HotkeyBackend()
{
    if (!d->connection)
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    // The thread ends any hold and releases every grab as it ends.
    d->grabs.reset();
}

bool X11HotkeyBackend::isAvailable() const
{
    return d->connection != nullptr;
}

void X11HotkeyBackend::installPressHandler(PressHandler handler)
{
    d->pressHandler = std::move(handler);
}

void X11HotkeyBackend::endKeyHold()
{
    if (d->connection)
        d->grabs->shortcutHidItsWindow();
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
    return false;
}

} // namespace morvane
