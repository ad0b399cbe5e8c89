// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <atspi/atspi.h>
#include <gio/gio.h>

#include "AccessibilityBusSwitch.h"

#include "foundation/Logging.h"
#include "platform/AtspiValues.h"
#include "platform/GObjectRef.h"
#include "platform/SessionBus.h"

Q_DECLARE_LOGGING_CATEGORY(lcAccessibility)

namespace morvane {

AccessibilityTrust AccessibilityBusSwitch::trust(int timeoutMs)
{
    ErrorSlot error;
    const GObjectRef<GDBusConnection> bus(
        hasSessionBus() ? g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error) : nullptr);
    if (!bus)
        return AccessibilityTrust::notAvailable;
    GVariant* reply = g_dbus_connection_call_sync(
        bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        timeoutMs, nullptr, &error);
    if (!reply)
        return AccessibilityTrust::notAvailable;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool enabled = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return enabled ? AccessibilityTrust::granted : AccessibilityTrust::notGranted;
}

void AccessibilityBusSwitch::turnOn(int timeoutMs)
{
    ErrorSlot error;
    const GObjectRef<GDBusConnection> bus(
        hasSessionBus() ? g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error) : nullptr);
    if (!bus)
        return;
    GVariant* reply = g_dbus_connection_call_sync(
        bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &error);
    if (reply)
        g_variant_unref(reply);
    else
        qCWarning(lcAccessibility) << "Could not turn the accessibility bus on:" << error.text();
}

} // namespace morvane
