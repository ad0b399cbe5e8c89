#include "LinkStoreDetail.h"

#include "LinkMaintenance.h"
#include "LinkWriter.h"
#include "files/FileIdentityService.h"

#include "foundation/Error.h"
#include "foundation/FreedMemory.h"
#include "foundation/Logging.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>

Q_DECLARE_LOGGING_CATEGORY(lcLinkStore)
MORVANE_LOGGING_CATEGORY(lcOpenBookkeeping, "LinkStore")

namespace morvane {

namespace {

using detail::Pending;

} // namespace

LinkStore::LinkStore(LibraryLocation library, std::shared_ptr<const FileIdentityService> fileIdentityService,
                     std::shared_ptr<const Clock> clock, std::shared_ptr<FileWorkPool> filePool,
                     Opening opening)
    : m_notifier(std::make_unique<LinkStoreNotifier>())
    , m_identity(std::move(fileIdentityService))
    , m_filePool(filePool ? std::move(filePool) : std::make_shared<FileWorkPool>())
{
    if (QCoreApplication* app = QCoreApplication::instance(); app && m_notifier->thread() != app->thread())
        m_notifier->moveToThread(app->thread());
    m_opened = m_executor.submit([this, path = std::move(library.path), clock = std::move(clock)] {
        m_sqlite = std::make_unique<SQLiteStore>(path, clock);
        return true;
    });
    if (opening == Opening::waited)
        waitUntilOpen();
}

void LinkStore::waitUntilOpen()
{
    m_opened.result();
}

void LinkStore::prepareSearch()
{
    inSteps(
        [](SQLiteStore& sqlite) {
            if (!sqlite.searchIndex().buildStep())
                return false;
            sqlite.reads().warmSearch();
            return true;
        },
        "Could not prepare the library's search index:");
    inSteps([](SQLiteStore& sqlite) { return sqlite.reads().prepareShortTextsCopyStep(); },
            "Could not keep a copy of the links' texts for short searches:");
}

void LinkStore::prepareShortSearch()
{
    inSteps([](SQLiteStore& sqlite) { return sqlite.reads().prepareShortSearchStep(); },
            "Could not read the links' texts for short searches:");
}

void LinkStore::releaseSearchMemory()
{
    m_executor.post([this] {
        if (m_sqlite)
            m_sqlite->reads().releaseSearchMemory();
    });
}

// One step per turn of the store thread, so that what is submitted meanwhile (a search typed while the
// steps run) runs between them, until a step says it is done. A failure ends the steps: what they
// prepare is only ever a head start, and searches do without it.
void LinkStore::inSteps(std::function<bool(SQLiteStore&)> step, const char* failure)
{
    m_executor.post([this, step = std::move(step), failure]() mutable {
        if (!m_sqlite) // closed while steps were queued
            return;
        try {
            if (!step(*m_sqlite))
                inSteps(std::move(step), failure);
        } catch (const std::exception& error) {
            qCWarning(lcLinkStore) << failure << error.what();
        }
    });
}

LinkStore::~LinkStore()
{
    m_lane.close();
    if (m_executor.isCurrentThread()) {
        // Destroyed from its own work: this thread cannot wait for file work that needs it back.
        // What is queued runs here; file work finishing later finds the store closed.
        m_executor.shutdown();
        m_lane.waitUntilIdle();
        m_filePool->waitForDone();
        m_sqlite.reset();
        return;
    }
    // Everything admitted before now runs to its end, file work included; then closing is queued
    // like any work, so all of it still sees the database.
    m_lane.waitUntilIdle();
    m_filePool->waitForDone();
    m_executor.post([this] { m_sqlite.reset(); });
    m_executor.shutdown();
}

LinkStore::LibraryLocation LinkStore::libraryAt(std::optional<QString> path)
{
    return LibraryLocation{std::move(path)};
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
    using Links = QList<LinkItem>;
    return withFileWork(
        [](SQLiteStore& sqlite) -> std::variant<Links, Pending<Links>> {
            Links links = sqlite.reads().allLinks();
            if (!LinkMaintenance::anyWantsFingerprint(links))
                return links;
            return Pending<Links>{std::move(links)};
        },
        [identity = m_identity](const Pending<Links>& read) {
            return LinkMaintenance::fingerprintFills(read.value, *identity);
        },
        [identity = m_identity](SQLiteStore& sqlite, const Pending<Links>& read,
                                const QList<LinkMaintenance::FingerprintFill>& fills) {
            return LinkMaintenance(sqlite.reads(), sqlite.writes(), sqlite.transactions(), identity)
                .applyFills(read.value, fills);
        });
}

QFuture<void> LinkStore::recordOpened(QUuid id, std::optional<FileIdentity> observed, bool confirmed)
{
    return run([id, observed = std::move(observed), confirmed](SQLiteStore& sqlite) {
        if (observed) {
            try {
                sqlite.writes().upsertLocalResolution(
                    id, FileIdentity::merged(*observed, sqlite.fileLookups().localResolution(id)), confirmed);
            } catch (...) {
                qCWarning(lcOpenBookkeeping).noquote() << "The opened file's evidence was not recorded:"
                                                       << describeError(std::current_exception());
            }
        }
        try {
            sqlite.writes().recordOpen(id);
        } catch (...) {
            qCWarning(lcOpenBookkeeping).noquote()
                << "The time of opening was not recorded:" << describeError(std::current_exception());
        }
    });
}

QFuture<QList<FileRepairIssue>> LinkStore::fileRepairIssues(QStringList knownRoots)
{
    using Issues = QList<FileRepairIssue>;
    return withFileWork(
        [](SQLiteStore& sqlite) -> std::variant<Issues, Pending<QList<LinkItem>>> {
            return Pending<QList<LinkItem>>{sqlite.reads().allLinks()};
        },
        [identity = m_identity, knownRoots = std::move(knownRoots)](const Pending<QList<LinkItem>>& read) {
            return LinkMaintenance::repairIssues(read.value, knownRoots, identity);
        },
        [](SQLiteStore&, const Pending<QList<LinkItem>>&, const Issues& issues) { return issues; });
}

QFuture<LinkItem> LinkStore::repairFileLink(LinkItem item, FileResolutionCandidate candidate)
{
    using Chosen = Pending<FileResolutionCandidate>;
    return withFileWork([candidate = std::move(candidate)](
                            SQLiteStore&) -> std::variant<LinkItem, Chosen> { return Chosen{candidate}; },
                        [identity = m_identity](const Chosen& chosen) {
                            return LinkMaintenance::candidateIdentity(chosen.value, *identity);
                        },
                        [this, item = std::move(item)](SQLiteStore& sqlite, const Chosen& chosen,
                                                       const std::optional<FileIdentity>& identity) {
                            LinkItem repaired = LinkMaintenance(sqlite.reads(), sqlite.writes(),
                                                                sqlite.transactions(), m_identity)
                                                    .relink(item, chosen.value, identity);
                            postNotification(true);
                            return repaired;
                        });
}

QFuture<MorvaneLibraryImportPreview> LinkStore::importPreview(QString filePath)
{
    using Backup = Pending<QString>;
    return withFileWork(
        [filePath = std::move(filePath)](SQLiteStore&) -> std::variant<MorvaneLibraryImportPreview, Backup> {
            return Backup{filePath};
        },
        [](const Backup& backup) { return LibraryImporter::readBackupFile(backup.value); },
        [](SQLiteStore& sqlite, const Backup&, const MorvaneLibraryExport& document) {
            return LibraryImporter(sqlite.reads(), sqlite.merge(), sqlite.transactions()).preview(document);
        });
}

QFuture<LibraryImporter::ImportCounts> LinkStore::importLibrary(QString filePath, bool replacing)
{
    using Backup = Pending<QString>;
    return withFileWork(
        [filePath = std::move(filePath)](
            SQLiteStore&) -> std::variant<LibraryImporter::ImportCounts, Backup> { return Backup{filePath}; },
        [](const Backup& backup) { return LibraryImporter::readBackupFile(backup.value); },
        [this, replacing](SQLiteStore& sqlite, const Backup&, const MorvaneLibraryExport& document) {
            const auto counts = LibraryImporter(sqlite.reads(), sqlite.merge(), sqlite.transactions())
                                    .importDocument(document, replacing);
            postNotification(true);
            // Next on this thread, once this job and the backup it holds are gone: what the import freed
            // (the backup read, the large cache of its transaction) goes back to the system. A replacing
            // import of 100,000 links otherwise left the process holding about 200 MB more than before it.
            m_executor.post(releaseFreedMemory);
            return counts;
        });
}

QFuture<LinkItem> LinkStore::addLink(QString title, QString text, QString notes, QString tagsText)
{
    return addNewLink(
        [this, title = std::move(title), text = std::move(text), notes = std::move(notes),
         tagsText = std::move(tagsText)] { return NewLink::typed(m_parser, title, text, notes, tagsText); });
}

QFuture<LinkItem> LinkStore::addCapturedContext(CapturedContext context, QString notes, QString tagsText)
{
    return addNewLink(
        [this, context = std::move(context), notes = std::move(notes), tagsText = std::move(tagsText)] {
            return NewLink::fromContext(m_parser, context, notes, tagsText);
        });
}

QFuture<LinkItem> LinkStore::addNewLink(std::function<NewLink()> parse)
{
    const auto saved = [this](SQLiteStore& sqlite, const NewLink& link,
                              const std::optional<FileIdentity>& identity) {
        LinkItem item = LinkWriter(sqlite.reads(), sqlite.writes(), sqlite.transactions(), sqlite.clock(),
                                   m_parser, *m_identity)
                            .save(link, identity);
        postNotification(true);
        return item;
    };
    return withFileWork(
        [parse = std::move(parse), saved](SQLiteStore& sqlite) -> std::variant<LinkItem, NewLink> {
            NewLink link = parse(); // a parser error is thrown before anything is written
            if (link.takesFileEvidence)
                return link;
            return saved(sqlite, link, std::nullopt);
        },
        [identity = m_identity](const NewLink& link) { return link.fileEvidence(*identity); }, saved);
}

void LinkStore::notifyDidMutate(bool triggerSync)
{
    if (m_executor.isCurrentThread())
        postNotification(triggerSync);
    else
        run([this, triggerSync](SQLiteStore&) { postNotification(triggerSync); });
}

QFuture<void> LinkStore::setSyncTrigger(SyncTrigger trigger)
{
    return run([this, trigger = std::move(trigger)](SQLiteStore&) { m_syncTrigger = trigger; });
}

void LinkStore::postNotification(bool triggerSync)
{
    // The trigger is store-thread state.
    m_executor.requireCurrentThread("The change announcement");
    m_notifier->post(triggerSync ? m_syncTrigger : SyncTrigger());
}

} // namespace morvane
