#pragma once

#include "AccessibilityTree.h"
#include "FakeWorkspace.h"
#include "ScriptedRunner.h"
#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "model/CapturedContext.h"

#include <QDir>
#include <QFile>

#include <memory>
#include <ostream>

namespace morvane {

inline void PrintTo(const CapturedContext& context, std::ostream* os)
{
    *os << "{" << context.title.toStdString() << " | " << context.locator.toStdString() << " | "
        << rawValue(context.type).toStdString() << " | " << context.sourceApp.toStdString()
        << (context.fileIdentity ? " | identity" : "") << "}";
}

} // namespace morvane

namespace morvane::test {

// The desktop, the script runner and the identity service that providers are built on.
struct ProviderFixture {
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<ScriptedRunner> scripts = std::make_shared<ScriptedRunner>();
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());

    // A file or (with a final "/") a folder under the test's home.
    static QString makeItem(const QString& relative)
    {
        const QString path = testHome() + u'/' + relative;
        if (relative.endsWith(u'/')) {
            QDir().mkpath(path);
        } else {
            QDir().mkpath(path.left(path.lastIndexOf(u'/')));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                qFatal("cannot write %s", qPrintable(path));
        }
        return path;
    }
};

} // namespace morvane::test
