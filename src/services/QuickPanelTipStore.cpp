#include "QuickPanelTipStore.h"

#include "foundation/UserDefaults.h"

#include <QChar>

namespace morvane {

QStringList QuickPanelTipStore::dismissedIDs() const
{
    return m_defaults->stringListValue(m_storageKey).value_or(QStringList{});
}

bool QuickPanelTipStore::isDismissed(const QString& id) const
{
    return dismissedIDs().contains(id);
}

void QuickPanelTipStore::dismiss(const QString& id)
{
    QStringList ids = dismissedIDs();
    ids.append(id);
    // Plain code-unit order, the same on every machine whatever its locale.
    ids.sort(Qt::CaseSensitive);
    ids.removeDuplicates();
    m_defaults->setStringList(m_storageKey, ids);
}

void QuickPanelTipStore::restoreAll()
{
    m_defaults->remove(m_storageKey);
}

QString QuickPanelTipStore::tipToken(const QString& appName)
{
    const QString name = appName.trimmed().toLower();
    if (name.isEmpty())
        return QStringLiteral("unknown");
    QString token;
    // By code point, so that letters outside the basic plane count as letters.
    for (const char32_t c : name.toUcs4()) {
        if (c == U' ' || c == U'-')
            token.append(QLatin1Char('-'));
        else if (QChar::isLetterOrNumber(c))
            token.append(QString::fromUcs4(&c, 1));
    }
    return token;
}

} // namespace morvane
