#include "HotkeyService.h"

#include "foundation/Logging.h"

#include <QPointer>

MORVANE_LOGGING_CATEGORY(lcHotkeys, "HotkeyService")

namespace morvane {

namespace {

constexpr quint32 probeId = 65535;

quint32 probeSignature()
{
    static const quint32 signature = HotkeyService::fourCharCode("MvPr");
    return signature;
}

} // namespace

quint32 HotkeyService::registrationSignature()
{
    static const quint32 signature = fourCharCode("Mrvn");
    return signature;
}

HotkeyService::HotkeyService(std::shared_ptr<HotkeyBackend> backend, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
}

HotkeyService::~HotkeyService()
{
    unregisterAll();
}

quint32 HotkeyService::fourCharCode(const QByteArray& text)
{
    quint32 code = 0;
    for (const char byte : text)
        code = (code << 8) | static_cast<quint8>(byte);
    return code;
}

QList<HotkeyService::Registration> HotkeyService::registerHotkeys(const QList<Registration>& registrations)
{
    // Kept before anything changes: the list may be registrations() itself.
    QList<Registration> kept;
    for (const Registration& registration : registrations) {
        if (registration.binding.isValid())
            kept.append(registration);
    }
    unregisterAll();
    m_registrations = kept;
    installHandlerOnce();

    QList<Registration> failures;
    for (const Registration& registration : std::as_const(m_registrations)) {
        const GlobalHotkeyBinding& binding = registration.binding;
        const HotkeyRegistrationResult result = m_backend->registerHotkey(
            binding.keyCode, binding.carbonModifiers, {registrationSignature(), registration.id});
        if (result.status == HotkeyStatus::noError && result.ref) {
            m_hotkeyRefs.append(*result.ref);
            continue;
        }
        qCCritical(lcHotkeys).noquote() << QStringLiteral("Failed to register global hotkey %1: %2")
                                               .arg(binding.displayString())
                                               .arg(result.status);
        failures.append(registration);
    }
    return failures;
}

void HotkeyService::unregisterAll()
{
    for (const HotkeyRef ref : std::as_const(m_hotkeyRefs))
        m_backend->unregisterHotkey(ref);
    m_hotkeyRefs.clear();
}

std::optional<HotkeyValidation> HotkeyService::validateAgainstTargets(const GlobalHotkeyBinding& candidate,
                                                                      bool forGraph,
                                                                      const GlobalHotkeyBinding& quickPanel,
                                                                      const GlobalHotkeyBinding& graph)
{
    if (!candidate.isValid())
        return HotkeyValidation::invalid;
    const GlobalHotkeyBinding& own = forGraph ? graph : quickPanel;
    const GlobalHotkeyBinding& other = forGraph ? quickPanel : graph;
    if (candidate == own)
        return HotkeyValidation::available;
    if (candidate == other)
        return HotkeyValidation::sameAsOtherTarget;
    return std::nullopt;
}

HotkeyValidation HotkeyService::validate(const GlobalHotkeyBinding& candidate, bool forGraph,
                                         const GlobalHotkeyBinding& quickPanel,
                                         const GlobalHotkeyBinding& graph)
{
    if (const std::optional<HotkeyValidation> known =
            validateAgainstTargets(candidate, forGraph, quickPanel, graph))
        return *known;

    // Our own shortcuts are released first, so that only another application can refuse the probe.
    const QList<Registration> remembered = m_registrations;
    unregisterAll();
    const HotkeyRegistrationResult probe =
        m_backend->registerHotkey(candidate.keyCode, candidate.carbonModifiers, {probeSignature(), probeId});
    HotkeyValidation outcome = HotkeyValidation::inUse;
    if (probe.status == HotkeyStatus::noError && probe.ref) {
        m_backend->unregisterHotkey(*probe.ref);
        outcome = HotkeyValidation::available;
    }
    if (!remembered.isEmpty() && !m_recordingSuspended)
        registerHotkeys(remembered);
    return outcome;
}

void HotkeyService::handleHotkeyEvent(quint32 id)
{
    for (const Registration& registration : std::as_const(m_registrations)) {
        if (registration.id == id) {
            // A copy: the action may register the shortcuts anew.
            const std::function<void()> action = registration.action;
            if (action)
                action();
            return;
        }
    }
}

void HotkeyService::installHandlerOnce()
{
    if (m_handlerInstalled)
        return;
    // The press arrives inside the window system's event dispatch; the action runs after it, on
    // the main thread, and not at all once the service is gone.
    QPointer<HotkeyService> self(this);
    m_backend->installPressHandler([self](HotkeyIdentity identity) {
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, id = identity.id] {
                if (self)
                    self->handleHotkeyEvent(id);
            },
            Qt::QueuedConnection);
    });
    m_handlerInstalled = true;
}

} // namespace morvane
