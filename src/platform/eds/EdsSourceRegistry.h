#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// As gio.h declares them; the header stays free of GLib's own.
typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;

namespace morvane {

// What the registry says of one calendar, address book, account or other source: its key file, read.
struct EdsSourceData {
    QString uid;
    QString displayName; // in the user's language where the file has it translated
    bool enabled = true;
    QString parent;         // the source it belongs to (an account), empty for none
    QStringList extensions; // what it is: "Calendar", "Address Book", ...
};

// A source's data as the registry sends it (a key file with a [Data Source] group and one group per
// extension); nothing when the text is not such a file. Values missing or unreadable are the
// defaults the service's own client reads then: enabled, "Unnamed", no parent.
std::optional<EdsSourceData> readSourceData(const QString& uid, QByteArrayView keyFileText);

// The uids of the sources with extension that are enabled, they and every source above them through
// their parents (an account switched off, or its calendars switched off, hides its calendars: the
// service writes the account's switch into each of its children's own), ordered as the service's
// client lists them: by display name in the user's collation, then by uid.
QStringList enabledSources(const QList<EdsSourceData>& sources, const QString& extension);

// The service's registry of sources, followed over the bus. Made on a thread whose thread-default GLib
// context runs: the registry's signals come there, and each change (a source added, removed, or its
// data changed) calls changed there. The service is started by the bus when it is not running.
class EdsSourceRegistry {
public:
    // Nothing, and error says why, when the registry does not answer (the call honours cancellable).
    static std::unique_ptr<EdsSourceRegistry> open(GDBusConnection* bus, GCancellable* cancellable,
                                                   std::function<void()> changed, QString* error);
    ~EdsSourceRegistry();
    EdsSourceRegistry(const EdsSourceRegistry&) = delete;
    EdsSourceRegistry& operator=(const EdsSourceRegistry&) = delete;

    // Every source the registry has now, as last reported.
    QList<EdsSourceData> sources() const;

private:
    struct Private;
    explicit EdsSourceRegistry(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

} // namespace morvane
