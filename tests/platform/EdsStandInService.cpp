#include "EdsStandInService.h"

#include "platform/EdsReader.h"
#include "platform/GLibLoopThread.h"

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <future>

namespace morvane::test {

namespace {

constexpr const char* standInRegistryPath = "/org/gnome/evolution/dataserver/SourceManager";
constexpr const char* standInFactoryPath = "/org/gnome/evolution/dataserver/CalendarFactory";

// What the reader calls, as the service declares it.
constexpr const char* standInInterfaces = R"(<node>
  <interface name="org.freedesktop.DBus.ObjectManager">
    <method name="GetManagedObjects"><arg type="a{oa{sa{sv}}}" direction="out"/></method>
  </interface>
  <interface name="org.gnome.evolution.dataserver.CalendarFactory">
    <method name="OpenCalendar">
      <arg type="s" direction="in"/><arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
  <interface name="org.gnome.evolution.dataserver.Calendar">
    <method name="Open"><arg type="as" direction="out"/></method>
    <method name="Close"/>
    <method name="GetObjectList"><arg type="s" direction="in"/><arg type="as" direction="out"/></method>
    <method name="GetTimezone"><arg type="s" direction="in"/><arg type="s" direction="out"/></method>
    <method name="GetView"><arg type="s" direction="in"/><arg type="o" direction="out"/></method>
  </interface>
  <interface name="org.gnome.evolution.dataserver.CalendarView">
    <method name="SetFlags"><arg type="u" direction="in"/></method>
    <method name="Start"/>
    <method name="Dispose"/>
    <signal name="ObjectsModified"><arg type="as"/></signal>
  </interface>
</node>)";

constexpr const char* standInSource = "[Data Source]\nDisplayName=Stand-in\nEnabled=true\n\n"
                                      "[Calendar]\nBackendName=local\n";

} // namespace

EdsStandInService::EdsStandInService()
{
    for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY"}) {
        if (qEnvironmentVariableIsSet(name))
            m_environment.insert(name, qgetenv(name));
    }
    // Sets the bus's address for the process (and unsets DISPLAY).
    m_bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(m_bus);
    if (!g_test_dbus_get_bus_address(m_bus))
        return;
    m_thread = std::make_unique<GLibLoopThread>("eds-stand-in");
    std::promise<void> started;
    m_thread->post([this, &started] {
        start();
        started.set_value();
    });
    started.get_future().wait();
}

EdsStandInService::~EdsStandInService()
{
    if (m_thread) {
        m_thread->post([this] {
            g_dbus_connection_close_sync(m_service, nullptr, nullptr);
            g_object_unref(m_service);
        });
        m_thread->stop();
    }
    // The daemon goes, once the process's connection to it (which the reader shared) went too; the
    // next one the process asks for is a new one.
    g_test_dbus_down(m_bus);
    g_object_unref(m_bus);
    for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY"}) {
        if (m_environment.contains(name))
            qputenv(name, m_environment.value(name));
        else
            qunsetenv(name);
    }
}

// On the service's thread: its objects' calls come to that thread's context.
void EdsStandInService::start()
{
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        g_test_dbus_get_bus_address(m_bus),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!connection)
        return;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(standInInterfaces, nullptr);
    static const GDBusInterfaceVTable vtable{&EdsStandInService::onMethod, nullptr, nullptr, {}};
    const std::pair<const char*, int> objects[] = {
        {standInRegistryPath, 0}, {standInFactoryPath, 1}, {calendarPath, 2}, {viewPath, 3}};
    for (const auto& [path, interface] : objects)
        g_dbus_connection_register_object(connection, path, node->interfaces[interface], &vtable, this,
                                          nullptr, nullptr);
    g_dbus_node_info_unref(node);
    for (const char* name : {sourceRegistryName, calendarFactoryName}) {
        if (GVariant* owned = g_dbus_connection_call_sync(
                connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "RequestName", g_variant_new("(su)", name, 4u /* do not queue */), nullptr,
                G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr))
            g_variant_unref(owned);
    }
    std::lock_guard lock(m_mutex);
    m_openPath = calendarPath;
    m_openBusName = g_dbus_connection_get_unique_name(connection);
    m_service = connection;
}

