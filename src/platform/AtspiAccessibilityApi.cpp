// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <atspi/atspi.h>
#include <gio/gio.h>

#include "AtspiAccessibilityApi.h"

#include "foundation/Logging.h"
#include "platform/SessionBus.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>
#include <QSet>

#include <array>

#include <future>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <unistd.h>

MORVANE_LOGGING_CATEGORY(lcAccessibility, "Accessibility")

namespace morvane {

namespace {

struct ErrorSlot {
    GError* error = nullptr;
    ~ErrorSlot() { g_clear_error(&error); }
    GError** operator&() { return &error; }
    explicit operator bool() const { return error != nullptr; }
};

QString takeString(gchar* text)
{
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QHash<QString, QString> takeTable(GHashTable* table)
{
    QHash<QString, QString> result;
    if (!table)
        return result;
    GHashTableIter iterator;
    gpointer key = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iterator, table);
    while (g_hash_table_iter_next(&iterator, &key, &value))
        result.insert(QString::fromUtf8(static_cast<const char*>(key)),
                      QString::fromUtf8(static_cast<const char*>(value)));
    g_hash_table_unref(table);
    return result;
}

AccessibilityRole roleOf(AtspiRole role)
{
    using R = AccessibilityRole;
    static const QHash<int, AccessibilityRole> roles{
        {ATSPI_ROLE_APPLICATION, R::application},
        {ATSPI_ROLE_FRAME, R::frame},
        {ATSPI_ROLE_WINDOW, R::window},
        {ATSPI_ROLE_DIALOG, R::dialog},
        {ATSPI_ROLE_FILE_CHOOSER, R::dialog},
        {ATSPI_ROLE_ALERT, R::dialog},
        {ATSPI_ROLE_DOCUMENT_WEB, R::documentWeb},
        {ATSPI_ROLE_DOCUMENT_FRAME, R::documentFrame},
        {ATSPI_ROLE_DOCUMENT_TEXT, R::documentText},
        {ATSPI_ROLE_DOCUMENT_EMAIL, R::documentEmail},
        {ATSPI_ROLE_MENU_BAR, R::menuBar},
        {ATSPI_ROLE_MENU, R::menu},
        {ATSPI_ROLE_POPUP_MENU, R::popupMenu},
        {ATSPI_ROLE_MENU_ITEM, R::menuItem},
        {ATSPI_ROLE_PAGE_TAB_LIST, R::pageTabList},
        {ATSPI_ROLE_PAGE_TAB, R::pageTab},
        {ATSPI_ROLE_TOOL_BAR, R::toolBar},
        {ATSPI_ROLE_STATUS_BAR, R::statusBar},
        {ATSPI_ROLE_PANEL, R::panel},
        {ATSPI_ROLE_FILLER, R::filler},
        {ATSPI_ROLE_SCROLL_PANE, R::scrollPane},
        {ATSPI_ROLE_SECTION, R::section},
        {ATSPI_ROLE_PARAGRAPH, R::paragraph},
        {ATSPI_ROLE_HEADING, R::heading},
        {ATSPI_ROLE_LABEL, R::label},
        {ATSPI_ROLE_LINK, R::link},
        {ATSPI_ROLE_PUSH_BUTTON, R::pushButton},
        {ATSPI_ROLE_ENTRY, R::entry},
        {ATSPI_ROLE_TEXT, R::text},
        {ATSPI_ROLE_TABLE, R::table},
        {ATSPI_ROLE_TREE_TABLE, R::treeTable},
        {ATSPI_ROLE_TABLE_ROW, R::tableRow},
        {ATSPI_ROLE_TABLE_CELL, R::tableCell},
        {ATSPI_ROLE_TREE, R::tree},
        {ATSPI_ROLE_TREE_ITEM, R::treeItem},
        {ATSPI_ROLE_LIST, R::list},
        {ATSPI_ROLE_LIST_BOX, R::list},
        {ATSPI_ROLE_LIST_ITEM, R::listItem},
        {ATSPI_ROLE_LAYERED_PANE, R::layeredPane},
        {ATSPI_ROLE_ICON, R::icon},
        {ATSPI_ROLE_CANVAS, R::canvas},
        {ATSPI_ROLE_IMAGE, R::image},
    };
    return roles.value(role, R::other);
}

AccessibilityStates statesOf(AtspiStateSet* set)
{
    using S = AccessibilityState;
    static const std::pair<AtspiStateType, S> table[]{
        {ATSPI_STATE_ACTIVE, S::active},         {ATSPI_STATE_SHOWING, S::showing},
        {ATSPI_STATE_VISIBLE, S::visible},       {ATSPI_STATE_FOCUSED, S::focused},
        {ATSPI_STATE_SELECTED, S::selected},     {ATSPI_STATE_FOCUSABLE, S::focusable},
        {ATSPI_STATE_SELECTABLE, S::selectable}, {ATSPI_STATE_EDITABLE, S::editable},
        {ATSPI_STATE_EXPANDED, S::expanded},     {ATSPI_STATE_MULTISELECTABLE, S::multiselectable},
        {ATSPI_STATE_ICONIFIED, S::iconified},   {ATSPI_STATE_DEFUNCT, S::defunct},
    };
    AccessibilityStates states;
    for (const auto& [type, state] : table) {
        if (atspi_state_set_contains(set, type))
            states |= state;
    }
    return states;
}

// libatspi attaches the connections it opens to applications to GLib's default main context, whatever
// context it was given: whoever runs that context calls into libatspi. So this thread runs it, which
// needs the process's event loop to leave it alone (Qt does with QT_NO_GLIB=1 set while its
// application object is made). Otherwise the library gets a context of its own, and the main thread
// may dispatch some of its messages: said once in the log.
bool ownsDefaultContext()
{
    const QAbstractEventDispatcher* mainLoop =
        QCoreApplication::instance()
            ? QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread())
            : nullptr;
    if (!mainLoop || !mainLoop->inherits("QEventDispatcherGlib"))
        return true;
    qCWarning(lcAccessibility) << "GLib's main context is run by the event loop (QT_NO_GLIB is not set);"
                                  " accessibility messages may be dispatched on the main thread";
    return false;
}

// One text property of an accessible; nothing when it cannot be read.
std::optional<QString> readText(AtspiAccessible* accessible, gchar* (*read)(AtspiAccessible*, GError**))
{
    if (!accessible)
        return std::nullopt;
    ErrorSlot error;
    gchar* text = read(accessible, &error);
    if (!text)
        return std::nullopt;
    return takeString(text);
}

AtspiAccessible* atspiObject(void* object)
{
    return static_cast<AtspiAccessible*>(object);
}

} // namespace

