#pragma once

#include "foundation/FileDescriptor.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace morvane {

// A connected Unix-domain stream socket, non-blocking and closed on exec.
//
// A client that has no event loop (a process handing its work to another before it has an
// application object) uses the blocking calls, each bounded by a deadline. A socket that watch()es
// reports readyRead and disconnected through the event loop instead and keeps what arrived, up to
// a bound, until read() takes it.
class LocalSocket : public QObject {
    Q_OBJECT
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // Takes over fd, a connected socket.
    explicit LocalSocket(int fd, QObject* parent = nullptr);
    ~LocalSocket() override;

    // Connects to the socket at path, trying again while its listener's queue is full until the
    // deadline. Null, with the reason in error, when nobody listens there or the path is unusable.
    static std::unique_ptr<LocalSocket> connectTo(const QString& path, Deadline deadline,
                                                  QString* error = nullptr);

    // Open until the peer closed, an error, or abort().
    bool isOpen() const { return m_fd.get() >= 0 && !m_peerClosed; }
    int descriptor() const { return m_fd.get(); }

    // Blocking: writes every byte before the deadline. False when time ran out or the peer went.
    bool writeAll(const QByteArray& bytes, Deadline deadline);
    // Blocking: reads exactly size bytes. Nullopt when time ran out or the peer closed first.
    std::optional<QByteArray> readExactly(qint64 size, Deadline deadline);

    // From now on reports through the event loop of this thread.
    void watch();
    // At most maximum bytes of what has arrived, without waiting.
    QByteArray read(qint64 maximum);
    // Writes what the socket takes at once, without waiting; false when not all of it was taken.
    bool writeNow(const QByteArray& bytes);
    // Everything has been read and the peer has closed its end (checked at the socket itself).
    bool peerClosed();
    // Closes at once; what was not sent is lost.
    void abort();

signals:
    void readyRead();
    void disconnected();

private:
    // Waits for events on the socket until the deadline; false when time ran out.
    bool wait(short events, Deadline deadline);
    void receive();

    FileDescriptor m_fd;
    bool m_peerClosed = false;
    QByteArray m_buffer;
    QSocketNotifier* m_notifier = nullptr;
};

// Listens on a Unix-domain stream socket at a path that only this user may connect to.
class LocalServer : public QObject {
    Q_OBJECT
public:
    explicit LocalServer(QObject* parent = nullptr);
    ~LocalServer() override;

    // Binds and listens at path; false, with the reason in errorString(), when it cannot (a path
    // that is taken or too long for a socket address among them). Reports through the event loop.
    bool listen(const QString& path);
    // Removes the file of a socket at path that nobody listens on any more (left by a process that
    // died). Only the owner of the path may call it: it removes a live listener's path too.
    static bool removeStale(const QString& path);
    // What keeps a socket from path when something other than a socket is there ("… is a folder, not
    // a socket"); empty when path holds a socket or nothing.
    static QString occupantProblem(const QString& path);
    QString errorString() const { return m_error; }

    // A connection that arrived, already watched and owned by the server; null when none is left.
    LocalSocket* nextPendingConnection();
    void close();

signals:
    void newConnection();

private:
    void acceptPending();

    FileDescriptor m_fd;
    QString m_path;
    QString m_error;
    QSocketNotifier* m_notifier = nullptr;
    QList<LocalSocket*> m_pending;
};

} // namespace morvane
