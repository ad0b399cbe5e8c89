#include "platform/eds/EdsStoreReader.h"

#include "foundation/Logging.h"
#include "platform/GLibErrorSlot.h"
#include "platform/GLibLoopThread.h"
#include "platform/GObjectRef.h"
#include "platform/eds/EdsBusStore.h"
#include "platform/eds/EdsMapping.h"
#include "platform/eds/EdsSourceRegistry.h"
#include "platform/eds/EdsVCard.h"

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

MORVANE_LOGGING_CATEGORY(lcEdsReader, "EvolutionDataServer")

namespace morvane {

namespace {

using namespace std::chrono_literals;

// A load (the registry, opening a calendar or book, reading its items) that runs longer is
// cancelled; the service may be stuck on a remote account.
constexpr auto loadLimit = 20s;
// Changes come in bursts (an import, a sync); one reload follows the last of them.
constexpr guint reloadDelayMs = 150;
// The window of events moves with the clock.
constexpr guint windowRenewalSeconds = 3600;
// How long going away waits for the thread: a call the service does not answer (it is stopped, or
// hung) may not be cancellable, and the application's quit does not wait for it.
constexpr auto stopWait = 200ms;
constexpr int yearsBack = 10;
constexpr int yearsAhead = 5;

} // namespace

// What the reader knows and does, on its thread: held by each job there, and by each timer and signal
// for as long as its callback runs, so that a thread left inside a call when the reader goes still has
// it (and lets it go once the call returned). Timers and signals hold it weakly while they wait: one
// that comes after it went does nothing. Calendars, address books and the registry of sources are read
// over the bus directly: the service's client libraries link its mail library, an HTTP stack, Kerberos,
// NSS and more, several megabytes mapped into this process for reading a few fields of each event and
// card.
struct EdsStoreReader::Worker final : EdsLoadBound, std::enable_shared_from_this<Worker> {
    // A calendar or address book of the registry, and what was last read of it.
    struct Store {
        std::unique_ptr<EdsBusStore> remote;
        QString name;
        guint pendingReload = 0;
        QList<CalendarEvent> events; // a calendar's
        QList<ContactCard> cards;    // an address book's
        QStringList fileAs;          // the sort key of each card
        QSet<QString> refusedZones;  // a calendar's TZIDs whose zones were refused, logged once each
        QString loggedFailure;       // its failure as last logged
    };
    using Stores = std::vector<std::unique_ptr<Store>>;

    // Shared with callers, under mutex.
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::shared_ptr<const EdsSnapshot> published;
    bool stopping = false;
    std::chrono::steady_clock::time_point loadDeadline = std::chrono::steady_clock::time_point::max();

    GObjectRef<GCancellable> loadCancellable; // replaced on the thread, cancelled from anywhere, under mutex

    // The service thread's own.
    GMainContext* const context;
    GObjectRef<GDBusConnection> bus;
    std::unique_ptr<EdsSourceRegistry> registry;
    icaltimezone* defaultZone = nullptr;
    Stores calendarStores;
    Stores bookStores;
    guint pendingSourcesReload = 0;
    bool storesMayHaveChanged = false; // the pending reload reads the stores only when this is set
    guint windowRenewal = 0;
    QDateTime windowFrom;
    QDateTime windowTo;
    const bool calendars; // whether the bus has the calendar service
    const bool contacts;
    const std::function<void()> failuresChanged;
    QString registryFailure; // why the registry could not be opened; it fails both kinds
    bool calendarsLoaded = false;
    bool cardsLoaded = false;
    bool reloading = false;
    bool closeAfterReload = false;

    Worker(GMainContext* threadContext, bool hasCalendars, bool hasContacts,
           std::function<void()> onFailuresChanged)
        : context(g_main_context_ref(threadContext))
        , calendars(hasCalendars)
        , contacts(hasContacts)
        , failuresChanged(std::move(onFailuresChanged))
    {
        // Absent stores have nothing to load.
        EdsSnapshot empty;
        empty.calendarsLoaded = !calendars;
        empty.cardsLoaded = !contacts;
        published = std::make_shared<const EdsSnapshot>(std::move(empty));
    }

