#include "ContactRevealTarget.h"

#include "foundation/EnumNames.h"
#include "foundation/UserDefaults.h"
#include "platform/DesktopServices.h"

namespace morvane {

namespace {

constexpr EnumName<ContactRevealTarget> revealTargetNames[] = {
    {ContactRevealTarget::automatic, "Automatic"},
    {ContactRevealTarget::cardhop, "Cardhop"},
    {ContactRevealTarget::appleContacts, "Apple Contacts"},
};

} // namespace

QString rawValue(ContactRevealTarget target)
{
    return enumNameText(revealTargetNames, target);
}

ContactRevealTarget storedContactRevealTarget(const UserDefaults& defaults)
{
    return enumValue(revealTargetNames, defaults.stringValue(contactRevealTargetKey).value_or(QString()))
        .value_or(ContactRevealTarget::automatic);
}

bool isCardhopInstalled(const DesktopServices& desktop)
{
    return desktop.applicationPath(QStringLiteral("com.flexibits.cardhop.mac")).has_value();
}

} // namespace morvane
