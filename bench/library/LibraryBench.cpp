// Library reads and writes on generated libraries, next to floors measured in the same run: the bare
// recent-links sort, the bare page of ids a search matches in the links' own columns, and the bare scans
// of every link row, tag row and relation row that a full read needs.
//
// The libraries have no statistics (no ANALYZE), as the application leaves a user's library between
// the times SQLite's own upkeep gathers them: the searches must be fast without them.

#include "BenchSupport.h"
#include "LibraryGenerator.h"
#include "library/LinkRow.h"
#include "library/SQLiteStatement.h"
#include "library/SQLiteStore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace morvane;
using morvane::bench::LibraryGenerator;

namespace {

struct GeneratedLibrary {
    QTemporaryDir folder;
    std::unique_ptr<SQLiteStore> store;
    // The same file through a connection of the benchmark's own, for the floors and plain statements.
    std::unique_ptr<SQLiteConnection> raw;
    LibraryGenerator::Summary summary;
    LibraryGenerator generator;
};

// One library per size, generated on first use and shared by every benchmark of that size.
GeneratedLibrary& library(long size)
{
    static std::map<long, std::unique_ptr<GeneratedLibrary>> libraries;
    std::unique_ptr<GeneratedLibrary>& entry = libraries[size];
    if (!entry) {
        entry = std::make_unique<GeneratedLibrary>();
        const QString path = entry->folder.filePath(QStringLiteral("Morvane.sqlite"));
        entry->store = std::make_unique<SQLiteStore>(path);
        entry->summary = entry->generator.populate(*entry->store, size);
        entry->raw = std::make_unique<SQLiteConnection>(SQLiteConnection::open(path));
    }
    return *entry;
}

QString pattern(int which)
{
    switch (which) {
    case 0:
        return LibraryGenerator::rareTerm();
    case 1:
        return LibraryGenerator::commonTerm();
    default:
        return LibraryGenerator::tagOnlyTerm();
    }
}

void sizesAndPatterns(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({10000, 100000, 300000}))
        for (int which = 0; which < 3; ++which)
            b->Args({size, which});
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({10000, 100000}))
        b->Arg(size);
}

// Steps through the statement and reads the first columns of every row as SQLite holds them, without
// making anything of them.
qint64 scan(SQLiteConnection& library, const QString& sql, int columns,
            const QList<SQLiteValue>& parameters = {})
{
    SQLiteStatement statement = library.statement(sql);
    statement.bind(parameters);
    qint64 rows = 0;
    qint64 bytes = 0;
    while (statement.step()) {
        ++rows;
        // Under one hold of the connection's lock per row, as the library's own readers take them.
        const SQLiteRow row(statement);
        for (int column = 0; column < columns; ++column)
            bytes += row.utf8(column).size();
    }
    benchmark::DoNotOptimize(bytes);
    return rows;
}

void countRows(benchmark::State& state, SQLiteConnection& library, const QString& sql,
               const QList<SQLiteValue>& parameters)
{
    qint64 rows = 0;
    for (auto _ : state)
        rows = scan(library, sql, 1, parameters);
    state.counters["rows"] = double(rows);
}

void BM_RecentLinks(benchmark::State& state)
{
    SQLiteStore& store = *library(state.range(0)).store;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.reads().searchLinks(QString()));
}

void BM_FloorRecentSort(benchmark::State& state)
{
    countRows(state, *library(state.range(0)).raw,
              QStringLiteral("SELECT id FROM links ORDER BY COALESCE(last_opened_at, updated_at) DESC, "
                             "title COLLATE NOCASE ASC LIMIT 200"),
              {});
}

