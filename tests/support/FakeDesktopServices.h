#pragma once

#include "platform/DesktopServices.h"

#include <QSet>
#include <QStringList>

namespace morvane::test {

// Records what was opened and launched. A URL is taken when its scheme (lower-cased) is among the
// handled ones; an application is installed when its identifier is among the installed ones.
class FakeDesktopServices final : public DesktopServices {
public:
    bool openUrl(const QString& url) override
    {
        openedUrls.append(url);
        return handledSchemes.contains(url.section(u':', 0, 0).toLower());
    }

    std::optional<QString> applicationPath(const QString& identifier) const override
    {
        if (!installed.contains(identifier))
            return std::nullopt;
        return QStringLiteral("/usr/share/applications/") + identifier + QStringLiteral(".desktop");
    }

    bool launchApplication(const QString& identifier) override
    {
        launched.append(identifier);
        return installed.contains(identifier);
    }

    QSet<QString> handledSchemes;
    QSet<QString> installed;
    QStringList openedUrls;
    QStringList launched;
};

} // namespace morvane::test
