#include "LinkStore.h"

#include "FileMatchFinder.h"
#include "LinkLookup.h"
#include "LinkMaintenance.h"
#include "LinkWriter.h"
#include "files/FileIdentityService.h"

#include <QCoreApplication>
#include <QThread>

namespace morvane {

LinkStore::LinkStore(DatabaseFactory openDatabase,
                     std::shared_ptr<const FileIdentityService> fileIdentityService,
                     std::shared_ptr<const Clock> clock)
    : m_notifier(std::make_unique<LinkStoreNotifier>())
    , m_identity(std::move(fileIdentityService))
{
    if (QCoreApplication* app = QCoreApplication::instance(); app && m_notifier->thread() != app->thread())
        m_notifier->moveToThread(app->thread());
    m_executor
        .submit([this, open = std::move(openDatabase), clock = std::move(clock)] {
            m_sqlite = open(clock);
            return true;
        })
        .result();
}

LinkStore::~LinkStore()
{
    // Closing is queued like any work, so everything submitted before it still sees the database.
    m_executor.submit([this] { m_sqlite.reset(); });
    m_executor.shutdown();
}

LinkStore::DatabaseFactory LinkStore::libraryAt(std::optional<QString> path)
{
    return [path = std::move(path)](std::shared_ptr<const Clock> clock) {
        return std::make_unique<SQLiteStore>(path, std::move(clock));
    };
}

SQLiteStore& LinkStore::database()
{
    // No library call may run on the main thread (or any other): it would freeze the window and
    // race the store thread on the connection.
    m_executor.requireCurrentThread("The library connection");
    if (!m_sqlite)
        throw ExecutorClosedError();
    return *m_sqlite;
}

QFuture<QList<LinkItem>> LinkStore::allLinks()
{
    return m_executor.submit([this] { return LinkMaintenance(database(), m_identity).allLinks(); });
}

QFuture<QList<FileRepairIssue>> LinkStore::fileRepairIssues(QStringList knownRoots)
{
    return m_executor.submit([this, knownRoots = std::move(knownRoots)] {
        return LinkMaintenance(database(), m_identity).fileRepairIssues(knownRoots);
    });
}

QFuture<LinkItem> LinkStore::repairFileLink(LinkItem item, FileResolutionCandidate candidate)
{
    return m_executor.submit([this, item = std::move(item), candidate = std::move(candidate)] {
        LinkItem repaired = LinkMaintenance(database(), m_identity).repairFileLink(item, candidate);
        postNotification(true);
        return repaired;
    });
}

QFuture<MorvaneLibraryImportPreview> LinkStore::importPreview(QString filePath)
{
    return m_executor.submit(
        [this, filePath = std::move(filePath)] { return LibraryImporter(database()).preview(filePath); });
}

QFuture<LibraryImporter::ImportCounts> LinkStore::importLibrary(QString filePath, bool replacing)
{
    return m_executor.submit([this, filePath = std::move(filePath), replacing] {
        const auto counts = LibraryImporter(database()).importLibrary(filePath, replacing);
        postNotification(true);
        return counts;
    });
}

QFuture<std::optional<LinkItem>> LinkStore::findLink(CapturedContext context)
{
    return m_executor.submit([this, context = std::move(context)] {
        return LinkLookup(database(), m_parser, *m_identity).findLink(context);
    });
}

QFuture<std::optional<LinkItem>> LinkStore::linkForLocator(CapturedContext context)
{
    return m_executor.submit([this, context = std::move(context)] {
        return LinkLookup(database(), m_parser, *m_identity).linkForLocator(context);
    });
}

QFuture<QList<FileMatchCandidate>> LinkStore::fileMatchCandidates(CapturedContext context)
{
    return m_executor.submit([this, context = std::move(context)] {
        return FileMatchFinder(database(), *m_identity).fileMatchCandidates(context);
    });
}

QFuture<LinkItem> LinkStore::useFileMatch(FileMatchCandidate candidate)
{
    return m_executor.submit([this, candidate = std::move(candidate)] {
        return FileMatchFinder(database(), *m_identity).useFileMatch(candidate);
    });
}

QFuture<std::optional<QString>> LinkStore::finderSelectionMatches(CapturedContext context)
{
    return m_executor.submit([this, context = std::move(context)] {
        return FileMatchFinder(database(), *m_identity).finderSelectionMatches(context);
    });
}

QFuture<LinkItem> LinkStore::updateFileIdentity(LinkItem item, FileIdentity captured)
{
    return m_executor.submit([this, item = std::move(item), captured = std::move(captured)] {
        return LinkLookup(database(), m_parser, *m_identity).updateFileIdentity(item, captured);
    });
}

QFuture<std::optional<LinkItem>> LinkStore::linkResolvingBookmark(FileIdentity captured)
{
    return m_executor.submit([this, captured = std::move(captured)] {
        return LinkLookup(database(), m_parser, *m_identity).linkResolvingBookmark(captured);
    });
}

QFuture<LinkItem> LinkStore::addLink(QString title, QString text, QString notes, QString tagsText)
{
    return m_executor.submit([this, title = std::move(title), text = std::move(text),
                              notes = std::move(notes), tagsText = std::move(tagsText)] {
        LinkItem item = LinkWriter(database(), m_parser, *m_identity).addLink(title, text, notes, tagsText);
        postNotification(true);
        return item;
    });
}

QFuture<LinkItem> LinkStore::addCapturedContext(CapturedContext context, QString notes, QString tagsText)
{
    return m_executor.submit(
        [this, context = std::move(context), notes = std::move(notes), tagsText = std::move(tagsText)] {
            LinkItem item =
                LinkWriter(database(), m_parser, *m_identity).addCapturedContext(context, notes, tagsText);
            postNotification(true);
            return item;
        });
}

void LinkStore::notifyDidMutate(bool triggerSync)
{
    if (m_executor.isCurrentThread())
        postNotification(triggerSync);
    else
        m_executor.submit([this, triggerSync] { postNotification(triggerSync); });
}

QFuture<void> LinkStore::setSyncTrigger(SyncTrigger trigger)
{
    return m_executor.submit([this, trigger = std::move(trigger)] { m_syncTrigger = trigger; });
}

void LinkStore::postNotification(bool triggerSync)
{
    // The trigger is store-thread state.
    m_executor.requireCurrentThread("The change announcement");
    m_notifier->post(triggerSync ? m_syncTrigger : SyncTrigger());
}

} // namespace morvane
