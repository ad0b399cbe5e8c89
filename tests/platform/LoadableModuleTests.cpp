#include "LogCapture.h"
#include "TestEnvironment.h"
#include "platform/EdsReader.h"
#include "platform/EvolutionDataServer.h"
#include "platform/LoadableModule.h"
#include "platform/ModuleSoundPlayer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>

#include <sys/stat.h>

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

    // The tree's own modules carry its identity.
    EXPECT_NE(LoadableModule(QStringLiteral("eds")).entry(makeEdsReaderEntry), nullptr);
    EXPECT_NE(LoadableModule(QStringLiteral("sound")).entry(makeSoundPlayerEntry), nullptr);
    EXPECT_EQ(LoadableModule(QStringLiteral("eds")).entry("morvane_make_eds_reader_1"), nullptr);

    ModuleSoundPlayer silent(QStringLiteral("not-built"));
    EXPECT_EQ(silent.play(1.0), SoundPlayer::Outcome::noOutputDevice);
    EXPECT_EQ(silent.play(1.0), SoundPlayer::Outcome::noOutputDevice);
}

// Only a whole module of this build is loaded. A module cut short (an interrupted copy) would crash the
// program when the loader maps past its end, a FIFO at its place would block the loader for good, and
// a module of another build would be called with this build's types (its own code even runs as it
// loads): each is "not available", said once with why, and nothing of it runs.
TEST(LoadableModule, AModuleCutShortAFifoOrOneOfAnotherBuildIsNotAvailable)
{
    const QString built =
        LoadableModule::folderFor(QCoreApplication::applicationFilePath()) + "/libmorvane-eds.so";
    const struct {
        const char* what;
        std::function<void(const QString& path)> place; // puts the module at path
        const char* why;
    } cases[] = {
        {"a module cut short",
         [&built](const QString& path) {
             ASSERT_TRUE(QFile::copy(built, path));
             QFile module(path);
             ASSERT_TRUE(module.resize(QFileInfo(built).size() / 2));
         },
         "is cut short"},
        {"a FIFO",
         [](const QString& path) { ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0); },
         "is not a regular file"},
        {"a module of another build",
         [](const QString& path) {
             ASSERT_TRUE(
                 QFile::copy(QStringLiteral(MORVANE_OTHER_BUILD_MODULE_DIR "/libmorvane-eds.so"), path));
         },
         "is of another build"},
        {"a file that is no module",
         [](const QString& path) {
             QFile text(path);
             ASSERT_TRUE(text.open(QIODevice::WriteOnly));
             text.write(QByteArray(4096, 'x'));
         },
         "is not a module for this computer"},
    };
    for (const auto& tried : cases) {
        SCOPED_TRACE(tried.what);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        tried.place(folder.filePath(QStringLiteral("libmorvane-eds.so")));
        if (testing::Test::HasFatalFailure())
            return;
        LogCapture log(QStringLiteral("morvane.Module"));
        LoadableModule module(QStringLiteral("eds"), folder.path());
        EXPECT_EQ(module.entry(makeEdsReaderEntry), nullptr);
        EXPECT_EQ(module.entry(makeEdsReaderEntry), nullptr);
        ASSERT_EQ(log.lines().size(), 1) << log.lines().join('\n').toStdString();
        EXPECT_TRUE(log.lines().first().contains(tried.why)) << log.lines().first().toStdString();
    }
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
