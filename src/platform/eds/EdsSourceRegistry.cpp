#include "platform/eds/EdsSourceRegistry.h"

#include "platform/GLibErrorSlot.h"
#include "platform/GObjectRef.h"

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "platform/EdsReader.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <memory>

namespace morvane {

namespace {

constexpr const char* registryPath = "/org/gnome/evolution/dataserver/SourceManager";
constexpr const char* sourceInterface = "org.gnome.evolution.dataserver.Source";
constexpr const char* mainGroup = "Data Source";

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};

// A text value as the service's client reads each of its settings: translated where the file has
// the user's language, else nothing.
std::optional<QString> localeText(GKeyFile* file, const char* key)
{
    ErrorSlot error;
    gchar* value = g_key_file_get_locale_string(file, mainGroup, key, nullptr, &error);
    if (!value)
        return std::nullopt;
    QString text = QString::fromUtf8(value);
    g_free(value);
    return text;
}

QString text(GVariant* value)
{
    return value && g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)
               ? QString::fromUtf8(g_variant_get_string(value, nullptr))
               : QString();
}

} // namespace

std::optional<EdsSourceData> readSourceData(const QString& uid, QByteArrayView keyFileText)
{
    const std::unique_ptr<GKeyFile, KeyFileFree> file(g_key_file_new());
    ErrorSlot error;
    if (!g_key_file_load_from_data(file.get(), keyFileText.data(), gsize(keyFileText.size()),
                                   G_KEY_FILE_KEEP_TRANSLATIONS, &error) ||
        !g_key_file_has_group(file.get(), mainGroup))
        return std::nullopt;
    EdsSourceData data;
    data.uid = uid;
    // The service trims the name; its default is its own word for a source without one.
    data.displayName = localeText(file.get(), "DisplayName").value_or(QStringLiteral("Unnamed")).trimmed();
    const gboolean enabled = g_key_file_get_boolean(file.get(), mainGroup, "Enabled", &error);
    data.enabled = error ? true : bool(enabled);
    data.parent = localeText(file.get(), "Parent").value_or(QString());
    gchar** groups = g_key_file_get_groups(file.get(), nullptr);
    for (gchar** group = groups; *group; ++group) {
        if (std::strcmp(*group, mainGroup) != 0)
            data.extensions.append(QString::fromUtf8(*group));
    }
    g_strfreev(groups);
    return data;
}

QStringList enabledSources(const QList<EdsSourceData>& sources, const QString& extension)
{
    QHash<QString, const EdsSourceData*> byUid;
    for (const EdsSourceData& source : sources)
        byUid.insert(source.uid, &source);
    // A source whose parent is not (or no longer) in the registry counts as having none; a loop of
    // parents, which the service never writes, ends after as many steps as there are sources.
    const auto effectivelyEnabled = [&](const EdsSourceData& source) {
        const EdsSourceData* at = &source;
        for (qsizetype steps = 0; at && steps <= sources.size(); ++steps) {
            if (!at->enabled)
                return false;
            at = at->parent.isEmpty() ? nullptr : byUid.value(at->parent);
        }
        return true;
    };
    struct Listed {
        QByteArray collationKey;
        QString uid;
    };
    QList<Listed> listed;
    for (const EdsSourceData& source : sources) {
        if (!source.extensions.contains(extension) || !effectivelyEnabled(source))
            continue;
        gchar* key = g_utf8_collate_key(source.displayName.toUtf8().constData(), -1);
        listed.append({QByteArray(key), source.uid});
        g_free(key);
    }
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        const int order = std::strcmp(a.collationKey.constData(), b.collationKey.constData());
        return order != 0 ? order < 0 : a.uid < b.uid;
    });
    QStringList uids;
    for (const Listed& source : listed)
        uids.append(source.uid);
    return uids;
}

struct EdsSourceRegistry::Private {
    GObjectRef<GDBusObjectManager> manager;
    std::function<void()> changed;

    static void onChange(Private* self) { self->changed(); }

    // Only a source's data says what it is; its connection status, which a remote source changes often,
    // does not.
    static void onPropertiesChanged(GDBusObjectManagerClient*, GDBusObjectProxy*, GDBusProxy*,
                                    GVariant* changedProperties, const gchar* const* invalidated,
                                    Private* self)
    {
        GVariant* newData = g_variant_lookup_value(changedProperties, "Data", nullptr);
        bool data = newData != nullptr;
        if (newData)
            g_variant_unref(newData);
        for (const gchar* const* name = invalidated; !data && name && *name; ++name)
            data = std::strcmp(*name, "Data") == 0;
        if (data)
            self->changed();
    }
};

EdsSourceRegistry::EdsSourceRegistry(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}

std::unique_ptr<EdsSourceRegistry> EdsSourceRegistry::open(GDBusConnection* bus, GCancellable* cancellable,
                                                           std::function<void()> changed, QString* error)
{
    ErrorSlot failure;
    // Each source's proxy keeps its properties as the service last reported them.
    GDBusObjectManager* manager = g_dbus_object_manager_client_new_sync(
        bus, G_DBUS_OBJECT_MANAGER_CLIENT_FLAGS_NONE, sourceRegistryName, registryPath, nullptr, nullptr,
        nullptr, cancellable, &failure);
    if (!manager) {
        if (error)
            *error = failure.text();
        return nullptr;
    }
    auto d = std::make_unique<Private>();
    d->manager.reset(manager);
    d->changed = std::move(changed);
    for (const char* signal : {"object-added", "object-removed"})
        g_signal_connect_swapped(manager, signal, G_CALLBACK(&Private::onChange), d.get());
    g_signal_connect(manager, "interface-proxy-properties-changed", G_CALLBACK(&Private::onPropertiesChanged),
                     d.get());
    return std::unique_ptr<EdsSourceRegistry>(new EdsSourceRegistry(std::move(d)));
}

EdsSourceRegistry::~EdsSourceRegistry()
{
    g_signal_handlers_disconnect_by_data(d->manager.get(), d.get());
}

QList<EdsSourceData> EdsSourceRegistry::sources() const
{
    QList<EdsSourceData> sources;
    GList* objects = g_dbus_object_manager_get_objects(d->manager.get());
    for (GList* item = objects; item; item = item->next) {
        const GObjectRef<GDBusInterface> source(
            g_dbus_object_get_interface(G_DBUS_OBJECT(item->data), sourceInterface));
        if (!source)
            continue;
        auto* proxy = G_DBUS_PROXY(source.get());
        GVariant* uid = g_dbus_proxy_get_cached_property(proxy, "UID");
        GVariant* data = g_dbus_proxy_get_cached_property(proxy, "Data");
        if (uid && data && g_variant_is_of_type(data, G_VARIANT_TYPE_STRING)) {
            if (std::optional<EdsSourceData> read =
                    readSourceData(text(uid), QByteArrayView(g_variant_get_string(data, nullptr))))
                sources.append(std::move(*read));
        }
        if (uid)
            g_variant_unref(uid);
        if (data)
            g_variant_unref(data);
    }
    g_list_free_full(objects, g_object_unref);
    return sources;
}

} // namespace morvane
