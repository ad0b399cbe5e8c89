#include "EdsStandIn.h"

#include "platform/EdsReader.h"
#include "platform/GLibErrorSlot.h"
#include "platform/GLibLoopThread.h"

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QFile>

#include <future>
#include <vector>

namespace morvane::test {

namespace {

constexpr const char* standInCalendarPath = "/org/gnome/evolution/dataserver/Calendar/StandIn";
constexpr const char* standInBookPath = "/org/gnome/evolution/dataserver/AddressBook/StandIn";
constexpr const char* standInCalendarViewPath = "/org/gnome/evolution/dataserver/CalendarView/StandIn";
constexpr const char* standInBookViewPath = "/org/gnome/evolution/dataserver/AddressBookView/StandIn";

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

// What the module calls, as the service declares it.
const std::vector<StandInObject>& standInObjects()
{
    static const std::vector<StandInObject> objects{
        {"/org/gnome/evolution/dataserver/SourceManager",
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
        {standInCalendarPath,
         "org.gnome.evolution.dataserver.Calendar",
         {{"Open", R"(<arg direction="out" type="as"/>)"},
          {"GetObjectList", R"(<arg direction="in" type="s"/><arg direction="out" type="as"/>)"},
          {"GetTimezone", R"(<arg direction="in" type="s"/><arg direction="out" type="s"/>)"},
          {"GetView", R"(<arg direction="in" type="s"/><arg direction="out" type="o"/>)"},
          {"Close", ""}}},
        {standInBookPath,
         "org.gnome.evolution.dataserver.AddressBook",
         {{"Open", R"(<arg direction="out" type="as"/>)"},
          {"GetContactList", R"(<arg direction="in" type="s"/><arg direction="out" type="as"/>)"},
          {"GetView", R"(<arg direction="in" type="s"/><arg direction="out" type="o"/>)"},
          {"Close", ""}}},
        {standInCalendarViewPath,
         "org.gnome.evolution.dataserver.CalendarView",
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
GVariant* standInSource(const QByteArray& uid, const char* extension)
{
    const QByteArray data = QByteArrayLiteral("[Data Source]\nDisplayName=") + uid +
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

QByteArray standInSourcePath(int index)
{
    return "/org/gnome/evolution/dataserver/SourceManager/Source_" + QByteArray::number(index);
}

} // namespace

struct EdsStandIn::Service {
    Behaviour behaviour;
    QList<QByteArray> calendars{calendarUid}; // the registry's calendars; one address book besides
    GDBusConnection* bus = nullptr;
    std::vector<guint> registrations;

    ~Service()
    {
        for (guint registration : registrations)
            g_dbus_connection_unregister_object(bus, registration);
        if (bus) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
    }

    // On the stand-in's thread, whose context then answers its calls.
    bool start(const QString& address)
    {
        ErrorSlot error;
        bus = g_dbus_connection_new_for_address_sync(
            address.toUtf8().constData(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (!bus)
            return false;
        static const GDBusInterfaceVTable table{&Service::onCall, nullptr, nullptr, {}};
        for (const StandInObject& object : standInObjects()) {
            QByteArray xml = QByteArrayLiteral("<node><interface name=\"") + object.interface + "\">";
            for (const StandInMethod& method : object.methods) {
                if (!behaviour.missing.contains(QLatin1String(method.name)))
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
                g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
                &error);
            if (!owned)
                return false;
            g_variant_unref(owned);
        }
        return true;
    }

    static void onCall(GDBusConnection* connection, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant*, GDBusMethodInvocation* invocation, gpointer data)
    {
        auto* self = static_cast<Service*>(data);
        const QString name = QString::fromUtf8(method);
        if (self->behaviour.failing.contains(name)) {
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                       ("The stand-in refuses " + name).toUtf8().constData());
            return;
        }
        const QByteArray called(method);
        GVariant* answer = nullptr;
        if (called == "GetManagedObjects") {
            GVariantBuilder objects;
            g_variant_builder_init(&objects, G_VARIANT_TYPE("a{oa{sa{sv}}}"));
            g_variant_builder_add(&objects, "{o@a{sa{sv}}}", standInSourcePath(0).constData(),
                                  standInSource(bookUid, "Address Book"));
            for (int i = 0; i < self->calendars.size(); ++i)
                g_variant_builder_add(&objects, "{o@a{sa{sv}}}", standInSourcePath(i + 1).constData(),
                                      standInSource(self->calendars[i], "Calendar"));
            answer = g_variant_new("(a{oa{sa{sv}}})", &objects);
        } else if (called == "OpenCalendar" || called == "OpenAddressBook") {
            answer = g_variant_new("(ss)", called == "OpenCalendar" ? standInCalendarPath : standInBookPath,
                                   g_dbus_connection_get_unique_name(connection));
        } else if (called == "Open") {
            answer = standInTexts({});
        } else if (called == "GetObjectList") {
            answer = standInTexts(self->behaviour.events);
        } else if (called == "GetContactList") {
            answer = standInTexts(self->behaviour.cards);
        } else if (called == "GetView") {
            answer =
                g_variant_new("(o)", g_str_has_prefix(g_dbus_method_invocation_get_object_path(invocation),
                                                      standInCalendarPath)
                                         ? standInCalendarViewPath
                                         : standInBookViewPath);
        } else if (called == "GetTimezone") {
            g_dbus_method_invocation_return_dbus_error(
                invocation, "org.gnome.evolution.dataserver.Calendar.ObjectNotFound", "No such zone");
            return;
        }
        g_dbus_method_invocation_return_value(invocation, answer);
    }
};

void EdsStandIn::setFailing(const QSet<QString>& failing)
{
    std::promise<void> done;
    m_thread->post([service = d, failing, &done] {
        service->behaviour.failing = failing;
        done.set_value();
    });
    done.get_future().wait();
}

void EdsStandIn::addCalendar(const QString& uid)
{
    std::promise<void> done;
    m_thread->post([service = d, uid = uid.toUtf8(), &done] {
        service->calendars.append(uid);
        g_dbus_connection_emit_signal(
            service->bus, nullptr, "/org/gnome/evolution/dataserver/SourceManager",
            "org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
            g_variant_new("(o@a{sa{sv}})", standInSourcePath(int(service->calendars.size())).constData(),
                          standInSource(uid, "Calendar")),
            nullptr);
        done.set_value();
    });
    done.get_future().wait();
}

EdsPrivateBus::EdsPrivateBus()
{
    const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    // The socket goes to /tmp: a test's own folder can be too long for a socket's path.
    file.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                    QStringLiteral("--config-file=") + config});
    if (m_daemon.waitForReadyRead(10000))
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

EdsPrivateBus::~EdsPrivateBus()
{
    m_daemon.terminate();
    m_daemon.waitForFinished(5000);
}

EdsStandIn::EdsStandIn(const QString& busAddress, Behaviour behaviour)
    : d(std::make_shared<Service>())
    , m_thread(std::make_unique<GLibLoopThread>("eds-stand-in"))
{
    d->behaviour = std::move(behaviour);
    std::promise<bool> started;
    m_thread->post([service = d, busAddress, &started] { started.set_value(service->start(busAddress)); });
    m_ready = started.get_future().get();
}

EdsStandIn::~EdsStandIn()
{
    // The connection goes on the thread that answers on it.
    m_thread->post([service = std::exchange(d, nullptr)]() mutable { service.reset(); });
    m_thread->stop();
}

} // namespace morvane::test
