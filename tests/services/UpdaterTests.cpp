#include "services/Updater.h"

#include "ScriptedAlertPresenter.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// The package's file list names the program: installed from the package. A program under a CMake
// build folder (up to build/src/app) is a build; anything else was copied or installed by hand.
TEST(UpdaterInstallation, ComesFromThePackagesFileListOrTheBuildFolder)
{
    const QString info = homePath("dpkg-info");
    const QString installed = writeFile("usr/bin/morvane", {});
    writeFile(info + "/morvane.list",
              "/.\n/usr\n/usr/bin\n" + QFile::encodeName(installed) + "\n/usr/share\n");
    writeFile(info + "/other.list", "/usr/bin/other\n");
    EXPECT_EQ(Updater::installationOf(installed, info), Installation::package);
    // Reached through a link (a merged /usr), it is still the package's program.
    ASSERT_TRUE(QFile::link(homePath("usr/bin"), homePath("bin")));
    EXPECT_EQ(Updater::installationOf(homePath("bin/morvane"), info), Installation::package);

    writeFile("src/build/CMakeCache.txt", {});
    const QString built = writeFile("src/build/src/app/morvane", {});
    EXPECT_EQ(Updater::installationOf(built, info), Installation::buildFolder);
    EXPECT_EQ(Updater::installationOf(writeFile("opt/morvane", {}), info), Installation::other);
    EXPECT_EQ(Updater::installationOf(installed, homePath("no-dpkg")), Installation::other);
}

// The check tells where this copy's updates come from, in the words of its installation.
TEST(UpdaterInstallation, TheCheckSaysWhereUpdatesComeFrom)
{
    auto alerts = std::make_shared<ScriptedAlertPresenter>();
    const struct {
        Installation installation;
        const char* text;
    } cases[] = {
        {Installation::package, "Updates for Morvane come from the package manager that installed it."},
        {Installation::buildFolder,
         "This copy of Morvane runs from a build folder: `git pull` and `scripts/run` in its source folder "
         "update it."},
    };
    for (const auto& c : cases) {
        const Updater updater(alerts, c.installation);
        EXPECT_FALSE(updater.isAvailable());
        updater.checkForUpdates();
        ASSERT_FALSE(alerts->shown.isEmpty());
        EXPECT_EQ(alerts->shown.last().informativeText, c.text);
    }
}

} // namespace
