#include "EdsStandIn.h"

#include "platform/EdsReader.h"
#include "platform/GLibErrorSlot.h"
#include "platform/GLibLoopThread.h"

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

namespace morvane::test {

namespace {

constexpr const char* standInRegistryPath = "/org/gnome/evolution/dataserver/SourceManager";
constexpr const char* standInCalendarViewPath = "/org/gnome/evolution/dataserver/CalendarView/StandIn";
constexpr const char* standInBookViewPath = "/org/gnome/evolution/dataserver/AddressBookView/StandIn";
constexpr const char* standInCalendarViewInterface = "org.gnome.evolution.dataserver.CalendarView";

// One method of an interface: its name and its arguments as introspection writes them.
struct StandInMethod {
    const char* name;
    const char* arguments;
};

struct StandInObject {
    const char* path;
    const char* interface;
    std::vector<StandInMethod> methods;
};

constexpr const char* calendarInterface = "org.gnome.evolution.dataserver.Calendar";
constexpr const char* bookInterface = "org.gnome.evolution.dataserver.AddressBook";

// What the module calls, as the service declares it.
const std::vector<StandInObject>& standInObjects()
{
    const std::vector<StandInMethod> calendarMethods{
        {"Open", R"(<arg direction="out" type="as"/>)"},
        {"GetObjectList", R"(<arg direction="in" type="s"/><arg direction="out" type="as"/>)"},
        {"GetTimezone", R"(<arg direction="in" type="s"/><arg direction="out" type="s"/>)"},
        {"GetView", R"(<arg direction="in" type="s"/><arg direction="out" type="o"/>)"},
        {"Close", ""}};
    const std::vector<StandInMethod> bookMethods{
        {"Open", R"(<arg direction="out" type="as"/>)"},
        {"GetContactList", R"(<arg direction="in" type="s"/><arg direction="out" type="as"/>)"},
        {"GetView", R"(<arg direction="in" type="s"/><arg direction="out" type="o"/>)"},
        {"Close", ""}};
    static const std::vector<StandInObject> objects{
        {standInRegistryPath,
         "org.freedesktop.DBus.ObjectManager",
         {{"GetManagedObjects", R"(<arg direction="out" type="a{oa{sa{sv}}}"/>)"}}},
        {"/org/gnome/evolution/dataserver/CalendarFactory",
         "org.gnome.evolution.dataserver.CalendarFactory",
         {{"OpenCalendar",
           R"(<arg direction="in" type="s"/><arg direction="out" type="s"/><arg direction="out" type="s"/>)"}}},
        {"/org/gnome/evolution/dataserver/AddressBookFactory",
         "org.gnome.evolution.dataserver.AddressBookFactory",
         {{"OpenAddressBook",
           R"(<arg direction="in" type="s"/><arg direction="out" type="s"/><arg direction="out" type="s"/>)"}}},
        {EdsStandIn::calendarPath, calendarInterface, calendarMethods},
        {EdsStandIn::brokenPath, calendarInterface, calendarMethods},
        {EdsStandIn::brokenPath, bookInterface, bookMethods},
        {EdsStandIn::bookPath, bookInterface, bookMethods},
        {standInCalendarViewPath,
         standInCalendarViewInterface,
         {{"SetFlags", R"(<arg direction="in" type="u"/>)"}, {"Start", ""}, {"Dispose", ""}}},
        {standInBookViewPath,
         "org.gnome.evolution.dataserver.AddressBookView",
         {{"SetFlags", R"(<arg direction="in" type="u"/>)"}, {"Start", ""}, {"Dispose", ""}}},
    };
    return objects;
}

GVariant* standInTexts(const QList<QByteArray>& texts)
{
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    for (const QByteArray& text : texts)
        g_variant_builder_add(&items, "s", text.constData());
    return g_variant_new("(as)", &items);
}

// A source's interfaces and properties as the registry sends them: its UID and key file.
GVariant* standInSource(const QByteArray& uid, const QByteArray& name, const char* extension)
{
    const QByteArray data = QByteArrayLiteral("[Data Source]\nDisplayName=") + name +
                            QByteArrayLiteral("\nEnabled=true\nParent=\n\n[") + extension +
                            QByteArrayLiteral("]\nBackendName=local\n");
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "UID", g_variant_new_string(uid.constData()));
    g_variant_builder_add(&properties, "{sv}", "Data", g_variant_new_string(data.constData()));
    GVariantBuilder interfaces;
    g_variant_builder_init(&interfaces, G_VARIANT_TYPE("a{sa{sv}}"));
    g_variant_builder_add(&interfaces, "{sa{sv}}", "org.gnome.evolution.dataserver.Source", &properties);
    return g_variant_builder_end(&interfaces);
}

QByteArray standInSourcePath(qsizetype index)
{
    return "/org/gnome/evolution/dataserver/SourceManager/Source_" + QByteArray::number(index);
}
// The broken calendar's, then the broken address book's.
constexpr qsizetype brokenSourceIndex = 1000;

} // namespace

