#include "LogCapture.h"
#include "TestEnvironment.h"
#include "platform/EdsReader.h"
#include "platform/EvolutionDataServer.h"
#include "platform/LoadableModule.h"
#include "platform/ModuleSoundPlayer.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

// A program of the build tree loads that tree's modules; an installed one looks only in its package's
// private library folder, found from where the program itself lies.
TEST(LoadableModule, ProgramsOfTheBuildTreeUseItsModulesAndInstalledOnesTheirPackagesFolder)
{
    const QString built = LoadableModule::folderFor(QCoreApplication::applicationFilePath());
    EXPECT_TRUE(QFileInfo::exists(built + "/libmorvane-eds.so")) << built.toStdString();
    EXPECT_TRUE(QFileInfo::exists(built + "/libmorvane-sound.so")) << built.toStdString();
    for (const QString prefix : {"/usr", "/opt/morvane"}) {
        const QString installed = LoadableModule::folderFor(prefix + "/bin/morvane");
        EXPECT_TRUE(installed.startsWith(prefix + "/lib")) << installed.toStdString();
        EXPECT_TRUE(installed.endsWith("/morvane")) << installed.toStdString();
    }
}

// A module that is not there, or lacks the entry point of this build's revision, is not available:
// the log says why once, and the caller goes on without it.
TEST(LoadableModule, AMissingModuleOrAnEntryOfAnotherRevisionIsNotAvailableAndSaidOnce)
{
    LogCapture log(QStringLiteral("morvane.Module"));
    LoadableModule missing(QStringLiteral("not-built"));
    EXPECT_EQ(missing.entry("anything"), nullptr);
    EXPECT_EQ(missing.entry("anything"), nullptr);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().contains("not-built module is not available"))
        << log.lines().first().toStdString();

    EXPECT_NE(LoadableModule(QStringLiteral("eds")).entry(makeEdsReaderEntry), nullptr);
    EXPECT_EQ(LoadableModule(QStringLiteral("eds")).entry("morvane_make_eds_reader_0"), nullptr);

    ModuleSoundPlayer silent(QStringLiteral("not-built"));
    EXPECT_EQ(silent.play(1.0), SoundPlayer::Outcome::noOutputDevice);
    EXPECT_EQ(silent.play(1.0), SoundPlayer::Outcome::noOutputDevice);
}

// Without a session bus the desktop's stores are absent: the answer comes without any store being
// read, and a reader finds them loaded, and empty, at once.
TEST(EvolutionDataServer, WithoutASessionBusTheStoresAreAbsentAndNothingIsLoaded)
{
    ScopedEnvironmentVariable noBus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    // A module that cannot load: nothing may ask for it.
    LogCapture log(QStringLiteral("morvane.Module"));
    EvolutionDataServer service(QStringLiteral("not-built"));
    std::promise<std::pair<EvolutionDataServer::Presence, EvolutionDataServer::Presence>> known;
    service.whenPresenceKnown([&known](auto calendars, auto contacts) {
        known.set_value({calendars, contacts});
    });
    auto answer = known.get_future();
    ASSERT_EQ(answer.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(answer.get(),
              std::pair(EvolutionDataServer::Presence::absent, EvolutionDataServer::Presence::absent));
    EXPECT_EQ(service.calendarPresence(), EvolutionDataServer::Presence::absent);

    EXPECT_TRUE(service.waitUntilLoaded(EvolutionDataServer::Load::everything, 10s));
    const auto snapshot = service.snapshot();
    EXPECT_TRUE(snapshot->calendarsLoaded && snapshot->cardsLoaded);
    EXPECT_TRUE(snapshot->events.isEmpty() && snapshot->cards.isEmpty());
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
}
