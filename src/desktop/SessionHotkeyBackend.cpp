#include "SessionHotkeyBackend.h"

#include "HotkeyKeyTable.h"
#include "foundation/Clock.h"
#include "foundation/Logging.h"

MORVANE_LOGGING_CATEGORY(lcSessionHotkeys, "HotkeyService")

namespace morvane {

SessionHotkeyBackend::SessionHotkeyBackend(std::shared_ptr<HotkeyBackend> windowSystem,
                                           std::shared_ptr<GlobalShortcutsPortal> portal,
                                           QList<PortalEntry> portalTable, std::shared_ptr<Clock> clock)
    : m_windowSystem(std::move(windowSystem))
    , m_portal(std::move(portal))
    , m_portalTable(std::move(portalTable))
    , m_clock(std::move(clock))
{
    if (!m_portal)
        return;
    QObject::connect(m_portal.get(), &GlobalShortcutsPortal::activated, &m_receiver,
                     [this](const QString& portalId) { portalActivated(portalId); });
    QObject::connect(m_portal.get(), &GlobalShortcutsPortal::stateChanged, &m_receiver,
                     [this] { portalStateChanged(); });
}

SessionHotkeyBackend::~SessionHotkeyBackend() = default;

void SessionHotkeyBackend::installPressHandler(PressHandler handler)
{
    m_handler = std::move(handler);
    // The window system's backend lives as long as this one: it is ours alone.
    m_windowSystem->installPressHandler(
        [this](HotkeyIdentity identity) { pressed(Source::windowSystem, identity); });
}

HotkeyRegistrationResult SessionHotkeyBackend::registerHotkey(quint16 keyCode, quint32 carbonModifiers,
                                                              HotkeyIdentity identity)
{
    const HotkeyRegistrationResult grabbed =
        m_windowSystem->registerHotkey(keyCode, carbonModifiers, identity);
    const bool viaWindowSystem = grabbed.status == HotkeyStatus::noError && grabbed.ref;
    // Where the desktop holds the shortcut, a grab the window system refuses does not make it fail:
    // the desktop settles conflicts in its own settings.
    if (!viaWindowSystem && !(portalEntry(identity) && portalMayHold()))
        return grabbed;
    m_held.append(
        {++m_lastRef, viaWindowSystem ? grabbed.ref : std::nullopt, identity, keyCode, carbonModifiers});
    if (portalEntry(identity))
        schedulePortalUpdate();
    return {HotkeyStatus::noError, m_lastRef};
}

void SessionHotkeyBackend::unregisterHotkey(HotkeyRef ref)
{
    const auto found =
        std::find_if(m_held.begin(), m_held.end(), [&](const Held& held) { return held.ref == ref; });
    if (found == m_held.end())
        return;
    if (found->windowSystemRef)
        m_windowSystem->unregisterHotkey(*found->windowSystemRef);
    const bool inPortal = portalEntry(found->identity) != nullptr;
    m_held.erase(found);
    if (inPortal)
        schedulePortalUpdate();
}

void SessionHotkeyBackend::endKeyHold()
{
    m_windowSystem->endKeyHold();
}

const SessionHotkeyBackend::PortalEntry* SessionHotkeyBackend::portalEntry(HotkeyIdentity identity) const
{
    if (!m_portal)
        return nullptr;
    for (const PortalEntry& entry : m_portalTable) {
        if (entry.identity == identity)
            return &entry;
    }
    return nullptr;
}

bool SessionHotkeyBackend::portalMayHold() const
{
    return m_portal && m_portal->state() != GlobalShortcutsPortal::State::unavailable;
}

void SessionHotkeyBackend::schedulePortalUpdate()
{
    if (m_portalUpdateQueued)
        return;
    m_portalUpdateQueued = true;
    QMetaObject::invokeMethod(
        &m_receiver, [this] { updatePortal(); }, Qt::QueuedConnection);
}

void SessionHotkeyBackend::updatePortal()
{
    m_portalUpdateQueued = false;
    // In the table's order, whatever order they were registered in.
    QList<PortalShortcut> wanted;
    for (const PortalEntry& entry : std::as_const(m_portalTable)) {
        const auto held = std::find_if(m_held.cbegin(), m_held.cend(), [&](const Held& candidate) {
            return candidate.identity == entry.identity;
        });
        if (held != m_held.cend())
            wanted.append(
                {entry.portalId, entry.description, portalTriggerText(held->keyCode, held->carbonModifiers)});
    }
    // A release followed by the same registrations leaves the desktop's session as it is.
    if (m_sentToPortal == wanted)
        return;
    m_sentToPortal = wanted;
    m_portal->bindShortcuts(wanted);
}

// A shortcut taken while the desktop had not answered, that the window system had refused, is held
// by nothing once the desktop says it has no portal.
void SessionHotkeyBackend::portalStateChanged()
{
    if (m_portal->state() != GlobalShortcutsPortal::State::unavailable)
        return;
    for (const Held& held : std::as_const(m_held)) {
        if (!held.windowSystemRef)
            qCCritical(lcSessionHotkeys) << "Global hotkey" << held.identity.id
                                         << "is held neither by the window system nor by the desktop";
    }
}

void SessionHotkeyBackend::portalActivated(const QString& portalId)
{
    for (const Held& held : std::as_const(m_held)) {
        const PortalEntry* entry = portalEntry(held.identity);
        if (entry && entry->portalId == portalId) {
            pressed(Source::portal, held.identity);
            return;
        }
    }
    // Released while the desktop still held it (a recorder is listening): nothing runs.
    qCDebug(lcSessionHotkeys) << "Ignored portal shortcut" << portalId;
}

void SessionHotkeyBackend::pressed(Source source, HotkeyIdentity identity)
{
    const std::chrono::milliseconds now = m_clock->monotonic();
    if (m_lastPress && m_lastPress->source != source && m_lastPress->identity == identity &&
        now - m_lastPress->at < samePressWindow) {
        // The other report of a press that already ran.
        m_lastPress.reset();
        return;
    }
    m_lastPress = Press{source, identity, now};
    if (m_handler)
        m_handler(identity);
}

} // namespace morvane
