#include "ContextLookups.h"

#include "FileMatchFinder.h"
#include "LinkLookup.h"
#include "LinkStoreDetail.h"
#include "files/FileIdentityService.h"
#include "model/FileLocator.h"

namespace morvane {

namespace {

using detail::Pending;

using Selection = FileMatchFinder::Selection;

// The file steps of the selection lookups.
auto examineSelection(std::shared_ptr<const FileIdentityService> identity)
{
    return [identity = std::move(identity)](const Selection& selection) {
        return FileMatchFinder::examine(selection, *identity);
    };
}

// The synchronous halves, over the parts of the library they use.
LinkLookup lookupIn(SQLiteStore& sqlite, const LinkParser& parser, const FileIdentityService& identity)
{
    return LinkLookup(sqlite.reads(), sqlite.fileLookups(), sqlite.writes(), parser, identity);
}

FileMatchFinder finderIn(SQLiteStore& sqlite, const FileIdentityService& identity)
{
    return FileMatchFinder(sqlite.reads(), sqlite.fileLookups(), sqlite.writes(), identity);
}

} // namespace

ContextLookups::ContextLookups(LinkStore& store)
    : m_store(store)
{
}

QFuture<std::optional<LinkItem>> ContextLookups::findLink(CapturedContext context)
{
    LinkStoreDatabase database(m_store);
    const LinkParser& parser = database.parser();
    const std::shared_ptr<const FileIdentityService> identity = database.fileIdentityService();
    return database.withFileWork(
        [&parser, identity, context = std::move(context)](SQLiteStore& sqlite) {
            return lookupIn(sqlite, parser, *identity).lookInLibrary(context);
        },
        [identity](const LinkLookup::FileSteps& steps) { return LinkLookup::examineFiles(steps, *identity); },
        [&parser, identity](SQLiteStore& sqlite, const LinkLookup::FileSteps& steps,
                            const LinkLookup::FileFindings& found) {
            return lookupIn(sqlite, parser, *identity).settle(steps, found);
        });
}

QFuture<std::optional<LinkItem>> ContextLookups::linkForLocator(CapturedContext context)
{
    LinkStoreDatabase database(m_store);
    const LinkParser& parser = database.parser();
    const std::shared_ptr<const FileIdentityService> identity = database.fileIdentityService();
    return database.run([&parser, identity, context = std::move(context)](SQLiteStore& sqlite) {
        return lookupIn(sqlite, parser, *identity).linkForLocator(context);
    });
}

QFuture<QList<FileMatchCandidate>> ContextLookups::fileMatchCandidates(CapturedContext context)
{
    using Candidates = QList<FileMatchCandidate>;
    LinkStoreDatabase database(m_store);
    const std::shared_ptr<const FileIdentityService> identity = database.fileIdentityService();
    return database.withFileWork(
        [context = std::move(context)](SQLiteStore&) -> FileMatchFinder::Step<Candidates> {
            const FileLocator locator = FileLocator::read(context.locator);
            if (!FileMatchFinder::offersCandidates(context, locator))
                return Candidates();
            return Selection{context, locator, std::nullopt, {}};
        },
        examineSelection(identity),
        [identity](SQLiteStore& sqlite, const Selection& selection, const FileMatchFinder::Findings& found) {
            return finderIn(sqlite, *identity).settleCandidates(selection, found);
        });
}

QFuture<LinkItem> ContextLookups::useFileMatch(FileMatchCandidate candidate)
{
    using Chosen = Pending<FileMatchCandidate>;
    LinkStoreDatabase database(m_store);
    const std::shared_ptr<const FileIdentityService> identity = database.fileIdentityService();
    return database.withFileWork(
        [candidate = std::move(candidate)](SQLiteStore&) -> std::variant<LinkItem, Chosen> {
            return Chosen{candidate};
        },
        [identity](const Chosen& chosen) {
            return identity->refreshSizeAndHash(chosen.value.selectedIdentity,
                                                FileLocator::read(chosen.value.selectedURL));
        },
        [identity](SQLiteStore& sqlite, const Chosen& chosen, const FileIdentity& refreshed) {
            return finderIn(sqlite, *identity).confirm(chosen.value, refreshed);
        });
}

QFuture<std::optional<QString>> ContextLookups::finderSelectionMatches(CapturedContext context)
{
    using Status = std::optional<QString>;
    LinkStoreDatabase database(m_store);
    const std::shared_ptr<const FileIdentityService> identity = database.fileIdentityService();
    return database.withFileWork(
        [identity, context = std::move(context)](SQLiteStore& sqlite) -> FileMatchFinder::Step<Status> {
            const FileLocator locator = FileLocator::read(context.locator);
            // Without a file to look at, the text comes without reading one.
            if (!FileMatchFinder::selectionHasFile(context, locator))
                return finderIn(sqlite, *identity).finderSelectionMatches(context);
            return Selection{context, locator, std::nullopt, {}};
        },
        examineSelection(identity),
        [identity](SQLiteStore& sqlite, const Selection& selection, const FileMatchFinder::Findings& found) {
            return finderIn(sqlite, *identity).settleStatus(selection, found);
        });
}

QFuture<LinkItem> ContextLookups::updateFileIdentity(LinkItem item, FileIdentity captured)
{
    LinkStoreDatabase database(m_store);
    const LinkParser& parser = database.parser();
    const std::shared_ptr<const FileIdentityService> identity = database.fileIdentityService();
    return database.run(
        [&parser, identity, item = std::move(item), captured = std::move(captured)](SQLiteStore& sqlite) {
            return lookupIn(sqlite, parser, *identity).updateFileIdentity(item, captured);
        });
}

QFuture<std::optional<LinkItem>> ContextLookups::linkResolvingBookmark(FileIdentity captured)
{
    using Bookmarked = Pending<QList<LinkItem>>;
    LinkStoreDatabase database(m_store);
    const LinkParser& parser = database.parser();
    const std::shared_ptr<const FileIdentityService> identity = database.fileIdentityService();
    return database.withFileWork(
        [&parser, identity,
         captured](SQLiteStore& sqlite) -> std::variant<std::optional<LinkItem>, Bookmarked> {
            return Bookmarked{lookupIn(sqlite, parser, *identity).bookmarkedLinks(captured)};
        },
        [identity, captured](const Bookmarked& links) {
            return LinkLookup::linkWhoseBookmarkLeadsTo(links.value, captured, *identity);
        },
        [](SQLiteStore&, const Bookmarked&, const std::optional<LinkItem>& match) { return match; });
}

} // namespace morvane
