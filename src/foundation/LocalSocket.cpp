#include "LocalSocket.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace morvane {

namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// What a watched socket keeps unread before it stops taking more from the peer.
constexpr qsizetype bufferLimit = 64 * 1024;
// Connections waiting to be accepted before the kernel refuses more.
constexpr int backlog = 50;
// Between two tries to connect to a listener whose queue is full.
constexpr milliseconds connectRetry{10};

int remainingMs(LocalSocket::Deadline deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count();
    return int(std::clamp<qint64>(left, 0, std::numeric_limits<int>::max()));
}

// The address of path, or the reason it cannot be one.
std::optional<sockaddr_un> addressOf(const QByteArray& path, QString* error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path) {
        if (error) {
            *error =
                QStringLiteral("The socket path is %1 bytes long, the most a socket address holds is %2: %3")
                    .arg(path.size())
                    .arg(sizeof address.sun_path - 1)
                    .arg(QFile::decodeName(path));
        }
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return address;
}

int newSocket()
{
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

} // namespace

LocalSocket::LocalSocket(int fd, QObject* parent)
    : QObject(parent)
    , m_fd(fd)
{
}

LocalSocket::~LocalSocket()
{
    abort();
}

std::unique_ptr<LocalSocket> LocalSocket::connectTo(const QString& path, Deadline deadline, QString* error)
{
    const std::optional<sockaddr_un> address = addressOf(QFile::encodeName(path), error);
    if (!address)
        return nullptr;
    for (;;) {
        const int fd = newSocket();
        if (fd < 0)
            break;
        auto socket = std::make_unique<LocalSocket>(fd);
        int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
        while (result != 0 && errno == EINTR)
            result = ::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
        if (result == 0)
            return socket;
        if (errno == EINPROGRESS) {
            int failure = 0;
            socklen_t length = sizeof failure;
            if (!socket->wait(POLLOUT, deadline)) {
                errno = ETIMEDOUT;
                break;
            }
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) == 0 && failure == 0)
                return socket;
            errno = failure;
            break;
        }
        // The listener's queue is full: it is there, only busy.
        if (errno != EAGAIN || SteadyClock::now() >= deadline)
            break;
        socket.reset();
        QThread::msleep(std::min<qint64>(connectRetry.count(), remainingMs(deadline)));
    }
    if (error)
        *error = qt_error_string(errno);
    return nullptr;
}

bool LocalSocket::wait(short events, Deadline deadline)
{
    pollfd entry{m_fd.get(), events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready >= 0 || errno != EINTR)
            return ready > 0;
    }
}

bool LocalSocket::writeAll(const QByteArray& bytes, Deadline deadline)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        if (!isOpen())
            return false;
        const ssize_t sent =
            ::send(m_fd.get(), bytes.constData() + written, size_t(bytes.size() - written), MSG_NOSIGNAL);
        if (sent > 0) {
            written += sent;
        } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (errno == EAGAIN && !wait(POLLOUT, deadline))
                return false;
        } else {
            m_peerClosed = true; // EPIPE, ECONNRESET: the reader is gone
            return false;
        }
    }
    return true;
}

std::optional<QByteArray> LocalSocket::readExactly(qint64 size, Deadline deadline)
{
    QByteArray bytes = read(size);
    while (bytes.size() < size) {
        if (m_fd.get() < 0)
            return std::nullopt;
        char chunk[4096];
        const ssize_t got =
            ::recv(m_fd.get(), chunk, size_t(std::min<qint64>(size - bytes.size(), sizeof chunk)), 0);
        if (got > 0) {
            bytes.append(chunk, got);
        } else if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (errno == EAGAIN && !wait(POLLIN, deadline))
                return std::nullopt;
        } else {
            m_peerClosed = true;
            return std::nullopt;
        }
    }
    return bytes;
}

