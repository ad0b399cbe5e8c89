#pragma once

#include "platform/GlobalShortcutsPortal.h"
#include "platform/HotkeyBackend.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

class Clock;

// The system-wide shortcuts of a desktop session: the window system's grabs, and on a Wayland
// session also the desktop's shortcuts portal, which reaches us whatever window has the keyboard
// (the grabs through Xwayland fire only while an X11 window has it).
//
// Only the shortcuts named in the portal table go to the portal, so the availability probe stays
// with the grabs. Registrations are handed to the portal on the next turn of the event loop, as one
// set: releasing and registering again within one call (the probe, a new binding) does not reach
// the desktop. A press that both report within a short window runs once; two presses from the same
// source always run twice.
class SessionHotkeyBackend : public HotkeyBackend {
public:
    // A shortcut the portal holds, as the desktop's shortcut settings list it.
    struct PortalEntry {
        HotkeyIdentity identity;
        QString portalId;
        QString description;
    };

    // Both reports of one press arrive within this long of each other.
    static constexpr std::chrono::milliseconds samePressWindow{400};

    // portal may be null (no Wayland session).
    SessionHotkeyBackend(std::shared_ptr<HotkeyBackend> windowSystem,
                         std::shared_ptr<GlobalShortcutsPortal> portal, QList<PortalEntry> portalTable,
                         std::shared_ptr<Clock> clock);
    ~SessionHotkeyBackend() override;
    SessionHotkeyBackend(const SessionHotkeyBackend&) = delete;
    SessionHotkeyBackend& operator=(const SessionHotkeyBackend&) = delete;

    void installPressHandler(PressHandler handler) override;
    HotkeyRegistrationResult registerHotkey(quint16 keyCode, quint32 carbonModifiers,
                                            HotkeyIdentity identity) override;
    void unregisterHotkey(HotkeyRef ref) override;
    // The portal holds no keyboard: only the window system's grabs do.
    void endKeyHold() override;

private:
    enum class Source { windowSystem, portal };
    struct Held {
        HotkeyRef ref;
        std::optional<HotkeyRef> windowSystemRef;
        HotkeyIdentity identity;
        quint16 keyCode;
        quint32 carbonModifiers;
    };
    struct Press {
        Source source;
        HotkeyIdentity identity;
        std::chrono::milliseconds at;
    };

    const PortalEntry* portalEntry(HotkeyIdentity identity) const;
    bool portalMayHold() const;
    void schedulePortalUpdate();
    void updatePortal();
    void portalStateChanged();
    void portalActivated(const QString& portalId);
    void pressed(Source source, HotkeyIdentity identity);

    std::shared_ptr<HotkeyBackend> m_windowSystem;
    std::shared_ptr<GlobalShortcutsPortal> m_portal;
    QList<PortalEntry> m_portalTable;
    std::shared_ptr<Clock> m_clock;
    // Queued calls and portal signals go through it, so none arrives after the backend is gone.
    QObject m_receiver;
    PressHandler m_handler;
    QList<Held> m_held;
    HotkeyRef m_lastRef = 0;
    bool m_portalUpdateQueued = false;
    std::optional<QList<PortalShortcut>> m_sentToPortal;
    std::optional<Press> m_lastPress;
};

} // namespace morvane
