#include "MachineIdentity.h"

#include "foundation/UserDefaults.h"
#include "foundation/Uuid.h"

#include <QUuid>

namespace morvane {

QString machineIdentifier(UserDefaults& defaults, const QString& key)
{
    const std::optional<QString> stored = defaults.stringValue(key);
    if (stored && !stored->isEmpty())
        return *stored;
    QString identifier = uuidString(QUuid::createUuid());
    defaults.setString(key, identifier);
    return identifier;
}

} // namespace morvane
