#include "PDFDeepLink.h"

#include "foundation/LocatorUrl.h"
#include "foundation/Text.h"

namespace morvane {

std::optional<PDFDeepLink> PDFDeepLink::fromString(const QString& text)
{
    const auto url = LocatorUrl::parse(text);
    return url ? fromUrl(*url) : std::nullopt;
}

std::optional<PDFDeepLink> PDFDeepLink::fromUrl(const LocatorUrl& url)
{
    if (!url.isFileUrl() || url.pathExtension().toLower() != QStringLiteral("pdf"))
        return std::nullopt;
    return PDFDeepLink{url.text(), pageFromFragment(url.fragment())};
}

std::optional<qint64> PDFDeepLink::pageFromFragment(const std::optional<QString>& fragment)
{
    if (!fragment || fragment->isEmpty())
        return std::nullopt;
    QString remainder = trimmedText(*fragment);
    if (remainder.toLower().startsWith(QStringLiteral("page=")))
        remainder = remainder.mid(5);
    if (remainder.isEmpty())
        return std::nullopt;

    // An optional sign, then ASCII digits only; QString::toLongLong would also take blanks.
    qsizetype start = (remainder.front() == u'+' || remainder.front() == u'-') ? 1 : 0;
    if (start == remainder.size())
        return std::nullopt;
    for (qsizetype i = start; i < remainder.size(); ++i) {
        if (remainder[i] < u'0' || remainder[i] > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = remainder.toLongLong(&ok, 10);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

QString PDFDeepLink::url() const
{
    if (!page)
        return fileURL;
    const auto parsed = LocatorUrl::parse(fileURL);
    if (!parsed)
        return fileURL;
    return parsed->textWithFragment(QStringLiteral("page=") + QString::number(*page));
}

} // namespace morvane
