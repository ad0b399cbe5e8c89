#include "SingleInstance.h"

#include "foundation/LocalSocket.h"
#include "foundation/Logging.h"
#include "foundation/OwnFile.h"
#include "foundation/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QStringDecoder>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

MORVANE_LOGGING_CATEGORY(lcSingleInstance, "SingleInstance")

namespace morvane {

namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// A flood of connections is closed at once beyond this; each one is bounded in size and time.
constexpr qsizetype maximumConnections = 16;
// The answer of a listener with every connection taken: nothing read, try again.
constexpr quint32 busyAnswer = 0xffffffff;
// The answer of a listener that cannot act on URLs: nothing taken; a reason follows, as a 32-bit
// big-endian byte length and that many bytes of UTF-8, at most refusalBytes of them.
constexpr quint32 refusedAnswer = 0xfffffffe;
constexpr qsizetype refusalBytes = 2048;
// Between two tries to reach a primary that holds the lock but does not listen yet.
constexpr milliseconds retryInterval{50};

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

// The library's lock names the folders its copy listens in: this first line, the computer's name, then
// one folder a line.
constexpr char listenersHeader[] = "morvane listeners 1";
constexpr qsizetype listenersBytes = 16 * 1024;

// Why folder cannot hold the lock and the socket, or nothing when it is a folder of this user's that
// nobody else may write into.
QString folderProblem(const QString& folder)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0)
        return qt_error_string(errno);
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("a symbolic link");
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("not a folder");
    if (status.st_uid != geteuid())
        return QStringLiteral("the folder belongs to another user");
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("others may write into the folder");
    return {};
}

// Whether another process of this user's holds the lock at lockPath; nothing is made to find out. The
// file must be this user's and closed to others: anyone who may open it could make it look held.
bool heldByUs(const QString& lockPath)
{
    const FileDescriptor lock(openOwnRegularFile(QFile::encodeName(lockPath)).descriptor);
    return lock.get() >= 0 && ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// Whether the process listening at the other end of socket runs as this user.
bool answeredByUs(const LocalSocket& socket)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(socket.descriptor(), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           peer.uid == geteuid();
}

QString lockPathIn(const QString& folder)
{
    return folder + QStringLiteral("/morvane.lock");
}

QString socketPathIn(const QString& folder)
{
    return folder + QStringLiteral("/morvane.socket");
}

QString libraryLockPathIn(const QString& library)
{
    return library + QStringLiteral("/Morvane.lock");
}

// The library's path as the user knows it, for a launch turned away from it.
QString libraryPathIn(const QString& library)
{
    return library + QStringLiteral("/Morvane.sqlite");
}

// Says once per process why a folder was passed over: a launch tries again while it waits for the
// running copy, and every try finds the same.
void tellPassedOver(const QString& where, const QString& problem)
{
    static QMutex mutex;
    static QSet<QString> told;
    {
        const QMutexLocker locker(&mutex);
        if (told.contains(where))
            return;
        told.insert(where);
    }
    qCWarning(lcSingleInstance).noquote()
        << "Passed over for the single-instance lock:" << privateValue(where) + u':' << problem;
}

// The folder a copy that holds the library's lock listens in, as its lock file names it: one of this
// user's alone, on this computer (a home shared over the network holds the same file for every
// computer, whose folders mean nothing here). Nothing when none can be used.
QString listenerFolderIn(int lock)
{
    QByteArray text(listenersBytes, Qt::Uninitialized);
    const ssize_t size = ::pread(lock, text.data(), size_t(text.size()), 0);
    text.truncate(std::max<ssize_t>(size, 0));
    const QStringList lines = QString::fromUtf8(text).split(u'\n');
    if (lines.size() < 3 || lines[0] != QLatin1String(listenersHeader) ||
        lines[1] != QSysInfo::machineHostName())
        return {};
    QString usable;
    for (const QString& folder : lines.mid(2)) {
        if (folder.isEmpty() || !folderProblem(folder).isEmpty())
            continue;
        struct stat status {};
        // One where the copy listens now comes first; else the first it named (it may be starting).
        if (::lstat(QFile::encodeName(socketPathIn(folder)).constData(), &status) == 0 &&
            S_ISSOCK(status.st_mode))
            return folder;
        if (usable.isEmpty())
            usable = folder;
    }
    return usable;
}

int remainingMs(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count();
    return int(std::max<qint64>(left, 0));
}

} // namespace

