#pragma once

#include "capture/MailHeaders.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <memory>
#include <optional>

namespace morvane {

// The messages of a mail client's local folders, read from the folder files themselves: an mbox file
// (messages after "From " lines) or a maildir folder (one file a message under cur/ and new/). Each
// folder is read once and again only when its size or modification time changed, so a poll every few
// seconds over an unchanged folder costs a stat. Thread-safe; it reads files, so never call it on
// the main thread.
class MailFolderIndex {
public:
    // In folder order; empty when the path is neither an mbox file nor a maildir folder.
    QList<StoredMessage> messages(const QString& path);

    // How many times a folder was read rather than answered from the index (for tests and benchmarks).
    int folderReads() const;

private:
    struct Stamp {
        qint64 size = -1;
        qint64 modifiedNs = -1;
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        QList<Stamp> stamps;
        QList<StoredMessage> messages;
    };

    static QList<Stamp> stampsOf(const QString& path, bool* isMaildir);

    mutable QMutex m_mutex;
    QHash<QString, std::shared_ptr<const Entry>> m_entries;
    int m_folderReads = 0;
};

// The message a file holds alone (a maildir's, a mail client's cached copy); nothing when it cannot be
// read.
std::optional<StoredMessage> messageInFile(const QString& path);

// The message a maildir folder keeps under its unique name (the file's name before the ":" or "!" that
// starts its flags), in cur/ or new/; nothing when there is none, or the name could lead elsewhere.
std::optional<StoredMessage> maildirMessage(const QString& folder, const QString& uniqueName);

} // namespace morvane
