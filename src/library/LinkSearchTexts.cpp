#include "LinkSearchTexts.h"

#include "LibraryChangeJournal.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstring>
#include <limits>

namespace morvane {

namespace {

// Past this many changed links a fresh read costs about as much as following them one by one.
constexpr qsizetype reloadAfterChanges = 5000;
// Links read per step: a step holds the store thread for a few milliseconds.
constexpr qint64 loadBatch = 8000;

void appendFolded(std::string& texts, QByteArrayView utf8)
{
    const std::size_t from = texts.size();
    texts.append(utf8.data(), std::size_t(utf8.size()));
    // Every byte written back, and the end read once (the bytes could otherwise alias the string's own
    // length), so that the compiler folds many at a time.
    char* const bytes = texts.data();
    const std::size_t end = texts.size();
    for (std::size_t i = from; i < end; ++i) {
        const char c = bytes[i];
        bytes[i] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
}

const QString linkTextsSql = QStringLiteral("SELECT rowid, title, url, type, notes FROM links");

} // namespace

std::optional<LinkSearchTexts::Found> LinkSearchTexts::find(const QString& run, qsizetype limit)
{
    if (run.isEmpty() || !refresh())
        return std::nullopt;
    std::string needle;
    appendFolded(needle, run.toUtf8());
    Found found;
    const char* const texts = m_texts.data();
    const std::size_t size = m_texts.size();
    std::size_t from = 0;
    auto entry = m_starts.cbegin();
    while (found.inTitles.size() <= limit || found.inOtherTexts.size() <= limit) {
        const void* hit = ::memmem(texts + from, size - from, needle.data(), needle.size());
        if (hit == nullptr)
            break;
        const qsizetype at = static_cast<const char*>(hit) - texts;
        // The last link starting at or before the hit holds it.
        entry = std::upper_bound(entry, m_starts.cend(), at) - 1;
        const auto next = entry + 1;
        from = next == m_starts.cend() ? size : std::size_t(*next);
        // The title comes first and ends at the link's first NUL, so the first hit in a link says
        // whether its title holds the run.
        const bool inTitle = std::memchr(texts + *entry, '\0', std::size_t(at - *entry)) == nullptr;
        QList<qint64>& list = inTitle ? found.inTitles : found.inOtherTexts;
        if (list.size() <= limit)
            list.append(m_rowids[std::size_t(entry - m_starts.cbegin())]);
    }
    return found;
}

bool LinkSearchTexts::loadStep()
{
    if (m_through)
        return true;
    if (!m_loadFrom) {
        LibraryChangeJournal journal(m_connection);
        const LibraryChangeJournal::Changes changes = journal.changesSince(std::nullopt);
        if (!changes.complete)
            return true; // nothing to keep in step with: searches read the library instead
        // What changes while the steps run is read again once they end.
        m_loadFrom = changes.through;
        m_loadedThrough = std::numeric_limits<qint64>::min();
        SQLiteStatement count = m_connection.statement(QStringLiteral("SELECT count(*) FROM links"));
        m_expectedLinks = count.step() ? count.int64(0) : 0;
    }
    const qsizetype before = qsizetype(m_rowids.size());
    append(linkTextsSql + QStringLiteral(" WHERE rowid > ?1 ORDER BY rowid LIMIT ?2"),
           {SQLiteValue::integer(m_loadedThrough), SQLiteValue::integer(loadBatch)});
    const bool done = qint64(m_rowids.size()) - before < loadBatch;
    if (before == 0 && !done)
        reserveFor(m_expectedLinks);
    if (!done) {
        m_loadedThrough = m_rowids.back();
        return false;
    }
    // Sized from the first batch: a guess well short grew the buffers by doubling, and they are made
    // exact; what was reserved and never written takes no memory.
    if (m_texts.capacity() > m_texts.size() + m_texts.size() / 4) {
        m_texts.shrink_to_fit();
        m_starts.shrink_to_fit();
        m_rowids.shrink_to_fit();
    }
    m_through = std::exchange(m_loadFrom, std::nullopt);
    return true;
}

// Room for the whole library as the first batch suggests, with a margin, so that the steps do not copy
// the texts over and over as they grow.
void LinkSearchTexts::reserveFor(qint64 links)
{
    const qint64 read = qint64(m_rowids.size());
    if (read == 0 || links <= read)
        return;
    const qint64 expected = links + links / 16;
    m_texts.reserve(std::size_t(qint64(m_texts.size()) * expected / read));
    m_starts.reserve(std::size_t(expected));
    m_rowids.reserve(std::size_t(expected));
}

void LinkSearchTexts::release()
{
    m_through.reset();
    m_loadFrom.reset();
    // Swapped for empty ones: clearing, or assigning an empty one, keeps the capacity.
    std::string().swap(m_texts);
    std::vector<qsizetype>().swap(m_starts);
    std::vector<qint64>().swap(m_rowids);
    m_superseded = 0;
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
        release();
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
    }
    // Read after the point it was asked from: a link written between the two is read again next time.
    m_through = changes.through;
    return true;
}

void LinkSearchTexts::reload()
{
    release();
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
