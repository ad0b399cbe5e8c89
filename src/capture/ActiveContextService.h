#pragma once

#include "capture/ActiveContextProvider.h"
#include "platform/Workspace.h"

#include <QList>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <memory>

namespace morvane {

class AccessibilitySession;
class Workspace;

// The one place that asks what the user has in front of them in another application: the providers
// are asked in a fixed order and the first useful answer wins. When none captures anything and none
// said why, the service says why where it can tell from the window in front: no provider reads that
// application. Over an application read on the accessibility bus while the bus is switched off, that
// is all it says: the providers are not asked.
class ActiveContextService {
public:
    // Providers are asked in this order of their names, so that the more specific one answers
    // when two could (Fantastical before Calendar, which also knows Fantastical); a provider whose
    // name is not listed comes after the listed ones, in the order given.
    static const QStringList& askingOrder();

    // Without the workspace and the accessibility bus, nothing is said when no provider answers.
    explicit ActiveContextService(QList<std::shared_ptr<ActiveContextProvider>> providers,
                                  std::shared_ptr<Workspace> workspace = nullptr,
                                  std::shared_ptr<AccessibilitySession> accessibility = nullptr);

    // The first answer with contexts or a message (an empty message counts); the later providers
    // are not asked. When no provider has anything to say, no contexts and the reason, if known.
    // Main thread.
    CaptureResult captureContexts();
    // The same after every provider has refreshed what it read off the main thread; the providers
    // refresh side by side; when the panel came up meanwhile (which sets aside what a reading started
    // before it finds), they refresh once more. The service outlives the task.
    QCoro::Task<CaptureResult> captureFreshContexts();
    // Lets every provider refresh what it reads off the main thread, for a later capture; does not
    // wait. For callers that poll often (the quick panel every second). The future finishes once
    // every provider has.
    QFuture<void> refreshInBackground();
    // The same when the user may have worked in the application since its last reading (the panel
    // comes up over it): what the providers kept from before counts only once read again.
    QFuture<void> refreshForShowing();
    // Whether a provider's last reading no longer stands for the window a capture reads
    // (ActiveContextProvider::wantsAnotherReading).
    bool wantsAnotherReading() const;
    // The name users know the application in front (or behind this one's own window) by, when a
    // provider reads it here; nothing when none does or the desktop gives it no name. May read its
    // desktop entry, once.
    std::optional<QString> readApplicationName() const;

    const QList<std::shared_ptr<ActiveContextProvider>>& providers() const { return m_providers; }
    // The accessibility bus the providers read, for what it announces; none without one.
    AccessibilitySession* accessibility() const { return m_accessibility.get(); }

private:
    // The window a capture reads and how its application is read.
    struct FrontReading {
        std::optional<DesktopWindow> window;
        ApplicationReading reading = ApplicationReading::none;
    };
    FrontReading frontReading() const;
    // Whether the accessibility bus is known to be off (not merely absent from this system).
    bool busSwitchedOff() const;
    std::optional<QString> whyNothingWasCaptured(const FrontReading& front) const;

    QList<std::shared_ptr<ActiveContextProvider>> m_providers;
    std::shared_ptr<Workspace> m_workspace;
    std::shared_ptr<AccessibilitySession> m_accessibility;
    quint64 m_showings = 0; // how many times the panel came up; main thread
};

} // namespace morvane
