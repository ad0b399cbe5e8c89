#include "LinkRow.h"

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "StoredIdMap.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <algorithm>
#include <array>

namespace morvane {

namespace {
enum Column {
    idColumn,
    titleColumn,
    urlColumn,
    typeColumn,
    sourceAppColumn,
    notesColumn,
    createdAtColumn,
    updatedAtColumn,
    lastOpenedAtColumn,
    bookmarkColumn,
    resourceIdColumn,
    volumeIdColumn,
    lastKnownPathColumn,
    contentHashColumn,
    fileSizeColumn,
    tagNamesColumn,
    linkedCountColumn,
};

// Tag names may hold any printable character, commas included; the unit separator cannot be typed.
constexpr QChar tagSeparator(0x1F);

// The type of a stored raw value, compared as the row's own UTF-8 text.
std::optional<LinkType> linkTypeOfStoredText(QByteArrayView text)
{
    static const QList<std::pair<QByteArray, LinkType>> rawValues = [] {
        QList<std::pair<QByteArray, LinkType>> values;
        for (const LinkType type : allLinkTypes())
            values.append({rawValue(type).toUtf8(), type});
        return values;
    }();
    for (const auto& [raw, type] : rawValues) {
        if (text == QByteArrayView(raw))
            return type;
    }
    return std::nullopt;
}

bool isAscii(QByteArrayView text)
{
    unsigned char bits = 0;
    for (const char byte : text)
        bits |= static_cast<unsigned char>(byte);
    return bits < 0x80;
}

// Decodes the texts into the strings, as QString::fromUtf8 would, with those that are plain ASCII (as a
// link's title, locator and notes mostly are) sharing one block: a few small blocks per link made most of
// a full read's allocations, and freeing them afterwards cost about as much again. The block is shared
// the way QString shares any data, so the first change to one of the strings gives it a copy of its
// own, and the block goes with the last of them.
template <std::size_t count>
void decodeTogether(const std::array<QByteArrayView, count>& texts,
                    const std::array<QString*, count>& strings)
{
    std::array<bool, count> shared{};
    qsizetype units = 0;
    for (std::size_t i = 0; i < count; ++i) {
        shared[i] = !texts[i].isEmpty() && isAscii(texts[i]);
        if (shared[i])
            units += texts[i].size() + 1; // each keeps its terminating null, as every QString's data does
        else
            *strings[i] = texts[i].data() == nullptr ? QString() : QString::fromUtf8(texts[i]);
    }
    if (units == 0)
        return;
    auto [block, next] = QTypedArrayData<char16_t>::allocate(units);
    Q_CHECK_PTR(block);
    bool first = true;
    for (std::size_t i = 0; i < count; ++i) {
        if (!shared[i])
            continue;
        const qsizetype size = texts[i].size();
        std::transform(texts[i].begin(), texts[i].end(), next,
                       [](char byte) { return char16_t(static_cast<unsigned char>(byte)); });
        next[size] = u'\0';
        if (!first)
            block->ref();
        first = false;
        *strings[i] = QString(QString::DataPointer(block, next, size));
        next += size + 1;
    }
}

// Days from 1970-01-01 to a proleptic Gregorian date.
constexpr qint64 daysSinceEpoch(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int era = year / 400; // years are 1 to 9999 here
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return qint64(era) * 146097 + dayOfEra - 719468;
}

constexpr bool isLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// The digits of text[from, from + count) as a number, or -1 when one is not a digit.
int digitsAt(QByteArrayView text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const unsigned digit = unsigned(static_cast<unsigned char>(text[i])) - '0';
        if (digit > 9)
            return -1;
        value = value * 10 + int(digit);
    }
    return value;
}
} // namespace

std::optional<QDateTime> readStoredDate(QByteArrayView text)
{
    // QDate and QTime validate and convert field by field, which made the dates a sizeable part of a
    // full read; the one form the library writes is read straight into milliseconds, and anything else
    // goes to the general reader.
    if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.' || text[23] != 'Z')
        return parseLibraryDate(text);
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2);
    const int minute = digitsAt(text, 14, 2);
    const int second = digitsAt(text, 17, 2);
    const int millis = digitsAt(text, 20, 3);
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59 || millis < 0 ||
        day > monthDays[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0))
        return parseLibraryDate(text);
    const qint64 msecs = daysSinceEpoch(year, month, day) * 86'400'000 + hour * 3'600'000 + minute * 60'000 +
                         second * 1000 + millis;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

const QString& linkColumnsSql()
{
    static const QString sql = QStringLiteral(
        "SELECT links.id, links.title, links.url, links.type, links.source_app, links.notes, "
        "links.created_at, links.updated_at, links.last_opened_at, links.bookmark_data, "
        "links.file_resource_identifier, links.volume_identifier, links.last_known_path, "
        "links.content_hash, links.file_size, "
        "COALESCE((SELECT GROUP_CONCAT(ordered_tags.name, char(31)) FROM "
        "(SELECT tags.name AS name FROM link_tags INNER JOIN tags ON tags.id = link_tags.tag_id "
        "WHERE link_tags.link_id = links.id ORDER BY tags.name COLLATE NOCASE ASC) AS ordered_tags), '') "
        "AS tag_names, "
        "(SELECT COUNT(*) FROM link_relations WHERE link_relations.from_link_id = links.id "
        "OR link_relations.to_link_id = links.id) AS linked_count ");
    return sql;
}