// Its state is read by the stand-in's thread as it answers and changed by the test's: under mutex.
struct EdsStandIn::Service {
    const QSet<QString> missing;
    GDBusConnection* bus = nullptr; // set on the stand-in's thread before any call can come
    std::vector<guint> registrations;

    mutable std::mutex mutex;
    mutable std::condition_variable asked;
    QSet<QString> failing;
    QByteArray brokenAt; // the method the broken sources fail at; none without them
    QList<QByteArray> events;
    QList<QByteArray> cards;
    QHash<QByteArray, QByteArray> zones;
    std::optional<std::pair<QByteArray, QByteArray>> openAnswer;                     // path and bus name
    QList<std::pair<QByteArray, QByteArray>> calendars{{calendarUid, calendarName}}; // uid and name
    QHash<QByteArray, int> calls;

    explicit Service(Behaviour behaviour)
        : missing(std::move(behaviour.missing))
        , failing(std::move(behaviour.failing))
        , events(std::move(behaviour.events))
        , cards(std::move(behaviour.cards))
    {
    }

    // On the stand-in's thread, which closes the connection it answers on.
    ~Service()
    {
        for (guint registration : registrations)
            g_dbus_connection_unregister_object(bus, registration);
        if (bus) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // On the stand-in's thread, whose context then answers its calls.
    bool start(const char* address)
    {
        ErrorSlot error;
        bus = g_dbus_connection_new_for_address_sync(
            address,
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (!bus)
            return false;
        static const GDBusInterfaceVTable table{&Service::onCall, nullptr, nullptr, {}};
        for (const StandInObject& object : standInObjects()) {
            QByteArray xml = QByteArrayLiteral("<node><interface name=\"") + object.interface + "\">";
            for (const StandInMethod& method : object.methods) {
                if (!missing.contains(QLatin1String(method.name)))
                    xml += QByteArrayLiteral("<method name=\"") + method.name + "\">" + method.arguments +
                           "</method>";
            }
            xml += "</interface></node>";
            GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml.constData(), &error);
            if (!node)
                return false;
            registrations.push_back(g_dbus_connection_register_object(bus, object.path, node->interfaces[0],
                                                                      &table, this, nullptr, &error));
            g_dbus_node_info_unref(node);
            if (!registrations.back())
                return false;
        }
        for (const char* name : {sourceRegistryName, calendarFactoryName, addressBookFactoryName}) {
            GVariant* owned = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                g_variant_new("(su)", name, 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
            if (!owned)
                return false;
            guint32 reply = 0;
            g_variant_get(owned, "(u)", &reply);
            g_variant_unref(owned);
            if (reply != 1 /* primary owner */)
                return false;
        }
        return true;
    }

    // The broken source a call is for, when it is for one.
    static const char* brokenSource(const QByteArray& method, GVariant* arguments,
                                    GDBusMethodInvocation* invocation)
    {
        if (method == "OpenCalendar" || method == "OpenAddressBook") {
            const gchar* uid = nullptr;
            g_variant_get(arguments, "(&s)", &uid);
            for (const char* broken : {brokenCalendarUid, brokenBookUid}) {
                if (g_str_equal(uid, broken))
                    return broken;
            }
            return nullptr;
        }
        if (!g_str_equal(g_dbus_method_invocation_get_object_path(invocation), brokenPath))
            return nullptr;
        return g_str_equal(g_dbus_method_invocation_get_interface_name(invocation), calendarInterface)
                   ? brokenCalendarUid
                   : brokenBookUid;
    }

    // The answer to a call, or nothing for an error answered in its place; under mutex.
    GVariant* answer(const QByteArray& method, GVariant* arguments, GDBusMethodInvocation* invocation) const
    {
        if (failing.contains(QString::fromUtf8(method))) {
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                       ("The stand-in refuses " + method).constData());
            return nullptr;
        }
        const char* broken = brokenAt.isEmpty() ? nullptr : brokenSource(method, arguments, invocation);
        if (broken && method == brokenAt) {
            // The name the service gives an error of its client library it has no D-Bus name for.
            g_dbus_method_invocation_return_dbus_error(
                invocation,
                "org.gnome.evolution.dataserver.UnmappedGError.Quark._e_2dclient_2derror_2dquark.Code2",
                brokenMessage(broken).toUtf8().constData());
            return nullptr;
        }
        if (method == "GetManagedObjects") {
            GVariantBuilder objects;
            g_variant_builder_init(&objects, G_VARIANT_TYPE("a{oa{sa{sv}}}"));
            g_variant_builder_add(&objects, "{o@a{sa{sv}}}", standInSourcePath(0).constData(),
                                  standInSource(bookUid, "Stand-in Book", "Address Book"));
            for (qsizetype i = 0; i < calendars.size(); ++i)
                g_variant_builder_add(&objects, "{o@a{sa{sv}}}", standInSourcePath(i + 1).constData(),
                                      standInSource(calendars[i].first, calendars[i].second, "Calendar"));
            if (!brokenAt.isEmpty()) {
                g_variant_builder_add(&objects, "{o@a{sa{sv}}}",
                                      standInSourcePath(brokenSourceIndex).constData(),
                                      standInSource(brokenCalendarUid, brokenCalendarName, "Calendar"));
                g_variant_builder_add(&objects, "{o@a{sa{sv}}}",
                                      standInSourcePath(brokenSourceIndex + 1).constData(),
                                      standInSource(brokenBookUid, brokenBookName, "Address Book"));
            }
            return g_variant_new("(a{oa{sa{sv}}})", &objects);
        }
        if (method == "OpenCalendar" || method == "OpenAddressBook") {
            if (openAnswer)
                return g_variant_new("(ss)", openAnswer->first.constData(), openAnswer->second.constData());
            return g_variant_new("(ss)",
                                 broken                     ? brokenPath
                                 : method == "OpenCalendar" ? calendarPath
                                                            : bookPath,
                                 g_dbus_connection_get_unique_name(bus));
        }
        if (method == "Open")
            return standInTexts({});
        if (method == "GetObjectList")
            return standInTexts(events);
        if (method == "GetContactList")
            return standInTexts(cards);
        if (method == "GetView") {
            const bool calendar =
                g_str_equal(g_dbus_method_invocation_get_interface_name(invocation), calendarInterface);
            return g_variant_new("(o)", calendar ? standInCalendarViewPath : standInBookViewPath);
        }
        if (method == "GetTimezone") {
            const gchar* tzid = nullptr;
            g_variant_get(arguments, "(&s)", &tzid);
            const QByteArray zone = zones.value(tzid);
            if (!zone.isEmpty())
                return g_variant_new("(s)", zone.constData());
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.gnome.evolution.dataserver.Calendar.ObjectNotFound", "No such zone");
            return nullptr;
        }
        // SetFlags, Start, Dispose, Close: nothing to answer but that they were done.
        return g_variant_new("()");
    }

    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* arguments, GDBusMethodInvocation* invocation, gpointer data)
    {
        auto* self = static_cast<Service*>(data);
        const QByteArray called(method);
        {
            std::lock_guard lock(self->mutex);
            ++self->calls[called];
            if (GVariant* answered = self->answer(called, arguments, invocation))
                g_dbus_method_invocation_return_value(invocation, answered);
        }
        self->asked.notify_all();
    }
};

