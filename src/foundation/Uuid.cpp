#include "Uuid.h"

namespace morvane {

QString uuidString(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(const QString& text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash) {
            if (c != u'-')
                return std::nullopt;
        } else if (!isxdigit(c.unicode()) || c.unicode() > 0x7f) {
            return std::nullopt;
        }
    }
    const QUuid uuid = QUuid::fromString(text);
    if (uuid.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return uuid;
}

} // namespace morvane
