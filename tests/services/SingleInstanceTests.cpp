#include "LogCapture.h"
#include "TestEnvironment.h"

#include "foundation/LocalSocket.h"
#include "services/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

QByteArray be32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray delivery(const QList<QByteArray>& urls)
{
    QByteArray message = be32(quint32(urls.size()));
    for (const QByteArray& url : urls)
        message += be32(quint32(url.size())) + url;
    return message;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    QString folder = testHome() + "/runtime";
    // A connection closed within closedAfter's wait was refused, not timed out.
    SingleInstance::Limits limits{4, 100, 60s};
    SingleInstance primary{{folder}, limits};
    QList<QStringList> received;

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(folder));
        QObject::connect(&primary, &SingleInstance::urlsReceived,
                         [this](const QStringList& urls) { received.append(urls); });
    }

    void becomePrimary()
    {
        ASSERT_EQ(primary.claim({}), SingleInstance::Role::primary);
        ASSERT_TRUE(primary.listen());
    }

    // Sends raw bytes as a hostile client would; true when the listener closed the connection.
    static bool closedAfter(const QByteArray& bytes, const SingleInstance& listener)
    {
        const auto socket =
            LocalSocket::connectTo(listener.socketPath(), std::chrono::steady_clock::now() + 2s);
        if (!socket || !socket->writeNow(bytes))
            return false;
        socket->watch();
        QSignalSpy closed(socket.get(), &LocalSocket::disconnected);
        return closed.wait(5000);
    }

    bool waitForDeliveries(qsizetype count)
    {
        return QTest::qWaitFor([&] { return received.size() >= count; }, 5000);
    }
};

// Claims from another thread while this one serves, as a second process would.
SingleInstance::Role claimAside(SingleInstance& later, const QStringList& urls,
                                std::chrono::milliseconds patience = 4s)
{
    std::future<SingleInstance::Role> claiming =
        std::async(std::launch::async, [&] { return later.claim(urls, patience); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return claiming.wait_for(0s) == std::future_status::ready; }, 20000));
    return claiming.get();
}

TEST_F(SingleInstanceTest, ALaterLaunchHandsItsUrlsToTheFirstInOrder)
{
    becomePrimary();
    SingleInstance later({folder}, limits);
    EXPECT_EQ(claimAside(later, {"morvane://open/a", "morvane://open/é"}), SingleInstance::Role::forwarded);
    ASSERT_TRUE(waitForDeliveries(1));
    EXPECT_EQ(received[0], (QStringList{"morvane://open/a", "morvane://open/é"}));

    // Beyond the limits, URLs are dropped before they are sent.
    SingleInstance crowded({folder}, limits);
    EXPECT_EQ(claimAside(crowded, {"1", QString(101, u'x'), "2", "3", "4", "5"}),
              SingleInstance::Role::forwarded);
    ASSERT_TRUE(waitForDeliveries(2));
    EXPECT_EQ(received[1], (QStringList{"1", "2", "3", "4"}));

    // Once the first has closed, the next launch takes over.
    primary.close();
    SingleInstance next({folder}, limits);
    EXPECT_EQ(next.claim({}), SingleInstance::Role::primary);
}

TEST_F(SingleInstanceTest, AHostileClientIsCutOffAndTheListenerKeepsServing)
{
    becomePrimary();
    const QByteArray tooLong(101, 'x');
    for (const QByteArray& refused : {
             be32(5),                                       // too many URLs
             be32(1) + be32(101) + tooLong,                 // a URL too long
             be32(1) + be32(0xffffffff),                    // a wild length
             be32(1) + be32(0),                             // an empty URL
             be32(1) + be32(2) + QByteArray("\xff\xfe", 2), // not UTF-8
         })
        EXPECT_TRUE(closedAfter(refused, primary)) << refused.toHex().toStdString();
    EXPECT_TRUE(received.isEmpty());

    // A client that stops halfway is cut off once its time is up.
    SingleInstance strict({testHome() + "/strict"}, {4, 100, 200ms});
    ASSERT_TRUE(QDir().mkpath(testHome() + "/strict"));
    ASSERT_EQ(strict.claim({}), SingleInstance::Role::primary);
    ASSERT_TRUE(strict.listen());
    EXPECT_TRUE(closedAfter(be32(2) + be32(3) + "abc", strict));
    EXPECT_TRUE(closedAfter(QByteArray("\x00\x00", 2), strict));

    // Bytes after a complete delivery are ignored; the delivery itself counts.
    EXPECT_TRUE(closedAfter(delivery({"morvane://open/b"}) + "garbage", primary));
    ASSERT_TRUE(waitForDeliveries(1));
    EXPECT_EQ(received[0], QStringList{"morvane://open/b"});
}

