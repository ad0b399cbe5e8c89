#pragma once

#include "PreferencesDoubles.h"
#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "services/PreferencesStore.h"
#include "store/LinkStore.h"

#include <QTest>

#include <functional>

#include <gtest/gtest.h>

namespace morvane::test {

// Runs the event loop until the condition holds, for five seconds at most.
inline bool eventually(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 5000);
}

// A settings store over test doubles and a library of its own, for the parts that work on the library.
class PreferencesLibraryTest : public ::testing::Test, protected PreferencesDoubles {
protected:
    std::unique_ptr<PreferencesStore> makeStore(bool withLibrary = true)
    {
        return makePreferences(withLibrary ? library.get() : nullptr);
    }
    void addLink(const QString& url) { library->addLink(url, url, {}, {}).result(); }
    qsizetype localLinks() { return library->allLinks().result().size(); }

    std::unique_ptr<LinkStore> library =
        std::make_unique<LinkStore>(LinkStore::libraryAt(testHome() + QStringLiteral("/library.sqlite")),
                                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
};

} // namespace morvane::test
