#pragma once

#include <QString>

namespace morvane {

class DesktopServices;
class UserDefaults;

// Where a saved contact is shown when it is opened. The raw values are stored and shown.
enum class ContactRevealTarget {
    automatic,     // "Automatic": Cardhop when it is installed, else Contacts
    cardhop,       // "Cardhop", falling back to Contacts when Cardhop cannot show the card
    appleContacts, // "Apple Contacts"
};

// The user's choice, under this key as its raw value; absent means automatic.
inline const QString contactRevealTargetKey = QStringLiteral("preferences.contactRevealTarget");

QString rawValue(ContactRevealTarget target);

// The stored choice, read afresh; a missing or unknown value is automatic (raw values are exact:
// case counts).
ContactRevealTarget storedContactRevealTarget(const UserDefaults& defaults);

// Whether Cardhop is installed.
bool isCardhopInstalled(const DesktopServices& desktop);

} // namespace morvane