// One thread running a GLib main context of its own: libatspi's connection lives on it (so its
// messages are read even between jobs, and never pile up), and jobs are idle sources on it, run in
// the order they were queued.
//
// The loop and its context belong to the thread's own state, which the thread holds: ended from one
// of its own jobs, the thread cannot be joined there, so it is let go and ends once that job returns,
// and nothing it still reads may belong to the object that let it go. Jobs queued behind that one are
// dropped, not run: they may reach what is being destroyed.
class AtspiAccessibilityApi::Thread {
public:
    explicit Thread(std::function<void(GMainContext*)> setUp)
        : m_state(std::make_shared<State>())
    {
        std::promise<void> started;
        m_thread = std::thread([state = m_state, setUp = std::move(setUp), &started] {
            pthread_setname_np(pthread_self(), "morvane-a11y");
            g_main_context_push_thread_default(state->context);
            state->id = std::this_thread::get_id();
            started.set_value();
            setUp(state->context);
            g_main_loop_run(state->loop);
            g_main_context_pop_thread_default(state->context);
        });
        started.get_future().wait();
    }

    ~Thread()
    {
        const bool fromOwnJob = isCurrent();
        {
            const std::lock_guard lock(m_state->mutex);
            m_state->closed = true;
            m_state->dropQueued = fromOwnJob;
        }
        // At a lower priority than the jobs: what is queued runs first.
        GSource* quit = g_idle_source_new();
        g_source_set_priority(quit, G_PRIORITY_LOW);
        g_source_set_callback(
            quit,
            [](gpointer loop) {
                g_main_loop_quit(static_cast<GMainLoop*>(loop));
                return G_SOURCE_REMOVE;
            },
            g_main_loop_ref(m_state->loop),
            [](gpointer loop) { g_main_loop_unref(static_cast<GMainLoop*>(loop)); });
        g_source_attach(quit, m_state->context);
        g_source_unref(quit);
        if (fromOwnJob)
            m_thread.detach();
        else
            m_thread.join();
    }