void LocalSocket::watch()
{
    if (m_notifier || m_fd.get() < 0)
        return;
    m_notifier = new QSocketNotifier(qintptr(m_fd.get()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LocalSocket::receive);
}

void LocalSocket::receive()
{
    bool arrived = false;
    while (m_fd.get() >= 0 && !m_peerClosed && m_buffer.size() < bufferLimit) {
        const qsizetype before = m_buffer.size();
        m_buffer.resize(bufferLimit);
        const ssize_t got = ::recv(m_fd.get(), m_buffer.data() + before, size_t(bufferLimit - before), 0);
        m_buffer.resize(before + std::max<ssize_t>(got, 0));
        if (got > 0)
            arrived = true;
        else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            m_peerClosed = true;
        else if (errno == EAGAIN)
            break;
    }
    // Full: the peer waits until read() makes room.
    if (m_notifier && (m_peerClosed || m_buffer.size() >= bufferLimit))
        m_notifier->setEnabled(false);
    const QPointer<LocalSocket> alive(this);
    if (arrived)
        emit readyRead();
    if (alive && m_fd.get() >= 0 && m_peerClosed)
        emit disconnected();
}

QByteArray LocalSocket::read(qint64 maximum)
{
    const qsizetype taken = qsizetype(std::min<qint64>(maximum, m_buffer.size()));
    QByteArray bytes = m_buffer.first(taken);
    m_buffer.remove(0, taken);
    if (m_notifier && m_fd.get() >= 0 && !m_peerClosed && m_buffer.size() < bufferLimit)
        m_notifier->setEnabled(true);
    return bytes;
}

bool LocalSocket::writeNow(const QByteArray& bytes)
{
    qsizetype written = 0;
    while (isOpen() && written < bytes.size()) {
        const ssize_t sent =
            ::send(m_fd.get(), bytes.constData() + written, size_t(bytes.size() - written), MSG_NOSIGNAL);
        if (sent > 0)
            written += sent;
        else if (sent < 0 && errno != EINTR)
            break;
    }
    return written == bytes.size();
}

bool LocalSocket::peerClosed()
{
    if (m_fd.get() < 0)
        return true;
    if (!m_buffer.isEmpty() || m_peerClosed)
        return m_buffer.isEmpty();
    char next = 0;
    return ::recv(m_fd.get(), &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

void LocalSocket::abort()
{
    if (m_notifier)
        m_notifier->setEnabled(false); // before the descriptor goes, whose number may be reused
    m_fd.reset();
}

LocalServer::LocalServer(QObject* parent)
    : QObject(parent)
{
}

LocalServer::~LocalServer()
{
    close();
}

bool LocalServer::removeStale(const QString& path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

QString LocalServer::occupantProblem(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || S_ISSOCK(status.st_mode))
        return {};
    const QString kind = S_ISDIR(status.st_mode)   ? QStringLiteral("a folder")
                         : S_ISLNK(status.st_mode) ? QStringLiteral("a symbolic link")
                         : S_ISREG(status.st_mode) ? QStringLiteral("a file")
                                                   : QStringLiteral("something else");
    return QStringLiteral("%1 is %2, not a socket").arg(path, kind);
}

bool LocalServer::listen(const QString& path)
{
    if (m_fd.get() >= 0) {
        m_error = QStringLiteral("Already listening");
        return false;
    }
    const QByteArray target = QFile::encodeName(path);
    if (!addressOf(target, &m_error))
        return false;
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0) {
        m_error = occupantProblem(path);
        if (m_error.isEmpty())
            m_error = QStringLiteral("The socket path is taken: %1").arg(path);
        return false;
    }
    // The socket is made in a user-only folder of its own beside path, made user-only itself and
    // only then moved into place: nobody else can connect in between.
    QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath()) + "/.XXXXXX";
    if (!::mkdtemp(folder.data())) {
        m_error = qt_error_string(errno);
        return false;
    }
    const QByteArray temporary = folder + "/s";
    const std::optional<sockaddr_un> address = addressOf(temporary, &m_error);
    FileDescriptor fd(address ? newSocket() : -1);
    const bool bound = fd.get() >= 0 &&
                       ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0 &&
                       ::chmod(temporary.constData(), S_IRWXU) == 0 && ::listen(fd.get(), backlog) == 0 &&
                       ::rename(temporary.constData(), target.constData()) == 0;
    if (!bound) {
        if (address)
            m_error = qt_error_string(errno);
        ::unlink(temporary.constData());
        ::rmdir(folder.constData());
        return false;
    }
    ::rmdir(folder.constData());
    m_fd.reset(fd.release());
    m_path = path;
    m_error.clear();
    m_notifier = new QSocketNotifier(qintptr(m_fd.get()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LocalServer::acceptPending);
    return true;
}

void LocalServer::acceptPending()
{
    const qsizetype before = m_pending.size();
    while (m_fd.get() >= 0) {
        const int fd = ::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;
        }
        auto* socket = new LocalSocket(fd, this);
        socket->watch();
        m_pending.append(socket);
    }
    if (m_pending.size() > before)
        emit newConnection();
}

LocalSocket* LocalServer::nextPendingConnection()
{
    return m_pending.isEmpty() ? nullptr : m_pending.takeFirst();
}

void LocalServer::close()
{
    qDeleteAll(std::exchange(m_pending, {}));
    if (m_fd.get() < 0)
        return;
    delete std::exchange(m_notifier, nullptr);
    m_fd.reset();
    ::unlink(QFile::encodeName(m_path).constData());
}

} // namespace morvane