SingleInstance::SingleInstance(SingleInstancePlaces places, Limits limits, QObject* parent)
    : QObject(parent)
    , m_places(std::move(places))
    , m_folder(m_places.folders.value(0))
    , m_limits(limits)
{
}

SingleInstance::SingleInstance(QStringList folders, Limits limits, QObject* parent)
    : SingleInstance(SingleInstancePlaces{std::move(folders), {}, {}}, limits, parent)
{
}

SingleInstance::~SingleInstance()
{
    close();
}

QString SingleInstance::socketPath() const
{
    return socketPathIn(m_folder);
}

QString SingleInstance::lockPath() const
{
    return lockPathIn(m_folder);
}

SingleInstancePlaces SingleInstance::defaultPlaces()
{
    SingleInstancePlaces places = placesFor(qEnvironmentVariable("XDG_RUNTIME_DIR"), fallbackFolder());
    places.library = dataDirectory();
    return places;
}

SingleInstancePlaces SingleInstance::placesFor(const QString& runtime, const QString& fallback)
{
    SingleInstancePlaces places;
    if (!runtime.isEmpty() && runtime != fallback && QFileInfo::exists(runtime)) {
        if (const QString problem = folderProblem(runtime); problem.isEmpty()) {
            places.folders.append(runtime);
        } else {
            // Whoever may write there could take the lock and listen first, and be handed every link;
            // a copy of ours that took the lock there before is still looked for.
            places.elsewhere.append(runtime);
            static bool told = false;
            if (!std::exchange(told, true)) {
                qCWarning(lcSingleInstance).noquote()
                    << "The runtime folder" << privateValue(runtime)
                    << "is not used for the single-instance lock:" << problem;
            }
        }
    }
    places.folders.append(fallback);
    return places;
}

QString SingleInstance::fallbackFolder()
{
    return QDir::tempPath() + QStringLiteral("/morvane-%1").arg(geteuid());
}