    ~Worker()
    {
        // Gone without its last job (the thread was let go inside a call): its timers, which hold it
        // weakly, are taken off the context here.
        removeTimeout(windowRenewal);
        removeTimeout(pendingSourcesReload);
        for (Stores* stores : {&calendarStores, &bookStores}) {
            for (auto& store : *stores)
                removeTimeout(store->pendingReload);
        }
        g_main_context_unref(context);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Any thread: what the thread waits for is cancelled, and it starts nothing more.
    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            if (loadCancellable)
                g_cancellable_cancel(loadCancellable.get());
        }
        changed.notify_all();
    }

    // Cancels a load that runs past its limit.
    void watch()
    {
        std::unique_lock lock(mutex);
        while (!stopping) {
            const auto deadline = loadDeadline;
            if (deadline == std::chrono::steady_clock::time_point::max()) {
                changed.wait(lock);
                continue;
            }
            if (changed.wait_until(lock, deadline) == std::cv_status::timeout && loadDeadline == deadline &&
                loadCancellable) {
                qCWarning(lcEdsReader)
                    << "A calendar or address book load ran past its limit and was cancelled";
                g_cancellable_cancel(loadCancellable.get());
                loadDeadline = std::chrono::steady_clock::time_point::max();
            }
        }
    }

    // Starts a bounded load; the cancellable it answers also ends when this object goes.
    GCancellable* beginLoad() override
    {
        std::lock_guard lock(mutex);
        loadCancellable.reset(g_cancellable_new());
        if (stopping)
            g_cancellable_cancel(loadCancellable.get());
        loadDeadline = std::chrono::steady_clock::now() + loadLimit;
        changed.notify_all();
        return loadCancellable.get();
    }

    void endLoad() override
    {
        std::lock_guard lock(mutex);
        loadDeadline = std::chrono::steady_clock::time_point::max();
        changed.notify_all();
    }

    std::shared_ptr<const EdsSnapshot> snapshot() const
    {
        std::lock_guard lock(mutex);
        return published;
    }

    bool isStopping() const
    {
        std::lock_guard lock(mutex);
        return stopping;
    }

    // The thread's first job.
    void open()
    {
        if (isStopping() || (!calendars && !contacts))
            return;
        ErrorSlot error;
        bus.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
        if (!bus) {
            registryFailure = QStringLiteral("session bus: ") + error.text();
            markLoaded();
            return;
        }
        defaultZone = userTimeZone();
        openRegistry();
        // The registry may have answered only after the reader went: nothing more is started then.
        if (isStopping())
            return;
        // A registry that failed is asked again, and so is each store that failed.
        windowRenewal = addTimeout(windowRenewalSeconds * 1000, [](Worker& worker) {
            if (worker.registry)
                worker.reloadSources();
            else
                worker.openRegistry();
            return G_SOURCE_CONTINUE;
        });
    }

    void openRegistry()
    {
        QString error;
        // Its signals come to this thread's context, which is the thread-default one here.
        registry = EdsSourceRegistry::open(
            bus.get(), beginLoad(),
            [self = weak_from_this()] {
                if (const std::shared_ptr<Worker> worker = self.lock())
                    worker->scheduleSourcesReload(false);
            },
            &error);
        endLoad();
        if (!registry) {
            // The registry's client asks for every source at once; a failure is that call's.
            registryFailure = QStringLiteral("GetManagedObjects: ") + error;
            markLoaded();
            return;
        }
        registryFailure.clear();
        reloadSources();
    }

