#include "RecentlyActiveApplication.h"

#include "platform/Workspace.h"

namespace morvane {

RecentlyActiveApplication::RecentlyActiveApplication(std::shared_ptr<Workspace> workspace, Policy policy,
                                                     Recognizer isProviderApplication)
    : m_workspace(std::move(workspace))
    , m_policy(policy)
    , m_isProviderApplication(std::move(isProviderApplication))
{
    const std::optional<QString> front = m_workspace->frontmostIdentifier();
    m_recentlyActive = front && !front->isEmpty() && m_isProviderApplication(*front);
    if (m_recentlyActive || (front && m_policy == Policy::flagAndLastIdentifier))
        m_lastIdentifier = front;
    m_activationObserver =
        QObject::connect(m_workspace.get(), &Workspace::applicationActivated,
                         [this](const QString& identifier) { applicationActivated(identifier); });
}

RecentlyActiveApplication::~RecentlyActiveApplication()
{
    QObject::disconnect(m_activationObserver);
}

void RecentlyActiveApplication::applicationActivated(const QString& identifier)
{
    if (!identifier.isEmpty() && m_isProviderApplication(identifier)) {
        m_recentlyActive = true;
        m_lastIdentifier = identifier;
        return;
    }
    if (m_policy != Policy::exact && isOwnApplication(identifier))
        return;
    m_recentlyActive = false;
    if (m_policy == Policy::lastApplicationInFront)
        m_lastIdentifier.reset();
}

std::optional<QString> RecentlyActiveApplication::captureTarget()
{
    std::optional<QString> front = m_workspace->frontmostIdentifier();
    if (front && !front->isEmpty() && m_isProviderApplication(*front)) {
        if (m_policy == Policy::lastApplicationInFront) {
            m_recentlyActive = true;
            m_lastIdentifier = front;
        }
        return front;
    }
    if (!m_recentlyActive)
        return std::nullopt;
    if (m_policy == Policy::exact || isOwnApplication(front))
        return m_lastIdentifier;
    return std::nullopt;
}

void RecentlyActiveApplication::markCaptured(const QString& identifier)
{
    m_recentlyActive = true;
    m_lastIdentifier = identifier;
}

bool RecentlyActiveApplication::isOwnApplication(const std::optional<QString>& identifier) const
{
    return identifier && *identifier == m_workspace->ownApplicationIdentifier();
}

} // namespace morvane
