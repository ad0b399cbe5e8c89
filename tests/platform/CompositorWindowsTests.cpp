#include "TestEnvironment.h"
#include "platform/CompositorWindows.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace morvane {
namespace {

using Sight = CompositorWindows::Sight;

// A sway session's tree, trimmed: the panel (X11 window 0x800003) floats on a workspace whose
// full-screen native window covers it; a terminal is tiled on another output, in sight.
const QByteArray tree = R"({"id": 1, "type": "root", "nodes": [
  {"id": 2, "type": "output", "nodes": [
    {"id": 3, "type": "workspace", "nodes": [
      {"id": 4, "type": "con", "app_id": "foot", "window": null, "visible": true, "fullscreen_mode": 1}],
     "floating_nodes": [
      {"id": 5, "type": "floating_con", "window": 8388611, "visible": false, "name": "Morvane"}]}]},
  {"id": 6, "type": "output", "nodes": [
    {"id": 7, "type": "workspace", "nodes": [
      {"id": 8, "type": "con", "window": 4194318, "visible": true, "name": "Terminal"}]}]}]})";

TEST(CompositorWindows, TheTreeSaysWhetherAWindowIsInSight)
{
    EXPECT_EQ(SwayCompositorWindows::sightInTree(tree, 0x800003), Sight::covered);
    EXPECT_EQ(SwayCompositorWindows::sightInTree(tree, 4194318), Sight::shown);
    // A window sway does not hold, and answers that are not trees, say nothing.
    EXPECT_EQ(SwayCompositorWindows::sightInTree(tree, 0x800004), Sight::unknown);
    EXPECT_EQ(SwayCompositorWindows::sightInTree(tree.left(tree.size() / 2), 0x800003), Sight::unknown);
    EXPECT_EQ(SwayCompositorWindows::sightInTree(R"({"window": 7, "visible": "no"})", 7), Sight::unknown);
    EXPECT_EQ(SwayCompositorWindows::sightInTree(R"([{"window": 7, "visible": false}])", 7), Sight::unknown);
}

// sway's side of one IPC connection: takes the request, then answers with reply (once released, when
// held back), or with nothing while it keeps the connection open.
class FakeSwaySocket {
public:
    explicit FakeSwaySocket(std::optional<QByteArray> reply, bool heldBack = false)
        : m_path(test::testHome() + QStringLiteral("/sway-ipc.sock"))
    {
        m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(m_path);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 1);
        if (!heldBack)
            release();
        m_thread = std::thread([this, reply, released = m_released.get_future()] {
            const int connection = ::accept(m_listener, nullptr, nullptr);
            char header[14];
            qsizetype got = 0;
            while (got < 14) {
                const ssize_t part = ::recv(connection, header + got, size_t(14 - got), 0);
                if (part <= 0)
                    break;
                got += part;
            }
            m_request = QByteArray(header, got);
            released.wait();
            if (reply) {
                QByteArray answer = m_request.left(6);
                const quint32 length = quint32(reply->size());
                const quint32 type = 4;
                answer.append(reinterpret_cast<const char*>(&length), 4);
                answer.append(reinterpret_cast<const char*>(&type), 4);
                answer.append(*reply);
                ::send(connection, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL);
            } else {
                // Held open until the asker gives up and closes its end.
                char rest;
                while (::recv(connection, &rest, 1, 0) > 0) {
                }
            }
            ::close(connection);
        });
    }
    ~FakeSwaySocket()
    {
        finish();
        ::close(m_listener);
        QFile::remove(m_path);
    }
    FakeSwaySocket(const FakeSwaySocket&) = delete;
    FakeSwaySocket& operator=(const FakeSwaySocket&) = delete;

    QString path() const { return m_path; }
    void release()
    {
        if (!m_isReleased.exchange(true))
            m_released.set_value();
    }
    // Once the connection ended: what was asked.
    QByteArray finish()
    {
        release();
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

private:
    QString m_path;
    int m_listener = -1;
    QByteArray m_request;
    std::promise<void> m_released;
    std::atomic<bool> m_isReleased = false;
    std::thread m_thread;
};

TEST(CompositorWindows, SwayIsAskedForItsTreeAndASilentOrMissingSwayAnswersUnknown)
{
    {
        FakeSwaySocket sway(tree);
        EXPECT_EQ(SwayCompositorWindows(sway.path()).sightOf(0x800003).result(), Sight::covered);
        // GET_TREE, with no payload.
        const quint32 zero = 0, getTree = 4;
        QByteArray expected("i3-ipc");
        expected.append(reinterpret_cast<const char*>(&zero), 4);
        expected.append(reinterpret_cast<const char*>(&getTree), 4);
        EXPECT_EQ(sway.finish(), expected);
    }
    {
        FakeSwaySocket silent(std::nullopt);
        EXPECT_EQ(SwayCompositorWindows(silent.path()).sightOf(0x800003).result(), Sight::unknown);
    }
    EXPECT_EQ(SwayCompositorWindows(test::testHome() + QStringLiteral("/none.sock")).sightOf(1).result(),
              Sight::unknown);

    const test::ScopedEnvironmentVariable noSway("SWAYSOCK", std::nullopt);
    const QFuture<Sight> unasked = sessionCompositorWindows()->sightOf(0x800003);
    ASSERT_TRUE(unasked.isFinished()) << "where nobody can be asked the answer is immediate";
    EXPECT_EQ(unasked.result(), Sight::unknown);
}

// sway is another process: the asker goes on while it is asked, and hears its answer later.
TEST(CompositorWindows, SwayIsAskedWithoutHoldingUpTheAsker)
{
    FakeSwaySocket sway(tree, true);
    const QFuture<Sight> sight = SwayCompositorWindows(sway.path()).sightOf(0x800003);
    sway.release();
    EXPECT_EQ(sight.result(), Sight::covered);
}

} // namespace
} // namespace morvane
