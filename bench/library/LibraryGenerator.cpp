#include "LibraryGenerator.h"

#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"
#include "library/SQLiteConnection.h"
#include "library/SQLiteStatement.h"
#include "library/SQLiteStore.h"
#include "library/SQLiteTransaction.h"

#include <QDateTime>

namespace morvane::bench {

namespace {
// Consonant-vowel syllables never spell the known search terms, so their counts stay predictable.
const char* const syllables[] = {"ka", "lo", "mi", "ne", "su", "ta", "vi", "bu", "da", "fe",
                                 "gi", "ho", "ja", "mu", "na", "wi", "ze", "ba", "ko", "li"};
constexpr int syllableCount = int(std::size(syllables));
constexpr int vocabularySize = 3000;
const QDateTime epoch = QDateTime(QDate(2023, 1, 1), QTime(0, 0), Qt::UTC);
constexpr qint64 twoYears = 2 * 365 * 24 * 3600;
} // namespace

LibraryGenerator::LibraryGenerator(unsigned seed, int tagPoolSize)
    : m_random(seed)
    , m_tagPoolSize(tagPoolSize)
{
    for (int i = 0; i < vocabularySize; ++i) {
        QString w;
        int n = i;
        do {
            w += QLatin1String(syllables[n % syllableCount]);
            n /= syllableCount;
        } while (n > 0);
        m_vocabulary.append(w);
    }
}

QString LibraryGenerator::tagName(int index)
{
    return QStringLiteral("topic-%1").arg(index, 4, 10, QLatin1Char('0'));
}

QString LibraryGenerator::word()
{
    // Skewed towards the front of the vocabulary, as real titles repeat common words.
    std::uniform_int_distribution<int> pick(0, vocabularySize - 1);
    return m_vocabulary.at(std::min(pick(m_random), pick(m_random)));
}

QString LibraryGenerator::words(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(word());
    return list.join(u' ');
}

QString LibraryGenerator::title(long index)
{
    std::uniform_int_distribution<int> length(2, 5);
    QString text = words(length(m_random));
    text[0] = text[0].toUpper();
    if (index % 997 == 0)
        text += QStringLiteral(" ") + rareTerm();
    if (index % 3 == 0)
        text += QStringLiteral(" ") + commonTerm();
    return text;
}

QString LibraryGenerator::notes(long index)
{
    if (index % 2 == 1)
        return QString();
    std::uniform_int_distribution<int> length(6, 14);
    QString text = words(length(m_random));
    if (index % 1009 == 4)
        text += QStringLiteral(" about the ") + rareTerm();
    if (index % 10 == 4)
        text += QStringLiteral(" quarterly ") + commonTerm();
    return text;
}

QString LibraryGenerator::date(qint64 offsetSeconds)
{
    std::uniform_int_distribution<int> millis(0, 999);
    return libraryDateString(epoch.addSecs(offsetSeconds).addMSecs(millis(m_random)));
}

LibraryGenerator::Summary LibraryGenerator::populate(const SQLiteStore& store, long linkCount)
{
    SQLiteConnection library = SQLiteConnection::open(store.databasePath());
    Summary summary;
    inTransaction(library, [&] {
        QList<QString> tagIds;
        {
            SQLiteStatement insertTag =
                library.statement(QStringLiteral("INSERT INTO tags (id, name) VALUES (?, ?)"));
            for (int i = 0; i < m_tagPoolSize; ++i) {
                tagIds.append(uuidString(QUuid::createUuid()));
                insertTag.bind({tagIds.last(), tagName(i)});
                insertTag.step();
                insertTag.reset();
            }
        }

        SQLiteStatement insertLink =
            library.statement(QStringLiteral("INSERT INTO links (id, title, url, type, source_app, notes, "
                                             "created_at, updated_at, last_opened_at) "
                                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        SQLiteStatement insertTag = library.statement(
            QStringLiteral("INSERT OR IGNORE INTO link_tags (link_id, tag_id) VALUES (?, ?)"));
        std::uniform_int_distribution<qint64> when(0, twoYears);
        std::uniform_int_distribution<int> tagPick(0, m_tagPoolSize - 1);
        std::uniform_int_distribution<int> percent(0, 99);
        for (long i = 0; i < linkCount; ++i) {
            const QString id = uuidString(QUuid::createUuid());
            const QString url = QStringLiteral("https://www.%1.example/%2/%3").arg(word(), word()).arg(i);
            const qint64 created = when(m_random);
            const qint64 updated = std::min(twoYears, created + when(m_random) / 8);
            const bool opened = percent(m_random) < 20;
            const bool isNote = i % 11 == 0;
            insertLink.bind(
                {SQLiteValue::text(id), SQLiteValue::text(title(i)), SQLiteValue::text(url),
                 SQLiteValue::text(isNote ? QStringLiteral("obsidian") : QStringLiteral("web")),
                 SQLiteValue::text(isNote ? QStringLiteral("Obsidian") : QStringLiteral("Browser")),
                 SQLiteValue::text(notes(i)), SQLiteValue::text(date(created)),
                 SQLiteValue::text(date(updated)),
                 SQLiteValue::text(opened ? std::optional<QString>(date(updated + 3600)) : std::nullopt)});
            insertLink.step();
            insertLink.reset();
            for (int t = 0; t < 3; ++t) {
                insertTag.bind({id, tagIds.at(tagPick(m_random))});
                insertTag.step();
                insertTag.reset();
            }
            summary.linkIds.append(*parseUuid(id));
            summary.urls.append(url);
        }

        SQLiteStatement insertRelation = library.statement(
            QStringLiteral("INSERT OR IGNORE INTO link_relations (id, from_link_id, to_link_id, created_at) "
                           "VALUES (?, ?, ?, ?)"));
        std::uniform_int_distribution<long> linkPick(0, std::max(0L, linkCount - 1));
        for (long r = 0; r < linkCount / 2; ++r) {
            QString from = uuidString(summary.linkIds.at(linkPick(m_random)));
            QString to = uuidString(summary.linkIds.at(linkPick(m_random)));
            if (from == to)
                continue;
            if (to < from)
                std::swap(from, to);
            insertRelation.bind({uuidString(QUuid::createUuid()), from, to, date(when(m_random))});
            insertRelation.step();
            insertRelation.reset();
        }
    });
    return summary;
}

} // namespace morvane::bench
