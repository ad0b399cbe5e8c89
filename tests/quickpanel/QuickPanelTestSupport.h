#pragma once

#include "../capture/CaptureTestSupport.h"
#include "../store/LinkStoreTestSupport.h"
#include "FakeClipboard.h"
#include "FakeDesktopServices.h"
#include "InMemoryCalendarStore.h"
#include "InMemoryContactStore.h"
#include "ManualClock.h"
#include "RecordingOpener.h"
#include "capture/ActiveContextService.h"
#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "foundation/UserDefaults.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "services/PasteboardService.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "store/ItemOpening.h"
#include "store/RelationService.h"

#include <QCoroTask>
#include <QPromise>

#include <memory>
#include <vector>

namespace morvane::test {

inline LinkItem webLink(const QString& title)
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.url = QStringLiteral("https://%1.example/").arg(title.toLower());
    item.createdAt = item.updatedAt = at("2024-05-01T09:30:00.000Z");
    return item;
}

inline CapturedContext webContext(const QString& title, const QString& app = QStringLiteral("Safari"))
{
    return {title, QStringLiteral("https://%1.example/").arg(title.toLower()), LinkType::web, app,
            std::nullopt};
}

// A quick panel over a library of its own, with an application in front that answers what
// `frontmost` holds, calendars and contacts in memory, and an opener that only records (or the one
// given, which must outlive the panel). While `holdSearches` is set, library searches wait until the
// test answers them, in any order.
struct PanelFixture {
    PanelFixture() = default;
    explicit PanelFixture(ItemOpener& givenOpener)
        : itemOpener(std::shared_ptr<ItemOpener>(std::shared_ptr<ItemOpener>(), &givenOpener))
    {
    }

    StoreFixture library;
    LinkStore& store = *library.store;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(at("2024-05-01T12:00:00.000Z"));
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::shared_ptr<InMemoryCalendarStore> calendars = std::make_shared<InMemoryCalendarStore>();
    std::shared_ptr<InMemoryContactStore> contacts = std::make_shared<InMemoryContactStore>();
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    SearchService search{std::make_shared<CalendarEventService>(calendars, desktop,
                                                                std::make_shared<ScriptedRunner>(), defaults),
                         std::make_shared<ContactService>(contacts, desktop, defaults)};
    RelationService relations{store};
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    PasteboardService pasteboard{clipboard};
    std::shared_ptr<StubProvider> frontmost = std::make_shared<StubProvider>(QStringLiteral("Front"));
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<AccessibilityTree> accessibility = std::make_shared<AccessibilityTree>();
    ActiveContextService contexts{{frontmost}, workspace, accessibility};
    QuickPanelTipStore tips{defaults};
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    QList<LinkItem>& opened = opener->opened;
    std::shared_ptr<ItemOpener> itemOpener = opener;
    bool holdSearches = false;
    std::vector<std::pair<QString, std::shared_ptr<QPromise<QList<LinkItem>>>>> heldSearches;

    QuickPanelViewModel model{QuickPanelServices{
        &store, &search, &relations, std::make_shared<ItemOpening>(store, itemOpener), &pasteboard, nullptr,
        &contexts, &tips, clock, [this](const QString& query) {
            if (!holdSearches)
                return store.searchLinks(query);
            heldSearches.emplace_back(query, std::make_shared<QPromise<QList<LinkItem>>>());
            heldSearches.back().second->start();
            return heldSearches.back().second->future();
        }}};

    void save(const QList<LinkItem>& items, const QList<std::pair<LinkItem, LinkItem>>& related = {})
    {
        LinkStoreDatabase(store)
            .run([&](SQLiteStore& sqlite) {
                for (const LinkItem& item : items)
                    sqlite.writes().insertLink(item);
                for (const auto& [from, to] : related)
                    sqlite.writes().addRelation(from.id, to.id);
            })
            .waitForFinished();
    }

    // Lets every task of the model run to its end: store work, then the continuations it wakes.
    void settle()
    {
        for (int round = 0; round < 20; ++round) {
            LinkStoreDatabase(store).run([](SQLiteStore&) { return 0; }).waitForFinished();
            // Each service searches in order on its own thread: one more search ends after the model's.
            search.calendarEventService()
                ->searchEvents(QStringLiteral("settle"), {}, clock->now())
                .waitForFinished();
            search.contactService()->search(QStringLiteral("settle"), {}).waitForFinished();
            QCoreApplication::processEvents();
        }
    }

    // Shows the panel on what the application in front answers, and waits for the list.
    void show(QList<CapturedContext> front, std::optional<QString> message = std::nullopt)
    {
        frontmost->answer = {std::move(front), std::move(message)};
        model.refreshActiveContext();
        settle();
    }

    void type(const QString& query)
    {
        model.search().setQuery(query);
        model.search().reload();
        settle();
    }

    template <class T> T await(QCoro::Task<T> task) { return QCoro::waitFor(std::move(task)); }

    void answerSearch(size_t index, const QList<LinkItem>& found)
    {
        heldSearches.at(index).second->addResult(found);
        heldSearches.at(index).second->finish();
        settle();
    }

    QStringList titles() const
    {
        QStringList shown;
        for (const PanelResult& row : model.state().results())
            shown.append(row.title());
        return shown;
    }

    // The ids of the links related to the link, as the library has them.
    QList<QUuid> relatedIDs(const LinkItem& item)
    {
        QList<QUuid> ids;
        for (const LinkItem& other : relations.linkedItems(item.id).result())
            ids.append(other.id);
        return ids;
    }

    qint64 linkCount()
    {
        return LinkStoreDatabase(store)
            .run([](SQLiteStore& sqlite) { return sqlite.reads().allLinks().size(); })
            .result();
    }
};

} // namespace morvane::test
