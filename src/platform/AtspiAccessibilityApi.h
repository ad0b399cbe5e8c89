#pragma once

#include "platform/AccessibilityApi.h"

#include <QHash>

#include <chrono>
#include <memory>

namespace morvane {

class AccessibilityStatusWatch;
class GLibLoopThread;

// The desktop's accessibility bus (AT-SPI) through libatspi.
//
// libatspi is not thread-safe and keeps its connection on a GLib main context, so this object owns
// one thread that runs that context (GLibLoopThread): every libatspi call, and every job, runs there. Each
// call into another application waits at most callTimeout; the library's own default is the D-Bus 25 s,
// which a hung application would cost every poll.
//
// Trust is the bus's own switch (AccessibilityBusSwitch), read again whenever it is switched
// (AccessibilityStatusWatch); the request sets it true. libatspi is set up once, at the first job: a
// bus that appears later in the session is not seen until the next start.
class AtspiAccessibilityApi final : public AccessibilityApi {
    Q_OBJECT
public:
    static constexpr int callTimeoutMs = 250;
    // The trust check may start the bus launcher, which takes longer than a read.
    static constexpr int busCallTimeoutMs = 2000;

    // How long the application's quit waits for the thread: a read stuck on an application or a bus
    // that does not answer (it is stopped) is not waited for.
    static constexpr std::chrono::milliseconds quitWait{200};

    // Starts the thread and checks the trust there; does not wait for either.
    explicit AtspiAccessibilityApi(QObject* parent = nullptr);
    // One whose going away waits at most quitWait for the thread. A thread still inside a job then is
    // let go, with this object: the job reads through it until it returns, and the process may end
    // first. Announcements stop at once either way.
    static std::shared_ptr<AtspiAccessibilityApi> create();
    // Runs the jobs already queued, then ends the thread; from one of its own jobs, drops them.
    ~AtspiAccessibilityApi() override;

    AccessibilityTrust trust() const override;
    QFuture<AccessibilityTrust> refreshTrust() override;
    void requestTrust() override;
    bool post(std::function<void()> job) override;

    QList<AccessibilityApplication> applications() const override;
    AccessibilityRole role(const AccessibilityElement& element) const override;
    std::optional<QString> name(const AccessibilityElement& element) const override;
    std::optional<QString> description(const AccessibilityElement& element) const override;
    AccessibilityStates states(const AccessibilityElement& element) const override;
    void readStatesAfresh(const AccessibilityElement& application) const override;
    QHash<QString, QString> attributes(const AccessibilityElement& element) const override;
    QHash<QString, QString> documentAttributes(const AccessibilityElement& element) const override;
    std::optional<QString> text(const AccessibilityElement& element, int maxLength) const override;
    std::optional<int> childCount(const AccessibilityElement& element) const override;
    std::optional<AccessibilityElement> childAt(const AccessibilityElement& element,
                                                int index) const override;
    std::optional<int> selectedChildCount(const AccessibilityElement& element) const override;
    std::optional<AccessibilityElement> selectedChildAt(const AccessibilityElement& element,
                                                        int index) const override;
    std::optional<int> documentCurrentPage(const AccessibilityElement& element) const override;
    std::optional<quint64> changeStamp() const override;
    std::optional<AccessibilityElement> applicationElement(qint64 processId) const override;
    std::optional<AccessibilityValue> attribute(const AccessibilityElement& element,
                                                const QString& name) const override;

private:
    struct Objects;

    // Stops announcing, lets the thread tear the library's objects down and waits at most wait for it
    // to end; the jobs it has not started then are dropped. True when it ended.
    bool close(std::chrono::milliseconds wait);
    // The library object behind element (an AtspiAccessible); null off the thread, before set-up or for
    // a stale handle.
    void* object(const AccessibilityElement& element) const;
    AccessibilityElement keep(void* object) const;

    std::shared_ptr<Objects> m_objects;
    std::unique_ptr<GLibLoopThread> m_thread;
    AccessibilityStatusWatch* m_statusWatch = nullptr;
};

} // namespace morvane
