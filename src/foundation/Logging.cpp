#include "Logging.h"

namespace morvane {

QString privateValue(const QString& value)
{
    static const bool revealed = qEnvironmentVariable("MORVANE_LOG_PRIVATE") == QStringLiteral("1");
    return revealed ? value : QStringLiteral("<private>");
}

} // namespace morvane
