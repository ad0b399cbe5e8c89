#pragma once

#include "foundation/FileDescriptor.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

namespace morvane {

class LocalServer;
class LocalSocket;

// What one launch may hand to the running copy, and how long it may take.
struct SingleInstanceLimits {
    qsizetype maximumUrls = 64;
    qsizetype maximumUrlBytes = 8 * 1024;
    std::chrono::milliseconds deliveryTimeout{2000};
};

// Where one launch may take the lock, and where else a copy of this user's may already hold it.
struct SingleInstancePlaces {
    // The lock is taken in each that allows it, in this order; a copy holding one first is handed to.
    QStringList folders;
    // Folders this launch may not use, where an earlier one could have taken the lock (the runtime
    // folder before it was opened to others): a copy there is handed to, once the lock file proves to
    // be this user's alone and the listener answers as this user.
    QStringList elsewhere;
    // The folder of the library this copy opens (empty: none). A lock there, beside the library, is
    // taken after the folders' and keeps a second copy off the library whatever names other users took
    // first in the shared temporary folder; it also names the folders its copy listens in, so a launch
    // that shares none of them (another session, whose fallback another user holds) still finds it.
    QString library;
};

// One running copy per user. The first process takes an flock on a file in each of its folders (the
// runtime folder, the fallback; the kernel lets go of them when the process dies, however it ends)
// and then listens on a local socket beside each; a later process finds a lock taken and hands its
// URLs to the first over the socket beside it. A later process that sees other folders (another
// session's variables, a runtime folder since opened to others or removed) still meets the copy in
// the ones they share, the fallback at least. Whoever can write into a folder can answer in our place,
// so only a folder of this user's alone holds them; a process that finds none never runs beside
// another copy. Last, a lock file beside the library, in the user's own data folder, keeps one copy per
// library whatever another user made first in the shared temporary folder (and, on a home shared over
// the network, whatever another computer runs); it names the folders its copy listens in.
//
// On the wire a delivery is a 32-bit big-endian count of URLs, then each URL as a 32-bit big-endian
// byte length and its UTF-8 bytes. The listener answers with the count, as four bytes of its own,
// as it takes the URLs; only that answer tells the later process that it may leave. A listener
// with too many connections open answers 0xFFFFFFFF at once instead: busy, try again. One that cannot
// act on URLs (its start failed) answers 0xFFFFFFFE, then a byte length and the UTF-8 text of why,
// and takes nothing: the later process must not report a hand-over that went nowhere. Any other
// process of the user can connect, so the listener trusts nothing: a count or a length over the
// limits, an empty URL or a delivery that does not complete in time closes that connection without
// an answer, and nothing of it is delivered. Neither is a delivery whose sender has already given up
// (it told its user so).
class SingleInstance : public QObject {
    Q_OBJECT
public:
    using Limits = SingleInstanceLimits;

    enum class Role {
        primary,    // the lock is ours: listen() next, before anything slow, so no URL is turned away
        forwarded,  // another process holds the lock and answered that it queued our URLs: exit
        unanswered, // another process holds the lock but did not answer in time: nothing was handed over
        refused,    // another process holds the lock but cannot act on URLs (refusal() says why)
        blocked,    // another process holds the lock, but something other than a socket sits where it
                    // listens, or another user listens there (failure() says what): nothing can reach it
        failed,     // no folder yields the lock (failure() says why): this process must not run
        occupied    // another process holds the library's lock and cannot be reached from here (another
                    // session whose folders this one cannot use, another computer): failure() names the
                    // library; this process must not run
    };