    bool post(std::function<void()> job)
    {
        const std::lock_guard lock(m_state->mutex);
        if (m_state->closed)
            return false;
        struct Queued {
            std::weak_ptr<State> state;
            std::function<void()> job;
        };
        GSource* source = g_idle_source_new();
        g_source_set_priority(source, G_PRIORITY_DEFAULT);
        g_source_set_callback(
            source,
            [](gpointer data) {
                Queued& queued = *static_cast<Queued*>(data);
                const std::shared_ptr<State> state = queued.state.lock();
                if (state && !state->dropping())
                    queued.job();
                return G_SOURCE_REMOVE;
            },
            new Queued{m_state, std::move(job)}, [](gpointer data) { delete static_cast<Queued*>(data); });
        g_source_attach(source, m_state->context);
        g_source_unref(source);
        return true;
    }

    bool isCurrent() const { return std::this_thread::get_id() == m_state->id; }

private:
    struct State {
        GMainContext* context =
            ownsDefaultContext() ? g_main_context_ref(g_main_context_default()) : g_main_context_new();
        GMainLoop* loop = g_main_loop_new(context, FALSE);
        std::thread::id id;
        std::mutex mutex;
        bool closed = false;
        bool dropQueued = false;

        bool dropping()
        {
            const std::lock_guard lock(mutex);
            return dropQueued;
        }
        ~State()
        {
            g_main_loop_unref(loop);
            g_main_context_unref(context);
        }
    };

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

// The library objects the current job has met, each held once; released when the job ends, so an
// element never outlives its job and a long session holds nothing between polls.
//
// Between jobs the library itself keeps each object's states, kept true only by the events that
// reach it; an application announces a change of what a window shows (another tab, a page loaded,
// the window activated) on the window or the document, not on each element whose SHOWING moved with
// it. So the events of the frames and documents read here are listened to, and each drops what it
// makes stale: the states of its own element and, for a change of what a window shows, those of every
// element of that application whose states are kept. The library's event handler runs on this thread
// and may not call the bus from there (it would wait on itself): dropping only clears what the
// library holds, and the next read asks the application.
struct AtspiAccessibilityApi::Objects {
    bool available = false; // libatspi reached the bus
    AtspiAccessible* desktop = nullptr;
    QHash<quint64, AtspiAccessible*> byHandle;
    QHash<AtspiAccessible*, quint64> handles;
    quint64 lastHandle = 0;
    bool warnedOffThread = false;
    AtspiEventListener* listener = nullptr;
    // Told on the thread when a window was activated or a frame's active state changed.
    std::function<void()> windowActivation;
    // The objects whose states were read, each watched until the library lets it go.
    QSet<AtspiAccessible*> statesKept;

    static constexpr std::array<const char*, 8> events{
        "window:activate",
        "window:deactivate",
        "object:state-changed:showing",
        "object:state-changed:focused",
        "object:state-changed:selected",
        "object:state-changed:active",
        "document:load-complete",
        "object:property-change:accessible-name",
    };

    void releaseAll()
    {
        for (AtspiAccessible* object : std::as_const(byHandle))
            g_object_unref(object);
        byHandle.clear();
        handles.clear();
    }

    void listen()
    {
        listener = atspi_event_listener_new(
            [](AtspiEvent* event, void* objects) {
                static_cast<Objects*>(objects)->dropStale(*event);
                g_boxed_free(ATSPI_TYPE_EVENT, event);
            },
            this, nullptr);
        for (const char* type : events) {
            ErrorSlot error;
            if (!atspi_event_listener_register(listener, type, &error))
                qCWarning(lcAccessibility) << "Could not listen to the accessibility event" << type;
        }
    }

    void keepStates(AtspiAccessible* object)
    {
        if (statesKept.contains(object))
            return;
        statesKept.insert(object);
        g_object_weak_ref(G_OBJECT(object), &Objects::released, this);
    }

    void dropStale(const AtspiEvent& event)
    {
        AtspiAccessible* source = event.source;
        if (!source)
            return;
        const QByteArrayView type(event.type);
        dropStates(source);
        if (windowActivation &&
            (type.startsWith("window:activate") || type.startsWith("object:state-changed:active")))
            windowActivation();
        if (type.startsWith("object:property-change:accessible-name"))
            source->cached_properties &= ~ATSPI_CACHE_NAME;
        if (!changesWhatIsShown(type, *source))
            return;
        const AtspiApplication* application = source->parent.app;
        for (AtspiAccessible* object : std::as_const(statesKept)) {
            if (object->parent.app == application)
                dropStates(object);
        }
    }

