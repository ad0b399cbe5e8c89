// Resident memory of a process that opens a library, as a start does, and then replaces it with a
// backup of the same size, as an import through Preferences does: the memory the import leaves behind
// once it is done, beside the memory of the fresh start.
//
//   replace_resident <folder> <links>   makes <folder>/backup.json and <folder>/library.sqlite holding
//                                       it, then runs the measure in a process of its own
//   replace_resident --measure <folder> prints the resident kB after opening and after the replace
#include "SyntheticBackup.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/FreedMemory.h"
#include "library/SQLiteStore.h"
#include "store/LibraryImporter.h"
#include "store/LinkStoreDetail.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QThread>

#include <cstdio>

using namespace morvane;

namespace {

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLong();
    }
    return -1;
}

// Once two readings 300 ms apart agree (at most 5 s), as the start-up benchmark reads a start's.
long settledKilobytes()
{
    long last = -1;
    for (int reading = 0; reading < 16; ++reading) {
        const long now = residentKilobytes();
        if (now == last)
            break;
        last = now;
        QThread::msleep(300);
    }
    return last;
}

// The store as the application makes it: the import's backup is read on its file thread and written on
// the store's thread.
int measure(const QDir& folder)
{
    LinkStore store(LinkStore::libraryAt(folder.filePath(QStringLiteral("library.sqlite"))),
                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    const qsizetype links = store.counts().result().links;
    const long fresh = settledKilobytes();
    store.importLibrary(folder.filePath(QStringLiteral("backup.json")), true).waitForFinished();
    // Whatever the store's thread queued after the import has run.
    LinkStoreDatabase(store).run([](SQLiteStore&) {}).waitForFinished();
    const long after = settledKilobytes();
    std::printf("links %lld  resident after opening %ld kB  after the replacing import %ld kB  ratio %.2f\n",
                static_cast<long long>(links), fresh, after, double(after) / double(fresh));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    keepLittleFreedMemory(); // as the application does
    QCoreApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("morvane.*.info=false"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--measure"))
        return measure(QDir(arguments[2]));
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: replace_resident <folder> <links> | --measure <folder>\n");
        return 2;
    }
    const QDir folder(arguments[1]);
    folder.mkpath(QStringLiteral("."));
    const QString backup = folder.filePath(QStringLiteral("backup.json"));
    {
        QFile file(backup);
        if (!file.open(QIODevice::WriteOnly) || file.write(bench::syntheticBackup(arguments[2].toLong())) < 0)
            return 1;
    }
    {
        SQLiteStore store(folder.filePath(QStringLiteral("library.sqlite")));
        LibraryImporter(store.reads(), store.merge(), store.transactions()).importLibrary(backup, false);
    }
    return QProcess::execute(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("--measure"), folder.path()});
}
