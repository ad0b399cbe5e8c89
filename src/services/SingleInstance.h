#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class QLocalServer;
class QLocalSocket;

namespace morvane {

// What one launch may hand to the running copy, and how long it may take.
struct SingleInstanceLimits {
    qsizetype maximumUrls = 64;
    qsizetype maximumUrlBytes = 8 * 1024;
    std::chrono::milliseconds deliveryTimeout{2000};
};

// One running copy per user. The first process takes an flock on a file in the runtime folder (the
// kernel lets go of it when the process dies, however it ends) and then listens on a local socket
// beside it; a later process finds the lock taken and hands its URLs to the first over that socket.
//
// On the wire a delivery is a 32-bit big-endian count of URLs, then each URL as a 32-bit big-endian
// byte length and its UTF-8 bytes. Any other process of the user can connect, so the listener
// trusts nothing: a count or a length over the limits, an empty URL or a delivery that does not
// complete in time closes that connection, and nothing of it is delivered.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    using Limits = SingleInstanceLimits;

    enum class Role {
        primary,    // the lock is ours: listen() next, before anything slow, so no URL is turned away
        forwarded,  // another process holds the lock and took our URLs: this one should exit
        unanswered, // another process holds the lock but did not take the URLs in time
        standalone  // there is no usable runtime folder or socket: run on our own
    };

    // The lock and the socket live in folder, by default the runtime folder (see runtimeFolder()).
    explicit SingleInstance(QString folder = runtimeFolder(), Limits limits = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock, or forwards urls to the process that holds it (at most the limits' number and
    // size; the rest is dropped with a warning). Waits at most `patience` for a primary that holds
    // the lock but does not listen yet (two processes started at once), taking over if it dies
    // meanwhile. Needs no application object, so a later process never opens a display.
    Role claim(const QStringList& urls, std::chrono::milliseconds patience = std::chrono::milliseconds(1500));

    // Once the lock is ours and the application object exists: listens for later processes, whose
    // URLs arrive as urlsReceived. False, with a warning, when it cannot.
    bool listen();

    // Stops listening and lets go of the lock; later processes then become primary themselves.
    void close();

    QString socketPath() const;
    QString lockPath() const;

    // $XDG_RUNTIME_DIR, or, when that is unset, a user-only folder of our own in the temporary
    // folder; empty when that folder exists but is not a user-only folder of ours.
    static QString runtimeFolder();

signals:
    // A complete delivery from a later process, in the order it sent them.
    void urlsReceived(const QStringList& urls);

private:
    // What one connection has delivered so far.
    struct Reader {
        QByteArray pending;   // a count or length being read, or the bytes of the current URL
        qint64 expected = -1; // URLs announced; -1 before the count is in
        qint64 urlBytes = -1; // bytes of the current URL; -1 before its length is in
        QStringList urls;
    };
    enum class LockResult { taken, held, failed };

    LockResult tryLock();
    bool send(const QStringList& urls, std::chrono::milliseconds timeout) const;
    void acceptConnections();
    void readFrom(QLocalSocket* socket);
    // False when the connection broke the rules.
    bool consume(QLocalSocket* socket, Reader& reader);
    void finish(QLocalSocket* socket);

    QString m_folder;
    Limits m_limits;
    int m_lockFd = -1;
    bool m_ownsLock = false;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, Reader> m_readers;
};

} // namespace morvane
