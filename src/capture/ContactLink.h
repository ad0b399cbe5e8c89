#pragma once

#include <QString>

#include <optional>

namespace morvane {

// A saved contact card: its identifier in the contact store, with the name and organization shown
// when it was saved, so that a result row is drawn without asking the store. Its locator is
//   morvane-contact://contact?id=…&name=…&organization=…
// with the empty items left out.
struct ContactLink {
    static inline const QString scheme = QStringLiteral("morvane-contact");
    static inline const QString host = QStringLiteral("contact");

    QString identifier;                  // never empty
    QString name;                        // never empty in a link read from a locator
    std::optional<QString> organization; // never empty when present

    bool operator==(const ContactLink&) const = default;
};

// Nothing when the identifier is empty. Values are written as given, untrimmed.
std::optional<QString> contactLocator(const QString& identifier, const QString& name,
                                      const std::optional<QString>& organization);

// Nothing when the text is not a contact locator (scheme and host other than exactly the ones
// above, no "id" or an empty one). The name and organization are trimmed; a blank name reads as
// "Contact", a blank organization as none.
std::optional<ContactLink> parseContactLocator(const QString& text);

} // namespace morvane
