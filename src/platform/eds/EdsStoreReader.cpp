#include "platform/eds/EdsStoreReader.h"

#include "foundation/Logging.h"
#include "platform/GLibErrorSlot.h"
#include "platform/GLibLoopThread.h"
#include "platform/GObjectRef.h"
#include "platform/eds/EdsMapping.h"

#include <QDateTime>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

MORVANE_LOGGING_CATEGORY(lcEdsReader, "EvolutionDataServer")

namespace morvane {

namespace {

using namespace std::chrono_literals;

// A load (the registry, connecting a calendar or book, reading its items) that runs longer is
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

// Connecting waits for the backend to go online; only this value makes it answer at once with what
// the backend has (a few seconds or never, otherwise).
constexpr guint32 connectedWait = guint32(-1);

// Address books are read over the bus directly: the service's client library for them links a
// phone number library with its protocol buffers and the service's own backend libraries, several
// megabytes mapped into this process for reading a few fields of each card.
constexpr const char* addressBookFactoryPath = "/org/gnome/evolution/dataserver/AddressBookFactory";
constexpr const char* addressBookFactoryInterface = "org.gnome.evolution.dataserver.AddressBookFactory";
constexpr const char* addressBookInterface = "org.gnome.evolution.dataserver.AddressBook";
constexpr const char* addressBookViewInterface = "org.gnome.evolution.dataserver.AddressBookView";
// The service's query for every card.
constexpr const char* everyCard = "(contains \"x-evolution-any-field\" \"\")";

} // namespace

void keepMailProvidersOut()
{
    // The mail library reads its folder of providers only while its provider table is not made, and
    // a load makes the table before anything else. /dev/null is never a module: the load fails, and
    // no provider is ever looked for again.
    ErrorSlot unloadable;
    camel_provider_load("/dev/null", &unloadable);
}

// What the reader knows and does, on its thread: held by each job there, so that a thread left inside a
// call when the reader goes still has it.
struct EdsStoreReader::Worker {
    struct CalendarSource {
        Worker* worker = nullptr;
        QString uid;
        QString name;
        GObjectRef<ECalClient> client;
        GObjectRef<ECalClientView> view;
        QList<CalendarEvent> events;
        guint pendingReload = 0;
    };
    struct BookSource {
        Worker* worker = nullptr;
        QString uid;
        QByteArray busName; // where the opened book answers; empty until it is open
        QByteArray path;
        QByteArray viewPath; // the view that reports the book's changes, once watched
        guint viewSignals = 0;
        QList<ContactCard> cards;
        QStringList fileAs; // the sort key of each card
        guint pendingReload = 0;
    };

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
    GObjectRef<ESourceRegistry> registry;
    ICalTimezone* defaultZone = nullptr;
    std::vector<std::unique_ptr<CalendarSource>> calendarSources;
    std::vector<std::unique_ptr<BookSource>> bookSources;
    guint pendingSourcesReload = 0;
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
        keepMailProvidersOut();
        ErrorSlot error;
        bus.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
        if (!bus)
            qCWarning(lcEdsReader).noquote() << "No session bus for the address books:" << error.text();
        defaultZone = e_cal_util_get_system_timezone();
        if (!defaultZone)
            defaultZone = i_cal_timezone_get_utc_timezone();
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
        ErrorSlot error;
        // Not cancellable in every version of the library: a registry that does not answer holds the
        // thread until the bus's own time-out.
        registry.reset(e_source_registry_new_sync(beginLoad(), &error));
        endLoad();
        if (!registry) {
            qCWarning(lcEdsReader).noquote()
                << "Could not open the calendar and address book registry:" << error.text();
            markLoaded();
            return;
        }
        for (const char* signal : {"source-added", "source-removed", "source-enabled", "source-disabled"}) {
            g_signal_connect_swapped(registry.get(), signal,
                                     G_CALLBACK(+[](Worker* self) { self->scheduleSourcesReload(); }), this);
        }
        reloadSources();
    }

