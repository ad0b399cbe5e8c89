#include "platform/eds/EdsBusStore.h"

#include "foundation/Logging.h"
#include "platform/EdsReader.h"
#include "platform/GLibErrorSlot.h"

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <cstring>

MORVANE_LOGGING_CATEGORY(lcEdsStore, "EvolutionDataServer")

namespace morvane {

const EdsStoreKind edsCalendarKind{"Calendar",
                                   calendarFactoryName,
                                   "/org/gnome/evolution/dataserver/CalendarFactory",
                                   "org.gnome.evolution.dataserver.CalendarFactory",
                                   "OpenCalendar",
                                   "org.gnome.evolution.dataserver.Calendar",
                                   "org.gnome.evolution.dataserver.CalendarView",
                                   "GetObjectList",
                                   "#t",
                                   "calendar"};
const EdsStoreKind edsAddressBookKind{"Address Book",
                                      addressBookFactoryName,
                                      "/org/gnome/evolution/dataserver/AddressBookFactory",
                                      "org.gnome.evolution.dataserver.AddressBookFactory",
                                      "OpenAddressBook",
                                      "org.gnome.evolution.dataserver.AddressBook",
                                      "org.gnome.evolution.dataserver.AddressBookView",
                                      "GetContactList",
                                      "(contains \"x-evolution-any-field\" \"\")",
                                      "address book"};

namespace {

// An error's message as the service wrote it: an error of another process comes with the bus's name
// for it in front ("GDBus.Error:org.gnome.evolution.dataserver.….Code2: "), which is left off.
QString serviceMessage(const ErrorSlot& error)
{
    if (!error)
        return error.text();
    GError* copy = g_error_copy(error.error);
    g_dbus_error_strip_remote_error(copy);
    QString message = QString::fromUtf8(copy->message);
    g_error_free(copy);
    return message;
}

} // namespace

void EdsListing::Unref::operator()(GVariant* value) const
{
    g_variant_unref(value);
}

EdsListing::EdsListing(GVariant* answer)
    : m_answer(answer)
{
    // The strings point into the answer, which this holds.
    GVariantIter* iter = nullptr;
    const gchar* value = nullptr;
    g_variant_get(answer, "(as)", &iter);
    m_items.reserve(qsizetype(g_variant_iter_n_children(iter)));
    while (g_variant_iter_next(iter, "&s", &value))
        m_items.append(QByteArrayView(value));
    g_variant_iter_free(iter);
}

EdsBusStore::EdsBusStore(GDBusConnection* bus, const EdsStoreKind& kind, QString uid, EdsLoadBound& bound)
    : m_bus(bus)
    , m_kind(kind)
    , m_uid(std::move(uid))
    , m_bound(bound)
{
}

EdsBusStore::~EdsBusStore()
{
    if (m_viewSignals)
        g_dbus_connection_signal_unsubscribe(m_bus, m_viewSignals);
    if (!m_viewPath.isEmpty())
        tell(m_viewPath, m_kind.viewInterface, "Dispose");
    if (isOpen())
        tell(m_path, m_kind.interface, "Close");
}

// A store's opening: the factory names where the store answers, then the store is opened.
struct EdsBusStore::Opening {
    EdsBusStore* store;
    int* pending;
    GCancellable* load;
    QByteArray busName;
    QByteArray path;

    // The answer to the opening's call of method; nothing when it failed, which ends the opening.
    GVariant* answer(GObject* bus, GAsyncResult* result, const char* method)
    {
        ErrorSlot error;
        if (GVariant* answered = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error))
            return answered;
        fail(method, error.text(), serviceMessage(error));
        return nullptr;
    }

    // Ends the opening: the store stays closed, with why.
    void fail(const char* method, const QString& error, const QString& message)
    {
        store->fail(method, error, message);
        --*pending;
        delete this;
    }

    static void onFound(GObject* bus, GAsyncResult* result, gpointer data)
    {
        auto* call = static_cast<Opening*>(data);
        GVariant* found = call->answer(bus, result, call->store->m_kind.openMethod);
        if (!found)
            return;
        const gchar* path = nullptr;
        const gchar* busName = nullptr;
        g_variant_get(found, "(&s&s)", &path, &busName);
        call->path = path;
        call->busName = busName;
        g_variant_unref(found);
        // GLib refuses a call to a malformed name or path without ever answering it, which would leave
        // openAll waiting for good.
        const char* malformed = !g_variant_is_object_path(call->path.constData()) ? "object path"
                                : !g_dbus_is_name(call->busName.constData())      ? "bus name"
                                                                                  : nullptr;
        if (malformed) {
            const QString why = QStringLiteral("the answer's %1 is not valid").arg(QLatin1String(malformed));
            call->fail(call->store->m_kind.openMethod, why, why);
            return;
        }
        g_dbus_connection_call(G_DBUS_CONNECTION(bus), call->busName.constData(), call->path.constData(),
                               call->store->m_kind.interface, "Open", nullptr, G_VARIANT_TYPE("(as)"),
                               G_DBUS_CALL_FLAGS_NONE, -1, call->load, &onOpened, call);
    }

    static void onOpened(GObject* bus, GAsyncResult* result, gpointer data)
    {
        auto* call = static_cast<Opening*>(data);
        GVariant* opened = call->answer(bus, result, "Open");
        if (!opened)
            return;
        g_variant_unref(opened);
        call->store->m_busName = call->busName;
        call->store->m_path = call->path;
        --*call->pending;
        delete call;
    }
};

