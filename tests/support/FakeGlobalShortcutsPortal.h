#pragma once

#include "platform/GlobalShortcutsPortal.h"

namespace morvane::test {

// A desktop shortcuts portal in memory: the test says whether the desktop answered, keeps every set
// it was asked to bind, and plays the desktop's keys and presses.
class FakeGlobalShortcutsPortal : public GlobalShortcutsPortal {
public:
    explicit FakeGlobalShortcutsPortal(State state = State::available)
        : m_state(state)
    {
    }

    State state() const override { return m_state; }
    void bindShortcuts(const QList<PortalShortcut>& shortcuts) override { bound.append(shortcuts); }
    QMap<QString, QString> triggerDescriptions() const override { return m_triggers; }

    void answer(State state)
    {
        m_state = state;
        emit stateChanged();
    }
    void setTriggers(const QMap<QString, QString>& triggers)
    {
        m_triggers = triggers;
        emit triggerDescriptionsChanged();
    }
    void press(const QString& id) { emit activated(id); }

    // Every set handed over, in order; the last one is what the desktop holds.
    QList<QList<PortalShortcut>> bound;

private:
    State m_state;
    QMap<QString, QString> m_triggers;
};

} // namespace morvane::test