QString EdsStandIn::brokenMessage(const char* uid)
{
    return QStringLiteral("Backend factory for source “%1” and extension “%2” cannot be found.")
        .arg(QLatin1String(uid),
             QLatin1String(g_str_equal(uid, brokenCalendarUid) ? "Calendar" : "Address Book"));
}

EdsStandIn::EdsStandIn(Behaviour behaviour)
    : d(std::make_shared<Service>(std::move(behaviour)))
{
    for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY"})
        m_environment.insert(name,
                             qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    // Sets the bus's address for the process (and unsets DISPLAY).
    m_bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(m_bus);
    const char* address = g_test_dbus_get_bus_address(m_bus);
    if (!address)
        return;
    m_thread = std::make_unique<GLibLoopThread>("eds-stand-in");
    std::promise<bool> started;
    m_thread->post([service = d, address = QByteArray(address), &started] {
        started.set_value(service->start(address.constData()));
    });
    m_ready = started.get_future().get();
}

EdsStandIn::~EdsStandIn()
{
    if (m_thread) {
        // The connection goes on the thread that answers on it.
        m_thread->post([service = std::exchange(d, nullptr)]() mutable { service.reset(); });
        m_thread->stop();
    }
    // Waits for the process's connection to the bus to go, and forgets it.
    g_test_dbus_down(m_bus);
    g_object_unref(m_bus);
    for (auto variable = m_environment.cbegin(); variable != m_environment.cend(); ++variable) {
        if (variable.value())
            qputenv(variable.key().constData(), *variable.value());
        else
            qunsetenv(variable.key().constData());
    }
}

void EdsStandIn::addBrokenSources(const QByteArray& failingMethod)
{
    std::lock_guard lock(d->mutex);
    d->brokenAt = failingMethod;
}

void EdsStandIn::setFailing(const QSet<QString>& failing)
{
    std::lock_guard lock(d->mutex);
    d->failing = failing;
}

void EdsStandIn::setEvents(const QList<QByteArray>& events)
{
    std::lock_guard lock(d->mutex);
    d->events = events;
}

void EdsStandIn::keepZone(const QByteArray& tzid, const QByteArray& vtimezone)
{
    std::lock_guard lock(d->mutex);
    d->zones.insert(tzid, vtimezone);
}

void EdsStandIn::answerOpenWith(const QByteArray& path, const QByteArray& busName)
{
    std::lock_guard lock(d->mutex);
    d->openAnswer = std::pair{path, busName};
}

void EdsStandIn::addCalendar(const QString& uid)
{
    QByteArray path;
    GVariant* source = nullptr;
    {
        // Listed before it is announced: the registry is asked again on the announcement.
        std::lock_guard lock(d->mutex);
        d->calendars.append({uid.toUtf8(), uid.toUtf8()});
        path = standInSourcePath(d->calendars.size());
        source = standInSource(uid.toUtf8(), uid.toUtf8(), "Calendar");
    }
    g_dbus_connection_emit_signal(d->bus, nullptr, standInRegistryPath, "org.freedesktop.DBus.ObjectManager",
                                  "InterfacesAdded", g_variant_new("(o@a{sa{sv}})", path.constData(), source),
                                  nullptr);
}

void EdsStandIn::reportBrokenCalendarChanged()
{
    GVariant* source = standInSource(brokenCalendarUid, brokenCalendarName, "Calendar");
    GVariant* properties = g_variant_lookup_value(source, "org.gnome.evolution.dataserver.Source", nullptr);
    g_variant_unref(g_variant_ref_sink(source));
    g_dbus_connection_emit_signal(
        d->bus, nullptr, standInSourcePath(brokenSourceIndex).constData(), "org.freedesktop.DBus.Properties",
        "PropertiesChanged",
        g_variant_new("(s@a{sv}as)", "org.gnome.evolution.dataserver.Source", properties, nullptr), nullptr);
    g_variant_unref(properties);
}

void EdsStandIn::reportChange()
{
    g_dbus_connection_emit_signal(d->bus, nullptr, standInCalendarViewPath, standInCalendarViewInterface,
                                  "ObjectsModified", g_variant_new("(as)", nullptr), nullptr);
}

int EdsStandIn::asked(const char* method) const
{
    std::lock_guard lock(d->mutex);
    return d->calls.value(method);
}

bool EdsStandIn::waitUntilAsked(const char* method, int count, std::chrono::milliseconds wait) const
{
    std::unique_lock lock(d->mutex);
    return d->asked.wait_for(lock, wait, [&] { return d->calls.value(method) >= count; });
}

} // namespace morvane::test
