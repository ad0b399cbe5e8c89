#pragma once

#include "services/GlobalHotkeyBinding.h"
#include "services/HotkeyService.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class UserDefaults;

// The two global shortcuts as the user records them: validated, stored, swapped when one takes the
// other's keys, and the message that says why a recording was refused or a shortcut could not be
// registered. Main thread only.
class HotkeySettings : public QObject {
    Q_OBJECT
public:
    static constexpr GlobalHotkeyBinding defaultQuickPanelHotkey{37, 0x1100};
    static constexpr GlobalHotkeyBinding defaultGraphHotkey{5, 0x1100};

    // Asks the system whether a candidate for the graph (forGraph) or the quick panel is free, given
    // the two current shortcuts; HotkeyService::validate answers it in the application.
    using Validator = std::function<HotkeyValidation(const GlobalHotkeyBinding& candidate, bool forGraph,
                                                     const GlobalHotkeyBinding& quickPanel,
                                                     const GlobalHotkeyBinding& graph)>;

    // Without a validator nothing can be probed, so a shortcut no target holds counts as free.
    explicit HotkeySettings(std::shared_ptr<UserDefaults> defaults, Validator validator = {},
                            QObject* parent = nullptr);
    ~HotkeySettings() override;

    GlobalHotkeyBinding quickPanelHotkey() const { return m_quickPanelHotkey; }
    GlobalHotkeyBinding graphHotkey() const { return m_graphHotkey; }
    void setQuickPanelHotkey(const GlobalHotkeyBinding& binding);
    void setGraphHotkey(const GlobalHotkeyBinding& binding);
    std::optional<QString> hotkeyConflictMessage() const { return m_hotkeyConflictMessage; }
    // Validates a recorded shortcut for the graph (forGraph) or the quick panel, then stores it, or
    // swaps the two when it is the other one's; false when refused (the reason is in the message).
    bool setHotkey(const GlobalHotkeyBinding& candidate, bool forGraph);
    // Counted: nested recorders suspend the shortcuts once and resume them once.
    void setHotkeyRecordingSuspended(bool suspended);
    int hotkeyRecordingSuspendCount() const { return m_suspendCount; }
    // The application's report of the shortcuts it could not register (none: all registered). It
    // replaces an earlier report, never a refused recording or the equal-shortcuts message: those
    // stay until the next conflict check.
    void setHotkeyRegistrationFailure(std::optional<QString> message);

signals:
    // Emitted once the new shortcuts are stored and checked against each other, so the
    // application registers them and reports a failure that no conflict check then overwrites.
    void hotkeysChanged();
    void hotkeyConflictMessageChanged();
    // The first recorder started (true) or the last one stopped (false).
    void recordingSuspendedChanged(bool suspended);

private:
    GlobalHotkeyBinding loadHotkey(const QString& key, GlobalHotkeyBinding fallback) const;
    void hotkeysStored(const QList<QString>& keys);
    void refreshHotkeyConflictMessage();
    void setConflictMessage(std::optional<QString> message);

    std::shared_ptr<UserDefaults> m_defaults;
    Validator m_validator;
    GlobalHotkeyBinding m_quickPanelHotkey;
    GlobalHotkeyBinding m_graphHotkey;
    std::optional<QString> m_hotkeyConflictMessage;
    bool m_conflictMessageIsRegistrationFailure = false;
    int m_suspendCount = 0;
};

} // namespace morvane
