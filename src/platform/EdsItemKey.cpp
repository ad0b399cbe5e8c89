#include "EdsItemKey.h"

#include <QStringList>
#include <QUrl>

namespace morvane {

QString edsItemIdentifier(const EdsItemKey& key)
{
    QByteArray joined = QUrl::toPercentEncoding(key.sourceUid) + '/' + QUrl::toPercentEncoding(key.uid);
    if (key.recurrenceId)
        joined += '/' + QUrl::toPercentEncoding(*key.recurrenceId);
    return QString::fromLatin1(joined);
}

std::optional<EdsItemKey> parseEdsItemIdentifier(const QString& identifier)
{
    const QStringList parts = identifier.split(u'/');
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    QStringList decoded;
    for (const QString& part : parts) {
        decoded.append(QUrl::fromPercentEncoding(part.toUtf8()));
        if (decoded.last().isEmpty())
            return std::nullopt;
    }
    return EdsItemKey{decoded[0], decoded[1], parts.size() == 3 ? std::optional(decoded[2]) : std::nullopt};
}

} // namespace morvane
