#include "platform/eds/EdsStoreReader.h"

#include "foundation/Logging.h"
#include "platform/GLibErrorSlot.h"
#include "platform/GLibLoopThread.h"
#include "platform/GObjectRef.h"
#include "platform/eds/EdsMapping.h"
#include "platform/eds/EdsSourceRegistry.h"

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
#include <cstring>
#include <mutex>
#include <string>
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

// Calendars and address books are read over the bus directly, the registry of sources too: the
// service's client libraries link its mail library, an HTTP stack, Kerberos, NSS and more, several
// megabytes mapped into this process for reading a few fields of each event and card.
//
// Both kinds of store are opened and read alike: a factory names where the store answers, the store
// is opened, its items listed as text, and a view of the same query reports what changed.
struct StoreKind {
    const char* extension; // the group that makes a source one of these
    const char* factoryName;
    const char* factoryPath;
    const char* factoryInterface;
    const char* openMethod;
    const char* interface;
    const char* viewInterface;
    const char* listMethod;
    const char* query; // every item
    const char* what;  // for log lines
};

constexpr StoreKind calendarKind{"Calendar",
                                 calendarFactoryName,
                                 "/org/gnome/evolution/dataserver/CalendarFactory",
                                 "org.gnome.evolution.dataserver.CalendarFactory",
                                 "OpenCalendar",
                                 "org.gnome.evolution.dataserver.Calendar",
                                 "org.gnome.evolution.dataserver.CalendarView",
                                 "GetObjectList",
                                 "#t",
                                 "calendar"};
constexpr StoreKind addressBookKind{"Address Book",
                                    addressBookFactoryName,
                                    "/org/gnome/evolution/dataserver/AddressBookFactory",
                                    "org.gnome.evolution.dataserver.AddressBookFactory",
                                    "OpenAddressBook",
                                    "org.gnome.evolution.dataserver.AddressBook",
                                    "org.gnome.evolution.dataserver.AddressBookView",
                                    "GetContactList",
                                    "(contains \"x-evolution-any-field\" \"\")",
                                    "address book"};

// The strings of a "(as)" answer, valid while the answer is held.
QList<QByteArrayView> strings(GVariant* answer)
{
    QList<QByteArrayView> values;
    GVariantIter* iter = nullptr;
    const gchar* value = nullptr;
    g_variant_get(answer, "(as)", &iter);
    values.reserve(qsizetype(g_variant_iter_n_children(iter)));
    while (g_variant_iter_next(iter, "&s", &value))
        values.append(QByteArrayView(value));
    g_variant_iter_free(iter);
    return values;
}

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using VariantRef = std::unique_ptr<GVariant, VariantUnref>;

} // namespace
// What the reader knows and does, on its thread: held by each job there, so that a thread left inside a
// call when the reader goes still has it.
struct EdsStoreReader::Worker {
    // A calendar or address book of the registry, opened over the bus.
    struct Store {
        Worker* worker = nullptr;
        const StoreKind* kind = nullptr;
        QString uid;
        QString name;
        QByteArray busName; // where the opened store answers; empty until it is open
        QByteArray path;
        QByteArray viewPath; // the view that reports the store's changes, once watched
        guint viewSignals = 0;
        guint pendingReload = 0;
        // A calendar's.
        QList<CalendarEvent> events;
        QHash<QByteArray, QByteArray> zones; // TZID → the VTIMEZONE the calendar keeps for it
        QSet<QByteArray> zonesNotGiven;      // asked in the current read and not answered
        // An address book's.
        QList<ContactCard> cards;
        QStringList fileAs; // the sort key of each card
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
    bool calendarsLoaded = false;
    bool cardsLoaded = false;
    bool reloading = false;
    bool closeAfterReload = false;

    Worker(GMainContext* threadContext, bool hasCalendars, bool hasContacts)
        : context(g_main_context_ref(threadContext))
        , calendars(hasCalendars)
        , contacts(hasContacts)
    {
        // Absent stores have nothing to load.
        EdsSnapshot empty;
        empty.calendarsLoaded = !calendars;
        empty.cardsLoaded = !contacts;
        published = std::make_shared<const EdsSnapshot>(std::move(empty));
    }

    ~Worker() { g_main_context_unref(context); }
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
    GCancellable* beginLoad()
    {
        std::lock_guard lock(mutex);
        loadCancellable.reset(g_cancellable_new());
        if (stopping)
            g_cancellable_cancel(loadCancellable.get());
        loadDeadline = std::chrono::steady_clock::now() + loadLimit;
        changed.notify_all();
        return loadCancellable.get();
    }

