#include "LinkSearchTexts.h"

#include "LibraryChangeJournal.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
#include "StoreError.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

namespace morvane {

Q_DECLARE_LOGGING_CATEGORY(lcSQLiteStore)

namespace {

// Past this many changed links a fresh read costs about as much as following them one by one.
constexpr qsizetype reloadAfterChanges = 5000;
// Links read per step: a step holds the store thread for a few milliseconds.
constexpr qint64 loadBatch = 8000;
// The lineage of the copy last written, in the library itself.
const QString lineageTable = QStringLiteral("link_search_texts_copy");

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

void LinkSearchTexts::migrate(SQLiteConnection& connection)
{
    connection.execute(
        QStringLiteral("CREATE TABLE IF NOT EXISTS ") + lineageTable +
        QStringLiteral(" (only INTEGER PRIMARY KEY CHECK (only = 1), lineage INTEGER NOT NULL)"));
}

// The head of the copy, when the library still bears its marks: the file state the seal vouches for now
// (no rebuild renumbered the rows since), the lineage written with the copy (the file is the one the
// copy was made from or one that followed it, not one put back from before it nor another library's),
// and a complete journal at or past its point, which the next refresh follows from there. What is found
// at the copy's path that is not a file of ours is passed over, and said once.
std::optional<LinkSearchTextsCopy::Head> LinkSearchTexts::usableCopyHead(LinkSearchTextsCopy& copy)
{
    std::optional<LinkSearchTextsCopy::Head> head = copy.open();
    if (!copy.refusal().isEmpty() && !std::exchange(m_refusalLogged, true)) {
        qCWarning(lcSQLiteStore).noquote()
            << "The links' texts are read from the library: what is kept beside it for searches is"
            << copy.refusal();
    }
    if (!head || head->superseded < 0)
        return std::nullopt;
    const LinkSearchSeal::FileState state{head->schemaVersion, head->mark};
    if (!(LinkSearchSeal::current(m_connection) == state) || !LinkSearchSeal::holds(m_connection, state) ||
        libraryLineage() != head->lineage)
        return std::nullopt;
    const LibraryChangeJournal::Changes journal =
        LibraryChangeJournal(m_connection).changesSince(std::nullopt);
    if (!journal.complete || head->through > journal.through)
        return std::nullopt;
    return head;
}

bool LinkSearchTexts::hasUsableCopy()
{
    LinkSearchTextsCopy copy(copyPath());
    const std::optional<LinkSearchTextsCopy::Head> head = usableCopyHead(copy);
    return head && copy.bodyMatches(*head);
}

bool LinkSearchTexts::readCopy()
{
    LinkSearchTextsCopy copy(copyPath());
    const std::optional<LinkSearchTextsCopy::Head> head = usableCopyHead(copy);
    if (!head)
        return false;
    drop();
    if (!copy.readBody(*head, {m_rowids, m_starts, m_texts})) {
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

std::optional<qint64> LinkSearchTexts::libraryLineage()
{
    try {
        SQLiteStatement lineage =
            m_connection.statement(QStringLiteral("SELECT lineage FROM ") + lineageTable);
        if (lineage.step())
            return lineage.int64(0);
    } catch (const StoreError&) {
        // a library without the table bears no copy's lineage
    }
    return std::nullopt;
}

// A new lineage goes into the library first: from then on only a copy that bears it is taken, and a
// library file from before (put back from a backup) holds an older one. Nothing of it enters the change
// journal or the records that sync writes.
void LinkSearchTexts::writeCopy()
{
    const QString path = copyPath();
    if (path.isEmpty() || !m_through || !m_sealedAs ||
        !(LinkSearchSeal::current(m_connection) == *m_sealedAs))
        return;
    LinkSearchTextsCopy::Head head{};
    head.schemaVersion = m_sealedAs->schemaVersion;
    head.mark = m_sealedAs->mark;
    head.through = *m_through;
    head.superseded = m_superseded;
    do
        head.lineage = qint64(QRandomGenerator::global()->generate64());
    while (head.lineage == 0);
    try {
        inTransaction(m_connection, [&] {
            m_connection.execute(QStringLiteral("INSERT INTO ") + lineageTable +
                                     QStringLiteral(" (only, lineage) VALUES (1, ?1) ON CONFLICT (only) DO "
                                                    "UPDATE SET lineage = excluded.lineage"),
                                 {SQLiteValue::integer(head.lineage)});
        });
    } catch (const StoreError& error) {
        qCWarning(lcSQLiteStore) << "Could not keep a copy of the links' texts:" << error.message();
        return;
    }
    if (!LinkSearchTextsCopy::write(path, head, {m_rowids, m_starts, m_texts}))
        qCWarning(lcSQLiteStore) << "Could not keep a copy of the links' texts:" << std::strerror(errno);
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
