#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <random>

namespace morvane {

class SQLiteStore;

namespace bench {

// Fills a library with synthetic links: titles, urls and notes made of invented words, three tags
// each from a fixed pool, half as many relations as links, a fifth of the links opened. Everything is
// written in one transaction, straight into the tables of the store's file through a connection of the
// generator's own, and is the same for the same seed.
//
// Known search terms: rareTerm() occurs in about one link in a thousand (titles and notes),
// commonTerm() in about a third of them, and tagOnlyTerm() only in the name of one tag.
class LibraryGenerator {
public:
    struct Summary {
        QList<QUuid> linkIds;
        QList<QString> urls;
    };

    explicit LibraryGenerator(unsigned seed = 20240501, int tagPoolSize = 2000);

    Summary populate(const SQLiteStore& store, long linkCount);

    static QString rareTerm() { return QStringLiteral("orchid"); }
    static QString commonTerm() { return QStringLiteral("report"); }
    static QString tagOnlyTerm() { return tagName(42); }
    static QString tagName(int index);

    // A title made the way the generator makes them (for links added during a measurement).
    QString title(long index);

private:
    QString word();
    QString words(int count);
    QString notes(long index);
    QString date(qint64 offsetSeconds);

    std::mt19937 m_random;
    int m_tagPoolSize;
    QList<QString> m_vocabulary;
};

} // namespace bench
} // namespace morvane