    void endLoad()
    {
        std::lock_guard lock(mutex);
        loadDeadline = std::chrono::steady_clock::time_point::max();
        changed.notify_all();
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
            qCWarning(lcEdsReader).noquote()
                << "No session bus for the calendars and address books:" << error.text();
            markLoaded();
            return;
        }
        defaultZone = userTimeZone();
        openRegistry();
        windowRenewal = addTimeout(
            windowRenewalSeconds * 1000,
            [](gpointer self) -> gboolean {
                static_cast<Worker*>(self)->reloadSources();
                return G_SOURCE_CONTINUE;
            },
            this);
    }

    void openRegistry()
    {
        QString error;
        // Its signals come to this thread's context, which is the thread-default one here.
        registry = EdsSourceRegistry::open(
            bus.get(), beginLoad(), [this] { scheduleSourcesReload(false); }, &error);
        endLoad();
        if (!registry) {
            qCWarning(lcEdsReader).noquote()
                << "Could not open the calendar and address book registry:" << error;
            markLoaded();
            return;
        }
        reloadSources();
    }

    // A change of the registry reloads only when it changes which stores are read, or their names;
    // anything else asked for reads every store again.
    void scheduleSourcesReload(bool stores = true)
    {
        storesMayHaveChanged = storesMayHaveChanged || stores;
        if (pendingSourcesReload)
            return;
        pendingSourcesReload = addTimeout(
            reloadDelayMs,
            [](gpointer self) -> gboolean {
                auto* worker = static_cast<Worker*>(self);
                worker->pendingSourcesReload = 0;
                if (std::exchange(worker->storesMayHaveChanged, false) || worker->sourcesChanged())
                    worker->reloadSources();
                return G_SOURCE_REMOVE;
            },
            this);
    }