SingleInstance::LockResult SingleInstance::tryLock()
{
    close();
    m_foundThroughLibrary = false;
    QStringList problems;
    // Every folder's lock is taken, in the fixed order: launches that see different folders share the
    // later ones (the fallback always), so of two at once the one that finds a lock taken gives way,
    // and never both.
    for (const QString& folder : std::as_const(m_places.folders)) {
        // Made user-only when missing (the fallback folder); a runtime folder comes checked already.
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
        const QString lockPath = lockPathIn(folder);
        QString where = folder;
        QString problem = folderProblem(folder);
        if (problem.isEmpty()) {
            where = lockPath;
            // Close-on-exec: a program we start (xdg-open, a viewer) must not keep the lock after we end.
            // No-follow: a link planted in our place would put the lock where its maker can hold it.
            FileDescriptor lock(::open(QFile::encodeName(lockPath).constData(),
                                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
            if (lock.get() >= 0 && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
                m_held.push_back({folder, std::make_unique<FileDescriptor>(lock.release()), nullptr});
                continue;
            }
            if (lock.get() >= 0 && errno == EWOULDBLOCK) {
                close();
                m_folder = folder;
                return LockResult::held;
            }
            problem = errno == ELOOP ? QStringLiteral("a symbolic link") : qt_error_string(errno);
        }
        tellPassedOver(where, problem);
        problems.append(where + QStringLiteral(": ") + problem);
    }
    // Nobody takes a lock in these folders now, so a lock held there is older than this launch.
    for (const QString& folder : std::as_const(m_places.elsewhere)) {
        if (heldByUs(lockPathIn(folder))) {
            close();
            m_folder = folder;
            return LockResult::held;
        }
    }
    if (m_held.empty()) {
        // No folder to listen in, so this launch cannot run; a copy found through the library's lock
        // is still handed to.
        if (const LockResult library = lockLibrary();
            library == LockResult::held || library == LockResult::occupied)
            return library;
        close();
        m_failure =
            problems.isEmpty() ? QStringLiteral("no folder to hold it") : problems.join(QStringLiteral("; "));
        return LockResult::failed;
    }
    if (const LockResult library = lockLibrary(); library != LockResult::taken)
        return library;
    m_folder = m_held.front().folder;
    return LockResult::taken;
}

SingleInstance::LockResult SingleInstance::lockLibrary()
{
    const QString& library = m_places.library;
    if (library.isEmpty())
        return LockResult::taken;
    // Made as the library's opening makes it. A folder that cannot be made holds no library for a second
    // copy either: the opening says why to the user, as it does without this lock.
    ensurePrivateDirectory(library);
    const QString lockPath = libraryLockPathIn(library);
    // No-follow: a link would put the lock where its maker can hold it, or let nobody take it.
    FileDescriptor lock(::open(QFile::encodeName(lockPath).constData(),
                               O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600));
    QString problem;
    struct stat status {};
    if (lock.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            qCWarning(lcSingleInstance).noquote()
                << "No lock beside the library: its folder" << privateValue(library) << "cannot be made";
            return LockResult::taken;
        }
        problem = errno == ELOOP ? QStringLiteral("a symbolic link") : qt_error_string(errno);
    } else if (::fstat(lock.get(), &status) != 0) {
        problem = qt_error_string(errno);
    } else if (!S_ISREG(status.st_mode)) {
        problem = QStringLiteral("not a file");
    } else if (status.st_uid != geteuid()) {
        problem = QStringLiteral("the file belongs to another user");
    } else {
        if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
            ::fchmod(lock.get(), 0600);
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
            // What an earlier copy wrote names folders it no longer listens in.
            if (::ftruncate(lock.get(), 0) != 0)
                qCWarning(lcSingleInstance) << "Cannot clear the library's lock:" << qt_error_string(errno);
            m_libraryLock = std::make_unique<FileDescriptor>(lock.release());
            return LockResult::taken;
        }
        if (errno == EWOULDBLOCK) {
            const QString folder = listenerFolderIn(lock.get());
            close();
            m_failure = libraryPathIn(library);
            if (folder.isEmpty())
                return LockResult::occupied;
            m_folder = folder;
            m_foundThroughLibrary = true;
            return LockResult::held;
        }
        problem = qt_error_string(errno);
    }
    qCWarning(lcSingleInstance).noquote()
        << "Cannot take the lock beside the library:" << privateValue(lockPath) << problem;
    close();
    m_failure = lockPath + QStringLiteral(": ") + problem;
    return LockResult::failed;
}

void SingleInstance::publishListeners()
{
    if (!m_libraryLock)
        return;
    QByteArray text = QByteArray(listenersHeader) + '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
    for (const Held& held : m_held) {
        if (held.server && !held.folder.contains(u'\n'))
            text += held.folder.toUtf8() + '\n';
    }
    const int lock = m_libraryLock->get();
    if (::ftruncate(lock, 0) != 0 || ::pwrite(lock, text.constData(), size_t(text.size()), 0) != text.size())
        qCWarning(lcSingleInstance) << "Cannot name the listeners in the library's lock:"
                                    << qt_error_string(errno);
}

bool SingleInstance::listen()
{
    bool listening = false;
    for (Held& held : m_held) {
        if (!held.server) {
            const QString path = socketPathIn(held.folder);
            // The lock is ours, so whatever socket is there was left by a process that died.
            LocalServer::removeStale(path);
            auto* server = new LocalServer(this);
            connect(server, &LocalServer::newConnection, this, [this, server] { acceptConnections(server); });
            if (server->listen(path)) {
                held.server = server;
            } else {
                qCWarning(lcSingleInstance).noquote()
                    << "Cannot listen for other launches:" << server->errorString();
                delete server;
            }
        }
        listening = listening || held.server;
    }
    publishListeners();
    return listening;
}