    // The locks and the sockets live in each of the places' folders that allows them, by default
    // defaultPlaces(); a folder that does not exist yet is made, user-only. A process that takes the
    // first lock still hands over to a copy that holds a later one (one started while the runtime
    // folder was missing, which is made later, runs in the fallback) or one in a folder elsewhere.
    explicit SingleInstance(SingleInstancePlaces places = defaultPlaces(), Limits limits = {},
                            QObject* parent = nullptr);
    // Places with nothing elsewhere.
    explicit SingleInstance(QStringList folders, Limits limits = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock, or forwards urls to the process that holds it (at most the limits' number and
    // size; the rest is dropped with a warning) and waits for its answer. Tries again for at most
    // `patience` while the holder does not listen yet (two processes started at once) or is busy
    // (too many connections); the moment the lock is free (the holder died, perhaps after reading
    // the URLs) it is taken, and the caller handles its URLs itself. Needs no application object, so a
    // later process never opens a display.
    Role claim(const QStringList& urls, std::chrono::milliseconds patience = std::chrono::milliseconds(4000));

    // Once the locks are ours and the application object exists: listens beside each for later
    // processes, whose URLs arrive as urlsReceived. A folder where it cannot is said in a warning;
    // false when it can in none.
    bool listen();

    // Stops listening and lets go of the locks; later processes then become primary themselves.
    void close();

    // From now on every delivery is refused with the reason, and nothing is handed on. The lock is
    // kept: a later process would only fail the same way, and its user is told why at once.
    void refuse(const QString& reason);
    // After claim() answered refused: why the running process took nothing (may be empty).
    QString refusal() const { return m_refusal; }
    // After claim() answered blocked or failed: why, naming the paths; after occupied: the library's path.
    QString failure() const { return m_failure; }

    // In the folder whose lock is held: by another process, or the first of ours (before claim(), the
    // first folder).
    QString socketPath() const;
    QString lockPath() const;

    // placesFor($XDG_RUNTIME_DIR, fallbackFolder()), with the data folder's library.
    static SingleInstancePlaces defaultPlaces();
    // The runtime folder, then the fallback, which every launch of this user's shares whatever its
    // session says (su, ssh or cron may give none, or another). A runtime folder of this user's that
    // nobody else may write into holds the lock; one that exists but is not (opened to others since,
    // or another user's) is only looked at, and said once in the log; a missing one is left out.
    static SingleInstancePlaces placesFor(const QString& runtime, const QString& fallback);
    // A folder of our own in the temporary folder, made user-only when the lock first needs it.
    static QString fallbackFolder();

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
    enum class LockResult { taken, held, failed, occupied };
    enum class Delivery {
        answered,    // the holder queued the URLs
        unreachable, // nobody listens (yet), or the holder is busy: nothing was taken, try again
        dropped,     // the connection closed without an answer: the holder may have died with the URLs,
                     // or taken them without a word; never sent twice
        silent,      // connected, but no answer before the deadline
        refused,     // the holder cannot act on URLs and took nothing
        blocked      // something other than a socket is at the socket's path
    };

    // Takes the lock in the first folder that allows it, unless another process holds one there, in
    // a later folder or elsewhere.
    LockResult tryLock();
    // The lock beside the library, after the folders' locks were taken: taken (or no library), held by
    // a copy this launch can reach (m_folder is where it listens), occupied, or failed.
    LockResult lockLibrary();
    // Writes the folders this copy listens in into the library's lock, for launches that share none.
    void publishListeners();
    Delivery send(const QStringList& urls, std::chrono::milliseconds timeout);
    void acceptConnections(LocalServer* server);
    void readFrom(LocalSocket* socket);
    // False when the connection broke the rules.
    bool consume(LocalSocket* socket, Reader& reader);
    // Answers a complete delivery and hands its URLs on, unless its sender is gone.
    void deliver(LocalSocket* socket, QStringList urls);
    void finish(LocalSocket* socket);

    SingleInstancePlaces m_places;
    QString m_folder;
    Limits m_limits;
    // A lock of ours, and the socket listening beside it.
    struct Held {
        QString folder;
        std::unique_ptr<FileDescriptor> lock;
        LocalServer* server = nullptr;
    };

    std::vector<Held> m_held;
    // The lock beside the library, while ours.
    std::unique_ptr<FileDescriptor> m_libraryLock;
    // The copy holding the lock was found through the library's lock.
    bool m_foundThroughLibrary = false;
    QHash<LocalSocket*, Reader> m_readers;
    // Set by refuse() in the listener; in a later process, what claim() was told.
    bool m_refusing = false;
    QString m_refusal;
    QString m_failure;
};

} // namespace morvane
