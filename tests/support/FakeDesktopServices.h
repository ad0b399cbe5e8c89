#pragma once

#include "platform/DesktopServices.h"

#include <QPromise>
#include <QSet>
#include <QStringList>

#include <memory>
#include <utility>

namespace morvane::test {

// Records what was opened and launched. A URL is taken when its scheme (lower-cased) is among the
// handled ones, and the answer comes at once; an application is installed when its identifier is
// among the installed ones.
class FakeDesktopServices final : public DesktopServices {
public:
    QFuture<bool> openUrl(const QString& url) override
    {
        openedUrls.append(url);
        if (holdAnswers) {
            held.append(std::make_shared<QPromise<bool>>());
            held.last()->start();
            return held.last()->future();
        }
        return QtFuture::makeReadyFuture(handledSchemes.contains(url.section(u':', 0, 0).toLower()));
    }
    // Answers the URLs held so far.
    void answerHeld(bool taken)
    {
        for (const std::shared_ptr<QPromise<bool>>& answer : std::exchange(held, {})) {
            answer->addResult(taken);
            answer->finish();
        }
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
    // While set, a URL is answered only by answerHeld, as a desktop still being asked.
    bool holdAnswers = false;
    QList<std::shared_ptr<QPromise<bool>>> held;
    QStringList openedUrls, launched;
};

} // namespace morvane::test