SingleInstance::Role SingleInstance::claim(const QStringList& urls, milliseconds patience)
{
    QStringList sent;
    for (const QString& url : urls) {
        if (sent.size() == m_limits.maximumUrls || url.isEmpty() ||
            url.toUtf8().size() > m_limits.maximumUrlBytes) {
            qCWarning(lcSingleInstance) << "A URL argument was dropped: too many or too long";
            continue;
        }
        sent.append(url);
    }
    const SteadyClock::time_point deadline = SteadyClock::now() + patience;
    // Once a delivery was dropped, only the lock can tell whether the holder died: a process exits
    // its socket and its lock one after the other.
    bool dropped = false;
    for (;;) {
        switch (tryLock()) {
        case LockResult::taken:
            return Role::primary;
        case LockResult::failed:
            return Role::failed;
        case LockResult::occupied:
            // The copy may be starting and not name its folders yet.
            if (SteadyClock::now() >= deadline)
                return Role::occupied;
            QThread::msleep(std::min<qint64>(retryInterval.count(), remainingMs(deadline)));
            continue;
        case LockResult::held:
            break;
        }
        if (!dropped) {
            const Delivery delivery = send(sent, milliseconds(remainingMs(deadline)));
            if (delivery == Delivery::answered)
                return Role::forwarded;
            if (delivery == Delivery::refused)
                return Role::refused;
            if (delivery == Delivery::silent)
                return Role::unanswered;
            if (delivery == Delivery::blocked)
                return Role::blocked;
            dropped = delivery == Delivery::dropped;
        }
        if (SteadyClock::now() >= deadline && m_foundThroughLibrary && !dropped) {
            // Named, but not reachable from here: another computer's folder of the same name, say.
            m_failure = libraryPathIn(m_places.library);
            return Role::occupied;
        }
        if (SteadyClock::now() >= deadline)
            return Role::unanswered;
        QThread::msleep(std::min<qint64>(retryInterval.count(), remainingMs(deadline)));
    }
}

SingleInstance::Delivery SingleInstance::send(const QStringList& urls, milliseconds timeout)
{
    const SteadyClock::time_point deadline = SteadyClock::now() + timeout;
    const std::unique_ptr<LocalSocket> socket = LocalSocket::connectTo(socketPath(), deadline);
    if (!socket) {
        // Not a listener that is still starting: waiting would not help.
        m_failure = LocalServer::occupantProblem(socketPath());
        return m_failure.isEmpty() ? Delivery::unreachable : Delivery::blocked;
    }
    // In a folder others may write into, another user could have put a listener of theirs in our
    // copy's place: it is handed nothing.
    if (!answeredByUs(*socket)) {
        m_failure = QStringLiteral("%1 is answered by another user").arg(socketPath());
        return Delivery::blocked;
    }
    QByteArray message = bigEndian(quint32(urls.size()));
    for (const QString& url : urls) {
        const QByteArray bytes = url.toUtf8();
        message += bigEndian(quint32(bytes.size()));
        message += bytes;
    }
    const auto stopped = [&socket] { return socket->isOpen() ? Delivery::silent : Delivery::dropped; };
    if (!socket->writeAll(message, deadline))
        return stopped();
    const auto readExactly = [&](qint64 size) { return socket->readExactly(size, deadline); };
    const std::optional<QByteArray> answer = readExactly(4);
    if (!answer)
        return stopped();
    // Leaving now closes the connection; the holder has queued the URLs already.
    const quint32 answered = qFromBigEndian<quint32>(answer->constData());
    if (answered == busyAnswer)
        return Delivery::unreachable;
    if (answered == refusedAnswer) {
        const std::optional<QByteArray> length = readExactly(4);
        const quint32 size = length ? qFromBigEndian<quint32>(length->constData()) : 0;
        const std::optional<QByteArray> reason =
            size <= quint32(refusalBytes) ? readExactly(size) : std::nullopt;
        m_refusal = reason ? QString::fromUtf8(*reason) : QString();
        return Delivery::refused;
    }
    return answered == quint32(urls.size()) ? Delivery::answered : Delivery::dropped;
}

