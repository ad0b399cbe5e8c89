#include "TestFiles.h"
#include "foundation/IsoDate.h"
#include "foundation/UserDefaults.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace morvane;

namespace {

QString defaultsPath()
{
    return test::testHome() + "/config/defaults.json";
}

TEST(UserDefaults, AValueOfAnotherTypeReadsAsAbsent)
{
    const auto defaults = UserDefaults::inMemory();
    defaults->setString("s", "2024-05-01T09:30:12.345Z");
    defaults->setInteger("i", 1);
    defaults->setBool("b", true);
    defaults->setStringList("l", {"x"});

    EXPECT_FALSE(defaults->dateValue("s")); // a string where a date is asked
    EXPECT_FALSE(defaults->boolValue("i")); // a number where a bool is asked
    EXPECT_FALSE(defaults->integerValue("b"));
    EXPECT_FALSE(defaults->stringValue("l"));
    EXPECT_FALSE(defaults->stringListValue("s"));
    EXPECT_FALSE(defaults->dataValue("s"));
    EXPECT_EQ(defaults->doubleValue("i"), 1.0); // a double read accepts an integer
    EXPECT_FALSE(defaults->stringValue("missing"));
}

TEST(UserDefaults, SurvivesARestartWithEveryType)
{
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1714555812345, Qt::UTC);
    {
        UserDefaults defaults(defaultsPath());
        defaults.setBool("b", false);
        defaults.setInteger("i", 9007199254740993LL);
        defaults.setDouble("d", 2.5);
        defaults.setString("s", "Ünïcødé");
        defaults.setStringList("l", {"/a"});
        defaults.setDate("t", date);
        defaults.setData("x", QByteArray("\0\1\2", 3));
        defaults.setString("gone", "soon");
        defaults.remove("gone");
    }
    UserDefaults reread(defaultsPath());
    EXPECT_EQ(reread.boolValue("b"), false);
    EXPECT_EQ(reread.integerValue("i"), 9007199254740993LL);
    EXPECT_FALSE(reread.integerValue("d"));
    EXPECT_EQ(reread.doubleValue("d"), 2.5);
    EXPECT_EQ(reread.stringValue("s"), "Ünïcødé");
    EXPECT_EQ(reread.stringListValue("l"), QStringList{"/a"});
    EXPECT_EQ(reread.dateValue("t"), date);
    EXPECT_EQ(reread.dataValue("x"), QByteArray("\0\1\2", 3));
    EXPECT_FALSE(reread.contains("gone"));
}

TEST(UserDefaults, NeverLeavesAHalfWrittenFile)
{
    UserDefaults defaults(defaultsPath());
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&defaults, t] {
            for (int i = 0; i < 50; ++i)
                defaults.setInteger(QStringLiteral("key%1").arg(t), i);
        });
    }
    for (auto& writer : writers)
        writer.join();

    // Only the finished file is in the folder: no temporary left beside it.
    const QStringList files = QDir(QFileInfo(defaultsPath()).absolutePath()).entryList(QDir::Files);
    EXPECT_EQ(files, QStringList{"defaults.json"});
    UserDefaults reread(defaultsPath());
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(reread.integerValue(QStringLiteral("key%1").arg(t)), 49);
}

TEST(UserDefaults, AnnouncesTheKeyOnceTheNewValueIsReadable)
{
    const auto defaults = UserDefaults::inMemory();
    QStringList seen;
    QObject::connect(defaults.get(), &UserDefaults::changed, [&](const QString& key) {
        seen.append(key + QLatin1Char('=') + defaults->stringValue(key).value_or("-"));
    });
    defaults->setString("a", "1");
    defaults->setString("a", "1");
    defaults->remove("a");
    defaults->remove("never set");
    EXPECT_EQ(seen, (QStringList{"a=1", "a=1", "a=-"}));
}

TEST(UserDefaults, ReadersDoNotWaitForTheDiskAndTheLastChangeEndsOnDisk)
{
    // The first write stalls until released, as a slow disk would.
    std::mutex mutex;
    std::condition_variable wake;
    bool stalled = false, released = false;
    int writes = 0;
    QByteArray onDisk;
    auto writer = [&](const QString&, const QByteArray& contents) {
        std::unique_lock lock(mutex);
        if (writes++ == 0) {
            stalled = true;
            wake.notify_all();
            wake.wait(lock, [&] { return released; });
        }
        onDisk = contents;
        return true;
    };
    const auto release = [&] {
        std::lock_guard lock(mutex);
        released = true;
        wake.notify_all();
    };
    UserDefaults defaults(defaultsPath(), writer);
    std::thread first([&] { defaults.setInteger("k", 1); });
    {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return stalled; });
    }
    auto read = std::async(std::launch::async, [&] { return defaults.integerValue("k"); });
    const bool readWhileWriting = read.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!readWhileWriting)
        release(); // fail below instead of hanging
    // A later change made while the earlier file is still being written.
    std::thread second([&] { defaults.setInteger("k", 2); });
    for (int i = 0; i < 100000 && defaults.integerValue("k") != 2; ++i)
        std::this_thread::yield();
    release();
    first.join();
    second.join();

    EXPECT_TRUE(readWhileWriting);
    EXPECT_EQ(read.get(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(onDisk).object().value("k").toInt(), 2);
}

TEST(UserDefaults, DeferredChangesAreReadableAtOnceAndWrittenTogetherOnResumeOrDestruction)
{
    QList<QByteArray> written;
    auto writer = [&](const QString&, const QByteArray& contents) {
        written.append(contents);
        return true;
    };
    {
        UserDefaults defaults(defaultsPath(), writer);
        defaults.deferWrites();
        defaults.setString("id", "first");
        defaults.setInteger("k", 1);
        defaults.remove("k");
        EXPECT_EQ(defaults.stringValue("id"), "first");
        EXPECT_TRUE(written.isEmpty());
        defaults.resumeWrites();
        ASSERT_EQ(written.size(), 1);
        EXPECT_EQ(QJsonDocument::fromJson(written.last()).object(), QJsonObject({{"id", "first"}}));
        defaults.resumeWrites();     // nothing held: nothing written
        defaults.setInteger("k", 2); // written at once again
        EXPECT_EQ(written.size(), 2);

        defaults.deferWrites();
        defaults.setInteger("k", 3);
    }
    // A store destroyed while holding writes them.
    ASSERT_EQ(written.size(), 3);
    EXPECT_EQ(QJsonDocument::fromJson(written.last()).object().value("k").toInt(), 3);
}

TEST(UserDefaults, AnUnreadableFileIsSetAsideNotOverwritten)
{
    UserDefaults defaults(test::writeFile(defaultsPath(), "{ half"));
    EXPECT_FALSE(defaults.contains("x"));
    defaults.setBool("x", true);
    QFile aside(defaultsPath() + ".unreadable");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), QByteArray("{ half"));
}

} // namespace