TEST_F(SingleInstanceTest, AStaleSocketIsReplacedOnlyOnceTheLockIsOurs)
{
    // What a crashed process leaves: a socket file nobody listens on.
    const QByteArray socketPath = QFile::encodeName(primary.socketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);

    // While another process holds the lock, the socket is left alone and the launch gives up.
    const int holder = ::open(QFile::encodeName(primary.lockPath()).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    SingleInstance waiting({folder}, limits);
    EXPECT_EQ(waiting.claim({"morvane://open/c"}, 200ms), SingleInstance::Role::unanswered);
    EXPECT_TRUE(QFileInfo::exists(primary.socketPath()));
    ::close(holder);

    becomePrimary();
    SingleInstance later({folder}, limits);
    EXPECT_EQ(claimAside(later, {"morvane://open/c"}), SingleInstance::Role::forwarded);
    ASSERT_TRUE(waitForDeliveries(1));
}

TEST_F(SingleInstanceTest, ALaunchLeavesOnlyOnceTheRunningCopyAnsweredThatItTookTheUrls)
{
    becomePrimary();
    // This thread is busy, so the running copy is stalled: nothing answers, and the launch says so.
    SingleInstance stalled({folder}, limits);
    EXPECT_EQ(stalled.claim({"morvane://open/given-up"}, 300ms), SingleInstance::Role::unanswered);
    // When the copy comes back it finds the sender gone and drops what it sent, as it was told.
    SingleInstance next({folder}, limits);
    EXPECT_EQ(claimAside(next, {"morvane://open/next"}), SingleInstance::Role::forwarded);
    ASSERT_TRUE(waitForDeliveries(1));
    EXPECT_EQ(received, QList<QStringList>{{"morvane://open/next"}});

    // Idle clients holding every connection the copy accepts: unanswered until they are gone.
    std::vector<std::unique_ptr<LocalSocket>> idle(16);
    for (auto& client : idle)
        client = LocalSocket::connectTo(primary.socketPath(), std::chrono::steady_clock::now() + 2s);
    SingleInstance crowded({folder}, limits);
    EXPECT_EQ(claimAside(crowded, {"morvane://open/crowded"}, 300ms), SingleInstance::Role::unanswered);
    idle.clear();
    EXPECT_EQ(claimAside(crowded, {"morvane://open/crowded"}), SingleInstance::Role::forwarded);
    ASSERT_TRUE(waitForDeliveries(2));
}

TEST_F(SingleInstanceTest, ACopyThatCannotActOnLinksTakesNoneAndSaysWhy)
{
    becomePrimary();
    const QString reason = "Failed to launch Morvane: the library is unusable " + QString(3000, u'é');
    primary.refuse(reason);
    for (int launch = 0; launch < 3; ++launch) {
        SingleInstance later({folder}, limits);
        EXPECT_EQ(claimAside(later, {"morvane://open/x"}), SingleInstance::Role::refused);
        // Cut to what the answer carries, at a character's edge.
        EXPECT_TRUE(reason.startsWith(later.refusal()));
        EXPECT_GT(later.refusal().size(), 1000);
    }
    EXPECT_TRUE(received.isEmpty());
    // It keeps the lock: a later launch does not take over to fail the same way.
    SingleInstance next({folder}, limits);
    EXPECT_EQ(claimAside(next, {}), SingleInstance::Role::refused);
}

TEST_F(SingleInstanceTest, WhenTheRunningCopyDiesTheLaunchTakesOverWithItsUrls)
{
    // A copy that reads the URLs and closes without answering: while it holds the lock it may have
    // taken them, so they are not sent again; once its lock is free (it died) the launch takes over.
    LocalServer dying;
    ASSERT_TRUE(dying.listen(primary.socketPath()));
    int lock = ::open(QFile::encodeName(primary.lockPath()).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    bool dies = false;
    int connections = 0;
    QObject::connect(&dying, &LocalServer::newConnection, [&] {
        LocalSocket* socket = dying.nextPendingConnection();
        ++connections;
        QObject::connect(socket, &LocalSocket::readyRead, [&, socket] {
            if (dies)
                ::close(std::exchange(lock, -1));
            socket->abort();
        });
    });
    SingleInstance survivor({folder}, limits);
    EXPECT_EQ(claimAside(survivor, {"morvane://open/b"}, 500ms), SingleInstance::Role::unanswered);
    EXPECT_EQ(connections, 1);
    dies = true;
    EXPECT_EQ(claimAside(survivor, {"morvane://open/b"}), SingleInstance::Role::primary);
}

// Two probe processes claim at once, each in the folders given (separated by ":").
void expectOnePrimaryWithBothUrls(const QString& firstFolders, const QString& secondFolders)
{
    QProcess first, second;
    first.start(SINGLE_INSTANCE_PROBE, {firstFolders, "morvane://open/first"});
    second.start(SINGLE_INSTANCE_PROBE, {secondFolders, "morvane://open/second"});
    ASSERT_TRUE(first.waitForFinished(10000));
    ASSERT_TRUE(second.waitForFinished(10000));
    QStringList outputs{QString::fromUtf8(first.readAllStandardOutput()),
                        QString::fromUtf8(second.readAllStandardOutput())};
    outputs.sort(); // "forwarded" before "primary"
    EXPECT_EQ(outputs[0], "forwarded\n") << firstFolders.toStdString() << " " << secondFolders.toStdString();
    EXPECT_TRUE(outputs[1] == "primary\nmorvane://open/first\n" ||
                outputs[1] == "primary\nmorvane://open/second\n")
        << outputs[1].toStdString();
}

TEST(SingleInstanceRace, TwoLaunchesAtOnceEndWithOnePrimaryThatHasBothUrls)
{
    for (int round = 0; round < 5; ++round) {
        const QString folder = testHome() + QStringLiteral("/race%1").arg(round);
        ASSERT_TRUE(QDir().mkpath(folder));
        expectOnePrimaryWithBothUrls(folder, folder);
    }
}

// Launches whose sessions name different runtime folders, or none, at once: each takes a lock in a
// different folder first, and only one of them gives way.
TEST(SingleInstanceRace, LaunchesThatSeeDifferentFoldersStillEndWithOnePrimary)
{
    for (int round = 0; round < 6; ++round) {
        const QString base = testHome() + QStringLiteral("/race%1").arg(round);
        for (const char* folder : {"/runtime", "/other", "/fallback"})
            ASSERT_TRUE(QDir().mkpath(base + folder));
        const QString without = base + "/fallback";
        const QString with = base + "/runtime:" + without;
        const QString another = base + "/other:" + without;
        switch (round % 3) {
        case 0:
            expectOnePrimaryWithBothUrls(without, with);
            break;
        case 1:
            expectOnePrimaryWithBothUrls(with, without);
            break;
        default:
            expectOnePrimaryWithBothUrls(with, another);
        }
    }
}

TEST(SingleInstanceFolder, OnlyAFolderOfOursAloneHoldsTheLockAndTheFallbackIsMadeSo)
{
    // TMPDIR is put back: the next test's home is made there.
    const ScopedEnvironmentVariable temporary("TMPDIR", QFile::encodeName(testHome()));
    const QString fallback = testHome() + "/morvane-" + QString::number(geteuid());
    EXPECT_EQ(SingleInstance::fallbackFolder(), fallback);
    const QString runtime = testHome() + "/runtime";
    ASSERT_TRUE(QDir().mkpath(runtime));
    const ScopedEnvironmentVariable runtimeVariable("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const auto setMode = [](const QString& path, mode_t mode) {
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    };

    // Only a runtime folder nobody else may write into comes before the fallback. One that others
    // may write into (a shared 1777 folder) would let them take the lock and be handed every link: it
    // is only looked at, for a copy that took the lock there before it was opened.
    for (const auto& [mode, used] : {std::pair{mode_t(0700), true},
                                     {mode_t(0755), true},
                                     {mode_t(01777), false},
                                     {mode_t(0770), false}}) {
        setMode(runtime, mode);
        const SingleInstancePlaces places = SingleInstance::placesFor(runtime, fallback);
        EXPECT_EQ(places.folders, (used ? QStringList{runtime, fallback} : QStringList{fallback}))
            << std::oct << mode;
        EXPECT_EQ(places.elsewhere, (used ? QStringList{} : QStringList{runtime})) << std::oct << mode;
    }
    EXPECT_EQ(SingleInstance::placesFor(testHome() + "/gone", fallback).folders, QStringList{fallback});
    EXPECT_EQ(SingleInstance::placesFor(testHome() + "/gone", fallback).elsewhere, QStringList{});
    setMode(runtime, 0700);
    EXPECT_EQ(SingleInstance::defaultPlaces().folders, (QStringList{runtime, fallback}));

    // The fallback is made user-only when the lock first needs it.
    SingleInstance instance({fallback});
    ASSERT_EQ(instance.claim({}), SingleInstance::Role::primary);
    EXPECT_EQ(QFileInfo(fallback).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    instance.close();
}

TEST(SingleInstanceFolder, ALockThatCannotBeTakenInTheRuntimeFolderIsTakenInTheFallbackElseNobodyRuns)
{
    const QString runtime = testHome() + "/runtime", fallback = testHome() + "/fallback";
    ASSERT_TRUE(QDir().mkpath(runtime));
    // A lock file that is a link: following it would put the lock where the link's maker can hold it.
    ASSERT_TRUE(QFile::link(testHome() + "/elsewhere", runtime + "/morvane.lock"));
    SingleInstance first({runtime, fallback});
    ASSERT_EQ(first.claim({}), SingleInstance::Role::primary);
    EXPECT_EQ(first.lockPath(), fallback + "/morvane.lock");
    ASSERT_TRUE(first.listen());
    QStringList received;
    QObject::connect(&first, &SingleInstance::urlsReceived,
                     [&](const QStringList& urls) { received += urls; });
    // A second launch finds it there: one copy, not two on the same library.
    SingleInstance second({runtime, fallback});
    EXPECT_EQ(claimAside(second, {"morvane://open/x"}), SingleInstance::Role::forwarded);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000));
    first.close();

    // When neither folder yields the lock, the launch is told why and must not run.
    ASSERT_EQ(::chmod(QFile::encodeName(fallback).constData(), 0777), 0);
    SingleInstance stranded({runtime, fallback});
    EXPECT_EQ(stranded.claim({}), SingleInstance::Role::failed);
    EXPECT_TRUE(stranded.failure().contains(runtime + "/morvane.lock: a symbolic link"))
        << stranded.failure().toStdString();
    EXPECT_TRUE(stranded.failure().contains(fallback + ": others may write into the folder"))
        << stranded.failure().toStdString();
    SingleInstance nowhere({testHome() + "/missing/deeper"});
    EXPECT_EQ(nowhere.claim({}), SingleInstance::Role::failed);
    EXPECT_FALSE(nowhere.failure().isEmpty());
}

// A copy started while the runtime folder was missing runs in the fallback; the runtime folder is made
// later (the toolkit makes it), and a later launch that takes the lock there still finds the copy.
TEST(SingleInstanceFolder, ALaunchFindsACopyThatStartedWithoutTheRuntimeFolder)
{
    const QString runtime = testHome() + "/runtime", fallback = testHome() + "/fallback";
    SingleInstance running({fallback});
    ASSERT_EQ(running.claim({}), SingleInstance::Role::primary);
    ASSERT_TRUE(running.listen());
    ASSERT_TRUE(QDir().mkpath(runtime));
    SingleInstance launch({runtime, fallback});
    EXPECT_EQ(claimAside(launch, {"morvane://open/x"}), SingleInstance::Role::forwarded);
    // Nothing was kept: once the copy is gone, a launch takes over in the runtime folder.
    running.close();
    SingleInstance next({runtime, fallback});
    EXPECT_EQ(next.claim({}), SingleInstance::Role::primary);
    EXPECT_EQ(next.lockPath(), runtime + "/morvane.lock");
}

// A copy started in one session's runtime folder, and a later launch that can no longer use it or
// does not know it: the launch hands over, and once the copy is gone it takes over itself.
TEST(SingleInstanceFolder, ALaterLaunchFindsTheCopyInAFolderItCannotOrDoesNotUse)
{
    const QString runtime = testHome() + "/runtime", other = testHome() + "/other",
                  fallback = testHome() + "/fallback", otherFallback = testHome() + "/other-fallback";
    struct Case {
        const char* name;
        QString launchRuntime;
        bool opened;  // the copy's runtime folder made writable by others after it started
        bool removed; // the copy's runtime folder removed and made again (a logout and a login)
        QString launchFallback;
    };
    for (const Case& c : {
             Case{"the runtime folder was opened to others", runtime, true, false, fallback},
             Case{"the launch has no runtime folder", {}, false, false, fallback},
             Case{"the launch has another runtime folder", other, false, false, fallback},
             Case{"the runtime folder was removed", runtime, false, true, fallback},
             Case{"the runtime folder was opened and the launch has another fallback", runtime, true, false,
                  otherFallback},
         }) {
        SCOPED_TRACE(c.name);
        for (const QString& folder : {runtime, other})
            ASSERT_TRUE(QDir().mkpath(folder));
        SingleInstance copy(SingleInstance::placesFor(runtime, fallback));
        ASSERT_EQ(copy.claim({}), SingleInstance::Role::primary);
        ASSERT_TRUE(copy.listen());
        QStringList received;
        QObject::connect(&copy, &SingleInstance::urlsReceived,
                         [&](const QStringList& urls) { received += urls; });
        if (c.opened) {
            ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 01777), 0);
        }
        if (c.removed) {
            ASSERT_TRUE(QDir(runtime).removeRecursively());
            ASSERT_TRUE(QDir().mkpath(runtime));
        }

        const SingleInstancePlaces places = SingleInstance::placesFor(c.launchRuntime, c.launchFallback);
        SingleInstance launch(places);
        EXPECT_EQ(claimAside(launch, {"morvane://open/x"}), SingleInstance::Role::forwarded);
        EXPECT_TRUE(QTest::qWaitFor([&] { return received == QStringList{"morvane://open/x"}; }, 5000));

        copy.close();
        SingleInstance next(places);
        EXPECT_EQ(next.claim({}), SingleInstance::Role::primary);
        next.close();
        for (const QString& folder : {runtime, other, fallback, otherFallback})
            ASSERT_TRUE(QDir(folder).removeRecursively());
    }
}