void SingleInstance::refuse(const QString& reason)
{
    QByteArray bytes = reason.toUtf8();
    if (bytes.size() > refusalBytes) {
        // Cut at a character's start, so that the end still decodes.
        qsizetype cut = refusalBytes;
        while (cut > 0 && (quint8(bytes[cut]) & 0xc0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    m_refusal = QString::fromUtf8(bytes);
    m_refusing = true;
}

void SingleInstance::acceptConnections(LocalServer* server)
{
    while (LocalSocket* socket = server->nextPendingConnection()) {
        if (m_readers.size() >= maximumConnections) {
            socket->writeNow(bigEndian(busyAnswer));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_readers.insert(socket, Reader{});
        connect(socket, &LocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // A sender waits for the answer: one that closes first has given up, and what it sent is
        // not delivered.
        connect(socket, &LocalSocket::disconnected, this, [this, socket] { finish(socket); });
        QTimer::singleShot(m_limits.deliveryTimeout, socket, [this, socket] {
            if (m_readers.contains(socket))
                qCWarning(lcSingleInstance) << "A launch did not deliver its URLs in time";
            finish(socket);
        });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(LocalSocket* socket)
{
    const auto reader = m_readers.find(socket);
    if (reader == m_readers.end())
        return;
    if (!consume(socket, *reader)) {
        qCWarning(lcSingleInstance) << "A launch sent a delivery we do not accept; its connection is closed";
        finish(socket);
        return;
    }
    if (reader->expected >= 0 && reader->urls.size() == reader->expected)
        deliver(socket, reader->urls);
}

void SingleInstance::deliver(LocalSocket* socket, QStringList urls)
{
    // The sender may have given up while this process was busy: its user has been told that nothing
    // was handed over. Its bytes are all read, so an end of stream is what is left.
    if (socket->peerClosed()) {
        qCWarning(lcSingleInstance) << "A launch gave up before its URLs were taken";
        finish(socket);
        return;
    }
    if (m_refusing) {
        const QByteArray reason = m_refusal.toUtf8();
        socket->writeNow(bigEndian(refusedAnswer) + bigEndian(quint32(reason.size())) + reason);
        finish(socket);
        return;
    }
    // The answer goes first: handling may open an alert, whose event loop would hold it back until
    // the user closes it. Nothing can stop the URLs from being taken once it is sent.
    socket->writeNow(bigEndian(quint32(urls.size())));
    finish(socket);
    if (!urls.isEmpty())
        emit urlsReceived(urls);
}

bool SingleInstance::consume(LocalSocket* socket, Reader& reader)
{
    // Reads no further than the current field, so a client never makes us hold more than one URL.
    while (reader.expected < 0 || reader.urls.size() < reader.expected) {
        const qint64 wanted = reader.urlBytes < 0 ? 4 : reader.urlBytes;
        reader.pending += socket->read(wanted - reader.pending.size());
        if (reader.pending.size() < wanted)
            return true;
        const QByteArray field = std::exchange(reader.pending, {});
        if (reader.expected < 0) {
            reader.expected = qFromBigEndian<quint32>(field.constData());
            if (reader.expected > m_limits.maximumUrls)
                return false;
        } else if (reader.urlBytes < 0) {
            reader.urlBytes = qFromBigEndian<quint32>(field.constData());
            if (reader.urlBytes == 0 || reader.urlBytes > m_limits.maximumUrlBytes)
                return false;
        } else {
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString url = utf8.decode(field);
            if (utf8.hasError())
                return false;
            reader.urls.append(url);
            reader.urlBytes = -1;
        }
    }
    return true;
}

void SingleInstance::finish(LocalSocket* socket)
{
    if (m_readers.remove(socket) == 0)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void SingleInstance::close()
{
    for (LocalSocket* socket : m_readers.keys())
        finish(socket);
    for (Held& held : m_held)
        delete held.server;
    m_held.clear(); // lets go of the locks
    m_libraryLock.reset();
}

} // namespace morvane
