#include "TestEnvironment.h"

#include "foundation/LocalSocket.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

LocalSocket::Deadline in(std::chrono::milliseconds wait)
{
    return std::chrono::steady_clock::now() + wait;
}

class LocalSocketTest : public ::testing::Test {
protected:
    QString path = testHome() + "/test.socket";
    LocalServer server;

    void SetUp() override { ASSERT_TRUE(server.listen(path)) << server.errorString().toStdString(); }

    LocalSocket* accepted()
    {
        QSignalSpy arrived(&server, &LocalServer::newConnection);
        LocalSocket* socket = server.nextPendingConnection();
        if (!socket && arrived.wait(5000))
            socket = server.nextPendingConnection();
        return socket;
    }
};

TEST_F(LocalSocketTest, OnlyTheUserMayConnectAndClosingRemovesTheSocket)
{
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    // Nothing of the folder it was made in is left beside it.
    QStringList left = QDir(testHome()).entryList({".??????"}, QDir::Dirs | QDir::Hidden);
    left.removeAll(".config");
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();

    // A path that is taken is not taken over.
    LocalServer second;
    EXPECT_FALSE(second.listen(path));
    EXPECT_TRUE(second.errorString().contains("taken"));

    server.close();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(LocalSocket::connectTo(path, in(200ms)), nullptr);
}

TEST_F(LocalSocketTest, LargeMessagesArriveWholeThroughPartialReadsAndWrites)
{
    QByteArray message(3 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < message.size(); ++i)
        message[i] = char(i * 7 + i / 251);
    std::unique_ptr<LocalSocket> client = LocalSocket::connectTo(path, in(2s));
    ASSERT_TRUE(client);
    LocalSocket* peer = accepted();
    ASSERT_TRUE(peer);

    // More than the socket and the peer's buffer hold: the writer waits while the reader drains.
    std::future<bool> writing =
        std::async(std::launch::async, [&] { return client->writeAll(message, in(20s)); });
    QByteArray received;
    QObject::connect(peer, &LocalSocket::readyRead, [&] {
        for (QByteArray piece; !(piece = peer->read(1000)).isEmpty();)
            received += piece;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == message.size(); }, 20000));
    ASSERT_TRUE(writing.get());
    EXPECT_TRUE(received == message);

    // An answer sent in pieces is read as one.
    ASSERT_TRUE(peer->writeNow("ab"));
    std::future<std::optional<QByteArray>> reading =
        std::async(std::launch::async, [&] { return client->readExactly(4, in(5s)); });
    QTest::qWait(50);
    ASSERT_TRUE(peer->writeNow("cd"));
    EXPECT_EQ(reading.get(), QByteArray("abcd"));
}

TEST_F(LocalSocketTest, APeerThatGoesMidMessageIsToldFromOneThatIsSlow)
{
    std::unique_ptr<LocalSocket> client = LocalSocket::connectTo(path, in(2s));
    ASSERT_TRUE(client);
    LocalSocket* peer = accepted();
    ASSERT_TRUE(peer);

    // Slow: the time runs out and the connection stays open.
    ASSERT_TRUE(peer->writeNow("ab"));
    EXPECT_EQ(client->readExactly(4, in(100ms)), std::nullopt);
    EXPECT_TRUE(client->isOpen());

    // Gone halfway: what it sent is still read, then the end is reported, once.
    QSignalSpy gone(peer, &LocalSocket::disconnected);
    ASSERT_TRUE(client->writeAll("xyz", in(1s)));
    client.reset();
    ASSERT_TRUE(gone.wait(5000));
    EXPECT_EQ(peer->read(100), "xyz");
    EXPECT_TRUE(peer->peerClosed());
    EXPECT_FALSE(peer->isOpen());
    QTest::qWait(50);
    EXPECT_EQ(gone.size(), 1);

    std::unique_ptr<LocalSocket> reader = LocalSocket::connectTo(path, in(2s));
    LocalSocket* writer = accepted();
    ASSERT_TRUE(reader && writer);
    ASSERT_TRUE(writer->writeNow("ab"));
    writer->abort();
    EXPECT_EQ(reader->readExactly(4, in(5s)), std::nullopt);
    EXPECT_FALSE(reader->isOpen());
}

TEST(LocalSocketPaths, AStaleSocketIsRemovedAndAPathTooLongIsNamed)
{
    // What a process that died leaves: a socket file nobody listens on.
    const QString stale = testHome() + "/stale.socket";
    const QByteArray encoded = QFile::encodeName(stale);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    QString error;
    EXPECT_EQ(LocalSocket::connectTo(stale, in(1s), &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(LocalServer::removeStale(stale));
    EXPECT_TRUE(LocalServer::removeStale(stale)); // nothing there is fine too
    LocalServer server;
    ASSERT_TRUE(server.listen(stale));
    EXPECT_NE(LocalSocket::connectTo(stale, in(1s)), nullptr);

    const QString tooLong = testHome() + "/" + QString(120, u'a') + ".socket";
    LocalServer refused;
    EXPECT_FALSE(refused.listen(tooLong));
    EXPECT_TRUE(refused.errorString().contains(tooLong)) << refused.errorString().toStdString();
    EXPECT_EQ(LocalSocket::connectTo(tooLong, in(1s), &error), nullptr);
    EXPECT_TRUE(error.contains(tooLong)) << error.toStdString();
}

} // namespace