// Where this launch may not take the lock, a held lock counts only when nobody else could have made
// it look held, and the copy is handed links only when its listener runs as this user.
TEST(SingleInstanceFolder, ALockInAFolderOthersMayWriteIntoCountsOnlyWhenItIsOursAlone)
{
    const QString shared = testHome() + "/shared", fallback = testHome() + "/fallback";
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
    const SingleInstancePlaces places = SingleInstance::placesFor(shared, fallback);
    ASSERT_EQ(places.elsewhere, QStringList{shared});
    const QByteArray lockPath = QFile::encodeName(shared + "/morvane.lock");

    // A lock file anyone may open, held: anyone could hold it.
    const int open = ::open(lockPath.constData(), O_RDWR | O_CREAT, 0666);
    ASSERT_EQ(::fchmod(open, 0666), 0);
    ASSERT_EQ(::flock(open, LOCK_EX | LOCK_NB), 0);
    {
        SingleInstance launch(places);
        EXPECT_EQ(launch.claim({}, 300ms), SingleInstance::Role::primary);
        EXPECT_EQ(launch.lockPath(), fallback + "/morvane.lock");
    }
    ::close(open);
    ASSERT_EQ(::unlink(lockPath.constData()), 0);

    // Our own lock, held, but another user listening in the copy's place.
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    ASSERT_EQ(::chmod(QFile::encodeName(testHome()).constData(), 0711), 0);
    const int ours = ::open(lockPath.constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(ours, LOCK_EX | LOCK_NB), 0);
    QProcess listener;
    listener.start(SINGLE_INSTANCE_PROBE, {"--listen-as", "65534", shared + "/morvane.socket"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return listener.readAllStandardOutput().contains("listening"); }, 5000))
        << listener.readAllStandardError().toStdString();
    SingleInstance launch(places);
    EXPECT_EQ(launch.claim({"morvane://open/x"}, 300ms), SingleInstance::Role::blocked);
    EXPECT_EQ(launch.failure(), shared + "/morvane.socket is answered by another user");
    listener.kill();
    listener.waitForFinished();
    ::close(ours);
}

