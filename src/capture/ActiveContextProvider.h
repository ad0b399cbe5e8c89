#pragma once

#include "model/CapturedContext.h"

#include <QFuture>
#include <QList>
#include <QString>

#include <optional>

namespace morvane {

// What one provider answers:
// - contexts, no message: these items are in front of the user;
// - contexts and a message: items offered with a hint for the user;
// - no contexts, a message: the provider's application is in front but nothing can be captured,
//   and the message says why;
// - neither: the provider has nothing to say, and the next one is asked.
struct CaptureResult {
    QList<CapturedContext> contexts;
    std::optional<QString> message;

    bool operator==(const CaptureResult&) const = default;
};

// How a provider reads an application's items on this desktop.
enum class ApplicationReading {
    none,             // not an application this provider reads here
    direct,           // from the application's files or its own bus interface
    accessibilityBus, // over the accessibility bus, which must be on
};

// Reads the item in front of the user in one other application. Every call runs on the main thread
// and never throws. A provider that asks its application over a bus never waits for it there: its
// refresh() asks off the main thread and keeps the answer, which the capture then reads.
class ActiveContextProvider {
public:
    virtual ~ActiveContextProvider() = default;

    virtual QString providerName() const = 0;

    // The one item of providers that capture at most one and never answer with a message.
    virtual std::optional<CapturedContext> captureContext() { return std::nullopt; }

    // What the rest of the system asks. By default the one item of captureContext, if any.
    virtual CaptureResult captureContexts();

    // Asks the application in front (when it is this provider's) for what a capture needs, off the
    // main thread; the future finishes once the capture can answer from it. Nothing to ask by default.
    virtual QFuture<void> refresh();
    // The user may have worked in the application since its window was last read (the panel comes up
    // over it): what the provider kept from that reading is no longer taken for what the window shows
    // until a reading started afterwards confirms it. Nothing is kept by default.
    virtual void distrustKeptReadings() {}
    // What the last reading found no longer stands for the window a capture reads, and only another
    // reading can tell what it shows: the window was retitled while it was read (another tab came in
    // front), or it was caught between two pages. A capture answers nothing from that reading. Never
    // by default.
    virtual bool wantsAnotherReading() { return false; }

    // How this provider reads the application with this identifier; not at all by default. When no
    // provider captures anything, this tells an application nothing reads from one whose item could
    // not be read just now.
    virtual ApplicationReading readingOf(const QString& identifier) const;
};

} // namespace morvane
