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
        return installed.contains(identifier)
                   ? std::optional("/usr/share/applications/" + identifier + ".desktop")
                   : std::nullopt;
    }
    bool launchApplication(const QString& identifier) override
    {
        launched.append(identifier);
        return installed.contains(identifier);
    }

    // "shown" or "not shown", then the URLs opened and the applications launched.
    QString trace(bool shown) const
    {
        return (QStringList{shown ? "shown" : "not shown"} + openedUrls + launched).join(u' ');
    }

    QSet<QString> handledSchemes, installed;
    QStringList openedUrls, launched;
};

} // namespace morvane::test
