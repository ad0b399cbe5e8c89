// Writes a generated library of the given size to the given path, for the start-up benchmark to copy
// into each run's data folder.
#include "LibraryGenerator.h"
#include "library/SQLiteStore.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool isNumber = false;
    const long size = arguments.size() == 3 ? arguments.at(2).toLong(&isNumber) : 0;
    if (!isNumber || size < 0) {
        std::fprintf(stderr, "usage: %s <library path> <link count>\n", argv[0]);
        return 2;
    }
    morvane::SQLiteStore store(arguments.at(1));
    morvane::bench::LibraryGenerator().populate(store, size);
    return 0;
}
