#pragma once

#include "sync/CloudKitSyncService.h"

#include <QString>

namespace morvane {

// The record folder, held open: every request of the folder store works relative to it, so that what
// it looks at and what it writes are in one folder, found once per request. The folder itself may be a
// link (into a folder a file-sync service shares) and is followed.
class RecordFolder {
public:
    enum class Opened { same, anew };

    explicit RecordFolder(QString path);
    ~RecordFolder();
    RecordFolder(const RecordFolder&) = delete;
    RecordFolder& operator=(const RecordFolder&) = delete;

    const QString& path() const { return m_path; }
    // The folder opened before while the path still names it, or the one it names now (anew: what was
    // known of the folder before is not this one's). Throws notAuthenticated while the folder is absent.
    Opened open();
    void close();
    // The open folder's descriptor, for calls relative to it; -1 while closed.
    int handle() const { return m_handle; }
    // Which folder is open (its device and inode, that of the folder a link resolves to): a file-sync
    // program keeps modification times, so another folder's files may carry stamps that look the same.
    QByteArray identity() const;

    // The errors of a request about one record.
    static CloudKitError unknownItem(const QString& recordName);
    static CloudKitError systemError(const QString& what, const QString& recordName, int error);

private:
    QString m_path;
    int m_handle = -1;
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

} // namespace morvane
