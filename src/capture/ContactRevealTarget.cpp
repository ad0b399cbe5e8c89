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

std::optional<ContactRevealTarget> contactRevealTargetFromRawValue(const QString& raw)
{
    return enumValue(revealTargetNames, raw);
}

const QList<ContactRevealTarget>& allContactRevealTargets()
{
    static const QList<ContactRevealTarget> all = enumValues(revealTargetNames);
    return all;
}

ContactRevealTarget storedContactRevealTarget(const UserDefaults& defaults)
{
    const std::optional<QString> raw = defaults.stringValue(contactRevealTargetKey);
    return raw ? contactRevealTargetFromRawValue(*raw).value_or(ContactRevealTarget::automatic)
               : ContactRevealTarget::automatic;
}

bool isCardhopInstalled(const DesktopServices& desktop)
{
    return desktop.applicationPath(QStringLiteral("com.flexibits.cardhop.mac")).has_value();
}

} // namespace morvane
