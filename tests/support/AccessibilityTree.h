#pragma once

#include "platform/AccessibilityApi.h"

#include <QHash>
#include <QString>

namespace morvane::test {

// Other applications' interfaces as a tree the test builds: elements with attribute maps, and one
// application element per process. Counts the attribute reads.
class AccessibilityTree final : public AccessibilityApi {
public:
    AccessibilityTrust trust() const override { return trustState; }

    std::optional<AccessibilityElement> applicationElement(qint64 processId) const override
    {
        const auto it = m_applications.find(processId);
        if (it == m_applications.end())
            return std::nullopt;
        return *it;
    }

    std::optional<AccessibilityValue> attribute(const AccessibilityElement& element,
                                                const QString& name) const override
    {
        ++reads;
        const auto& attributes = m_attributes.value(element.handle);
        const auto it = attributes.find(name);
        if (it == attributes.end())
            return std::nullopt;
        return *it;
    }

    AccessibilityElement addElement() { return {++m_lastHandle}; }
    AccessibilityElement addApplication(qint64 processId)
    {
        const AccessibilityElement element = addElement();
        m_applications.insert(processId, element);
        return element;
    }
    AccessibilityTree& set(const AccessibilityElement& element, const QString& name, AccessibilityValue value)
    {
        m_attributes[element.handle].insert(name, std::move(value));
        return *this;
    }

    static AccessibilityValue text(QString text,
                                   AccessibilityValue::Kind kind = AccessibilityValue::Kind::text)
    {
        return {kind, std::move(text), {}};
    }
    static AccessibilityValue children(QList<AccessibilityElement> elements)
    {
        return {AccessibilityValue::Kind::elementList, {}, std::move(elements)};
    }
    static AccessibilityValue element(AccessibilityElement element)
    {
        return {AccessibilityValue::Kind::element, {}, {element}};
    }

    AccessibilityTrust trustState = AccessibilityTrust::granted;
    mutable int reads = 0;

private:
    quint64 m_lastHandle = 0;
    QHash<qint64, AccessibilityElement> m_applications;
    QHash<quint64, QHash<QString, AccessibilityValue>> m_attributes;
};

} // namespace morvane::test
