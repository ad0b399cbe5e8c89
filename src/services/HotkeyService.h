#pragma once

#include "platform/HotkeyBackend.h"
#include "services/GlobalHotkeyBinding.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace morvane {

// The outcome of asking whether a shortcut can be given to the quick panel or the graph.
enum class HotkeyValidation {
    available,         // free, or already this target's shortcut
    sameAsOtherTarget, // the other target's shortcut
    invalid,           // no modifier, or a modifier key as the key
    inUse,             // another application holds it
};

// Registers the two system-wide shortcuts, tests whether a candidate shortcut is free, and runs the
// action of a pressed shortcut. Main thread only.
class HotkeyService : public QObject {
    Q_OBJECT
public:
    struct Registration {
        quint32 id = 0;
        GlobalHotkeyBinding binding;
        std::function<void()> action;
    };

    explicit HotkeyService(std::shared_ptr<HotkeyBackend> backend, QObject* parent = nullptr);
    ~HotkeyService() override;

    // Replaces every registration with these (invalid bindings are dropped without a word) and
    // returns the ones that could not be registered, in order.
    QList<Registration> registerHotkeys(const QList<Registration>& registrations);
    // Releases the registered shortcuts; the wanted set stays, so registerHotkeys(registrations())
    // restores them.
    void unregisterAll();
    // Checks a candidate for the quick panel (forGraph false) or the graph against the two current
    // shortcuts, then against the system by registering it briefly.
    HotkeyValidation validate(const GlobalHotkeyBinding& candidate, bool forGraph,
                              const GlobalHotkeyBinding& quickPanel, const GlobalHotkeyBinding& graph);
    // The part of validate that needs no probe: nothing when only the system can tell.
    static std::optional<HotkeyValidation> validateAgainstTargets(const GlobalHotkeyBinding& candidate,
                                                                  bool forGraph,
                                                                  const GlobalHotkeyBinding& quickPanel,
                                                                  const GlobalHotkeyBinding& graph);
    // Runs the action of the first registration with this id.
    void handleHotkeyEvent(quint32 id);

    const QList<Registration>& registrations() const { return m_registrations; }
    // Set while a shortcut recorder records: validate then leaves the shortcuts released.
    bool isRecordingSuspended() const { return m_recordingSuspended; }
    void setRecordingSuspended(bool suspended) { m_recordingSuspended = suspended; }

    // The signature of registered shortcuts and of the availability probe.
    static quint32 fourCharCode(const QByteArray& text);
    // The signature every registered shortcut carries.
    static quint32 registrationSignature();

private:
    void installHandlerOnce();

    std::shared_ptr<HotkeyBackend> m_backend;
    QList<HotkeyRef> m_hotkeyRefs;
    QList<Registration> m_registrations;
    bool m_handlerInstalled = false;
    bool m_recordingSuspended = false;
};

} // namespace morvane