void BM_Search(benchmark::State& state)
{
    SQLiteStore& store = *library(state.range(0)).store;
    const QString text = pattern(int(state.range(1)));
    qsizetype found = 0;
    for (auto _ : state) {
        found = store.reads().searchLinks(text).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["rows"] = double(found);
    state.SetLabel(text.toStdString());
}

// The page of ids that the links' own columns give, ordered as a search orders it.
void BM_FloorSearchPage(benchmark::State& state)
{
    const QString text = pattern(int(state.range(1)));
    countRows(state, *library(state.range(0)).raw,
              QStringLiteral("SELECT id FROM links WHERE title LIKE ?1 OR url LIKE ?1 OR type LIKE ?1 OR "
                             "notes LIKE ?1 ORDER BY CASE WHEN title LIKE ?1 THEN 0 ELSE 1 END, "
                             "title COLLATE NOCASE ASC LIMIT 200"),
              {u'%' + text + u'%'});
    state.SetLabel(text.toStdString());
}

// A rare term's floor: the bare trigram MATCH, then the ordered page of what it found (with the links of
// matching tag names, as the search's own page statement has them) and that page's rows, without their
// tags and relation counts.
void BM_FloorRareMatchAndPage(benchmark::State& state)
{
    SQLiteConnection& raw = *library(state.range(0)).raw;
    const QString text = LibraryGenerator::rareTerm();
    QStringList trigrams;
    for (qsizetype i = 0; i + 3 <= text.size(); ++i)
        trigrams.append(u'"' + text.mid(i, 3) + u'"');
    const QString match = trigrams.join(QStringLiteral(" AND "));
    const QString like = u'%' + text + u'%';
    const auto ids = [&](const QString& sql, const QList<SQLiteValue>& parameters) {
        SQLiteStatement statement = raw.statement(sql);
        statement.bind(parameters);
        QStringList found;
        while (statement.step())
            found.append(QString::number(statement.int64(0)));
        return u'[' + found.join(u',') + u']';
    };
    qint64 rows = 0;
    for (auto _ : state) {
        const QString candidates =
            ids(QStringLiteral("SELECT rowid FROM link_search WHERE link_search MATCH ?1"), {match});
        const QString page =
            ids(QStringLiteral(
                    "SELECT page.rid FROM (SELECT rowid AS rid, CASE WHEN title LIKE ?1 THEN 0 ELSE 1 END AS "
                    "rank, title FROM links WHERE rowid IN (SELECT value FROM json_each(?2)) AND (title LIKE "
                    "?1 OR url LIKE ?1 OR type LIKE ?1 OR notes LIKE ?1) UNION ALL SELECT rowid, 1, title "
                    "FROM links WHERE id IN (SELECT link_tags.link_id FROM tags CROSS JOIN link_tags ON "
                    "link_tags.tag_id = tags.id WHERE tags.name LIKE ?1) AND NOT (title LIKE ?1 OR url LIKE "
                    "?1 OR type LIKE ?1 OR notes LIKE ?1)) AS page ORDER BY page.rank, page.title COLLATE "
                    "NOCASE ASC, page.rid ASC LIMIT 200"),
                {like, candidates});
        rows = scan(raw,
                    linkStoredColumnsSql() + QStringLiteral("FROM json_each(?1) AS page CROSS JOIN links ON "
                                                            "links.rowid = page.value ORDER BY page.key"),
                    15, {page});
    }
    state.counters["rows"] = double(rows);
}

void rareSizes(benchmark::internal::Benchmark* b)
{
    for (long size : bench::sizes({10000, 100000, 300000}))
        b->Args({size, 0});
}

// The plain statement that computes every candidate's tags before sorting, for comparison.
void BM_PlainSearchStatement(benchmark::State& state)
{
    SQLiteConnection& raw = *library(state.range(0)).raw;
    const QString like = u'%' + pattern(int(state.range(1))) + u'%';
    const QString sql =
        linkColumnsSql() +
        QStringLiteral(
            "FROM links WHERE title LIKE ?1 OR url LIKE ?1 OR type LIKE ?1 OR notes LIKE ?1 OR EXISTS "
            "(SELECT 1 FROM tags INNER JOIN link_tags ON link_tags.tag_id = tags.id WHERE "
            "link_tags.link_id = links.id AND tags.name LIKE ?1) ORDER BY CASE WHEN title LIKE ?1 "
            "THEN 0 ELSE 1 END, title COLLATE NOCASE ASC LIMIT 200");
    for (auto _ : state)
        benchmark::DoNotOptimize(queryLinks(raw, sql, {like}));
    state.SetLabel(pattern(int(state.range(1))).toStdString());
}

void BM_AllLinks(benchmark::State& state)
{
    SQLiteStore& store = *library(state.range(0)).store;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.reads().allLinks());
}

