#include "services/HotkeySettings.h"

#include "foundation/UserDefaults.h"
#include "services/PreferenceValues.h"

namespace morvane {

namespace {

using Keys = PreferenceKeys;

const QString modifierMessage = QStringLiteral("Include at least one modifier (Ctrl, Alt, Shift, or Super).");

} // namespace

HotkeySettings::HotkeySettings(std::shared_ptr<UserDefaults> defaults, Validator validator, QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
    , m_validator(std::move(validator))
{
    m_quickPanelHotkey = loadHotkey(Keys::quickPanelHotkey, defaultQuickPanelHotkey);
    m_graphHotkey = loadHotkey(Keys::graphHotkey, defaultGraphHotkey);
    refreshHotkeyConflictMessage();
}

HotkeySettings::~HotkeySettings() = default;

GlobalHotkeyBinding HotkeySettings::loadHotkey(const QString& key, GlobalHotkeyBinding fallback) const
{
    // A binding that could never register (no modifier, or a modifier key as its key) loads as the
    // default; the stored bytes stay until the user records another.
    std::optional<QByteArray> data = m_defaults->dataValue(key);
    std::optional<GlobalHotkeyBinding> stored = data ? GlobalHotkeyBinding::fromJson(*data) : std::nullopt;
    return stored && stored->isValid() ? *stored : fallback;
}

void HotkeySettings::setQuickPanelHotkey(const GlobalHotkeyBinding& binding)
{
    if (binding == m_quickPanelHotkey)
        return;
    m_quickPanelHotkey = binding;
    hotkeysStored({Keys::quickPanelHotkey});
}

void HotkeySettings::setGraphHotkey(const GlobalHotkeyBinding& binding)
{
    if (binding == m_graphHotkey)
        return;
    m_graphHotkey = binding;
    hotkeysStored({Keys::graphHotkey});
}

void HotkeySettings::hotkeysStored(const QList<QString>& keys)
{
    for (const QString& key : keys)
        m_defaults->setData(key,
                            key == Keys::graphHotkey ? m_graphHotkey.toJson() : m_quickPanelHotkey.toJson());
    refreshHotkeyConflictMessage();
    emit hotkeysChanged();
}

bool HotkeySettings::setHotkey(const GlobalHotkeyBinding& candidate, bool forGraph)
{
    GlobalHotkeyBinding& target = forGraph ? m_graphHotkey : m_quickPanelHotkey;
    GlobalHotkeyBinding& other = forGraph ? m_quickPanelHotkey : m_graphHotkey;
    const HotkeyValidation validation =
        m_validator
            ? m_validator(candidate, forGraph, m_quickPanelHotkey, m_graphHotkey)
            : HotkeyService::validateAgainstTargets(candidate, forGraph, m_quickPanelHotkey, m_graphHotkey)
                  .value_or(HotkeyValidation::available);

    switch (validation) {
    case HotkeyValidation::invalid:
        setConflictMessage(modifierMessage);
        return false;
    case HotkeyValidation::inUse:
        setConflictMessage(QStringLiteral("“") + candidate.shortcutText() +
                           QStringLiteral("” is already used by another application."));
        return false;
    case HotkeyValidation::available:
        target = candidate;
        hotkeysStored({forGraph ? Keys::graphHotkey : Keys::quickPanelHotkey});
        return true;
    case HotkeyValidation::sameAsOtherTarget:
        other = target;
        target = candidate;
        hotkeysStored({Keys::quickPanelHotkey, Keys::graphHotkey});
        return true;
    }
    return false;
}

void HotkeySettings::setHotkeyRecordingSuspended(bool suspended)
{
    if (suspended) {
        if (++m_suspendCount == 1)
            emit recordingSuspendedChanged(true);
        return;
    }
    const int remaining = m_suspendCount - 1;
    m_suspendCount = std::max(remaining, 0);
    if (remaining < 1)
        emit recordingSuspendedChanged(false);
}

void HotkeySettings::refreshHotkeyConflictMessage()
{
    setConflictMessage(
        m_quickPanelHotkey == m_graphHotkey
            ? std::optional<QString>(QStringLiteral("Morvane and graph cannot use the same shortcut."))
            : std::nullopt);
}

void HotkeySettings::setHotkeyRegistrationFailure(std::optional<QString> message)
{
    if (m_hotkeyConflictMessage && !m_conflictMessageIsRegistrationFailure)
        return;
    setConflictMessage(std::move(message));
    m_conflictMessageIsRegistrationFailure = m_hotkeyConflictMessage.has_value();
}

void HotkeySettings::setConflictMessage(std::optional<QString> message)
{
    m_conflictMessageIsRegistrationFailure = false;
    if (m_hotkeyConflictMessage == message)
        return;
    m_hotkeyConflictMessage = std::move(message);
    emit hotkeyConflictMessageChanged();
}

} // namespace morvane