    // The events after which other elements than the source show or hide: a window activated, a
    // page loaded or shown, a window or a document renamed (a tab switch renames its window).
    static bool changesWhatIsShown(QByteArrayView type, const AtspiAccessible& source)
    {
        if (type.startsWith("window:") || type.startsWith("document:load-complete") ||
            type.startsWith("object:state-changed:showing"))
            return true;
        const bool roleKnown = source.cached_properties & ATSPI_CACHE_ROLE;
        return type.startsWith("object:property-change:accessible-name") &&
               (!roleKnown || source.role == ATSPI_ROLE_FRAME || source.role == ATSPI_ROLE_DOCUMENT_WEB);
    }

    static void dropStates(AtspiAccessible* object) { object->cached_properties &= ~ATSPI_CACHE_STATES; }

    static void released(gpointer objects, GObject* gone)
    {
        static_cast<Objects*>(objects)->statesKept.remove(reinterpret_cast<AtspiAccessible*>(gone));
    }

    // On the thread, last: nothing of the library's calls back into this object after it.
    void tearDown()
    {
        releaseAll();
        if (listener) {
            for (const char* type : events) {
                ErrorSlot error;
                atspi_event_listener_deregister(listener, type, &error);
            }
            g_object_unref(listener);
            listener = nullptr;
        }
        for (AtspiAccessible* object : std::as_const(statesKept))
            g_object_weak_unref(G_OBJECT(object), &Objects::released, this);
        statesKept.clear();
        if (desktop)
            g_object_unref(desktop);
        desktop = nullptr;
        available = false;
    }
};

AtspiAccessibilityApi::AtspiAccessibilityApi(QObject* parent)
    : AccessibilityApi(parent)
    , m_objects(std::make_shared<Objects>())
{
    m_thread = std::make_unique<Thread>([this](GMainContext* context) { setUp(context); });
    refreshTrust();
}

// Destroyed from one of its own jobs, the thread runs nothing of this object's after this returns:
// the library lets go of the listener here and now.
AtspiAccessibilityApi::~AtspiAccessibilityApi()
{
    const std::shared_ptr<Objects> objects = m_objects;
    if (m_thread->isCurrent())
        objects->tearDown();
    else
        m_thread->post([objects] { objects->tearDown(); });
    m_thread.reset();
}

void AtspiAccessibilityApi::setUp(void* mainContext)
{
    if (!hasSessionBus())
        return;
    // 0: set up now; 1: already set up (by another copy of this object in the process).
    const int status = atspi_init();
    if (status != 0 && status != 1) {
        qCInfo(lcAccessibility) << "The accessibility bus cannot be reached; other windows cannot be read";
        return;
    }
    // The library sets its connections up on GLib's default context; given another (only once the
    // bus is there: without it the library aborts), it moves those it has to that one.
    if (static_cast<GMainContext*>(mainContext) != g_main_context_default())
        atspi_set_main_context(static_cast<GMainContext*>(mainContext));
    atspi_set_timeout(callTimeoutMs, callTimeoutMs);
    m_objects->desktop = atspi_get_desktop(0);
    // Children and names are read afresh: Chromium adds its windows' contents without an event the
    // cache follows, and a tab switch renames. States and roles stay cached, kept true by the
    // applications' events that this thread dispatches and by what the listener drops: uncached, the
    // library's own event handler reads them back from inside a dispatch and deadlocks.
    if (m_objects->desktop)
        atspi_accessible_set_cache_mask(
            m_objects->desktop, AtspiCache(ATSPI_CACHE_DEFAULT & ~ATSPI_CACHE_CHILDREN & ~ATSPI_CACHE_NAME));
    m_objects->available = m_objects->desktop != nullptr;
    // Queued to this object: the thread ends before it does, and what is still queued goes with it.
    m_objects->windowActivation = [this] {
        QMetaObject::invokeMethod(
            this, [this] { emit windowActivated(); }, Qt::QueuedConnection);
    };
    if (m_objects->available)
        m_objects->listen();
}

bool AtspiAccessibilityApi::post(std::function<void()> job)
{
    // The objects are held by the job: a job may end this object.
    return m_thread->post([objects = m_objects, job = std::move(job)] {
        job();
        objects->releaseAll();
    });
}

// --- Trust ---------------------------------------------------------------------------------------------

AccessibilityTrust AtspiAccessibilityApi::checkTrust()
{
    ErrorSlot error;
    GDBusConnection* bus = hasSessionBus() ? g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error) : nullptr;
    if (!bus)
        return AccessibilityTrust::notAvailable;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        busCallTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (!reply)
        return AccessibilityTrust::notAvailable;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool enabled = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return enabled ? AccessibilityTrust::granted : AccessibilityTrust::notGranted;
}