// The rows a full read steps through, in its order, and every tag and relation row, read bare.
void BM_FloorAllLinksScans(benchmark::State& state)
{
    SQLiteConnection& raw = *library(state.range(0)).raw;
    qint64 rows = 0;
    for (auto _ : state) {
        rows = scan(raw,
                    linkStoredColumnsSql() +
                        QStringLiteral("FROM links ORDER BY updated_at ASC, title COLLATE NOCASE ASC"),
                    15);
        rows += scan(raw, QStringLiteral("SELECT id, name FROM tags"), 2);
        rows += scan(raw, QStringLiteral("SELECT link_id, tag_id FROM link_tags"), 2);
        rows += scan(raw, QStringLiteral("SELECT from_link_id, to_link_id FROM link_relations"), 2);
    }
    state.counters["rows"] = double(rows);
}

// The plain statement that computes tags and relation counts per row, for comparison.
void BM_PlainAllLinksStatement(benchmark::State& state)
{
    SQLiteConnection& raw = *library(state.range(0)).raw;
    const QString sql =
        linkColumnsSql() + QStringLiteral("FROM links ORDER BY updated_at ASC, title COLLATE NOCASE ASC");
    for (auto _ : state)
        benchmark::DoNotOptimize(queryLinks(raw, sql));
}

void BM_LinkByURL(benchmark::State& state)
{
    GeneratedLibrary& generated = library(state.range(0));
    const QList<QString>& urls = generated.summary.urls;
    qsizetype next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(generated.store->reads().linkByURL(urls.at(next)));
        next = (next + 7919) % urls.size();
    }
}

void BM_AddLinkWithTags(benchmark::State& state)
{
    GeneratedLibrary& generated = library(state.range(0));
    long index = 0;
    for (auto _ : state) {
        LinkItem item;
        item.id = QUuid::createUuid();
        item.title = generated.generator.title(index);
        item.url = QStringLiteral("https://added.example/%1/%2").arg(state.range(0)).arg(index++);
        item.sourceApp = QStringLiteral("Browser");
        item.createdAt = item.updatedAt = generated.store->clock().now();
        generated.store->writes().insertLink(item);
        generated.store->writes().replaceTags({LibraryGenerator::tagName(int(index % 2000)),
                                               QStringLiteral("new tag"), QStringLiteral("Inbox")},
                                              item.id);
    }
}

// Indexing a library written before the search index existed, as opening it does in steps: the time of
// all the steps, and what the file grows by (pages in use, so that the pages of the index dropped to
// make the library old again do not count).
void BM_IndexExistingLibrary(benchmark::State& state)
{
    GeneratedLibrary& generated = library(state.range(0));
    const auto pagesInUse = [&] {
        SQLiteStatement pages = generated.raw->statement(
            QStringLiteral("SELECT (SELECT page_count FROM pragma_page_count) - (SELECT freelist_count FROM "
                           "pragma_freelist_count), (SELECT page_size FROM pragma_page_size)"));
        pages.step();
        return pages.int64(0) * pages.int64(1);
    };
    double before = 0;
    double after = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* sql : {"DROP TRIGGER link_search_insert", "DROP TRIGGER link_search_update",
                                "DROP TRIGGER link_search_delete", "DROP TABLE link_search",
                                "DROP TABLE link_search_progress", "DROP INDEX links_title_nocase_idx"})
            generated.raw->execute(QString::fromUtf8(sql));
        before = double(pagesInUse());
        state.ResumeTiming();
        SQLiteStore reopened(generated.store->databasePath());
        int steps = 1;
        while (!reopened.searchIndex().buildStep())
            ++steps;
        state.counters["steps"] = steps;
        state.PauseTiming();
        after = double(pagesInUse());
        state.ResumeTiming();
    }
    state.counters["MB_before"] = before / 1e6;
    state.counters["MB_growth"] = (after - before) / 1e6;
}

BENCHMARK(BM_FloorRecentSort)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecentLinks)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorSearchPage)->Apply(sizesAndPatterns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorRareMatchAndPage)->Apply(rareSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search)->Apply(sizesAndPatterns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainSearchStatement)->Apply(sizesAndPatterns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorAllLinksScans)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllLinks)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainAllLinksStatement)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinkByURL)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddLinkWithTags)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IndexExistingLibrary)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