    void scheduleSourcesReload()
    {
        if (pendingSourcesReload)
            return;
        pendingSourcesReload = addTimeout(
            reloadDelayMs,
            [](gpointer self) -> gboolean {
                auto* worker = static_cast<Worker*>(self);
                worker->pendingSourcesReload = 0;
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

    static QStringList enabledUids(ESourceRegistry* registry, const char* extension)
    {
        QStringList uids;
        GList* sources = e_source_registry_list_enabled(registry, extension);
        for (GList* item = sources; item; item = item->next)
            uids.append(QString::fromUtf8(e_source_get_uid(E_SOURCE(item->data))));
        g_list_free_full(sources, g_object_unref);
        return uids;
    }

    // Connects the calendars and address books that came, drops those that went, and reads them all
    // again over the current window.
    void reloadSources()
    {
        if (!registry || isStopping())
            return;
        // Connecting runs this thread's loop until the answers are in; a change reported meanwhile
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
        if (calendars) {
            syncSources(calendarSources, enabledUids(registry.get(), E_SOURCE_EXTENSION_CALENDAR));
            connectAll(calendarSources);
            for (const auto& source : calendarSources)
                loadCalendar(*source);
        }
        calendarsLoaded = true;
        publish();
        if (contacts) {
            syncSources(bookSources, enabledUids(registry.get(), E_SOURCE_EXTENSION_ADDRESS_BOOK));
            connectBooks();
            for (const auto& source : bookSources)
                loadBook(*source);
        }
        cardsLoaded = true;
        publish();
        // Watched only once everything was read, so that the first answers come as early as they can;
        // a source watched for the first time is read once more for what changed in between.
        bool reread = false;
        for (const auto& source : calendarSources) {
            if (watch(*source)) {
                loadCalendar(*source);
                reread = true;
            }
        }
        for (const auto& source : bookSources) {
            if (watch(*source)) {
                loadBook(*source);
                reread = true;
            }
        }
        if (reread)
            publish();
    }

    template <class Source>
    void syncSources(std::vector<std::unique_ptr<Source>>& sources, const QStringList& uids)
    {
        std::vector<std::unique_ptr<Source>> kept;
        for (const QString& uid : uids) {
            auto found =
                std::find_if(sources.begin(), sources.end(), [&](const auto& s) { return s->uid == uid; });
            if (found != sources.end()) {
                kept.push_back(std::move(*found));
                sources.erase(found);
            } else {
                auto source = std::make_unique<Source>();
                source->worker = this;
                source->uid = uid;
                kept.push_back(std::move(source));
            }
        }
        for (auto& gone : sources)
            close(*gone);
        sources = std::move(kept);
    }

    template <class Source> struct Connecting {
        Source* source;
        int* pending;
        ICalTimezone* defaultZone;
    };

    static void connected(Connecting<CalendarSource>& call, GAsyncResult* result, GError** error)
    {
        if (EClient* client = e_cal_client_connect_finish(result, error)) {
            call.source->client.reset(E_CAL_CLIENT(client));
            e_cal_client_set_default_timezone(call.source->client.get(), call.defaultZone);
        }
    }

    template <class Source> static void onConnected(GObject*, GAsyncResult* result, gpointer data)
    {
        std::unique_ptr<Connecting<Source>> call(static_cast<Connecting<Source>*>(data));
        ErrorSlot error;
        connected(*call, result, &error);
        if (!call->source->client) {
            qCWarning(lcEdsReader).noquote() << "Could not open a calendar or address book:" << error.text();
        }
        --*call->pending;
    }

    // Connects every source not yet connected, all at once: each connection waits on its backend.
    template <class Source> void connectAll(std::vector<std::unique_ptr<Source>>& sources)
    {
        int pending = 0;
        GCancellable* load = beginLoad();
        for (const auto& source : sources) {
            const GObjectRef<ESource> esource(source->client ? nullptr : registrySource(source->uid));
            if (!esource)
                continue;
            ++pending;
            auto* call = new Connecting<Source>{source.get(), &pending, defaultZone};
            source->name = QString::fromUtf8(e_source_get_display_name(esource.get()));
            e_cal_client_connect(esource.get(), E_CAL_CLIENT_SOURCE_TYPE_EVENTS, connectedWait, load,
                                 &onConnected<Source>, call);
        }
        waitFor(pending);
    }

    // Runs this thread's loop until the calls answer, and ends the load they were part of.
    void waitFor(const int& pending)
    {
        while (pending > 0)
            g_main_context_iteration(context, true);
        endLoad();
    }

    // An address book's opening: the service names where the book answers, then the book is opened.
    struct OpeningBook {
        BookSource* source;
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
            qCWarning(lcEdsReader).noquote() << "Could not open an address book:" << error.text();
            --*pending;
            delete this;
            return nullptr;
        }
    };

    // Opens every address book not yet open, all at once, as the calendars are.
    void connectBooks()
    {
        int pending = 0;
        GCancellable* load = beginLoad();
        for (const auto& source : bookSources) {
            if (!bus || !source->path.isEmpty())
                continue;
            ++pending;
            auto* call = new OpeningBook{source.get(), &pending, load, {}, {}};
            g_dbus_connection_call(
                bus.get(), addressBookFactoryName, addressBookFactoryPath, addressBookFactoryInterface,
                "OpenAddressBook", g_variant_new("(s)", source->uid.toUtf8().constData()),
                G_VARIANT_TYPE("(ss)"), G_DBUS_CALL_FLAGS_NONE, -1, load, &onBookFound, call);
        }
        waitFor(pending);
    }

    static void onBookFound(GObject* bus, GAsyncResult* result, gpointer data)
    {
        auto* call = static_cast<OpeningBook*>(data);
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
                               addressBookInterface, "Open", nullptr, G_VARIANT_TYPE("(as)"),
                               G_DBUS_CALL_FLAGS_NONE, -1, call->load, &onBookOpened, call);
    }

    static void onBookOpened(GObject* bus, GAsyncResult* result, gpointer data)
    {
        auto* call = static_cast<OpeningBook*>(data);
        GVariant* opened = call->answer(bus, result);
        if (!opened)
            return;
        g_variant_unref(opened);
        call->source->busName = call->busName;
        call->source->path = call->path;
        --*call->pending;
        delete call;
    }

    // A call on an open address book or its view, bounded as every load is.
    GVariant* callBook(const BookSource& source, const QByteArray& path, const char* interface,
                       const char* method, GVariant* arguments, ErrorSlot& error)
    {
        GVariant* answer = g_dbus_connection_call_sync(
            bus.get(), source.busName.constData(), path.constData(), interface, method, arguments, nullptr,
            G_DBUS_CALL_FLAGS_NONE, -1, beginLoad(), &error);
        endLoad();
        return answer;
    }

    // A call whose answer nothing waits for.
    void tellBook(const BookSource& source, const QByteArray& path, const char* interface, const char* method)
    {
        g_dbus_connection_call(bus.get(), source.busName.constData(), path.constData(), interface, method,
                               nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    }

    ESource* registrySource(const QString& uid) const
    {
        return e_source_registry_ref_source(registry.get(), uid.toUtf8().constData());
    }

    void loadCalendar(CalendarSource& source)
    {
        if (!source.client || isStopping())
            return;
        GCancellable* load = beginLoad();
        ErrorSlot error;
        GSList* components = nullptr;
        // Every event: asking for those that occur in the window makes the backend expand each
        // repeating one, and this expands them again anyway; a plain list answers several times faster.
        const bool read =
            e_cal_client_get_object_list_sync(source.client.get(), "#t", &components, load, &error);
        endLoad();
        if (!read) {
            qCWarning(lcEdsReader).noquote() << "Could not read a calendar:" << error.text();
            return;
        }
        EdsExpansion expansion =
            expandCalendarEvents(components, {source.uid, source.name}, windowFrom, windowTo,
                                 e_cal_client_tzlookup_cb, source.client.get(), defaultZone);
        g_slist_free_full(components, g_object_unref);
        if (expansion.truncatedSeries > 0) {
            qCInfo(lcEdsReader) << expansion.truncatedSeries << "repeating events were cut at"
                                << maxOccurrencesPerSeries << "occurrences";
        }
        source.events = std::move(expansion.events);
    }

    // What a book's view signals reach. A signal may still be queued on this thread's loop after its
    // book was closed and dropped, so the book is looked up by its uid rather than held.
    struct BookWatch {
        Worker* worker;
        QString uid;
    };

    static void onBookChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal,
                              GVariant*, gpointer data)
    {
        const auto* watch = static_cast<const BookWatch*>(data);
        const auto& books = watch->worker->bookSources;
        const auto book =
            std::find_if(books.begin(), books.end(), [&](const auto& b) { return b->uid == watch->uid; });
        if (book == books.end())
            return;
        for (const char* change : {"ObjectsAdded", "ObjectsModified", "ObjectsRemoved"}) {
            if (std::strcmp(signal, change) == 0)
                return onChanged(nullptr, nullptr, book->get());
        }
    }

    template <class Source> static void onChanged(gpointer, gpointer, Source* source)
    {
        if (source->pendingReload)
            return;
        source->pendingReload = source->worker->addTimeout(
            reloadDelayMs,
            [](gpointer data) -> gboolean {
                auto* changedSource = static_cast<Source*>(data);
                changedSource->pendingReload = 0;
                changedSource->worker->reload(*changedSource);
                return G_SOURCE_REMOVE;
            },
            source);
    }

    template <class Source> void reload(Source& source)
    {
        // A change reported while the sources are being connected is read by a reload after that.
        if (reloading) {
            scheduleSourcesReload();
            return;
        }
        if constexpr (std::is_same_v<Source, CalendarSource>)
            loadCalendar(source);
        else
            loadBook(source);
        publish();
    }

    // True when the source is watched from now on.
    bool watch(CalendarSource& source)
    {
        if (!source.client || source.view || isStopping())
            return false;
        ErrorSlot error;
        ECalClientView* view = nullptr;
        const bool viewed = e_cal_client_get_view_sync(source.client.get(), "#t", &view, beginLoad(), &error);
        endLoad();
        if (!viewed) {
            qCInfo(lcEdsReader).noquote() << "Calendar changes will not be seen:" << error.text();
            return false;
        }
        source.view.reset(view);
        e_cal_client_view_set_flags(view, E_CAL_CLIENT_VIEW_FLAGS_NONE, nullptr);
        for (const char* signal : {"objects-added", "objects-modified", "objects-removed"})
            g_signal_connect(view, signal, G_CALLBACK(&onChanged<CalendarSource>), &source);
        e_cal_client_view_start(view, &error);
        return true;
    }

    // True when the source is watched from now on.
    bool watch(BookSource& source)
    {
        if (source.path.isEmpty() || !source.viewPath.isEmpty() || isStopping())
            return false;
        ErrorSlot error;
        GVariant* made = callBook(source, source.path, addressBookInterface, "GetView",
                                  g_variant_new("(s)", everyCard), error);
        if (!made || (!g_variant_is_of_type(made, G_VARIANT_TYPE("(s)")) &&
                      !g_variant_is_of_type(made, G_VARIANT_TYPE("(o)")))) {
            if (made)
                g_variant_unref(made);
            qCInfo(lcEdsReader).noquote() << "Address book changes will not be seen:" << error.text();
            return false;
        }
        GVariant* viewPath = g_variant_get_child_value(made, 0);
        source.viewPath = g_variant_get_string(viewPath, nullptr);
        g_variant_unref(viewPath);
        g_variant_unref(made);
        // Matched by the view's path: the service may answer from a process of its own.
        source.viewSignals = g_dbus_connection_signal_subscribe(
            bus.get(), nullptr, addressBookViewInterface, nullptr, source.viewPath.constData(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, &onBookChanged, new BookWatch{this, source.uid},
            [](gpointer watch) { delete static_cast<BookWatch*>(watch); });
        for (const auto& [method, arguments] :
             {std::pair<const char*, GVariant*>{"SetFlags", g_variant_new("(u)", 0u)}, {"Start", nullptr}}) {
            if (GVariant* answer =
                    callBook(source, source.viewPath, addressBookViewInterface, method, arguments, error))
                g_variant_unref(answer);
        }
        return true;
    }

    void loadBook(BookSource& source)
    {
        if (source.path.isEmpty() || isStopping())
            return;
        ErrorSlot error;
        GVariant* listed = callBook(source, source.path, addressBookInterface, "GetContactList",
                                    g_variant_new("(s)", everyCard), error);
        if (!listed || !g_variant_is_of_type(listed, G_VARIANT_TYPE("(as)"))) {
            if (listed)
                g_variant_unref(listed);
            qCWarning(lcEdsReader).noquote() << "Could not read an address book:" << error.text();
            return;
        }
        source.cards.clear();
        source.fileAs.clear();
        GVariantIter* vcards = nullptr;
        const gchar* vcard = nullptr;
        g_variant_get(listed, "(as)", &vcards);
        while (g_variant_iter_next(vcards, "&s", &vcard)) {
            if (std::optional<EdsCard> card = contactCard(vcard, source.uid)) {
                source.fileAs.append(card->fileAs);
                source.cards.append(std::move(card->card));
            }
        }
        g_variant_iter_free(vcards);
        g_variant_unref(listed);
    }

    void publish()
    {
        auto next = std::make_shared<EdsSnapshot>();
        for (const auto& source : calendarSources)
            next->events.append(source->events);
        next->eventIndex.reserve(next->events.size());
        for (qsizetype i = 0; i < next->events.size(); ++i)
            next->eventIndex.insert(next->events[i].identifier, i);
        QList<std::pair<QString, qsizetype>> filed;
        for (const auto& source : bookSources) {
            for (qsizetype i = 0; i < source->cards.size(); ++i) {
                filed.append({source->fileAs[i], next->cards.size()});
                next->cardIndex.insert(source->cards[i].identifier, next->cards.size());
                next->cards.append(source->cards[i]);
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

    void close(CalendarSource& source)
    {
        removeTimeout(source.pendingReload);
        if (source.view) {
            g_signal_handlers_disconnect_by_data(source.view.get(), &source);
            e_cal_client_view_stop(source.view.get(), nullptr);
        }
    }

    void close(BookSource& source)
    {
        removeTimeout(source.pendingReload);
        if (source.viewSignals)
            g_dbus_connection_signal_unsubscribe(bus.get(), source.viewSignals);
        if (!source.viewPath.isEmpty())
            tellBook(source, source.viewPath, addressBookViewInterface, "Dispose");
        if (!source.path.isEmpty())
            tellBook(source, source.path, addressBookInterface, "Close");
    }

    // The thread's last job: nothing of the library calls back into this object after it. Run from
    // inside the loop that connecting runs, it waits for the reload around it to end.
    void closeAll()
    {
        if (reloading) {
            closeAfterReload = true;
            return;
        }
        removeTimeout(windowRenewal);
        removeTimeout(pendingSourcesReload);
        for (auto& source : calendarSources)
            close(*source);
        for (auto& source : bookSources)
            close(*source);
        calendarSources.clear();
        bookSources.clear();
        if (registry)
            g_signal_handlers_disconnect_by_data(registry.get(), this);
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