void AtspiAccessibilityApi::setTrust(AccessibilityTrust trust)
{
    if (m_trust.exchange(trust) == trust)
        return;
    // Announced on this object's own (main) thread; dropped once it is gone.
    QMetaObject::invokeMethod(
        this, [this] { emit trustChanged(); }, Qt::QueuedConnection);
}

QFuture<AccessibilityTrust> AtspiAccessibilityApi::refreshTrust()
{
    return run([this](AccessibilityApi&) {
        const AccessibilityTrust trust = checkTrust();
        setTrust(trust);
        return trust;
    });
}

void AtspiAccessibilityApi::requestTrust()
{
    post([this] {
        ErrorSlot error;
        if (GDBusConnection* bus =
                hasSessionBus() ? g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error) : nullptr) {
            GVariant* reply = g_dbus_connection_call_sync(
                bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)), nullptr,
                G_DBUS_CALL_FLAGS_NONE, busCallTimeoutMs, nullptr, &error);
            if (reply)
                g_variant_unref(reply);
            else
                qCWarning(lcAccessibility)
                    << "Could not turn the accessibility bus on:" << error.error->message;
            g_object_unref(bus);
        }
        setTrust(checkTrust());
    });
}

// --- Objects -------------------------------------------------------------------------------------------

void* AtspiAccessibilityApi::object(const AccessibilityElement& element) const
{
    if (!m_thread->isCurrent()) {
        if (!std::exchange(m_objects->warnedOffThread, true))
            qCWarning(lcAccessibility) << "An accessibility read off the accessibility thread was refused";
        return nullptr;
    }
    return m_objects->byHandle.value(element.handle);
}

AccessibilityElement AtspiAccessibilityApi::keep(void* object) const
{
    AtspiAccessible* accessible = atspiObject(object);
    if (const auto known = m_objects->handles.constFind(accessible); known != m_objects->handles.cend()) {
        g_object_unref(accessible); // held already
        return {known.value()};
    }
    const quint64 handle = ++m_objects->lastHandle;
    m_objects->byHandle.insert(handle, accessible);
    m_objects->handles.insert(accessible, handle);
    return {handle};
}

// --- Reads ---------------------------------------------------------------------------------------------

QList<AccessibilityApplication> AtspiAccessibilityApi::applications() const
{
    QList<AccessibilityApplication> found;
    if (!m_thread->isCurrent() || !m_objects->available)
        return found;
    AtspiAccessible* desktop = m_objects->desktop;
    ErrorSlot countError;
    const gint count = atspi_accessible_get_child_count(desktop, &countError);
    const qint64 ownProcess = getpid();
    for (gint index = 0; index < count; ++index) {
        ErrorSlot error;
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, index, &error);
        if (!application)
            continue;
        const qint64 processId = atspi_accessible_get_process_id(application, &error);
        if (error || processId == ownProcess) {
            g_object_unref(application);
            continue;
        }
        const AccessibilityElement element = keep(application);
        found.append({element, processId, name(element).value_or(QString())});
    }
    return found;
}

AccessibilityRole AtspiAccessibilityApi::role(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return AccessibilityRole::other;
    ErrorSlot error;
    const AtspiRole role = atspi_accessible_get_role(accessible, &error);
    return error ? AccessibilityRole::other : roleOf(role);
}

std::optional<QString> AtspiAccessibilityApi::name(const AccessibilityElement& element) const
{
    return readText(atspiObject(object(element)), atspi_accessible_get_name);
}

std::optional<QString> AtspiAccessibilityApi::description(const AccessibilityElement& element) const
{
    return readText(atspiObject(object(element)), atspi_accessible_get_description);
}

AccessibilityStates AtspiAccessibilityApi::states(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return {};
    AtspiStateSet* set = atspi_accessible_get_state_set(accessible);
    if (!set)
        return {};
    m_objects->keepStates(accessible);
    const AccessibilityStates states = statesOf(set);
    g_object_unref(set);
    return states;
}

QHash<QString, QString> AtspiAccessibilityApi::attributes(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return {};
    ErrorSlot error;
    return takeTable(atspi_accessible_get_attributes(accessible, &error));
}

