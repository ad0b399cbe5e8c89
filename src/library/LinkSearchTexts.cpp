#include "LinkSearchTexts.h"

#include "LibraryChangeJournal.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QScopeGuard>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

namespace morvane {

Q_DECLARE_LOGGING_CATEGORY(lcSQLiteStore)

// The copy's head: what it is, the seal's file state and the journal's point the texts stand at, and
// how many rowids, starts and bytes of texts follow it, in that order. The file is this machine's own,
// read by the program that wrote it: numbers are written as they are in memory.
struct LinkSearchTexts::CopyHead {
    char kind[8];
    qint64 schemaVersion;
    qint64 mark;
    qint64 through;
    qint64 superseded;
    quint64 links;
    quint64 textBytes;
};

namespace {

// Past this many changed links a fresh read costs about as much as following them one by one.
constexpr qsizetype reloadAfterChanges = 5000;
// Links read per step: a step holds the store thread for a few milliseconds.
constexpr qint64 loadBatch = 8000;

void appendFolded(MappedArray<char>& texts, QByteArrayView utf8)
{
    const std::size_t from = texts.size();
    texts.append(utf8.data(), std::size_t(utf8.size()));
    // Every byte written back, and the end read once (the bytes could alias the array's own length),
    // so that the compiler folds many at a time.
    char* const bytes = texts.data();
    const std::size_t end = texts.size();
    for (std::size_t i = from; i < end; ++i) {
        const char c = bytes[i];
        bytes[i] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
}

const QString linkTextsSql = QStringLiteral("SELECT rowid, title, url, type, notes FROM links");

// The first occurrence of the needle in [from, end), found by scanning for its byte at `key` (the
// rarest of its bytes) with memchr, which reads many bytes at a time, and comparing the rest where it
// stops: a general search of a short needle reads the texts several times slower.
const char* findRun(const char* from, const char* end, const QByteArray& needle, qsizetype key)
{
    const auto length = std::size_t(needle.size());
    for (const char* at = from + key; at < end;) {
        at = static_cast<const char*>(std::memchr(at, needle[key], std::size_t(end - at)));
        if (at == nullptr)
            return nullptr;
        const char* start = at - key;
        if (std::size_t(end - start) >= length && std::memcmp(start, needle.constData(), length) == 0)
            return start;
        ++at;
    }
    return nullptr;
}

constexpr char searchTextsCopyKind[8] = {'M', 'v', 'T', 'e', 'x', 't', 's', '1'};

// Reads or writes all the bytes, through short transfers and interruptions; false at an error or an end.
template <class Byte, class Transfer>
bool transferFully(int descriptor, Byte* at, std::size_t bytes, Transfer transfer)
{
    while (bytes > 0) {
        const ssize_t count = transfer(descriptor, at, bytes);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        at += count;
        bytes -= std::size_t(count);
    }
    return true;
}

bool readFully(int descriptor, void* into, std::size_t bytes)
{
    return transferFully(descriptor, static_cast<char*>(into), bytes, ::read);
}

bool writeFully(int descriptor, const void* from, std::size_t bytes)
{
    return transferFully(descriptor, static_cast<const char*>(from), bytes, ::write);
}

// Whether the starts can be those of texts this long: ascending from 0, each link's texts at least the
// five bytes of their ends, the last ending the buffer with a NUL. A copy that fails is not used, so no
// damage to the file makes a search read outside the texts.
bool searchTextsCopyConsistent(const MappedArray<qsizetype>& starts, const MappedArray<char>& texts)
{
    if (starts.empty())
        return texts.empty();
    if (starts[0] != 0 || texts.empty() || texts.back() != '\0')
        return false;
    for (std::size_t i = 1; i < starts.size(); ++i) {
        if (starts[i] < starts[i - 1] + 5)
            return false;
    }
    return std::size_t(starts.back()) + 5 <= texts.size();
}

} // namespace

std::optional<LinkSearchTexts::Found> LinkSearchTexts::find(const QString& run, qsizetype limit)
{
    if (run.isEmpty() || !refresh())
        return std::nullopt;
    Found found;
    if (m_texts.empty())
        return found;
    QByteArray needle = run.toUtf8();
    for (char& c : needle) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    const char* const texts = m_texts.data();
    const std::size_t size = m_texts.size();
    const qsizetype key = rarestByte(needle);
    std::size_t from = 0;
    const qsizetype* entry = m_starts.begin();
    while (found.inTitles.size() <= limit || found.inOtherTexts.size() <= limit) {
        const char* hit = findRun(texts + from, texts + size, needle, key);
        if (hit == nullptr)
            break;
        const qsizetype at = hit - texts;
        // The last link starting at or before the hit holds it.
        entry = std::upper_bound(entry, m_starts.end(), at) - 1;
        const qsizetype* next = entry + 1;
        from = next == m_starts.end() ? size : std::size_t(*next);
        // The title comes first and ends at the link's first NUL, so the first hit in a link says
        // whether its title holds the run.
        const bool inTitle = std::memchr(texts + *entry, '\0', std::size_t(at - *entry)) == nullptr;
        QList<qint64>& list = inTitle ? found.inTitles : found.inOtherTexts;
        if (list.size() <= limit)
            list.append(m_rowids[std::size_t(entry - m_starts.begin())]);
    }
    return found;
}

// Which of the needle's bytes the texts hold least often, from a sample of them taken once per read.
qsizetype LinkSearchTexts::rarestByte(const QByteArray& needle)
{
    constexpr std::size_t sampleStep = 61;
    if (!m_byteCounts) {
        m_byteCounts.emplace();
        m_byteCounts->fill(0);
        for (std::size_t i = 0; i < m_texts.size(); i += sampleStep)
            ++(*m_byteCounts)[std::uint8_t(m_texts[i])];
    }
    qsizetype rarest = 0;
    for (qsizetype i = 1; i < needle.size(); ++i) {
        if ((*m_byteCounts)[std::uint8_t(needle[i])] < (*m_byteCounts)[std::uint8_t(needle[rarest])])
            rarest = i;
    }
    return rarest;
}

bool LinkSearchTexts::loadStep()
{
    if (m_through)
        return true;
    if (!m_loadFrom) {
        if (!std::exchange(m_copyPassedOver, false) && readCopy())
            return true;
        LibraryChangeJournal journal(m_connection);
        const LibraryChangeJournal::Changes changes = journal.changesSince(std::nullopt);
        if (!changes.complete)
            return true; // nothing to keep in step with: searches read the library instead
        // What changes while the steps run is read again once they end.
        m_loadFrom = changes.through;
        m_loadedThrough = std::numeric_limits<qint64>::min();
        m_changedSinceCopy.reset();
        m_sealedAs.reset();
        if (const LinkSearchSeal::FileState state = LinkSearchSeal::current(m_connection);
            LinkSearchSeal::holds(m_connection, state))
            m_sealedAs = state;
    }
    const qsizetype before = qsizetype(m_rowids.size());
    append(linkTextsSql + QStringLiteral(" WHERE rowid > ?1 ORDER BY rowid LIMIT ?2"),
           {SQLiteValue::integer(m_loadedThrough), SQLiteValue::integer(loadBatch)});
    if (qint64(m_rowids.size()) - before == loadBatch) {
        m_loadedThrough = m_rowids.back();
        return false;
    }
    m_through = std::exchange(m_loadFrom, std::nullopt);
    m_byteCounts.reset();
    return true;
}

void LinkSearchTexts::release()
{
    // A copy is written while it could still help: one the texts were read from, with the changes
    // since followed, is written again only once any link changed.
    if (m_through && m_changedSinceCopy != qsizetype(0))
        writeCopy();
    drop();
}

void LinkSearchTexts::discard()
{
    drop();
    if (const QString path = copyPath(); !path.isEmpty())
        QFile::remove(path);
}

void LinkSearchTexts::drop()
{
    m_through.reset();
    m_loadFrom.reset();
    m_texts.release();
    m_starts.release();
    m_rowids.release();
    m_superseded = 0;
    m_byteCounts.reset();
    m_changedSinceCopy.reset();
    m_sealedAs.reset();
}

QString LinkSearchTexts::copyPath() const
{
    const char* library = sqlite3_db_filename(m_connection.handle(), "main");
    if (library == nullptr || *library == '\0')
        return {};
    return QString::fromUtf8(library) + QStringLiteral(".texts");
}

// The head of the copy open at the descriptor, when the library still bears its marks: the file state
// the seal vouches for now (no rebuild renumbered the rows since) and a complete journal at or past its
// point, which the next refresh follows from there.
std::optional<LinkSearchTexts::CopyHead> LinkSearchTexts::usableCopyHead(int descriptor)
{
    CopyHead head{};
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !readFully(descriptor, &head, sizeof head) ||
        std::memcmp(head.kind, searchTextsCopyKind, sizeof head.kind) != 0)
        return std::nullopt;
    const LinkSearchSeal::FileState state{head.schemaVersion, head.mark};
    if (!(LinkSearchSeal::current(m_connection) == state) || !LinkSearchSeal::holds(m_connection, state))
        return std::nullopt;
    const LibraryChangeJournal::Changes journal =
        LibraryChangeJournal(m_connection).changesSince(std::nullopt);
    if (!journal.complete || head.through > journal.through || head.superseded < 0)
        return std::nullopt;
    constexpr quint64 linkBytes = sizeof(qint64) + sizeof(qsizetype);
    if (head.links > quint64(status.st_size) / linkBytes || head.textBytes > quint64(status.st_size) ||
        sizeof head + head.links * linkBytes + head.textBytes != quint64(status.st_size))
        return std::nullopt;
    return head;
}

bool LinkSearchTexts::hasUsableCopy()
{
    const QString path = copyPath();
    const int descriptor =
        path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool usable = usableCopyHead(descriptor).has_value();
    ::close(descriptor);
    return usable;
}

bool LinkSearchTexts::readCopy()
{
    const QString path = copyPath();
    if (path.isEmpty())
        return false;
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const auto closeCopy = qScopeGuard([descriptor] { ::close(descriptor); });
    const std::optional<CopyHead> head = usableCopyHead(descriptor);
    if (!head)
        return false;
    drop();
    const std::size_t links = std::size_t(head->links);
    const bool read = readFully(descriptor, m_rowids.extend(links), links * sizeof(qint64)) &&
                      readFully(descriptor, m_starts.extend(links), links * sizeof(qsizetype)) &&
                      readFully(descriptor, m_texts.extend(std::size_t(head->textBytes)), head->textBytes);
    if (!read || !searchTextsCopyConsistent(m_starts, m_texts)) {
        drop();
        return false;
    }
    m_through = head->through;
    m_superseded = head->superseded;
    m_changedSinceCopy = 0;
    m_sealedAs = LinkSearchSeal::FileState{head->schemaVersion, head->mark};
    return true;
}

// Started only while no texts are held or being read for a search: a read it begins is the same read a
// search would continue.
bool LinkSearchTexts::makeCopyStep()
{
    if (m_through)
        return true;
    if (!m_loadFrom && (copyPath().isEmpty() || hasUsableCopy()))
        return true;
    if (!m_loadFrom)
        m_copyPassedOver = true; // read from the library, not from the copy found unusable
    if (!loadStep())
        return false;
    release();
    return true;
}

// Written beside the library under another name and renamed over the old copy, readable by the user
// alone: it holds the links' texts.
void LinkSearchTexts::writeCopy()
{
    const QString path = copyPath();
    if (path.isEmpty() || !m_through || !m_sealedAs ||
        !(LinkSearchSeal::current(m_connection) == *m_sealedAs))
        return;
    CopyHead head{};
    std::memcpy(head.kind, searchTextsCopyKind, sizeof head.kind);
    head.schemaVersion = m_sealedAs->schemaVersion;
    head.mark = m_sealedAs->mark;
    head.through = *m_through;
    head.superseded = m_superseded;
    head.links = m_rowids.size();
    head.textBytes = m_texts.size();
    const QByteArray target = QFile::encodeName(path);
    const QByteArray written = target + ".new";
    const int descriptor =
        ::open(written.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    bool done = descriptor >= 0;
    if (done) {
        done = ::fchmod(descriptor, 0600) == 0 && writeFully(descriptor, &head, sizeof head) &&
               writeFully(descriptor, m_rowids.begin(), m_rowids.size() * sizeof(qint64)) &&
               writeFully(descriptor, m_starts.begin(), m_starts.size() * sizeof(qsizetype)) &&
               writeFully(descriptor, m_texts.begin(), m_texts.size());
        done = ::close(descriptor) == 0 && done;
    }
    if (!done || ::rename(written.constData(), target.constData()) != 0) {
        qCWarning(lcSQLiteStore) << "Could not keep a copy of the links' texts:" << std::strerror(errno);
        ::unlink(written.constData());
    }
}

bool LinkSearchTexts::refresh()
{
    while (!loadStep()) {
    }
    if (!m_through)
        return false;
    LibraryChangeJournal journal(m_connection);
    const LibraryChangeJournal::Changes changes = journal.changesSince(m_through);
    if (!changes.complete) {
        drop();
        return false;
    }
    if (changes.everything || changes.links.size() > reloadAfterChanges ||
        m_superseded + changes.links.size() > qsizetype(m_rowids.size()) / 4) {
        reload();
        return m_through.has_value();
    }
    if (!changes.links.isEmpty()) {
        append(linkTextsSql + QStringLiteral(" WHERE id IN (SELECT value FROM json_each(?1))"),
               {QString::fromUtf8(
                   QJsonDocument(QJsonArray::fromStringList(changes.links)).toJson(QJsonDocument::Compact))});
        m_superseded += changes.links.size();
        if (m_changedSinceCopy)
            *m_changedSinceCopy += changes.links.size();
    }
    // Read after the point it was asked from: a link written between the two is read again next time.
    m_through = changes.through;
    return true;
}

void LinkSearchTexts::reload()
{
    drop();
    m_copyPassedOver = true;
    while (!loadStep()) {
    }
}

void LinkSearchTexts::append(const QString& sql, const QList<SQLiteValue>& parameters)
{
    SQLiteStatement rows = m_connection.statement(sql);
    rows.bind(parameters);
    while (rows.step()) {
        const SQLiteRow row(rows);
        m_rowids.push_back(row.int64(0));
        m_starts.push_back(qsizetype(m_texts.size()));
        appendFolded(m_texts, row.utf8(1));
        m_texts.push_back('\0');
        for (int column = 2; column <= 4; ++column) {
            appendFolded(m_texts, row.utf8(column));
            m_texts.push_back('\1');
        }
        m_texts.push_back('\0');
    }
}

} // namespace morvane
