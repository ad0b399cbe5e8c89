#pragma once

#include <QList>
#include <QString>

namespace morvane {

// The statements of the library schema, each safe to run on every open (IF NOT EXISTS).
struct LibrarySchema {
    struct Column {
        QString name;
        QString declaration;
    };

    static QString linksTable();               // the nine columns the first version of the library had
    static const QList<Column>& fileColumns(); // added to links later, in this order
    static const QList<QString>& otherTables();
    static const QList<QString>& indexes();
};

} // namespace morvane