// Two sessions of one user that share no folder (another user took the fallback's name first): the lock
// beside the library keeps the second off it, and names where the first listens.
TEST(SingleInstanceLibrary, ALaunchSharingNoFolderIsHandedToTheCopyOnItsLibraryOrTurnedAway)
{
    const QString library = testHome() + "/data/Morvane", first = testHome() + "/first",
                  second = testHome() + "/second";
    for (const QString& folder : {first, second})
        ASSERT_TRUE(QDir().mkpath(folder));
    const auto placesIn = [&](const QString& folder) { return SingleInstancePlaces{{folder}, {}, library}; };
    SingleInstance copy(placesIn(first));
    ASSERT_EQ(copy.claim({}), SingleInstance::Role::primary);
    // The library's folder is made user-only; the lock is a file of its own, closed to others.
    EXPECT_EQ(QFileInfo(library).permissions() & 0x0077, 0);
    EXPECT_EQ(QFileInfo(library + "/Morvane.lock").permissions() & 0x0077, 0);

    // Not listening yet: the launch waits for it as long as it may, then names the library.
    SingleInstance early(placesIn(second));
    EXPECT_EQ(early.claim({"morvane://open/x"}, 200ms), SingleInstance::Role::occupied);
    EXPECT_EQ(early.failure(), library + "/Morvane.sqlite");
    EXPECT_EQ(early.lockPath(), second + "/morvane.lock");

    ASSERT_TRUE(copy.listen());
    QStringList received;
    QObject::connect(&copy, &SingleInstance::urlsReceived,
                     [&](const QStringList& urls) { received += urls; });
    SingleInstance launch(placesIn(second));
    EXPECT_EQ(claimAside(launch, {"morvane://open/x"}), SingleInstance::Role::forwarded);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received == QStringList{"morvane://open/x"}; }, 5000));

    // A folder that is no longer this user's alone, and one named by another computer sharing the home,
    // are never handed anything.
    ASSERT_EQ(::chmod(QFile::encodeName(first).constData(), 01777), 0);
    SingleInstance opened(placesIn(second));
    EXPECT_EQ(opened.claim({"morvane://open/y"}, 200ms), SingleInstance::Role::occupied);
    ASSERT_EQ(::chmod(QFile::encodeName(first).constData(), 0700), 0);
    QFile lock(library + "/Morvane.lock");
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    const QByteArray named = lock.readAll();
    ASSERT_TRUE(named.contains(QFile::encodeName(first)));
    ASSERT_TRUE(lock.seek(0) && lock.resize(0));
    lock.write(QByteArray(named).replace(QSysInfo::machineHostName().toUtf8(), "another-computer"));
    lock.close();
    SingleInstance remote(placesIn(second));
    EXPECT_EQ(remote.claim({"morvane://open/z"}, 200ms), SingleInstance::Role::occupied);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, QStringList{"morvane://open/x"});

    // Once the copy is gone, a launch takes over, and names its own folders.
    copy.close();
    SingleInstance next(placesIn(second));
    EXPECT_EQ(next.claim({}), SingleInstance::Role::primary);
    ASSERT_TRUE(next.listen());
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    EXPECT_FALSE(lock.readAll().contains(QFile::encodeName(first)));
}