    // A change of the registry reloads only when it changes which stores are read, or their names, or
    // a store failed (it is tried again); anything else asked for reads every store again.
    void scheduleSourcesReload(bool stores = true)
    {
        storesMayHaveChanged = storesMayHaveChanged || stores;
        if (pendingSourcesReload)
            return;
        pendingSourcesReload = addTimeout(reloadDelayMs, [](Worker& worker) {
            worker.pendingSourcesReload = 0;
            if (std::exchange(worker.storesMayHaveChanged, false) || worker.sourcesChanged() ||
                worker.anyStoreFailed())
                worker.reloadSources();
            return G_SOURCE_REMOVE;
        });
    }

    // A timer on this thread's context (g_timeout_add would use the process's default one). It holds
    // this object weakly while it waits and strongly while fired runs; fired answers whether it goes on.
    template <class Fired> guint addTimeout(guint delayMs, Fired fired)
    {
        struct Timer {
            std::weak_ptr<Worker> worker;
            Fired fired;
        };
        GSource* source = g_timeout_source_new(delayMs);
        g_source_set_callback(
            source,
            [](gpointer data) -> gboolean {
                auto* timer = static_cast<Timer*>(data);
                const std::shared_ptr<Worker> worker = timer->worker.lock();
                return worker ? timer->fired(*worker) : G_SOURCE_REMOVE;
            },
            new Timer{weak_from_this(), std::move(fired)},
            [](gpointer data) { delete static_cast<Timer*>(data); });
        const guint id = g_source_attach(source, context);
        g_source_unref(source);
        return id;
    }

    // One added above; g_source_remove would look for it in the process's default context.
    void removeTimeout(guint& id)
    {
        if (GSource* source = id ? g_main_context_find_source_by_id(context, id) : nullptr)
            g_source_destroy(source);
        id = 0;
    }

    // The enabled stores of a kind, by uid, with their names, in the registry's order.
    static QList<std::pair<QString, QString>> wanted(const QList<EdsSourceData>& sources,
                                                     const EdsStoreKind& kind)
    {
        QHash<QString, QString> names;
        for (const EdsSourceData& source : sources)
            names.insert(source.uid, source.displayName);
        QList<std::pair<QString, QString>> stores;
        for (const QString& uid : enabledSources(sources, QString::fromUtf8(kind.extension)))
            stores.append({uid, names.value(uid)});
        return stores;
    }

    static QList<std::pair<QString, QString>> held(const Stores& stores)
    {
        QList<std::pair<QString, QString>> uids;
        for (const auto& store : stores)
            uids.append({store->remote->uid(), store->name});
        return uids;
    }

    bool sourcesChanged() const
    {
        if (!registry)
            return false;
        const QList<EdsSourceData> sources = registry->sources();
        return (calendars && wanted(sources, edsCalendarKind) != held(calendarStores)) ||
               (contacts && wanted(sources, edsAddressBookKind) != held(bookStores));
    }

    bool anyStoreFailed() const
    {
        for (const Stores* stores : {&calendarStores, &bookStores}) {
            if (std::any_of(stores->begin(), stores->end(),
                            [](const auto& store) { return !store->remote->failure().isEmpty(); }))
                return true;
        }
        return false;
    }

    // Opens the calendars and address books that came, closes those that went, and reads them all
    // again over the current window.
    void reloadSources()
    {
        if (!registry || isStopping())
            return;
        // Opening runs this thread's loop until the answers are in; a change reported meanwhile
        // reloads after this one rather than inside it.
        if (reloading) {
            scheduleSourcesReload();
            return;
        }
        reloading = true;
        reloadSourcesNow();
        reloading = false;
        if (closeAfterReload)
            closeAll();
    }

