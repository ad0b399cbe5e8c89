#include "platform/eds/EdsStoreReader.h"

#include "foundation/Logging.h"
#include "platform/GLibErrorSlot.h"
#include "platform/GLibLoopThread.h"
#include "platform/GObjectRef.h"
#include "platform/eds/EdsMapping.h"

#include <QDateTime>

#include <algorithm>
#include <condition_variable>
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
        GObjectRef<EBookClient> client;
        GObjectRef<EBookClientView> view;
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
            connectAll(bookSources);
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

    static void connected(Connecting<BookSource>& call, GAsyncResult* result, GError** error)
    {
        if (EClient* client = e_book_client_connect_finish(result, error))
            call.source->client.reset(E_BOOK_CLIENT(client));
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
            if constexpr (std::is_same_v<Source, CalendarSource>) {
                source->name = QString::fromUtf8(e_source_get_display_name(esource.get()));
                e_cal_client_connect(esource.get(), E_CAL_CLIENT_SOURCE_TYPE_EVENTS, connectedWait, load,
                                     &onConnected<Source>, call);
            } else {
                e_book_client_connect(esource.get(), connectedWait, load, &onConnected<Source>, call);
            }
        }
        while (pending > 0)
            g_main_context_iteration(context, true);
        endLoad();
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
        if (!source.client || source.view || isStopping())
            return false;
        ErrorSlot error;
        EBookClientView* view = nullptr;
        const bool viewed =
            e_book_client_get_view_sync(source.client.get(), everyCard().c_str(), &view, beginLoad(), &error);
        endLoad();
        if (!viewed) {
            qCInfo(lcEdsReader).noquote() << "Address book changes will not be seen:" << error.text();
            return false;
        }
        source.view.reset(view);
        e_book_client_view_set_flags(view, E_BOOK_CLIENT_VIEW_FLAGS_NONE, nullptr);
        for (const char* signal : {"objects-added", "objects-modified", "objects-removed"})
            g_signal_connect(view, signal, G_CALLBACK(&onChanged<BookSource>), &source);
        e_book_client_view_start(view, &error);
        return true;
    }

    // The query that matches every card.
    static std::string everyCard()
    {
        EBookQuery* everything = e_book_query_any_field_contains("");
        gchar* query = e_book_query_to_string(everything);
        e_book_query_unref(everything);
        std::string text(query);
        g_free(query);
        return text;
    }

    void loadBook(BookSource& source)
    {
        if (!source.client || isStopping())
            return;
        GCancellable* load = beginLoad();
        ErrorSlot error;
        GSList* contactList = nullptr;
        const bool read = e_book_client_get_contacts_sync(source.client.get(), everyCard().c_str(),
                                                          &contactList, load, &error);
        endLoad();
        if (!read) {
            qCWarning(lcEdsReader).noquote() << "Could not read an address book:" << error.text();
            return;
        }
        source.cards.clear();
        source.fileAs.clear();
        for (GSList* item = contactList; item; item = item->next) {
            auto* contact = E_CONTACT(item->data);
            if (std::optional<ContactCard> card = contactCard(contact, source.uid)) {
                const char* fileAs =
                    static_cast<const char*>(e_contact_get_const(contact, E_CONTACT_FILE_AS));
                source.fileAs.append(fileAs && *fileAs ? QString::fromUtf8(fileAs) : card->fullName);
                source.cards.append(std::move(*card));
            }
        }
        g_slist_free_full(contactList, g_object_unref);
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

    template <class Source> void close(Source& source)
    {
        removeTimeout(source.pendingReload);
        if (source.view) {
            g_signal_handlers_disconnect_by_data(source.view.get(), &source);
            if constexpr (std::is_same_v<Source, CalendarSource>)
                e_cal_client_view_stop(source.view.get(), nullptr);
            else
                e_book_client_view_stop(source.view.get(), nullptr);
        }
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
