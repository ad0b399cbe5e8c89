#include "MailFolderIndex.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QRegularExpression>

#include <sys/stat.h>

#include <algorithm>

namespace morvane {

namespace {

// A header block longer than this is not a mail client's message: the rest is not read.
constexpr qsizetype maxHeaderBlock = 256 * 1024;

const QStringList maildirParts{QStringLiteral("cur"), QStringLiteral("new")};

bool statOf(const QString& path, struct stat* info)
{
    return ::stat(QFile::encodeName(path).constData(), info) == 0;
}

// The header block at the start of data: up to the first blank line, or all of it when there is none.
qsizetype headerBlockLength(const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] != '\n')
            continue;
        if (i + 1 < size && data[i + 1] == '\n')
            return i;
        if (i + 2 < size && data[i + 1] == '\r' && data[i + 2] == '\n')
            return i;
    }
    return size;
}

// Reads an mbox from start to end with plain reads, never mapped: the mail client rewrites its folders
// in place (compacting truncates them), and a mapped page past a new end stops the process with a bus
// error. A folder changed while read gives what was read of it; its next stamp reads it again.
class MboxReader {
public:
    explicit MboxReader(QFile& file)
        : m_file(file)
    {
    }

    QList<StoredMessage> messages()
    {
        fill();
        // A message starts at a "From " line: the file's first line or one after a line break.
        if (!m_buffer.startsWith("From ") && !seek("\nFrom ", 1))
            return m_messages;
        do {
            // The rest of the "From " line, then the message's header block.
            if (!seek("\n", 1))
                break;
            fillTo(maxHeaderBlock);
            const qsizetype available = std::min(m_buffer.size() - m_offset, maxHeaderBlock);
            const qsizetype length = headerBlockLength(m_buffer.constData() + m_offset, available);
            m_messages.append(parseMailHeaders(QByteArray(m_buffer.constData() + m_offset, length)));
            // The line break before the blank line: the next "From " line may follow it at once.
            m_offset += length;
        } while (seek("\nFrom ", 1));
        return m_messages;
    }

private:
    static constexpr qint64 chunk = 1 << 20;

    // Reads more of the file after what the buffer holds; false at its end.
    bool fill()
    {
        if (m_end)
            return false;
        m_buffer.remove(0, m_offset);
        m_offset = 0;
        const qsizetype kept = m_buffer.size();
        m_buffer.resize(kept + chunk);
        const qint64 read = m_file.read(m_buffer.data() + kept, chunk);
        m_buffer.resize(kept + std::max<qint64>(read, 0));
        m_end = read <= 0;
        return !m_end;
    }
    // The buffer holds count bytes after the offset, or as many as the file still has.
    void fillTo(qsizetype count)
    {
        while (m_buffer.size() - m_offset < count && fill()) {
        }
    }
    // Moves the offset to the next occurrence of pattern, then skip bytes further; false when the
    // rest of the file has none.
    bool seek(QByteArrayView pattern, qsizetype skip)
    {
        for (;;) {
            const qsizetype found = QByteArrayView(m_buffer).indexOf(pattern, m_offset);
            if (found >= 0) {
                m_offset = found + skip;
                return true;
            }
            // An occurrence may straddle the end of what was read: keep where it could start.
            m_offset = std::max(m_offset, m_buffer.size() - pattern.size() + 1);
            if (!fill())
                return false;
        }
    }

    QFile& m_file;
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    bool m_end = false;
    QList<StoredMessage> m_messages;
};

QList<StoredMessage> readMbox(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return MboxReader(file).messages();
}

QList<StoredMessage> readMaildir(const QString& path)
{
    QList<StoredMessage> messages;
    for (const QString& part : maildirParts) {
        const QDir dir(QDir(path).filePath(part));
        for (const QString& name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
            if (std::optional<StoredMessage> message = messageInFile(dir.filePath(name)))
                messages.append(std::move(*message));
        }
    }
    return messages;
}

} // namespace

QList<MailFolderIndex::Stamp> MailFolderIndex::stampsOf(const QString& path, bool* isMaildir)
{
    struct stat info {};
    *isMaildir = false;
    if (!statOf(path, &info))
        return {};
    // Only a regular file is read as an mbox: a pipe or a device named by a hostile URL would never end.
    if (S_ISREG(info.st_mode))
        return {{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec}};
    if (!S_ISDIR(info.st_mode))
        return {};
    QList<Stamp> stamps;
    for (const QString& part : maildirParts) {
        struct stat partInfo {};
        if (!statOf(QDir(path).filePath(part), &partInfo) || !S_ISDIR(partInfo.st_mode))
            return {};
        // A message added, removed or renamed (its flags live in its name) changes the folder.
        stamps.append({qint64(partInfo.st_nlink),
                       qint64(partInfo.st_mtim.tv_sec) * 1'000'000'000 + partInfo.st_mtim.tv_nsec});
    }
    *isMaildir = true;
    return stamps;
}

QList<StoredMessage> MailFolderIndex::messages(const QString& path)
{
    bool isMaildir = false;
    const QList<Stamp> stamps = stampsOf(path, &isMaildir);
    if (stamps.isEmpty())
        return {};
    {
        const QMutexLocker lock(&m_mutex);
        if (const auto entry = m_entries.value(path); entry && entry->stamps == stamps)
            return entry->messages;
        ++m_folderReads;
    }
    // Read outside the lock: another folder's poll need not wait for this one.
    auto entry = std::make_shared<Entry>(Entry{stamps, isMaildir ? readMaildir(path) : readMbox(path)});
    const QMutexLocker lock(&m_mutex);
    m_entries.insert(path, entry);
    return entry->messages;
}

std::optional<StoredMessage> messageInFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(maxHeaderBlock);
    return parseMailHeaders(head.left(headerBlockLength(head.constData(), head.size())));
}

std::optional<StoredMessage> maildirMessage(const QString& folder, const QString& uniqueName)
{
    // The name is another program's word: it must name a file of the folder, and matches as itself.
    static const QRegularExpression unusable(QStringLiteral("^\\.|[/\\0*?\\[\\]\\\\]"));
    if (uniqueName.isEmpty() || unusable.match(uniqueName).hasMatch())
        return std::nullopt;
    for (const QString& part : maildirParts) {
        const QDir dir(QDir(folder).filePath(part));
        // A new message has no flags yet; one seen has them after ":" (or "!" where ":" cannot be used).
        for (const QString& name :
             dir.entryList({uniqueName, uniqueName + QStringLiteral(":*"), uniqueName + QStringLiteral("!*")},
                           QDir::Files | QDir::NoDotAndDotDot)) {
            if (std::optional<StoredMessage> message = messageInFile(dir.filePath(name)))
                return message;
        }
    }
    return std::nullopt;
}

int MailFolderIndex::folderReads() const
{
    const QMutexLocker lock(&m_mutex);
    return m_folderReads;
}

} // namespace morvane