    void reloadSourcesNow()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        windowFrom = now.addYears(-yearsBack).addDays(-1);
        windowTo = now.addYears(yearsAhead).addDays(1);
        const QList<EdsSourceData> sources = registry->sources();
        if (calendars) {
            syncStores(calendarStores, edsCalendarKind, wanted(sources, edsCalendarKind));
            openAll(calendarStores);
            watchAndLoad(calendarStores);
        }
        calendarsLoaded = true;
        publish();
        if (contacts) {
            syncStores(bookStores, edsAddressBookKind, wanted(sources, edsAddressBookKind));
            openAll(bookStores);
            watchAndLoad(bookStores);
        }
        cardsLoaded = true;
        publish();
    }

    // A store is watched before it is read: a change made while it is read is then reported by its
    // view (and read again after), and the store is read once.
    void watchAndLoad(const Stores& stores)
    {
        for (const auto& store : stores)
            watch(*store);
        for (const auto& store : stores)
            load(*store);
    }

    void syncStores(Stores& stores, const EdsStoreKind& kind,
                    const QList<std::pair<QString, QString>>& wantedStores)
    {
        Stores kept;
        for (const auto& [uid, name] : wantedStores) {
            auto found = std::find_if(stores.begin(), stores.end(),
                                      [&](const auto& s) { return s->remote->uid() == uid; });
            if (found != stores.end()) {
                kept.push_back(std::move(*found));
                stores.erase(found);
            } else {
                auto store = std::make_unique<Store>();
                store->remote = std::make_unique<EdsBusStore>(bus.get(), kind, uid, *this);
                kept.push_back(std::move(store));
            }
            kept.back()->name = name;
        }
        for (auto& gone : stores)
            close(*gone);
        stores = std::move(kept);
    }

    void openAll(const Stores& stores)
    {
        std::vector<EdsBusStore*> remotes;
        for (const auto& store : stores)
            remotes.push_back(store->remote.get());
        EdsBusStore::openAll(remotes, context, *this);
    }

    void load(Store& store)
    {
        if (isStopping())
            return;
        if (&store.remote->kind() == &edsCalendarKind)
            loadCalendar(store);
        else
            loadBook(store);
    }

    void loadCalendar(Store& store)
    {
        // Every event: asking for those that occur in the window makes the backend expand each
        // repeating one, and this expands them again anyway; a plain list answers several times faster.
        const EdsListing listed = store.remote->list();
        // A calendar that cannot be read offers nothing until it reads again.
        if (!listed) {
            store.events.clear();
            return;
        }
        EdsBusStore& remote = *store.remote;
        EdsExpansion expansion = expandCalendarEvents(
            listed.items(), {remote.uid(), store.name}, windowFrom, windowTo,
            [&remote](const char* tzid) { return remote.zoneText(tzid); }, defaultZone);
        if (expansion.truncatedSeries > 0) {
            qCInfo(lcEdsReader) << expansion.truncatedSeries << "repeating events were cut at"
                                << maxOccurrencesPerSeries << "occurrences";
        }
        if (expansion.cutSeries > 0) {
            qCInfo(lcEdsReader) << expansion.cutSeries
                                << "repeating events have rules that were not read whole (invalid, or past"
                                << maxRuleStepsPerSeries << "steps)";
        }
        for (const QString& tzid : std::as_const(expansion.refusedZones)) {
            if (!store.refusedZones.contains(tzid)) {
                store.refusedZones.insert(tzid);
                qCWarning(lcEdsReader).noquote()
                    << QStringLiteral(
                           "The calendar “%1” keeps a time zone “%2” whose rules change too often to "
                           "be read; its events are read in the user's zone")
                           .arg(store.name, tzid);
            }
        }
        store.events = std::move(expansion.events);
    }

    void loadBook(Store& store)
    {
        const EdsListing listed = store.remote->list();
        store.cards.clear();
        store.fileAs.clear();
        if (!listed)
            return;
        for (QByteArrayView vcard : listed.items()) {
            if (std::optional<EdsCard> card = contactCard(vcard, store.remote->uid())) {
                store.fileAs.append(card->fileAs);
                store.cards.append(std::move(card->card));
            }
        }
    }

    // A change the service reported. It may come after its store was closed and dropped, so the store
    // is looked up by its kind and uid.
    void changedStore(const EdsStoreKind& kind, const QString& uid)
    {
        Store* found = findStore(kind, uid);
        if (!found || found->pendingReload)
            return;
        found->pendingReload = addTimeout(reloadDelayMs, [kind = &kind, uid](Worker& worker) {
            // The store is found again: it may have been closed since (which takes its timer off).
            if (Store* changed = worker.findStore(*kind, uid)) {
                changed->pendingReload = 0;
                worker.reload(*changed);
            }
            return G_SOURCE_REMOVE;
        });
    }

    Store* findStore(const EdsStoreKind& kind, const QString& uid) const
    {
        const Stores& stores = &kind == &edsCalendarKind ? calendarStores : bookStores;
        const auto found = std::find_if(stores.begin(), stores.end(),
                                        [&](const auto& s) { return s->remote->uid() == uid; });
        return found == stores.end() ? nullptr : found->get();
    }

    void reload(Store& store)
    {
        // A change reported while the stores are being opened is read by a reload after that.
        if (reloading) {
            scheduleSourcesReload();
            return;
        }
        load(store);
        publish();
    }

    // Follows the store's changes from now on, when it is open and not yet followed.
    void watch(Store& store)
    {
        if (isStopping())
            return;
        store.remote->watch(
            [self = weak_from_this(), kind = &store.remote->kind(), uid = store.remote->uid()] {
                if (const std::shared_ptr<Worker> worker = self.lock())
                    worker->changedStore(*kind, uid);
            });
    }

    void publish()
    {
        auto next = std::make_shared<EdsSnapshot>();
        for (const auto& store : calendarStores)
            next->events.append(store->events);
        next->eventIndex.reserve(next->events.size());
        for (qsizetype i = 0; i < next->events.size(); ++i)
            next->eventIndex.insert(next->events[i].identifier, i);
        QList<std::pair<QString, qsizetype>> filed;
        for (const auto& store : bookStores) {
            for (qsizetype i = 0; i < store->cards.size(); ++i) {
                filed.append({store->fileAs[i], next->cards.size()});
                next->cardIndex.insert(store->cards[i].identifier, next->cards.size());
                next->cards.append(store->cards[i]);
            }
        }
        std::stable_sort(filed.begin(), filed.end(), [](const auto& a, const auto& b) {
            return QString::localeAwareCompare(a.first, b.first) < 0;
        });
        for (const auto& [key, index] : filed)
            next->cardsByFileAs.append(next->cards[index]);
        next->calendarsLoaded = calendarsLoaded || !calendars;
        next->cardsLoaded = cardsLoaded || !contacts;
        if (calendars) {
            next->calendarsFailure = failureOf(calendarStores);
            next->failedCalendars = failedStores(calendarStores);
        }
        if (contacts) {
            next->cardsFailure = failureOf(bookStores);
            next->failedBooks = failedStores(bookStores);
        }
        // Only this thread replaces the snapshot. What it says is logged before anyone can read it.
        noteStoreFailures(calendarStores);
        noteStoreFailures(bookStores);
        const std::shared_ptr<const EdsSnapshot> before = snapshot();
        const bool calendarsChanged = next->calendarsFailure != before->calendarsFailure ||
                                      next->failedCalendars != before->failedCalendars;
        const bool cardsChanged =
            next->cardsFailure != before->cardsFailure || next->failedBooks != before->failedBooks;
        if (next->calendarsFailure != before->calendarsFailure)
            noteFailure("Calendars", next->calendarsFailure);
        if (next->cardsFailure != before->cardsFailure)
            noteFailure("Address books", next->cardsFailure);
        {
            std::lock_guard lock(mutex);
            published = std::move(next);
        }
        changed.notify_all();
        if ((calendarsChanged || cardsChanged) && failuresChanged)
            failuresChanged();
    }

    // A kind is not available when the registry failed, or when every store of it failed (the first
    // one's failure says why). One store that cannot be read hides nothing of the others: it is named
    // among the failed ones.
    QString failureOf(const Stores& stores) const
    {
        if (!registryFailure.isEmpty())
            return registryFailure;
        if (stores.empty() || std::any_of(stores.begin(), stores.end(), [](const auto& store) {
                return store->remote->failure().isEmpty();
            }))
            return {};
        return stores.front()->remote->failure();
    }

    static QList<EdsSourceFailure> failedStores(const Stores& stores)
    {
        QList<EdsSourceFailure> failed;
        for (const auto& store : stores) {
            if (!store->remote->failure().isEmpty())
                failed.append({store->name, store->remote->failureMessage()});
        }
        return failed;
    }

    // Each store's failure, with the call and the service's whole error, once each time it changes.
    static void noteStoreFailures(const Stores& stores)
    {
        for (const auto& store : stores) {
            const QString& failure = store->remote->failure();
            if (failure == store->loggedFailure)
                continue;
            const QString what = QLatin1String(store->remote->kind().what);
            if (failure.isEmpty()) {
                qCInfo(lcEdsReader).noquote()
                    << QStringLiteral("The %1 “%2” can be read again").arg(what, store->name);
            } else {
                qCWarning(lcEdsReader).noquote() << QStringLiteral("The %1 “%2” (%3) cannot be read:")
                                                        .arg(what, store->name, store->remote->uid())
                                                 << failure;
            }
            store->loggedFailure = failure;
        }
    }

    static void noteFailure(const char* what, const QString& failure)
    {
        if (failure.isEmpty())
            qCInfo(lcEdsReader).noquote() << what << "are available again";
        else
            qCWarning(lcEdsReader).noquote() << what << "are not available:" << failure;
    }

    void markLoaded()
    {
        calendarsLoaded = true;
        cardsLoaded = true;
        publish();
    }

    // A change of the store reported after this (still queued) finds no store by its uid.
    void close(Store& store)
    {
        removeTimeout(store.pendingReload);
        store.remote.reset();
    }

    // The thread's last job: nothing of the bus calls back into this object after it. Run from inside
    // the loop that opening runs, it waits for the reload around it to end.
    void closeAll()
    {
        if (reloading) {
            closeAfterReload = true;
            return;
        }
        removeTimeout(windowRenewal);
        removeTimeout(pendingSourcesReload);
        for (Stores* stores : {&calendarStores, &bookStores}) {
            for (auto& store : *stores)
                close(*store);
            stores->clear();
        }
        registry.reset();
        std::lock_guard lock(mutex);
        loadCancellable.reset();
    }
};

EdsStoreReader::EdsStoreReader(bool calendars, bool contacts, std::function<void()> failuresChanged)
    : m_thread(std::make_unique<GLibLoopThread>("morvane-eds"))
{
    d = std::make_shared<Worker>(m_thread->context(), calendars, contacts, std::move(failuresChanged));
    m_watchdog = std::thread([worker = d.get()] { worker->watch(); });
    m_thread->post([worker = d] { worker->open(); });
}

EdsStoreReader::~EdsStoreReader()
{
    d->stop();
    m_thread->post([worker = d] { worker->closeAll(); });
    if (!m_thread->stop(stopWait)) {
        qCInfo(lcEdsReader)
            << "The calendar and address book reader was left inside a call the service did not "
               "answer; it ends with that call or with the process";
    }
    m_watchdog.join();
}

std::shared_ptr<const EdsSnapshot> EdsStoreReader::snapshot() const
{
    return d->snapshot();
}

bool EdsStoreReader::waitUntilLoaded(Load load, std::chrono::milliseconds wait) const
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, wait, [&] {
        return d->published->calendarsLoaded && (load == Load::calendars || d->published->cardsLoaded);
    });
}

} // namespace morvane