    // On this thread's context (g_timeout_add would use the process's default one).
    guint addTimeout(guint delayMs, GSourceFunc function, gpointer data)
    {
        GSource* source = g_timeout_source_new(delayMs);
        g_source_set_callback(source, function, data, nullptr);
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
                                                     const StoreKind& kind)
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
            uids.append({store->uid, store->name});
        return uids;
    }

    bool sourcesChanged() const
    {
        if (!registry)
            return false;
        const QList<EdsSourceData> sources = registry->sources();
        return (calendars && wanted(sources, calendarKind) != held(calendarStores)) ||
               (contacts && wanted(sources, addressBookKind) != held(bookStores));
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
            syncStores(calendarStores, calendarKind, wanted(sources, calendarKind));
            openAll(calendarStores);
            for (const auto& store : calendarStores)
                load(*store);
        }
        calendarsLoaded = true;
        publish();
        if (contacts) {
            syncStores(bookStores, addressBookKind, wanted(sources, addressBookKind));
            openAll(bookStores);
            for (const auto& store : bookStores)
                load(*store);
        }
        cardsLoaded = true;
        publish();
        // Watched only once everything was read, so that the first answers come as early as they can;
        // a store watched for the first time is read once more for what changed in between.
        bool reread = false;
        for (Stores* stores : {&calendarStores, &bookStores}) {
            for (const auto& store : *stores) {
                if (watch(*store)) {
                    load(*store);
                    reread = true;
                }
            }
        }
        if (reread)
            publish();
    }

    void syncStores(Stores& stores, const StoreKind& kind,
                    const QList<std::pair<QString, QString>>& wantedStores)
    {
        Stores kept;
        for (const auto& [uid, name] : wantedStores) {
            auto found =
                std::find_if(stores.begin(), stores.end(), [&](const auto& s) { return s->uid == uid; });
            if (found != stores.end()) {
                kept.push_back(std::move(*found));
                stores.erase(found);
            } else {
                auto store = std::make_unique<Store>();
                store->worker = this;
                store->kind = &kind;
                store->uid = uid;
                kept.push_back(std::move(store));
            }
            kept.back()->name = name;
        }
        for (auto& gone : stores)
            close(*gone);
        stores = std::move(kept);
    }

    // Runs this thread's loop until the calls answer, and ends the load they were part of.
    void waitFor(const int& pending)
    {
        while (pending > 0)
            g_main_context_iteration(context, true);
        endLoad();
    }

    // A store's opening: the factory names where the store answers, then the store is opened.
    struct Opening {
        Store* store;
        int* pending;
        GCancellable* load;
        QByteArray busName;
        QByteArray path;

        // The answer to the opening's last call; nothing when it failed, which ends the opening.
        GVariant* answer(GObject* bus, GAsyncResult* result)
        {
            ErrorSlot error;
            if (GVariant* answered = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error))
                return answered;
            qCWarning(lcEdsReader).noquote()
                << "Could not open a" << store->kind->what << QLatin1String(":") << error.text();
            --*pending;
            delete this;
            return nullptr;
        }
    };

    // Opens every store not yet open, all at once: each opening waits on its backend.
    void openAll(const Stores& stores)
    {
        int pending = 0;
        GCancellable* load = beginLoad();
        for (const auto& store : stores) {
            if (!store->path.isEmpty())
                continue;
            ++pending;
            const StoreKind& kind = *store->kind;
            auto* call = new Opening{store.get(), &pending, load, {}, {}};
            g_dbus_connection_call(bus.get(), kind.factoryName, kind.factoryPath, kind.factoryInterface,
                                   kind.openMethod, g_variant_new("(s)", store->uid.toUtf8().constData()),
                                   G_VARIANT_TYPE("(ss)"), G_DBUS_CALL_FLAGS_NONE, -1, load, &onFound, call);
        }
        waitFor(pending);
    }

    static void onFound(GObject* bus, GAsyncResult* result, gpointer data)
    {
        auto* call = static_cast<Opening*>(data);
        GVariant* found = call->answer(bus, result);
        if (!found)
            return;
        const gchar* path = nullptr;
        const gchar* busName = nullptr;
        g_variant_get(found, "(&s&s)", &path, &busName);
        call->path = path;
        call->busName = busName;
        g_variant_unref(found);
        g_dbus_connection_call(G_DBUS_CONNECTION(bus), call->busName.constData(), call->path.constData(),
                               call->store->kind->interface, "Open", nullptr, G_VARIANT_TYPE("(as)"),
                               G_DBUS_CALL_FLAGS_NONE, -1, call->load, &onOpened, call);
    }

    static void onOpened(GObject* bus, GAsyncResult* result, gpointer data)
    {
        auto* call = static_cast<Opening*>(data);
        GVariant* opened = call->answer(bus, result);
        if (!opened)
            return;
        g_variant_unref(opened);
        call->store->busName = call->busName;
        call->store->path = call->path;
        --*call->pending;
        delete call;
    }

    // A call on an open store or its view, bounded as every load is; nothing when it failed or
    // answered other than asked.
    VariantRef call(const Store& store, const QByteArray& path, const char* interface, const char* method,
                    GVariant* arguments, const GVariantType* answerType, ErrorSlot& error)
    {
        GVariant* answer = g_dbus_connection_call_sync(bus.get(), store.busName.constData(), path.constData(),
                                                       interface, method, arguments, answerType,
                                                       G_DBUS_CALL_FLAGS_NONE, -1, beginLoad(), &error);
        endLoad();
        return VariantRef(answer);
    }

    // A call whose answer nothing waits for.
    void tell(const Store& store, const QByteArray& path, const char* interface, const char* method)
    {
        g_dbus_connection_call(bus.get(), store.busName.constData(), path.constData(), interface, method,
                               nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    }

    // Every item of the store, as text.
    VariantRef list(Store& store)
    {
        ErrorSlot error;
        VariantRef listed = call(store, store.path, store.kind->interface, store.kind->listMethod,
                                 g_variant_new("(s)", store.kind->query), G_VARIANT_TYPE("(as)"), error);
        if (!listed)
            qCWarning(lcEdsReader).noquote()
                << "Could not read a" << store.kind->what << QLatin1String(":") << error.text();
        return listed;
    }

    void load(Store& store)
    {
        if (store.path.isEmpty() || isStopping())
            return;
        if (store.kind == &calendarKind)
            loadCalendar(store);
        else
            loadBook(store);
    }

    void loadCalendar(Store& store)
    {
        // Every event: asking for those that occur in the window makes the backend expand each
        // repeating one, and this expands them again anyway; a plain list answers several times faster.
        const VariantRef listed = list(store);
        if (!listed)
            return;
        store.zonesNotGiven.clear();
        EdsExpansion expansion = expandCalendarEvents(
            strings(listed.get()), {store.uid, store.name}, windowFrom, windowTo,
            [this, &store](const char* tzid) { return zoneText(store, tzid); }, defaultZone);
        if (expansion.truncatedSeries > 0) {
            qCInfo(lcEdsReader) << expansion.truncatedSeries << "repeating events were cut at"
                                << maxOccurrencesPerSeries << "occurrences";
        }
        store.events = std::move(expansion.events);
    }

    // The zone a calendar keeps for a TZID of its own (one libical does not know), asked once.
    QByteArray zoneText(Store& store, const char* tzid)
    {
        const QByteArray key(tzid);
        if (const auto known = store.zones.constFind(key); known != store.zones.cend())
            return *known;
        if (store.zonesNotGiven.contains(key) || isStopping())
            return {};
        ErrorSlot error;
        const VariantRef answer = call(store, store.path, store.kind->interface, "GetTimezone",
                                       g_variant_new("(s)", tzid), G_VARIANT_TYPE("(s)"), error);
        if (!answer) {
            qCInfo(lcEdsReader).noquote() << "A calendar's time zone could not be read:" << error.text();
            store.zonesNotGiven.insert(key);
            return {};
        }
        const gchar* text = nullptr;
        g_variant_get(answer.get(), "(&s)", &text);
        return *store.zones.insert(key, QByteArray(text));
    }

    void loadBook(Store& store)
    {
        const VariantRef listed = list(store);
        if (!listed)
            return;
        store.cards.clear();
        store.fileAs.clear();
        for (QByteArrayView vcard : strings(listed.get())) {
            if (std::optional<EdsCard> card = contactCard(vcard, store.uid)) {
                store.fileAs.append(card->fileAs);
                store.cards.append(std::move(card->card));
            }
        }
    }

    // What a view's signals reach. A signal may still be queued on this thread's loop after its store
    // was closed and dropped, so the store is looked up by its kind and uid rather than held.
    struct StoreWatch {
        Worker* worker;
        const StoreKind* kind;
        QString uid;
    };

    static void onViewSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal,
                             GVariant*, gpointer data)
    {
        const auto* watch = static_cast<const StoreWatch*>(data);
        const Stores& stores =
            watch->kind == &calendarKind ? watch->worker->calendarStores : watch->worker->bookStores;
        const auto store =
            std::find_if(stores.begin(), stores.end(), [&](const auto& s) { return s->uid == watch->uid; });
        if (store == stores.end())
            return;
        for (const char* change : {"ObjectsAdded", "ObjectsModified", "ObjectsRemoved"}) {
            if (std::strcmp(signal, change) == 0)
                return onChanged(**store);
        }
    }

    static void onChanged(Store& store)
    {
        if (store.pendingReload)
            return;
        store.pendingReload = store.worker->addTimeout(
            reloadDelayMs,
            [](gpointer data) -> gboolean {
                auto* changedStore = static_cast<Store*>(data);
                changedStore->pendingReload = 0;
                changedStore->worker->reload(*changedStore);
                return G_SOURCE_REMOVE;
            },
            &store);
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

    // True when the store is watched from now on.
    bool watch(Store& store)
    {
        if (store.path.isEmpty() || !store.viewPath.isEmpty() || isStopping())
            return false;
        const StoreKind& kind = *store.kind;
        ErrorSlot error;
        // A view's path is an object path; older services sent it as a string.
        const VariantRef made = call(store, store.path, kind.interface, "GetView",
                                     g_variant_new("(s)", kind.query), nullptr, error);
        if (!made || (!g_variant_is_of_type(made.get(), G_VARIANT_TYPE("(s)")) &&
                      !g_variant_is_of_type(made.get(), G_VARIANT_TYPE("(o)")))) {
            qCInfo(lcEdsReader).noquote()
                << "Changes of a" << kind.what << "will not be seen:" << error.text();
            return false;
        }
        const VariantRef viewPath(g_variant_get_child_value(made.get(), 0));
        store.viewPath = g_variant_get_string(viewPath.get(), nullptr);
        // Matched by the view's path: the service may answer from a process of its own.
        store.viewSignals = g_dbus_connection_signal_subscribe(
            bus.get(), nullptr, kind.viewInterface, nullptr, store.viewPath.constData(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, &onViewSignal, new StoreWatch{this, &kind, store.uid},
            [](gpointer watch) { delete static_cast<StoreWatch*>(watch); });
        // Flags 0: the items the view matches at its start are not sent again (they were just read).
        for (const auto& [method, arguments] :
             {std::pair<const char*, GVariant*>{"SetFlags", g_variant_new("(u)", 0u)}, {"Start", nullptr}})
            call(store, store.viewPath, kind.viewInterface, method, arguments, nullptr, error);
        return true;
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
        {
            std::lock_guard lock(mutex);
            published = std::move(next);
        }
        changed.notify_all();
    }

    void markLoaded()
    {
        calendarsLoaded = true;
        cardsLoaded = true;
        publish();
    }

    void close(Store& store)
    {
        removeTimeout(store.pendingReload);
        if (store.viewSignals)
            g_dbus_connection_signal_unsubscribe(bus.get(), store.viewSignals);
        if (!store.viewPath.isEmpty())
            tell(store, store.viewPath, store.kind->viewInterface, "Dispose");
        if (!store.path.isEmpty())
            tell(store, store.path, store.kind->interface, "Close");
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

EdsStoreReader::EdsStoreReader(bool calendars, bool contacts)
    : m_thread(std::make_unique<GLibLoopThread>("morvane-eds"))
{
    d = std::make_shared<Worker>(m_thread->context(), calendars, contacts);
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
    std::lock_guard lock(d->mutex);
    return d->published;
}

bool EdsStoreReader::waitUntilLoaded(Load load, std::chrono::milliseconds wait) const
{
    std::unique_lock lock(d->mutex);
    return d->changed.wait_for(lock, wait, [&] {
        return d->published->calendarsLoaded && (load == Load::calendars || d->published->cardsLoaded);
    });
}

} // namespace morvane