void EdsStandInService::onMethod(GDBusConnection*, const char*, const char*, const char*, const char* method,
                                 GVariant* arguments, GDBusMethodInvocation* invocation, void* data)
{
    auto* self = static_cast<EdsStandInService*>(data);
    const QByteArray name(method);
    GVariant* answer = nullptr;
    QByteArray zone;
    {
        std::lock_guard lock(self->m_mutex);
        if (name == "GetManagedObjects") {
            GVariantBuilder properties;
            g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
            g_variant_builder_add(&properties, "{sv}", "UID", g_variant_new_string("stand-in"));
            g_variant_builder_add(&properties, "{sv}", "Data", g_variant_new_string(standInSource));
            GVariantBuilder interfaces;
            g_variant_builder_init(&interfaces, G_VARIANT_TYPE("a{sa{sv}}"));
            g_variant_builder_add(&interfaces, "{sa{sv}}", "org.gnome.evolution.dataserver.Source",
                                  &properties);
            GVariantBuilder objects;
            g_variant_builder_init(&objects, G_VARIANT_TYPE("a{oa{sa{sv}}}"));
            g_variant_builder_add(&objects, "{oa{sa{sv}}}",
                                  "/org/gnome/evolution/dataserver/SourceManager/Source_1", &interfaces);
            answer = g_variant_new("(a{oa{sa{sv}}})", &objects);
        } else if (name == "OpenCalendar") {
            answer = g_variant_new("(ss)", self->m_openPath.constData(), self->m_openBusName.constData());
        } else if (name == "Open") {
            answer = g_variant_new("(as)", nullptr);
        } else if (name == "GetObjectList") {
            GVariantBuilder events;
            g_variant_builder_init(&events, G_VARIANT_TYPE("as"));
            for (const QByteArray& event : std::as_const(self->m_events))
                g_variant_builder_add(&events, "s", event.constData());
            answer = g_variant_new("(as)", &events);
        } else if (name == "GetTimezone") {
            const gchar* tzid = nullptr;
            g_variant_get(arguments, "(&s)", &tzid);
            zone = self->m_zones.value(tzid);
            if (!zone.isEmpty())
                answer = g_variant_new("(s)", zone.constData());
        } else if (name == "GetView") {
            answer = g_variant_new("(o)", viewPath);
        }
        ++self->m_calls[name];
    }
    self->m_asked.notify_all();
    if (name == "GetTimezone" && !answer) {
        g_dbus_method_invocation_return_dbus_error(
            invocation, "org.gnome.evolution.dataserver.Calendar.ObjectNotFound", "No such zone");
        return;
    }
    g_dbus_method_invocation_return_value(invocation, answer);
}

void EdsStandInService::answerOpenWith(const QByteArray& path, const QByteArray& busName)
{
    std::lock_guard lock(m_mutex);
    m_openPath = path;
    m_openBusName = busName;
}

void EdsStandInService::setEvents(const QList<QByteArray>& events)
{
    std::lock_guard lock(m_mutex);
    m_events = events;
}

void EdsStandInService::keepZone(const QByteArray& tzid, const QByteArray& vtimezone)
{
    std::lock_guard lock(m_mutex);
    m_zones.insert(tzid, vtimezone);
}

void EdsStandInService::reportChange()
{
    g_dbus_connection_emit_signal(m_service, nullptr, viewPath, "org.gnome.evolution.dataserver.CalendarView",
                                  "ObjectsModified", g_variant_new("(as)", nullptr), nullptr);
}

int EdsStandInService::asked(const char* method) const
{
    std::lock_guard lock(m_mutex);
    return m_calls.value(method);
}

bool EdsStandInService::waitUntilAsked(const char* method, int count, std::chrono::milliseconds wait) const
{
    std::unique_lock lock(m_mutex);
    return m_asked.wait_for(lock, wait, [&] { return m_calls.value(method) >= count; });
}

} // namespace morvane::test
