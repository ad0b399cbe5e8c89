#pragma once

#include "platform/Workspace.h"

namespace morvane::test {

// A desktop whose front application the test sets. activate() is what the desktop does on a switch:
// the application comes to the front and the notice goes out.
class FakeWorkspace final : public Workspace {
public:
    static inline const QString ownIdentifier = QStringLiteral("org.morvane.Morvane");

    explicit FakeWorkspace(std::optional<QString> frontIdentifier = std::nullopt)
    {
        if (frontIdentifier)
            front = RunningApplication{*frontIdentifier, 100};
    }

    std::optional<RunningApplication> frontmostApplication() const override { return front; }
    QList<RunningApplication> runningApplications() const override { return running; }
    QString ownApplicationIdentifier() const override { return ownIdentifier; }

    void activate(const QString& identifier, qint64 processId = 100)
    {
        front = RunningApplication{identifier, processId};
        emit applicationActivated(identifier);
    }
    // This application comes to the front (the quick panel opens over the other one).
    void activateOwn() { activate(ownIdentifier, 1); }

    std::optional<RunningApplication> front;
    QList<RunningApplication> running;
};

} // namespace morvane::test
