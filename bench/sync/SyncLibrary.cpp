// Syncs a library into a record folder and leaves both as a machine leaves them after its passes, for
// the start-up benchmark to start morvane on with sync on: every record in the folder, settled, and the
// library knowing where its last pass left off.
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/Clock.h"
#include "foundation/FreedMemory.h"
#include "foundation/UserDefaults.h"
#include "store/LinkStore.h"
#include "sync/FolderRecordStore.h"
#include "sync/RecordStoreSyncService.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QStringList>
#include <QThread>

#include <cstdio>
#include <memory>

using namespace morvane;

namespace {

QCoro::Task<bool> passSucceeds(RecordStoreSyncService& service, LinkStore& store)
{
    try {
        co_await service.sync(store);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "the sync pass failed: %s\n", error.what());
        co_return false;
    }
    co_return true;
}

} // namespace

int main(int argc, char* argv[])
{
    keepLittleFreedMemory(); // as the application does
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: %s <library path> <record folder>\n", argv[0]);
        return 2;
    }
    LinkStore store(LinkStore::libraryAt(arguments.at(1)),
                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    RecordStoreSyncService service(std::make_shared<FolderRecordStore>(arguments.at(2)),
                                   UserDefaults::inMemory(), SystemClock::shared());
    if (!QCoro::waitFor(passSucceeds(service, store)))
        return 1;
    // The folder store does not trust a file written within a moment; the pass after that reads every
    // file once more and keeps their stamps in the library.
    QThread::sleep(3);
    return QCoro::waitFor(passSucceeds(service, store)) ? 0 : 1;
}
