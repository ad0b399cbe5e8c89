#include "LinkItem.h"

#include "foundation/LocatorUrl.h"
#include "foundation/Uuid.h"
#include "model/PDFDeepLink.h"

namespace morvane {

QString LinkItem::displayPath() const
{
    if (lastKnownPath && !lastKnownPath->isEmpty())
        return *lastKnownPath;
    if (const auto parsed = LocatorUrl::parse(url); parsed && parsed->isFileUrl())
        return parsed->path();
    return url;
}

QString LinkItem::markdownLink() const
{
    QString text = title;
    text.replace(u']', QStringLiteral("\\]"));
    if (const auto deepLink = PDFDeepLink::fromString(url); deepLink && deepLink->page)
        text += QStringLiteral(", p. ") + QString::number(*deepLink->page);
    return u'[' + text + QStringLiteral("](morvane://open/") + uuidString(id) + u')';
}

} // namespace morvane
