#include "LinkSearchTexts.h"

#include "LibraryChangeJournal.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstring>

namespace morvane {

namespace {

// Past this many changed links a fresh read costs about as much as following them one by one.
constexpr qsizetype reloadAfterChanges = 5000;

void appendFolded(std::string& texts, QByteArrayView utf8)
{
    const qsizetype from = qsizetype(texts.size());
    texts.append(utf8.data(), std::size_t(utf8.size()));
    for (auto c = texts.begin() + from; c != texts.end(); ++c) {
        if (*c >= 'A' && *c <= 'Z')
            *c = char(*c - 'A' + 'a');
    }
}

const QString linkTextsSql = QStringLiteral("SELECT id, title, url, type, notes FROM links");

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
    auto entry = m_entries.cbegin();
    while (found.inTitles.size() <= limit || found.inOtherTexts.size() <= limit) {
        const void* hit = ::memmem(texts + from, size - from, needle.data(), needle.size());
        if (hit == nullptr)
            break;
        const qsizetype at = static_cast<const char*>(hit) - texts;
        entry = std::upper_bound(entry, m_entries.cend(), at,
                                 [](qsizetype offset, const Entry& e) { return offset < e.end; });
        if (entry == m_entries.cend())
            break;
        from = std::size_t(entry->end);
        if (!entry->live)
            continue;
        // The title comes first, so the first hit in an entry says whether its title holds the run.
        QStringList& list = at < entry->titleEnd ? found.inTitles : found.inOtherTexts;
        if (list.size() <= limit)
            list.append(QString::fromUtf8(entry->id));
    }
    return found;
}

bool LinkSearchTexts::refresh()
{
    LibraryChangeJournal journal(m_connection);
    const LibraryChangeJournal::Changes changes = journal.changesSince(m_through);
    if (!changes.complete) {
        m_through.reset();
        m_texts = {};
        m_entries = {};
        m_entryOf.clear();
        return false;
    }
    if (!m_through || changes.everything || changes.links.size() > reloadAfterChanges) {
        reload();
    } else if (!changes.links.isEmpty()) {
        QStringList ids;
        for (const QString& id : changes.links) {
            drop(id.toUtf8());
            ids.append(id);
        }
        append(
            linkTextsSql + QStringLiteral(" WHERE id IN (SELECT value FROM json_each(?1))"),
            QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(ids)).toJson(QJsonDocument::Compact)));
        if (m_deadBytes > qsizetype(m_texts.size()) / 2)
            compact();
    }
    // Read after the point it was asked from: a link written between the two is read again next time.
    m_through = changes.through;
    return true;
}

void LinkSearchTexts::reload()
{
    m_texts.clear();
    m_entries.clear();
    m_entryOf.clear();
    m_deadBytes = 0;
    append(linkTextsSql);
}

void LinkSearchTexts::append(const QString& sql, const QString& parameter)
{
    SQLiteStatement rows = m_connection.statement(sql);
    if (!parameter.isNull())
        rows.bind({parameter});
    while (rows.step()) {
        const SQLiteRow row(rows);
        Entry entry;
        entry.id = row.utf8(0).toByteArray();
        entry.start = qsizetype(m_texts.size());
        appendFolded(m_texts, row.utf8(1));
        entry.titleEnd = qsizetype(m_texts.size());
        m_texts.push_back('\0');
        for (int column = 2; column <= 4; ++column) {
            appendFolded(m_texts, row.utf8(column));
            m_texts.push_back('\1');
        }
        m_texts.push_back('\0');
        entry.end = qsizetype(m_texts.size());
        drop(entry.id);
        m_entryOf.insert(entry.id, qsizetype(m_entries.size()));
        m_entries.push_back(std::move(entry));
    }
}

void LinkSearchTexts::drop(const QByteArray& id)
{
    const auto found = m_entryOf.constFind(id);
    if (found == m_entryOf.constEnd())
        return;
    Entry& entry = m_entries[std::size_t(*found)];
    entry.live = false;
    m_deadBytes += entry.end - entry.start;
    m_entryOf.erase(found);
}

void LinkSearchTexts::compact()
{
    std::string texts;
    texts.reserve(m_texts.size() - std::size_t(m_deadBytes));
    std::vector<Entry> entries;
    m_entryOf.clear();
    for (Entry& entry : m_entries) {
        if (!entry.live)
            continue;
        const qsizetype shift = qsizetype(texts.size()) - entry.start;
        texts.append(m_texts, std::size_t(entry.start), std::size_t(entry.end - entry.start));
        entry.start += shift;
        entry.titleEnd += shift;
        entry.end += shift;
        m_entryOf.insert(entry.id, qsizetype(entries.size()));
        entries.push_back(std::move(entry));
    }
    m_texts = std::move(texts);
    m_entries = std::move(entries);
    m_deadBytes = 0;
}

} // namespace morvane