const QString& linkStoredColumnsSql()
{
    static const QString sql =
        QStringLiteral("SELECT links.id, links.title, links.url, links.type, links.source_app, links.notes, "
                       "links.created_at, links.updated_at, links.last_opened_at, links.bookmark_data, "
                       "links.file_resource_identifier, links.volume_identifier, links.last_known_path, "
                       "links.content_hash, links.file_size ");
    return sql;
}

QStringList splitTagNames(const QString& tagNames)
{
    if (tagNames.isEmpty())
        return {};
    return tagNames.split(tagSeparator, Qt::SkipEmptyParts);
}

QString TextInterner::text(QByteArrayView utf8)
{
    if (utf8.isEmpty())
        return QString::fromUtf8(utf8);
    for (const auto& [bytes, text] : std::as_const(m_texts)) {
        if (utf8 == QByteArrayView(bytes))
            return text;
    }
    QString text = QString::fromUtf8(utf8);
    if (m_texts.size() < capacity)
        m_texts.append({utf8.toByteArray(), text});
    return text;
}

bool decodeStoredLinkColumns(const SQLiteRow& row, LinkItem& item, TextInterner* sourceApps,
                             std::optional<StoredIdKey>* writtenKey)
{
    // The id, the type and the dates are read from the row's own UTF-8 text: a full read decodes every
    // row, and making a QString of each only to parse it would cost as much as the read.
    const QByteArrayView idText = row.utf8(idColumn);
    const std::optional<StoredIdKey> key = writtenIdKey(idText);
    std::optional<QUuid> id =
        key ? std::optional<QUuid>(uuidOfKey(*key)) : parseUuid(QString::fromUtf8(idText));
    if (!id)
        return false;
    const std::optional<LinkType> type = linkTypeOfStoredText(row.utf8(typeColumn));
    if (!type)
        return false;
    const std::optional<QDateTime> createdAt = readStoredDate(row.utf8(createdAtColumn));
    const std::optional<QDateTime> updatedAt = readStoredDate(row.utf8(updatedAtColumn));
    if (!createdAt || !updatedAt)
        return false;

    item.id = *id;
    decodeTogether<3>({row.utf8(titleColumn), row.utf8(urlColumn), row.utf8(notesColumn)},
                      {&item.title, &item.url, &item.notes});
    item.type = *type;
    item.sourceApp = sourceApps ? sourceApps->text(row.utf8(sourceAppColumn)) : row.text(sourceAppColumn);
    item.bookmarkData = row.blob(bookmarkColumn);
    if (item.bookmarkData && item.bookmarkData->isEmpty())
        item.bookmarkData.reset();
    item.fileResourceIdentifier = row.optionalText(resourceIdColumn);
    item.volumeIdentifier = row.optionalText(volumeIdColumn);
    item.lastKnownPath = row.optionalText(lastKnownPathColumn);
    item.contentHash = row.optionalText(contentHashColumn);
    item.fileSize = row.optionalInt64(fileSizeColumn);
    item.createdAt = *createdAt;
    item.updatedAt = *updatedAt;
    item.lastOpenedAt.reset();
    if (const std::optional<QByteArrayView> lastOpenedAt = row.optionalUtf8(lastOpenedAtColumn))
        item.lastOpenedAt = readStoredDate(*lastOpenedAt);
    if (writtenKey)
        *writtenKey = key;
    return true;
}

bool decodeLinkRow(const SQLiteStatement& statement, LinkItem& item)
{
    const SQLiteRow row(statement);
    if (!decodeStoredLinkColumns(row, item))
        return false;
    item.tags = splitTagNames(row.text(tagNamesColumn));
    item.linkedItemCount = int(row.int64(linkedCountColumn));
    return true;
}

QList<LinkItem> queryLinks(SQLiteConnection& connection, const QString& sql,
                           const QList<SQLiteValue>& parameters)
{
    SQLiteStatement statement = connection.statement(sql);
    statement.bind(parameters);
    QList<LinkItem> links;
    while (statement.step()) {
        if (!decodeLinkRow(statement, links.emplaceBack()))
            links.removeLast();
    }
    return links;
}

QList<LinkRelation> queryRelations(SQLiteConnection& connection, const QString& sql,
                                   const QList<SQLiteValue>& parameters, qint64* lastRow)
{
    SQLiteStatement statement = connection.statement(sql);
    statement.bind(parameters);
    QList<LinkRelation> relations;
    while (statement.step()) {
        if (lastRow)
            *lastRow = statement.int64(4);
        const std::optional<QUuid> id = parseUuid(statement.text(0));
        const std::optional<QUuid> from = parseUuid(statement.text(1));
        const std::optional<QUuid> to = parseUuid(statement.text(2));
        const std::optional<QDateTime> createdAt = parseLibraryDate(statement.text(3));
        if (id && from && to && createdAt)
            relations.append(LinkRelation{*id, *from, *to, *createdAt});
    }
    return relations;
}

} // namespace morvane
