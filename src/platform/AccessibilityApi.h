#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

// Whether this process may read other applications' windows.
enum class AccessibilityTrust {
    granted,
    notGranted,  // the user can grant it
    notAvailable // this system has no such interface
};

// One element of another application's interface (an application, a window, a control). A handle
// that only the interface that gave it understands.
struct AccessibilityElement {
    quint64 handle = 0;
    bool operator==(const AccessibilityElement&) const = default;
};

// One attribute's value. text holds the value of a text, the absolute string of a URL, the plain
// characters of an attributed text and the string form of a number; elements the element or the
// list of elements.
struct AccessibilityValue {
    enum class Kind { text, url, attributedText, number, element, elementList, other };

    Kind kind = Kind::other;
    QString text;
    QList<AccessibilityElement> elements;

    bool operator==(const AccessibilityValue&) const = default;
};

// Reads other applications' interfaces, synchronously, on the main thread.
class AccessibilityApi {
public:
    virtual ~AccessibilityApi() = default;

    virtual AccessibilityTrust trust() const = 0;
    // Asks the system to offer the user the trust, with its own prompt where it has one.
    virtual void requestTrust() = 0;
    // The element of the application running as this process; nothing when it cannot be reached.
    virtual std::optional<AccessibilityElement> applicationElement(qint64 processId) const = 0;
    // Nothing when the attribute cannot be read or has no value.
    virtual std::optional<AccessibilityValue> attribute(const AccessibilityElement& element,
                                                        const QString& name) const = 0;
};

// This system offers no such interface: trust is "not available" and nothing is ever found, so the
// readers fall back at once and nobody is asked for a permission that does not exist here.
class UnavailableAccessibilityApi final : public AccessibilityApi {
public:
    AccessibilityTrust trust() const override { return AccessibilityTrust::notAvailable; }
    void requestTrust() override {}
    std::optional<AccessibilityElement> applicationElement(qint64) const override { return std::nullopt; }
    std::optional<AccessibilityValue> attribute(const AccessibilityElement&, const QString&) const override
    {
        return std::nullopt;
    }
};

} // namespace morvane