void EdsBusStore::openAll(const std::vector<EdsBusStore*>& stores, GMainContext* context, EdsLoadBound& bound)
{
    int pending = 0;
    GCancellable* load = bound.beginLoad();
    for (EdsBusStore* store : stores) {
        if (store->isOpen())
            continue;
        ++pending;
        const EdsStoreKind& kind = store->m_kind;
        g_dbus_connection_call(store->m_bus, kind.factoryName, kind.factoryPath, kind.factoryInterface,
                               kind.openMethod, g_variant_new("(s)", store->m_uid.toUtf8().constData()),
                               G_VARIANT_TYPE("(ss)"), G_DBUS_CALL_FLAGS_NONE, -1, load, &Opening::onFound,
                               new Opening{store, &pending, load, {}, {}});
    }
    while (pending > 0)
        g_main_context_iteration(context, true);
    bound.endLoad();
}

void EdsBusStore::fail(const char* method, const QString& error, const QString& message)
{
    m_failure = QLatin1String(method) + QStringLiteral(": ") + error;
    m_failureMessage = message;
}

GVariant* EdsBusStore::call(const QByteArray& path, const char* interface, const char* method,
                            GVariant* arguments, const char* answerType, GError** error)
{
    GVariant* answer =
        g_dbus_connection_call_sync(m_bus, m_busName.constData(), path.constData(), interface, method,
                                    arguments, answerType ? G_VARIANT_TYPE(answerType) : nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, -1, m_bound.beginLoad(), error);
    m_bound.endLoad();
    return answer;
}

// A call whose answer nothing waits for.
void EdsBusStore::tell(const QByteArray& path, const char* interface, const char* method)
{
    g_dbus_connection_call(m_bus, m_busName.constData(), path.constData(), interface, method, nullptr,
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

EdsListing EdsBusStore::list()
{
    if (!isOpen())
        return {};
    ErrorSlot error;
    GVariant* listed =
        call(m_path, m_kind.interface, m_kind.listMethod, g_variant_new("(s)", m_kind.query), "(as)", &error);
    if (!listed) {
        fail(m_kind.listMethod, error.text(), serviceMessage(error));
        return {};
    }
    m_failure.clear();
    m_failureMessage.clear();
    return EdsListing(listed);
}

QByteArray EdsBusStore::zoneText(const char* tzid)
{
    const QByteArray key(tzid);
    if (const auto known = m_zones.constFind(key); known != m_zones.cend())
        return *known;
    if (!isOpen())
        return {};
    ErrorSlot error;
    GVariant* answer =
        call(m_path, m_kind.interface, "GetTimezone", g_variant_new("(s)", tzid), "(s)", &error);
    if (!answer) {
        qCInfo(lcEdsStore).noquote() << "A calendar's time zone could not be read:" << error.text();
        return {};
    }
    const gchar* text = nullptr;
    g_variant_get(answer, "(&s)", &text);
    const QByteArray zone = *m_zones.insert(key, QByteArray(text));
    g_variant_unref(answer);
    return zone;
}

bool EdsBusStore::watch(std::function<void()> changed)
{
    if (!isOpen() || !m_viewPath.isEmpty())
        return false;
    ErrorSlot failure;
    GVariant* made =
        call(m_path, m_kind.interface, "GetView", g_variant_new("(s)", m_kind.query), nullptr, &failure);
    QString error = failure.text();
    // A view's path is an object path; older services sent it as a string.
    QByteArray viewPath;
    if (made && (g_variant_is_of_type(made, G_VARIANT_TYPE("(s)")) ||
                 g_variant_is_of_type(made, G_VARIANT_TYPE("(o)")))) {
        GVariant* pathValue = g_variant_get_child_value(made, 0);
        viewPath = g_variant_get_string(pathValue, nullptr);
        g_variant_unref(pathValue);
        if (!g_variant_is_object_path(viewPath.constData()))
            error = QStringLiteral("the view's path “%1” is not valid").arg(QString::fromUtf8(viewPath));
    }
    if (made)
        g_variant_unref(made);
    if (viewPath.isEmpty() || !g_variant_is_object_path(viewPath.constData())) {
        qCInfo(lcEdsStore).noquote()
            << QStringLiteral("Changes of a %1 will not be seen:").arg(QLatin1String(m_kind.what)) << error;
        return false;
    }
    m_viewPath = viewPath;
    // Matched by the view's path: the service may answer from a process of its own. A signal may still
    // be queued on this thread's loop after the subscription ended, so the callback holds only changed.
    m_viewSignals = g_dbus_connection_signal_subscribe(
        m_bus, nullptr, m_kind.viewInterface, nullptr, m_viewPath.constData(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* signal, GVariant*,
           gpointer data) {
            for (const char* change : {"ObjectsAdded", "ObjectsModified", "ObjectsRemoved"}) {
                if (std::strcmp(signal, change) == 0)
                    return (*static_cast<std::function<void()>*>(data))();
            }
        },
        new std::function<void()>(std::move(changed)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    // Flags 0: the items the view matches at its start are not sent (they were just read).
    for (const auto& [method, arguments] :
         {std::pair<const char*, GVariant*>{"SetFlags", g_variant_new("(u)", 0u)}, {"Start", nullptr}}) {
        if (GVariant* answer = call(m_viewPath, m_kind.viewInterface, method, arguments, nullptr, nullptr))
            g_variant_unref(answer);
    }
    return true;
}

} // namespace morvane
