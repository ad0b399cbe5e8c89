#include "TestEnvironment.h"
#include "foundation/IsoDate.h"
#include "foundation/UserDefaults.h"

#include <QDir>
#include <QFile>
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
    return test::testHome() + QStringLiteral("/config/defaults.json");
}

TEST(UserDefaults, AValueOfAnotherTypeReadsAsAbsent)
{
    const auto defaults = UserDefaults::inMemory();
    defaults->setString(QStringLiteral("s"), QStringLiteral("2024-05-01T09:30:12.345Z"));
    defaults->setInteger(QStringLiteral("i"), 1);
    defaults->setBool(QStringLiteral("b"), true);
    defaults->setStringList(QStringLiteral("l"), {QStringLiteral("x")});

    EXPECT_FALSE(defaults->dateValue(QStringLiteral("s"))); // a string where a date is asked
    EXPECT_FALSE(defaults->boolValue(QStringLiteral("i"))); // a number where a bool is asked
    EXPECT_FALSE(defaults->integerValue(QStringLiteral("b")));
    EXPECT_FALSE(defaults->stringValue(QStringLiteral("l")));
    EXPECT_FALSE(defaults->stringListValue(QStringLiteral("s")));
    EXPECT_FALSE(defaults->dataValue(QStringLiteral("s")));
    EXPECT_EQ(defaults->doubleValue(QStringLiteral("i")), 1.0); // a double read accepts an integer
    EXPECT_FALSE(defaults->stringValue(QStringLiteral("missing")));
}

TEST(UserDefaults, SurvivesARestartWithEveryType)
{
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1714555812345, Qt::UTC);
    {
        UserDefaults defaults(defaultsPath());
        defaults.setBool(QStringLiteral("b"), false);
        defaults.setInteger(QStringLiteral("i"), 9007199254740993LL);
        defaults.setDouble(QStringLiteral("d"), 2.5);
        defaults.setString(QStringLiteral("s"), QStringLiteral("Ünïcødé"));
        defaults.setStringList(QStringLiteral("l"), {QStringLiteral("/a")});
        defaults.setDate(QStringLiteral("t"), date);
        defaults.setData(QStringLiteral("x"), QByteArray("\0\1\2", 3));
        defaults.setString(QStringLiteral("gone"), QStringLiteral("soon"));
        defaults.remove(QStringLiteral("gone"));
    }
    UserDefaults reread(defaultsPath());
    EXPECT_EQ(reread.boolValue(QStringLiteral("b")), false);
    EXPECT_EQ(reread.integerValue(QStringLiteral("i")), 9007199254740993LL);
    EXPECT_FALSE(reread.integerValue(QStringLiteral("d")));
    EXPECT_EQ(reread.doubleValue(QStringLiteral("d")), 2.5);
    EXPECT_EQ(reread.stringValue(QStringLiteral("s")), QStringLiteral("Ünïcødé"));
    EXPECT_EQ(reread.stringListValue(QStringLiteral("l")), QStringList{QStringLiteral("/a")});
    EXPECT_EQ(reread.dateValue(QStringLiteral("t")), date);
    EXPECT_EQ(reread.dataValue(QStringLiteral("x")), QByteArray("\0\1\2", 3));
    EXPECT_FALSE(reread.contains(QStringLiteral("gone")));
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
    EXPECT_EQ(files, QStringList{QStringLiteral("defaults.json")});
    UserDefaults reread(defaultsPath());
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(reread.integerValue(QStringLiteral("key%1").arg(t)), 49);
}

TEST(UserDefaults, AnnouncesTheKeyOnceTheNewValueIsReadable)
{
    const auto defaults = UserDefaults::inMemory();
    QStringList seen;
    QObject::connect(defaults.get(), &UserDefaults::changed, [&](const QString& key) {
        seen.append(key + QLatin1Char('=') + defaults->stringValue(key).value_or(QStringLiteral("-")));
    });
    defaults->setString(QStringLiteral("a"), QStringLiteral("1"));
    defaults->setString(QStringLiteral("a"), QStringLiteral("1"));
    defaults->remove(QStringLiteral("a"));
    defaults->remove(QStringLiteral("never set"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("a=1"), QStringLiteral("a=1"), QStringLiteral("a=-")}));
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
    std::thread first([&] { defaults.setInteger(QStringLiteral("k"), 1); });
    {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return stalled; });
    }
    auto read = std::async(std::launch::async, [&] { return defaults.integerValue(QStringLiteral("k")); });
    const bool readWhileWriting = read.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!readWhileWriting)
        release(); // fail below instead of hanging
    // A later change made while the earlier file is still being written.
    std::thread second([&] { defaults.setInteger(QStringLiteral("k"), 2); });
    for (int i = 0; i < 100000 && defaults.integerValue(QStringLiteral("k")) != 2; ++i)
        std::this_thread::yield();
    release();
    first.join();
    second.join();

    EXPECT_TRUE(readWhileWriting);
    EXPECT_EQ(read.get(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(onDisk).object().value(QStringLiteral("k")).toInt(), 2);
}

TEST(UserDefaults, AnUnreadableFileIsSetAsideNotOverwritten)
{
    QDir().mkpath(QFileInfo(defaultsPath()).absolutePath());
    QFile file(defaultsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ half");
    file.close();

    UserDefaults defaults(defaultsPath());
    EXPECT_FALSE(defaults.contains(QStringLiteral("x")));
    defaults.setBool(QStringLiteral("x"), true);
    QFile aside(defaultsPath() + QStringLiteral(".unreadable"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), QByteArray("{ half"));
}

} // namespace
