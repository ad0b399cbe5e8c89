#pragma once

#include "platform/AccessibilityApi.h"

#include <QHash>
#include <QString>

namespace morvane::test {

// Other applications' interfaces as a tree the test builds: elements with attribute maps, and one
// application element per process.
class AccessibilityTree final : public AccessibilityApi {
public:
    AccessibilityTrust trust() const override { return trustState; }
    void requestTrust() override { ++trustRequests; }
    std::optional<AccessibilityElement> applicationElement(qint64 processId) const override
    {
        return m_applications.contains(processId) ? std::optional(m_applications.value(processId))
                                                  : std::nullopt;
    }
    std::optional<AccessibilityValue> attribute(const AccessibilityElement& element,
                                                const QString& name) const override
    {
        const QHash<QString, AccessibilityValue> attributes = m_attributes.value(element.handle);
        return attributes.contains(name) ? std::optional(attributes.value(name)) : std::nullopt;
    }

    AccessibilityElement addElement() { return {++m_lastHandle}; }
    AccessibilityElement addApplication(qint64 processId) { return m_applications[processId] = addElement(); }
    void set(const AccessibilityElement& element, const QString& name, AccessibilityValue value)
    {
        m_attributes[element.handle].insert(name, std::move(value));
    }

    AccessibilityTrust trustState = AccessibilityTrust::granted;
    int trustRequests = 0;

private:
    quint64 m_lastHandle = 0;
    QHash<qint64, AccessibilityElement> m_applications;
    QHash<quint64, QHash<QString, AccessibilityValue>> m_attributes;
};

} // namespace morvane::test