// A lock beside the library that cannot be taken refuses the launch with the reason; a library folder
// that cannot be made holds no library either, and is left to the library's opening to tell.
TEST(SingleInstanceLibrary, ALibraryLockThatCannotBeTakenRefusesTheLaunch)
{
    const QString folder = testHome() + "/runtime", library = testHome() + "/data";
    ASSERT_TRUE(QDir().mkpath(library));
    ASSERT_TRUE(QFile::link(testHome() + "/elsewhere", library + "/Morvane.lock"));
    SingleInstance linked(SingleInstancePlaces{{folder}, {}, library});
    EXPECT_EQ(linked.claim({}), SingleInstance::Role::failed);
    EXPECT_EQ(linked.failure(), library + "/Morvane.lock: a symbolic link");
    EXPECT_FALSE(QFileInfo::exists(testHome() + "/elsewhere"));
    // Nothing of the launch is kept: the folders' locks are free again.
    SingleInstance plain({folder});
    EXPECT_EQ(plain.claim({}), SingleInstance::Role::primary);
    plain.close();

    QFile blocker(testHome() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SingleInstance unmade(SingleInstancePlaces{{folder}, {}, blocker.fileName() + "/Morvane"});
    EXPECT_EQ(unmade.claim({}), SingleInstance::Role::primary);
}

TEST_F(SingleInstanceTest, SomethingOtherThanASocketAtItsPathIsNamedOnBothSides)
{
    ASSERT_TRUE(QDir().mkpath(primary.socketPath()));
    ASSERT_EQ(primary.claim({}), SingleInstance::Role::primary);
    {
        const LogCapture log("morvane.SingleInstance");
        EXPECT_FALSE(primary.listen());
        EXPECT_EQ(log.lines(), QStringList{"Cannot listen for other launches: " + primary.socketPath() +
                                           " is a folder, not a socket"});
    }
    SingleInstance later({folder}, limits);
    // At once, not after the wait for a copy that has not started listening yet.
    EXPECT_EQ(later.claim({"morvane://open/x"}, 20s), SingleInstance::Role::blocked);
    EXPECT_EQ(later.failure(), primary.socketPath() + " is a folder, not a socket");
}

} // namespace