QHash<QString, QString> AtspiAccessibilityApi::documentAttributes(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return {};
    AtspiDocument* document = atspi_accessible_get_document_iface(accessible);
    if (!document)
        return {};
    ErrorSlot error;
    QHash<QString, QString> result = takeTable(atspi_document_get_document_attributes(document, &error));
    g_object_unref(document);
    return result;
}

std::optional<QString> AtspiAccessibilityApi::text(const AccessibilityElement& element, int maxLength) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    AtspiText* text = atspi_accessible_get_text_iface(accessible);
    if (!text)
        return std::nullopt;
    std::optional<QString> result;
    ErrorSlot countError;
    const gint count = atspi_text_get_character_count(text, &countError);
    if (!countError) {
        ErrorSlot error;
        if (gchar* characters = atspi_text_get_text(text, 0, std::min(count, maxLength), &error))
            result = takeString(characters);
    }
    g_object_unref(text);
    return result;
}

std::optional<int> AtspiAccessibilityApi::childCount(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    ErrorSlot error;
    const gint count = atspi_accessible_get_child_count(accessible, &error);
    if (error || count < 0)
        return std::nullopt;
    return count;
}

std::optional<AccessibilityElement> AtspiAccessibilityApi::childAt(const AccessibilityElement& element,
                                                                   int index) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    ErrorSlot error;
    AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible, index, &error);
    if (!child)
        return std::nullopt;
    return keep(child);
}

QList<AccessibilityElement> AtspiAccessibilityApi::selectedChildren(const AccessibilityElement& element) const
{
    QList<AccessibilityElement> found;
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return found;
    AtspiSelection* selection = atspi_accessible_get_selection_iface(accessible);
    if (!selection)
        return found;
    ErrorSlot countError;
    const gint count = atspi_selection_get_n_selected_children(selection, &countError);
    for (gint index = 0; index < count; ++index) {
        ErrorSlot error;
        if (AtspiAccessible* child = atspi_selection_get_selected_child(selection, index, &error))
            found.append(keep(child));
    }
    g_object_unref(selection);
    return found;
}

std::optional<int> AtspiAccessibilityApi::documentCurrentPage(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    AtspiDocument* document = atspi_accessible_get_document_iface(accessible);
    if (!document)
        return std::nullopt;
    ErrorSlot error;
    const gint page = atspi_document_get_current_page_number(document, &error);
    g_object_unref(document);
    // A document without pages (a web page) answers -1.
    if (error || page < 1)
        return std::nullopt;
    return page;
}

// --- The older names -----------------------------------------------------------------------------------

std::optional<AccessibilityElement> AtspiAccessibilityApi::applicationElement(qint64 processId) const
{
    if (std::optional<AccessibilityApplication> found = application(processId))
        return found->element;
    return std::nullopt;
}

std::optional<AccessibilityValue> AtspiAccessibilityApi::attribute(const AccessibilityElement& element,
                                                                   const QString& attributeName) const
{
    using Kind = AccessibilityValue::Kind;
    const auto textValue = [](std::optional<QString> text,
                              Kind kind = Kind::text) -> std::optional<AccessibilityValue> {
        if (!text || text->isEmpty())
            return std::nullopt;
        return AccessibilityValue{kind, *text, {}};
    };
    const auto elements = [](QList<AccessibilityElement> list) -> std::optional<AccessibilityValue> {
        if (list.isEmpty())
            return std::nullopt;
        return AccessibilityValue{Kind::elementList, {}, std::move(list)};
    };
    if (attributeName == u"AXTitle")
        return textValue(name(element));
    if (attributeName == u"AXDescription")
        return textValue(description(element));
    if (attributeName == u"AXValue" || attributeName == u"AXSelectedText")
        return textValue(text(element, 4096));
    if (attributeName == u"AXChildren")
        return elements(children(element));
    if (attributeName == u"AXSelectedChildren")
        return elements(selectedChildren(element));
    if (attributeName == u"AXURL") {
        const QHash<QString, QString> document = documentAttributes(element);
        return textValue(document.value(QStringLiteral("DocURL"), document.value(QStringLiteral("URI"))),
                         Kind::url);
    }
    if (attributeName == u"AXFocusedWindow") {
        if (std::optional<AccessibilityElement> frame = activeFrame(element))
            return AccessibilityValue{Kind::element, {}, {*frame}};
    }
    return std::nullopt;
}

} // namespace morvane
