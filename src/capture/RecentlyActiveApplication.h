#pragma once

#include <QMetaObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class Workspace;

// Which of a provider's applications the user was working in, so that a capture still applies when
// this application (the quick panel, the graph) has come to the front over it. Seeded from the
// application in front at construction and kept up to date from the workspace's notices.
class RecentlyActiveApplication {
public:
    enum class Policy {
        // Set when one of the applications comes to the front, kept while this application is in
        // front, cleared by any other.
        flag,
        // As flag, and the identifier of the last of the applications in front is kept even when
        // another application clears the flag; seeded with whatever application is in front.
        flagAndLastIdentifier,
        // Set exactly while the last application to come to the front (this one included) is one
        // of the applications; a capture applies whenever it is set.
        exact,
        // The last of the applications in front, kept while this application is in front, forgotten
        // when any other comes to the front.
        lastApplicationInFront,
    };
    using Recognizer = std::function<bool(const QString& identifier)>;

    RecentlyActiveApplication(std::shared_ptr<Workspace> workspace, Policy policy,
                              Recognizer isProviderApplication);
    ~RecentlyActiveApplication();
    RecentlyActiveApplication(const RecentlyActiveApplication&) = delete;
    RecentlyActiveApplication& operator=(const RecentlyActiveApplication&) = delete;

    // The application a capture should read, decided afresh from the application in front: that
    // one when it is one of the provider's, else (this application being in front, or always under
    // the exact policy) the recently active one; nothing when the capture does not apply.
    std::optional<QString> captureTarget();

    // A capture from this application succeeded: it counts as recently active.
    void markCaptured(const QString& identifier);

private:
    void applicationActivated(const QString& identifier);
    bool isOwnApplication(const std::optional<QString>& identifier) const;

    std::shared_ptr<Workspace> m_workspace;
    Policy m_policy;
    Recognizer m_isProviderApplication;
    bool m_recentlyActive = false;
    std::optional<QString> m_lastIdentifier;
    QMetaObject::Connection m_activationObserver;
};

} // namespace morvane
